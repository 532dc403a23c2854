#include "index/frn_map.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace qm {

namespace {

// Reference numbers are dense segment numbers with a sequence number in the top 16 bits;
// a multiplicative mix spreads both over the table.
inline size_t Mix(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  return size_t(key);
}

}  // namespace

FrnMap::FrnMap(FrnMap&& other) noexcept { *this = std::move(other); }

FrnMap& FrnMap::operator=(FrnMap&& other) noexcept {
  if (this != &other) {
    std::free(slots_);
    slots_ = std::exchange(other.slots_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    size_ = std::exchange(other.size_, 0);
    hasEmptyKey_ = std::exchange(other.hasEmptyKey_, false);
    emptyKeyValue_ = other.emptyKeyValue_;
  }
  return *this;
}

FrnMap::~FrnMap() { std::free(slots_); }

size_t FrnMap::SlotOf(uint64_t key) const {
  size_t mask = capacity_ - 1;
  size_t i = Mix(key) & mask;
  while (slots_[i].key != key && slots_[i].key != kEmpty) i = (i + 1) & mask;
  return i;
}

const uint64_t* FrnMap::Find(uint64_t key) const {
  if (key == kEmpty) return hasEmptyKey_ ? &emptyKeyValue_ : nullptr;
  if (capacity_ == 0) return nullptr;
  const Slot& slot = slots_[SlotOf(key)];
  return slot.key == key ? &slot.value : nullptr;
}

void FrnMap::Set(uint64_t key, uint64_t value) {
  if (key == kEmpty) {
    size_ += hasEmptyKey_ ? 0 : 1;
    hasEmptyKey_ = true;
    emptyKeyValue_ = value;
    return;
  }
  // Keep the load at most 3/4 so probe sequences stay short.
  if ((size_ + 1) * 4 > capacity_ * 3) Grow();
  Slot& slot = slots_[SlotOf(key)];
  if (slot.key == kEmpty) {
    slot.key = key;
    ++size_;
  }
  slot.value = value;
}

void FrnMap::Grow() {
  size_t newCapacity = capacity_ ? capacity_ * 2 : 16;
  // All bits set marks a free slot; malloc + fill is cheaper than constructing slots.
  Slot* fresh = static_cast<Slot*>(std::malloc(newCapacity * sizeof(Slot)));
  if (!fresh) throw std::bad_alloc();
  for (size_t i = 0; i < newCapacity; ++i) fresh[i].key = kEmpty;
  Slot* old = std::exchange(slots_, fresh);
  size_t oldCapacity = std::exchange(capacity_, newCapacity);
  for (size_t i = 0; i < oldCapacity; ++i) {
    if (old[i].key != kEmpty) slots_[SlotOf(old[i].key)] = old[i];
  }
  std::free(old);
}

void FrnMap::Clear() {
  std::free(slots_);
  slots_ = nullptr;
  capacity_ = 0;
  size_ = 0;
  hasEmptyKey_ = false;
}

}  // namespace qm
