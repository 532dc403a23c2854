// The process-wide shutdown flag. Set once when the main window is destroyed; every
// background task (builds, monitors, searches) polls it and stops early.
#pragma once

#include <atomic>

namespace qm {

extern std::atomic<bool> shuttingDown;  // sequentially consistent loads and stores

inline bool ShuttingDown() {
  return shuttingDown.load();
}

}  // namespace qm
