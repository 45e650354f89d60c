// Start-up of the window: the user-interface framework, the window, its
// message loop and the end of the program.
#pragma once

#include "app/cli.h"

namespace vyrelo::app {

// Runs the window until the user closes it; the result is the exit code.
// `argc`/`argv` go to the framework unchanged.
int RunWindow(int& argc, char** argv, const CommandLine& commandLine);

// The end of a window run once its message loop has returned `code`: returns
// `code`, or ends the process at once when a request is still in flight.
int EndWindowRun(int code);

}  // namespace vyrelo::app
