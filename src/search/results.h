// Result entries and the published result list, shared by the search, sort, content-scan,
// property and filter workers and by the window.
//
// Workers never touch the window: they publish a new immutable list under resultsMutex and
// post a message. Every search or sort start takes the next searchGeneration; a worker whose
// generation is overtaken stops without publishing.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/shutting_down.h"
#include "index/volume_index.h"
#include "platform/large_block.h"

namespace qm {

// One result: a record of one drive. Owns nothing; stays meaningful for the life of the
// process because drives are not released before shutdown and records never move. Readers
// check, under the drive's lock, that the record exists and is not deleted before using it.
struct MatchItem {
  VolumeIndex* volume = nullptr;
  uint32_t recordIndex = 0;
};

// The allocator of result lists: an entry added without a value (resize) is left as the memory
// holds it, so that a list sized first is filled by several threads at once without being
// written twice, the first time by one thread (the name pass joins its ranges that way).
// Whoever sizes a list this way writes every entry it adds before anything reads it.
template <typename T>
struct ResultAllocator : LargeBlockAllocator<T> {
  ResultAllocator() = default;
  template <typename U>
  ResultAllocator(const ResultAllocator<U>&) {}
  template <typename U>
  void construct(U*) noexcept {}
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const ResultAllocator<U>&) const {
    return true;
  }
};
static_assert(std::is_trivially_copyable_v<MatchItem> &&
              std::is_trivially_destructible_v<MatchItem>);

// A list is filled by one worker and never changed once published; sorts and filters build
// new lists. Readers copy the pointer under the guarding mutex and read without a lock.
using MatchList = std::vector<MatchItem, ResultAllocator<MatchItem>>;
using ResultList = std::shared_ptr<const MatchList>;

extern std::atomic<uint64_t> searchGeneration;  // raised by every search start and sort request
extern ResultList currentResults;               // Under resultsMutex, with currentSummary.
extern std::mutex resultsMutex;                 // Outermost lock of the program.
extern std::atomic<int32_t> selectedDrive;      // 0: ALL; k: the k-th drive of the DriveList

// The sort the header shows: a column code, -1 for none (reset when a search publishes unless
// it keeps the sort), and its direction. Written under resultsMutex when a list is published.
extern std::atomic<int32_t> sortColumn;
extern std::atomic<bool> sortAscending;

// True when work started with `generation` must stop without publishing: a newer search or
// sort has begun, or the program is shutting down.
inline bool IsStale(uint64_t generation) {
  return searchGeneration.load() != generation || ShuttingDown();
}

// Handed from StartSearch to its worker thread, which owns it.
struct SearchRequest {
  std::u16string query;  // trimmed
  uint64_t generation = 0;
  bool keepSort = false;
};

}  // namespace qm
