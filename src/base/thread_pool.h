// A small pool of threads that lives as long as the program, so that work split into parts
// (the name pass over a drive's records, the summary of a long result list) uses every core
// without starting a thread per keystroke.
//
// ParallelFor hands out the parts of one job to the pool's threads and to the calling thread
// alike, and returns once every part has returned and no pool thread touches the job any more;
// several callers may run jobs at once (a stale search still ending beside a new one). A part
// that throws does not stop the others; the first exception is thrown again to the caller.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

class ThreadPool {
 public:
  // `helpers` threads beside each caller; 0 runs every part on the caller.
  explicit ThreadPool(unsigned helpers);
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;
  // Waits for the threads (no job may be running).
  ~ThreadPool();

  // Calls part(i) for every i in [0, count), in no particular order and on any of the threads.
  void ParallelFor(size_t count, const std::function<void(size_t)>& part);

  // Threads a job runs on at most: the helpers and the caller.
  size_t Width() const { return threads_.size() + 1; }

 private:
  struct Job;
  void Serve();
  static void RunParts(Job& job);

  std::mutex mutex_;
  std::condition_variable wake_;     // a job was queued, or the pool stops
  std::condition_variable settled_;  // a pool thread left a job
  std::deque<Job*> jobs_;            // jobs with parts not yet handed out; under mutex_
  bool stopping_ = false;            // under mutex_
  std::vector<std::thread> threads_;
};

// The program's pool: one helper per hardware thread beyond the first, made on first use and
// joined when the program ends; or the pool of the newest PoolOverride that still exists.
ThreadPool& SharedPool();

// Makes SharedPool() return `pool` while it exists (benchmarks and tests measure a pass on one
// thread against the same pass on all of them). Made and dropped while no job runs.
class PoolOverride {
 public:
  explicit PoolOverride(ThreadPool& pool);
  PoolOverride(const PoolOverride&) = delete;
  PoolOverride& operator=(const PoolOverride&) = delete;
  ~PoolOverride();

 private:
  ThreadPool* previous_;
};

}  // namespace qm
