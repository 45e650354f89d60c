// Start-up of the window: the user-interface framework, the window, its
// message loop and the end of the program.
#pragma once

#include "app/cli.h"

namespace vyrelo::app {

// Runs the window until the user closes it; the result is the exit code.
// `argc`/`argv` go to the framework unchanged.
int RunWindow(int& argc, char** argv, const CommandLine& commandLine);

}  // namespace vyrelo::app
