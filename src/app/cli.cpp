#include "app/cli.h"

#include <istream>
#include <iterator>
#include <ostream>

#include "app/language_list.h"
#include "app/round_trip.h"
#include "app/settings.h"
#include "app/system_text.h"

namespace vyrelo::app {
namespace {

// Takes the value of an option given as "--name VALUE" or "--name=VALUE".
// Returns false when `arg` is not that option; sets `error` when it is but
// lacks its value.
bool TakeOption(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                std::optional<Text>& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) {
      error = "option " + name + " needs a value";
      return true;
    }
    value = Utf8ToText(args[++i]);
    return true;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    value = Utf8ToText(arg.substr(name.size() + 1));
    return true;
  }
  return false;
}

CommandLine UsageError(std::string why) {
  CommandLine result;
  result.command = CommandLine::Command::UsageError;
  result.error = std::move(why);
  return result;
}

Text DropOneTrailingLineBreak(std::string text) {
  if (!text.empty() && text.back() == '\n') {
    text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
  }
  return text;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  std::string error;
  std::size_t i = 0;
  bool sawCommand = false;
  bool endOfOptions = false;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!endOfOptions && (arg == "--help" || arg == "-h")) {
      cl.command = CommandLine::Command::Help;
      return cl;
    }
    if (!endOfOptions && arg == "--version") {
      cl.command = CommandLine::Command::Version;
      return cl;
    }
    const bool translating = cl.command == CommandLine::Command::Translate;
    if (!endOfOptions && (!sawCommand || translating)) {
      if (TakeOption(args, i, "--host", cl.host, error) ||
          TakeOption(args, i, "--origin", cl.origin, error) ||
          TakeOption(args, i, "--ini", cl.ini, error)) {
        if (!error.empty()) return UsageError(error);
        continue;
      }
    }
    if (!endOfOptions && sawCommand && cl.command == CommandLine::Command::Languages) {
      if (TakeOption(args, i, "--ini", cl.ini, error)) {
        if (!error.empty()) return UsageError(error);
        continue;
      }
    }
    if (!endOfOptions && translating) {
      if (TakeOption(args, i, "--from", cl.from, error) ||
          TakeOption(args, i, "--to", cl.to, error)) {
        if (!error.empty()) return UsageError(error);
        continue;
      }
      if (arg == "--") {
        endOfOptions = true;
        continue;
      }
    }
    if (!endOfOptions && !sawCommand && arg == "--measure-startup") {
      cl.measureStartup = true;
      continue;
    }
    if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    }
    if (!sawCommand) {
      sawCommand = true;
      if (arg == "languages") {
        cl.command = CommandLine::Command::Languages;
      } else if (arg == "translate") {
        cl.command = CommandLine::Command::Translate;
      } else {
        return UsageError("unknown command " + arg);
      }
      continue;
    }
    if (translating) {
      cl.words.push_back(Utf8ToText(arg));
      continue;
    }
    return UsageError("unexpected argument " + arg);
  }
  if (cl.command == CommandLine::Command::Translate && !cl.from && !cl.to) {
    return UsageError("translate needs --from or --to (or both)");
  }
  if (cl.measureStartup && cl.command != CommandLine::Command::Window) {
    return UsageError("--measure-startup is for the window only");
  }
  return cl;
}

std::string UsageText() {
  return "usage: vyrelo [--host HOST[:PORT]] [--origin ORIGIN] [--ini PATH]\n"
         "       vyrelo languages [--ini PATH]\n"
         "       vyrelo translate [--from CODE] [--to CODE] [--host HOST[:PORT]]\n"
         "                        [--origin ORIGIN] [--ini PATH] [--] [TEXT...]\n"
         "       vyrelo --help | --version\n"
         "\n"
         "Without a command, opens the translator window.\n"
         "languages  prints the languages the window offers, one per line.\n"
         "translate  translates TEXT (or standard input) once and prints the result.\n"
         "           With only --to the source is zh-CHS, with only --from the target\n"
         "           is zh-CHS. A CODE that names a language of the list file (such\n"
         "           as 英语) is replaced by that language's code.\n"
         "\n"
         "--host HOST[:PORT]  the translation service (default " +
         std::string(kDefaultHost) +
         ", or $VYRELO_HOST)\n"
         "--origin ORIGIN     the Origin header of requests (or $VYRELO_ORIGIN)\n"
         "--ini PATH          another language list file (default: 翻译.ini beside\n"
         "                    the program)\n";
}

std::string VersionText() {
#ifdef VYRELO_VERSION
  return std::string("vyrelo ") + VYRELO_VERSION + "\n";
#else
  return "vyrelo\n";
#endif
}

Text LanguageListPath(const CommandLine& commandLine) {
  return commandLine.ini ? *commandLine.ini : DefaultLanguageListPath();
}

int RunLanguages(const CommandLine& commandLine, std::ostream& out) {
  for (const ChooserItem& item : LanguageChooserItems(LanguageListPath(commandLine))) {
    out << TextToUtf8String(item.name) << '\n';
  }
  out.flush();
  return 0;
}

Text ResolveLanguageCode(const Text& code, const Text& listPath) {
  Text value = LookupIniValue(listPath, LanguageSectionName(), code);
  return value.empty() ? code : value;
}

int RunTranslate(const CommandLine& commandLine, std::istream& in, std::ostream& out,
                 std::ostream& err, const TranslateFunction& translate) {
  if (!commandLine.from && !commandLine.to) {
    err << "vyrelo: translate needs --from or --to\n" << UsageText();
    return 2;
  }
  const Text listPath = LanguageListPath(commandLine);
  const Text from =
      commandLine.from ? ResolveLanguageCode(*commandLine.from, listPath) : Text(kChineseCode);
  const Text to =
      commandLine.to ? ResolveLanguageCode(*commandLine.to, listPath) : Text(kChineseCode);

  Text text;
  if (!commandLine.words.empty()) {
    text = Join(commandLine.words, " ");
  } else {
    std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    text = Utf8ToText(DropOneTrailingLineBreak(std::move(input)));
  }

  TranslationOutcome outcome = translate(from, to, text);
  if (!outcome.parsed) {
    err << TextToUtf8String(outcome.result);
    if (!outcome.reason.empty()) err << ": " << outcome.reason;
    err << '\n';
    err.flush();
    return 1;
  }
  out << TextToUtf8String(outcome.result) << '\n';
  out.flush();
  return 0;
}

int RunCommand(const CommandLine& commandLine, std::istream& in, std::ostream& out,
               std::ostream& err) {
  switch (commandLine.command) {
    case CommandLine::Command::Help:
      out << UsageText();
      return 0;
    case CommandLine::Command::Version:
      out << VersionText();
      return 0;
    case CommandLine::Command::Languages:
      return RunLanguages(commandLine, out);
    case CommandLine::Command::Translate:
      RegisterSystemObjects();
      return RunTranslate(commandLine, in, out, err,
                          ServiceTranslator(ResolveSettings(commandLine.host, commandLine.origin)));
    case CommandLine::Command::UsageError:
      err << "vyrelo: " << commandLine.error << '\n' << UsageText();
      return 2;
    case CommandLine::Command::Window:
      break;
  }
  err << "vyrelo: the window is not available in this build\n";
  return 2;
}

}  // namespace vyrelo::app
