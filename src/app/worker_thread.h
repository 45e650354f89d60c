// Threads for work that must not block the window.
#pragma once

#include <cstddef>
#include <functional>

namespace vyrelo::app {

// The script engine guards deep nesting with well over a megabyte of stack.
inline constexpr std::size_t kWorkerStackBytes = std::size_t{8} << 20;

// Runs `work` on a detached thread with `kWorkerStackBytes` of stack; false
// when no thread could be made (then `work` has not run).
bool StartDetachedWorker(std::function<void()> work);

// Workers started and not yet finished.
int WorkersInFlight();

}  // namespace vyrelo::app
