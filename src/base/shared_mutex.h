// The readers-writer lock of the program's shared state (a drive's records, its property cache).
//
// Natively this is std::shared_mutex. MinGW's std::shared_mutex is a winpthreads rwlock that is
// set up lazily on its first use, and that set-up races: when a reader and a writer take a new
// lock for the first time at once, both can hold it together (measured under Wine: 804 of 2,000
// such first uses). A drive's lock is first taken by its journal monitor and by a reader at
// about the same moment, so the Windows build uses the system's slim reader/writer lock instead,
// which needs no set-up (all zero) and is never shared across processes.
#pragma once

#ifdef _WIN32

namespace qm {

class SharedMutex {
 public:
  SharedMutex() = default;
  SharedMutex(const SharedMutex&) = delete;
  SharedMutex& operator=(const SharedMutex&) = delete;

  void lock();
  bool try_lock();
  void unlock();
  void lock_shared();
  bool try_lock_shared();
  void unlock_shared();

 private:
  void* state_ = nullptr;  // an SRWLOCK: one pointer, SRWLOCK_INIT is all zero
};

}  // namespace qm

#else

#include <shared_mutex>

namespace qm {

using SharedMutex = std::shared_mutex;

}  // namespace qm

#endif
