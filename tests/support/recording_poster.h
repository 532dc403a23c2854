// Records the messages workers post to the main window.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/message_poster.h"

namespace qm::testing {

struct PostedMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

class RecordingPoster : public MessagePoster {
 public:
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    std::lock_guard guard(mutex_);
    messages_.push_back({message, wParam, lParam});
    posted_.notify_all();
    return true;
  }
  std::vector<PostedMessage> Messages() const {
    std::lock_guard guard(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::vector<PostedMessage> messages_;
};

}  // namespace qm::testing
