#include "index/record_map.h"

#include <utility>

#include "index/table_memory.h"

namespace qm {

RecordMap::~RecordMap() {
  FreeTable(slots_, capacity_ * sizeof(Slot));
}

size_t RecordMap::SlotOf(uint64_t frn) const {
  const size_t mask = capacity_ - 1;
  const uint32_t tag = Tag(frn);
  size_t i = MixFrn(frn) & mask;
  for (;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.record == kFree) return i;
    if (slot.tag == tag && (*records_)[slot.record].frn == frn) return i;
  }
}

const uint32_t* RecordMap::Find(uint64_t frn) const {
  if (capacity_ == 0) return nullptr;
  const Slot& slot = slots_[SlotOf(frn)];
  return slot.record == kFree ? nullptr : &slot.record;
}

void RecordMap::Prefetch(uint64_t frn) const {
  if (capacity_ != 0) __builtin_prefetch(&slots_[MixFrn(frn) & (capacity_ - 1)]);
}

void RecordMap::Set(uint64_t frn, uint32_t record) {
  Reserve(size_ + 1);
  Slot& slot = slots_[SlotOf(frn)];
  if (slot.record == kFree) {
    slot.tag = Tag(frn);
    ++size_;
  }
  slot.record = record;
}

void RecordMap::Reserve(size_t entries) {
  const size_t capacity = CapacityFor(entries, capacity_);
  if (capacity > capacity_) Rehash(capacity);
}

void RecordMap::Rehash(size_t newCapacity) {
  Slot* fresh = static_cast<Slot*>(AllocateTable(newCapacity * sizeof(Slot)));
  for (size_t i = 0; i < newCapacity; ++i) fresh[i] = Slot{0, kFree};
  Slot* old = std::exchange(slots_, fresh);
  const size_t oldCapacity = std::exchange(capacity_, newCapacity);
  // Every number held is distinct, so an entry goes to the first free slot of its probe
  // sequence; only its record tells the whole number to hash.
  const size_t mask = newCapacity - 1;
  for (size_t k = 0; k < oldCapacity; ++k) {
    if (old[k].record == kFree) continue;
    size_t i = MixFrn((*records_)[old[k].record].frn) & mask;
    while (slots_[i].record != kFree) i = (i + 1) & mask;
    slots_[i] = old[k];
  }
  FreeTable(old, oldCapacity * sizeof(Slot));
}

void RecordMap::Clear() {
  FreeTable(slots_, capacity_ * sizeof(Slot));
  slots_ = nullptr;
  capacity_ = 0;
  size_ = 0;
}

}  // namespace qm
