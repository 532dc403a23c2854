// Sorts that stop when they go stale: a sort of a million entries runs for a noticeable part of
// a second, and a newer search or sort, or shutdown, must not wait for it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace qm {

// Asked every step of a sort (a key made, a comparison), it looks at the sort's generation every
// kCheckEvery steps and answers true once it is overtaken or shutdown has begun, and from then on.
class SortStop {
 public:
  static constexpr size_t kCheckEvery = 1024;
  explicit SortStop(uint64_t generation) : generation_(generation) {}
  bool Step() {
    if (++steps_ % kCheckEvery == 0 && !stale_) stale_ = Check();
    return stale_;
  }
  // Looks at the generation now, for a step long enough on its own (a slice of fresh memory).
  bool StepNow() {
    if (!stale_) stale_ = Check();
    return stale_;
  }
  bool stale() const { return stale_; }

 private:
  bool Check() const;
  uint64_t generation_;
  size_t steps_ = 0;
  bool stale_ = false;
};

// Grows `items` to `size` value-initialised elements, a slice at a time: the first touch of
// fresh memory takes a page fault per page, tens of milliseconds for the keys of a million
// entries, too long to go without looking for staleness. False when `stop` answered true first.
template <typename Vector>
bool ResizeStopping(Vector& items, size_t size, SortStop& stop) {
  constexpr size_t kSliceBytes = size_t(1) << 20;
  constexpr size_t kSlice = std::max<size_t>(1, kSliceBytes / sizeof(typename Vector::value_type));
  items.reserve(size);
  while (items.size() < size) {
    if (stop.StepNow()) return false;
    items.resize(std::min(size, items.size() + kSlice));
  }
  return true;
}

// Sorts [first, last) by `less` with the standard sort, which cannot be interrupted: the
// comparison asks `stop` and, once the sort is stale, throws, and the sort is left half done.
// False then (the range is in no particular order).
template <typename Iterator, typename Less>
bool SortStopping(Iterator first, Iterator last, SortStop& stop, Less less) {
  struct Abandoned {};
  try {
    std::sort(first, last, [&stop, &less](const auto& a, const auto& b) {
      if (stop.Step()) throw Abandoned{};
      return less(a, b);
    });
  } catch (const Abandoned&) {
    return false;
  }
  return true;
}

}  // namespace qm
