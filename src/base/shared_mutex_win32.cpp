#include "base/shared_mutex.h"

#include <windows.h>

namespace qm {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");

namespace {

PSRWLOCK Lock(void** state) {
  return reinterpret_cast<PSRWLOCK>(state);
}

}  // namespace

void SharedMutex::lock() {
  AcquireSRWLockExclusive(Lock(&state_));
}

bool SharedMutex::try_lock() {
  return TryAcquireSRWLockExclusive(Lock(&state_)) != FALSE;
}

void SharedMutex::unlock() {
  ReleaseSRWLockExclusive(Lock(&state_));
}

void SharedMutex::lock_shared() {
  AcquireSRWLockShared(Lock(&state_));
}

bool SharedMutex::try_lock_shared() {
  return TryAcquireSRWLockShared(Lock(&state_)) != FALSE;
}

void SharedMutex::unlock_shared() {
  ReleaseSRWLockShared(Lock(&state_));
}

}  // namespace qm
