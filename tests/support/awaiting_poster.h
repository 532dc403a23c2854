// A recording poster that tests can wait on, for messages posted by detached workers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <vector>

#include "support/recording_poster.h"

namespace qm::testing {

class AwaitingPoster : public RecordingPoster {
 public:
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    const bool posted = RecordingPoster::Post(message, wParam, lParam);
    {
      std::lock_guard guard(mutex_);
      ++count_;
    }
    arrived_.notify_all();
    return posted;
  }

  // Waits until `message` (with `wParam`, when given) has been posted; false after `limit`.
  bool WaitFor(uint32_t message, std::optional<uintptr_t> wParam = std::nullopt,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return Count(message, wParam) > 0; });
  }

  size_t Count(uint32_t message, std::optional<uintptr_t> wParam = std::nullopt) const {
    size_t n = 0;
    for (const PostedMessage& m : Messages()) {
      if (m.message == message && (!wParam || m.wParam == *wParam)) ++n;
    }
    return n;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  size_t count_ = 0;
};

}  // namespace qm::testing
