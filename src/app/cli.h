// The command line: which command a run asks for, and the two commands that
// need no window ("languages" and "translate").
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/translation.h"
#include "platform/text.h"

namespace vyrelo::app {

struct CommandLine {
  enum class Command { Window, Languages, Translate, Help, Version, UsageError };
  Command command = Command::Window;
  std::optional<Text> host;
  std::optional<Text> origin;
  std::optional<Text> ini;   // another language list file
  std::optional<Text> from;  // translate: a code or a language name
  std::optional<Text> to;
  std::vector<Text> words;      // translate: the text, word by word
  bool measureStartup = false;  // hidden: print start-up figures and quit
  std::string error;            // UsageError: what was wrong (UTF-8)
};

// `args` are the arguments after the program name, in UTF-8.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();
std::string VersionText();

// The language list file of a run: --ini, or the one beside the executable.
Text LanguageListPath(const CommandLine& commandLine);

// Prints the chooser's names, one per line, in UTF-8. Always 0.
int RunLanguages(const CommandLine& commandLine, std::ostream& out);

// A code given on the command line: the value of that language name in the
// list file when it is one, else the code as given.
Text ResolveLanguageCode(const Text& code, const Text& listPath);

// Translates once. 0: the result and a line break on `out`; 1: the reply did
// not parse, one line on `err` with the reason; 2: wrong usage.
int RunTranslate(const CommandLine& commandLine, std::istream& in, std::ostream& out,
                 std::ostream& err, const TranslateFunction& translate);

// Runs a command that needs no window with the real round trip. The window
// command is not handled here.
int RunCommand(const CommandLine& commandLine, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace vyrelo::app
