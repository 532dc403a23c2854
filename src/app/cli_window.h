// The window's part in the headless front end, played by a message queue: the workers post to
// it as they would post to the window, and the main thread handles each message as the window
// procedure does (dropping stale generations, setting the title and the status line).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/window_model.h"

#include "platform/message_poster.h"

namespace qm::cli {

class MessageQueue final : public MessagePoster {
 public:
  struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };

  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  // The next message, waiting at most `timeout`; nothing when none came.
  std::optional<Message> Next(std::chrono::milliseconds timeout);

  // Frees the texts of messages nobody will handle any more.
  void Discard();

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Message> queue_;  // Under mutex_.
};

// What the window would show, and what it has been told.
struct WindowState {
  WindowModel list;
  std::u16string title;
  std::u16string status;
  std::vector<std::u16string> tagTexts;  // after the last accepted WM_SEARCH_DONE
  std::optional<uintptr_t> indexReady;   // WM_INDEX_READY's wParam once it came
  uint64_t lastSearchDone = 0;           // generation of the last accepted WM_SEARCH_DONE
  uint64_t filterDoneCount = 0;          // WM_FILTER_DONE messages handled
};

// What the window procedure does with each of the workers' messages.
void HandleMessage(const MessageQueue::Message& m, WindowState& window);

// Handles messages until `done` holds. `working` tells whether a worker that may still post
// runs; once none does and the queue is empty, waiting ends even when `done` never came (a
// worker that could not start, a sort of an empty list). Returns `done`'s final value.
bool RunMessageLoop(MessageQueue& queue, WindowState& window, const std::function<bool()>& done,
                    const std::function<bool()>& working);

// The rows of the current search's result list.
uint64_t CurrentResultCount();

}  // namespace qm::cli
