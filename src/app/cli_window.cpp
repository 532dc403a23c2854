#include "app/cli_window.h"

#include <memory>

#include "base/texts.h"
#include "base/window_messages.h"
#include "config/decimal.h"
#include "config/filter_tags.h"
#include "search/filter_view.h"
#include "search/results.h"
#include "search/search.h"
#include "search/status_text.h"

namespace qm::cli {

namespace {

std::u16string SelectedTagLabel() {
  FilterTagsSnapshot tags = filterTags.Snapshot();
  const FilterTag* tag = TagAt(*tags, size_t(selectedTag.load()));
  return tag ? tag->label : std::u16string();
}

// The title as the window formats it, through the same conversion as the progress titles.
std::u16string ResultsTitle(uint64_t count) {
  const std::unique_ptr<char16_t[]> title(NewStatusText(Text(TextId::kTitleResults), count));
  return std::u16string(title.get());
}

}  // namespace

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
    case WM_SEARCH_DONE: {
      if (uint64_t(m.wParam) != searchGeneration.load()) break;
      const uint64_t count = CurrentResultCount();
      ResetFilteredView(count);
      window.title = ResultsTitle(count);
      window.status.clear();
      if (count > 0) {
        window.status = std::u16string(Text(TextId::kStatusFilter)) + SelectedTagLabel() +
                        std::u16string(Text(TextId::kStatusHits)) + DecimalText(count);
      }
      window.lastSearchDone = uint64_t(m.wParam);
      break;
    }
    case WM_SET_TITLE: {
      char16_t* text = reinterpret_cast<char16_t*>(m.lParam);
      if (text != nullptr && uint64_t(m.wParam) == searchGeneration.load()) window.title = text;
      delete[] text;
      break;
    }
    case WM_FILTER_DONE: {
      uint64_t shown = 0;
      {
        std::lock_guard guard(filterMutex);
        shown = filteredCount.load();
      }
      window.title = ResultsTitle(CurrentResultCount());
      window.status = std::u16string(Text(TextId::kStatusFilter)) + SelectedTagLabel() +
                      std::u16string(Text(TextId::kStatusHits)) + DecimalText(shown);
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
