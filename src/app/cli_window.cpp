#include "app/cli_window.h"

#include <utility>

#include "base/window_messages.h"
#include "search/results.h"

namespace qm::cli {

bool MessageQueue::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  // Notified under the lock: the receiver's next lock then orders the whole post before it,
  // so a post that has been received is also finished with the queue.
  std::lock_guard guard(mutex_);
  queue_.push_back({message, wParam, lParam});
  ready_.notify_all();
  return true;
}

std::optional<MessageQueue::Message> MessageQueue::Next(std::chrono::milliseconds timeout) {
  std::unique_lock guard(mutex_);
  if (!ready_.wait_for(guard, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
  Message next = queue_.front();
  queue_.pop_front();
  return next;
}

void MessageQueue::Discard() {
  std::lock_guard guard(mutex_);
  for (const Message& m : queue_) {
    if (m.message == WM_SET_TITLE) delete[] reinterpret_cast<char16_t*>(m.lParam);
  }
  queue_.clear();
}

uint64_t CurrentResultCount() {
  std::lock_guard guard(resultsMutex);
  return currentResults ? currentResults->size() : 0;
}

void HandleMessage(const MessageQueue::Message& m, WindowState& window) {
  switch (m.message) {
    case WM_INDEX_READY:
      window.indexReady = m.wParam;
      break;
    case WM_SEARCH_DONE:
      if (auto shown = AcceptSearchDone(window.list, uint64_t(m.wParam), m.lParam == 1)) {
        window.title = std::move(shown->title);
        window.status = std::move(shown->status);
        window.tagTexts = std::move(shown->tagTexts);
        window.lastSearchDone = uint64_t(m.wParam);
      }
      break;
    case WM_SET_TITLE:
      if (auto title = AcceptSetTitle(uint64_t(m.wParam), reinterpret_cast<char16_t*>(m.lParam))) {
        window.title = std::move(*title);
      }
      break;
    case WM_FILTER_DONE: {
      ShownTexts shown = AcceptFilterDone();
      window.title = std::move(shown.title);
      window.status = std::move(shown.status);
      ++window.filterDoneCount;
      break;
    }
    default:
      break;
  }
}

bool RunMessageLoop(MessageQueue& queue, WindowState& window, const std::function<bool()>& done,
                    const std::function<bool()>& working) {
  while (!done()) {
    std::optional<MessageQueue::Message> m = queue.Next(std::chrono::milliseconds(20));
    if (m) {
      HandleMessage(*m, window);
      continue;
    }
    if (!working()) {
      // A worker posts before it counts itself out: drain what it left, then give up.
      while ((m = queue.Next(std::chrono::milliseconds(0)))) HandleMessage(*m, window);
      return done();
    }
  }
  return true;
}

}  // namespace qm::cli
