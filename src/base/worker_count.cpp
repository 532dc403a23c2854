#include "base/worker_count.h"

#include <condition_variable>
#include <mutex>

#include "base/shutting_down.h"

namespace qm {

namespace {

std::mutex countMutex;
std::condition_variable noneLeft;
int running = 0;  // Under countMutex.

}  // namespace

bool EnterWorker() {
  {
    std::lock_guard guard(countMutex);
    ++running;
  }
  if (!ShuttingDown()) return true;
  LeaveWorker();
  return false;
}

void LeaveWorker() {
  std::lock_guard guard(countMutex);
  if (--running == 0) noneLeft.notify_all();
}

void AwaitWorkers() {
  std::unique_lock guard(countMutex);
  noneLeft.wait(guard, [] { return running == 0; });
}

int RunningWorkers() {
  std::lock_guard guard(countMutex);
  return running;
}

}  // namespace qm
