// vyrelo: the translator window, or one of its command-line commands.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#ifdef VYRELO_HAVE_WINDOW
#include "app/window_app.h"
#endif

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const vyrelo::app::CommandLine commandLine = vyrelo::app::ParseCommandLine(args);
#ifdef VYRELO_HAVE_WINDOW
  if (commandLine.command == vyrelo::app::CommandLine::Command::Window) {
    return vyrelo::app::RunWindow(argc, argv, commandLine);
  }
#endif
  return vyrelo::app::RunCommand(commandLine, std::cin, std::cout, std::cerr);
}
