#include "index/frn_map.h"

#include <utility>

#include "index/table_memory.h"

namespace qm {

FrnMap::FrnMap(FrnMap&& other) noexcept {
  *this = std::move(other);
}

FrnMap& FrnMap::operator=(FrnMap&& other) noexcept {
  if (this != &other) {
    FreeTable(slots_, capacity_ * sizeof(Slot));
    slots_ = std::exchange(other.slots_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    size_ = std::exchange(other.size_, 0);
    hasEmptyKey_ = std::exchange(other.hasEmptyKey_, false);
    emptyKeyValue_ = other.emptyKeyValue_;
  }
  return *this;
}

FrnMap::~FrnMap() {
  FreeTable(slots_, capacity_ * sizeof(Slot));
}

size_t FrnMap::SlotOf(uint64_t key) const {
  size_t mask = capacity_ - 1;
  size_t i = MixFrn(key) & mask;
  for (uint64_t k = slots_[i].key(); k != key && k != kEmpty; k = slots_[i].key()) {
    i = (i + 1) & mask;
  }
  return i;
}

const uint32_t* FrnMap::Find(uint64_t key) const {
  if (key == kEmpty) return hasEmptyKey_ ? &emptyKeyValue_ : nullptr;
  if (capacity_ == 0) return nullptr;
  const Slot& slot = slots_[SlotOf(key)];
  return slot.key() == key ? &slot.value : nullptr;
}

void FrnMap::Prefetch(uint64_t key) const {
  if (capacity_ != 0) __builtin_prefetch(&slots_[MixFrn(key) & (capacity_ - 1)]);
}

void FrnMap::Set(uint64_t key, uint32_t value) {
  if (key == kEmpty) {
    size_ += hasEmptyKey_ ? 0 : 1;
    hasEmptyKey_ = true;
    emptyKeyValue_ = value;
    return;
  }
  Reserve(size_ + 1);
  Slot& slot = slots_[SlotOf(key)];
  if (slot.key() == kEmpty) {
    slot.SetKey(key);
    ++size_;
  }
  slot.value = value;
}

void FrnMap::Reserve(size_t entries) {
  const size_t capacity = CapacityFor(entries, capacity_);
  if (capacity > capacity_) Rehash(capacity);
}

void FrnMap::Rehash(size_t newCapacity) {
  // All bits set marks a free slot.
  Slot* fresh = static_cast<Slot*>(AllocateTable(newCapacity * sizeof(Slot)));
  for (size_t i = 0; i < newCapacity; ++i) fresh[i].SetKey(kEmpty);
  Slot* old = std::exchange(slots_, fresh);
  size_t oldCapacity = std::exchange(capacity_, newCapacity);
  for (size_t i = 0; i < oldCapacity; ++i) {
    if (old[i].key() != kEmpty) slots_[SlotOf(old[i].key())] = old[i];
  }
  FreeTable(old, oldCapacity * sizeof(Slot));
}

void FrnMap::Clear() {
  FreeTable(slots_, capacity_ * sizeof(Slot));
  slots_ = nullptr;
  capacity_ = 0;
  size_ = 0;
  hasEmptyKey_ = false;
}

}  // namespace qm
