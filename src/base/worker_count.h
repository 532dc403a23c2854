// The detached workers that can reach the drives through their result entries: the search, sort
// and filter workers. (The content-scan and property threads are started and joined by the
// worker that owns them, so they are inside its count.)
//
// Shutdown releases every drive; a worker that reads one afterwards would read freed memory.
// So every such worker is counted from before its thread starts until its body has returned
// and everything it captured is gone, and ReleaseDrives waits here until the count is zero
// before it frees anything. The workers poll shuttingDown, which is set before the wait, and
// end within moments. Once shutdown has begun no worker starts any more.
#pragma once

#include <system_error>
#include <thread>
#include <utility>

namespace qm {

// Counts one worker; false (nothing counted) once shutdown has begun. The count is raised
// before shuttingDown is read, and the wait reads the count after shuttingDown was set, so
// one of the two always sees the other.
bool EnterWorker();
// Ends the count of one worker and wakes the waiters when none is left.
void LeaveWorker();

// Blocks until no worker runs (a condition variable, no polling).
void AwaitWorkers();

// Workers running now.
int RunningWorkers();

// Runs `body` on a detached thread as a counted worker. False, with nothing run, when shutdown
// has begun or no thread can be had; the count is then as it was.
template <typename Body>
bool StartWorker(Body body) {
  if (!EnterWorker()) return false;
  try {
    std::thread([body = std::move(body)]() mutable {
      {
        Body run = std::move(body);  // its captures go before the count drops
        run();
      }
      LeaveWorker();
    }).detach();
  } catch (const std::system_error&) {
    LeaveWorker();
    return false;
  }
  return true;
}

}  // namespace qm
