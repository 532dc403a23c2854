#include "index/child_map.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "index/table_memory.h"

namespace qm {

ChildMap::~ChildMap() {
  Clear();
}

size_t ChildMap::Hash(uint64_t parentFrn, const char16_t* name, size_t length) {
  return HashFolded(parentFrn, name, length);
}

size_t ChildMap::HomeSlot(const FileRecord& record, const NamePool& names) const {
  return Hash(record.parentFrn, names.At(record.name), record.nameLength) & (capacity_ - 1);
}

void ChildMap::Place(size_t slot, uint32_t index) {
  const size_t mask = capacity_ - 1;
  while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
  slots_[slot] = index;
  ++size_;
}

void ChildMap::Rehash(const RecordDeque& records, const NamePool& names, size_t newCapacity) {
  uint32_t* old =
      std::exchange(slots_, static_cast<uint32_t*>(AllocateTable(newCapacity * sizeof(uint32_t))));
  const size_t oldCapacity = std::exchange(capacity_, newCapacity);
  std::memset(slots_, 0xFF, newCapacity * sizeof(uint32_t));  // every slot kEmpty
  size_ = 0;
  for (size_t i = 0; i < oldCapacity; ++i) {
    if (old[i] != kEmpty) Place(HomeSlot(records[old[i]], names), old[i]);
  }
  if (old) FreeTable(old, oldCapacity * sizeof(uint32_t));
}

void ChildMap::Add(const RecordDeque& records, const NamePool& names, uint32_t index) {
  const size_t capacity = CapacityFor(size_ + 1, capacity_);
  if (capacity > capacity_) Rehash(records, names, capacity);
  Place(HomeSlot(records[index], names), index);
}

void ChildMap::AddAll(const RecordDeque& records, const NamePool& names) {
  const size_t count = records.size();
  if (count <= size_) return;
  const size_t capacity = CapacityFor(count, capacity_);
  if (capacity > capacity_) Rehash(records, names, capacity);
  // The slots of a drive's records are scattered over a table of tens of megabytes: their
  // places are worked out a batch ahead and fetched while the batch before is placed.
  constexpr size_t kBatch = 16;
  size_t homes[kBatch];
  for (size_t first = size_; first < count; first += kBatch) {
    const size_t n = std::min(kBatch, count - first);
    for (size_t k = 0; k < n; ++k) {
      homes[k] = HomeSlot(records[first + k], names);
      __builtin_prefetch(&slots_[homes[k]], 1);
    }
    for (size_t k = 0; k < n; ++k) Place(homes[k], uint32_t(first + k));
  }
}

void ChildMap::Clear() {
  if (slots_) FreeTable(slots_, capacity_ * sizeof(uint32_t));
  slots_ = nullptr;
  capacity_ = 0;
  size_ = 0;
}

}  // namespace qm
