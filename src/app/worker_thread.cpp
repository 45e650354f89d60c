#include "app/worker_thread.h"

#include <pthread.h>

#include <atomic>
#include <memory>

namespace vyrelo::app {
namespace {

std::atomic<int> gInFlight{0};

void* RunWork(void* raw) {
  std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(raw));
  (*work)();
  work.reset();
  gInFlight.fetch_sub(1);
  return nullptr;
}

}  // namespace

bool StartDetachedWorker(std::function<void()> work) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setstacksize(&attr, kWorkerStackBytes);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  gInFlight.fetch_add(1);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attr, RunWork, owned.get()) == 0;
  pthread_attr_destroy(&attr);
  if (!started) {
    gInFlight.fetch_sub(1);
    return false;
  }
  owned.release();
  return true;
}

int WorkersInFlight() { return gInFlight.load(); }

}  // namespace vyrelo::app
