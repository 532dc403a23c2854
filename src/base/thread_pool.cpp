#include "base/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>

namespace qm {

struct ThreadPool::Job {
  size_t count = 0;
  const std::function<void(size_t)>* part = nullptr;
  std::atomic<size_t> next{0};  // the next part to hand out
  size_t active = 0;            // pool threads working on the job; under mutex_
  std::mutex errorMutex;
  std::exception_ptr error;  // the first part that threw
};

ThreadPool::ThreadPool(unsigned helpers) {
  threads_.reserve(helpers);
  for (unsigned i = 0; i < helpers; ++i) {
    try {
      threads_.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
      break;  // fewer threads: every job still runs, on its caller if need be
    }
  }
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void ThreadPool::RunParts(Job& job) {
  for (size_t i = job.next.fetch_add(1); i < job.count; i = job.next.fetch_add(1)) {
    try {
      (*job.part)(i);
    } catch (...) {
      std::lock_guard guard(job.errorMutex);
      if (!job.error) job.error = std::current_exception();
    }
  }
}

void ThreadPool::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping
    Job* job = jobs_.front();
    ++job->active;
    lock.unlock();
    RunParts(*job);
    lock.lock();
    // Every part is handed out: no other thread needs to find the job in the queue.
    auto queued = std::find(jobs_.begin(), jobs_.end(), job);
    if (queued != jobs_.end()) jobs_.erase(queued);
    if (--job->active == 0) settled_.notify_all();
  }
}

void ThreadPool::ParallelFor(size_t count, const std::function<void(size_t)>& part) {
  if (count == 0) return;
  Job job;
  job.count = count;
  job.part = &part;
  const bool shared = count > 1 && !threads_.empty();
  if (shared) {
    {
      std::lock_guard guard(mutex_);
      jobs_.push_back(&job);
    }
    wake_.notify_all();
  }
  RunParts(job);
  if (shared) {
    // The job lives on this stack: it is taken out of the queue so no thread picks it up
    // again, and this waits for the threads still inside one of its parts.
    std::unique_lock lock(mutex_);
    auto queued = std::find(jobs_.begin(), jobs_.end(), &job);
    if (queued != jobs_.end()) jobs_.erase(queued);
    settled_.wait(lock, [&job] { return job.active == 0; });
  }
  if (job.error) std::rethrow_exception(job.error);
}

namespace {
std::atomic<ThreadPool*> overridingPool{nullptr};
}  // namespace

ThreadPool& SharedPool() {
  if (ThreadPool* pool = overridingPool.load()) return *pool;
  static ThreadPool pool(std::max(1u, std::thread::hardware_concurrency()) - 1);
  return pool;
}

PoolOverride::PoolOverride(ThreadPool& pool) : previous_(overridingPool.exchange(&pool)) {}

PoolOverride::~PoolOverride() {
  overridingPool.store(previous_);
}

}  // namespace qm
