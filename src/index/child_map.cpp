#include "index/child_map.h"

#include <cstring>
#include <utility>

#include "base/fold_case.h"
#include "index/table_memory.h"

namespace qm {

ChildMap::~ChildMap() {
  Clear();
}

size_t ChildMap::Hash(uint64_t parentFrn, const char16_t* name, size_t length) {
  // FNV-1a over the folded units, seeded with the parent, then mixed so that the low bits
  // (the slot) depend on every unit.
  uint64_t h = 0xcbf29ce484222325ULL ^ parentFrn;
  for (size_t i = 0; i < length; ++i) {
    h ^= FoldUnit(name[i]);
    h *= 0x100000001b3ULL;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return size_t(h);
}

bool ChildMap::NameIs(const FileRecord& record, std::u16string_view foldedName) {
  if (record.nameLength != foldedName.size()) return false;
  for (size_t i = 0; i < foldedName.size(); ++i) {
    if (FoldUnit(record.name[i]) != foldedName[i]) return false;
  }
  return true;
}

void ChildMap::Insert(const RecordDeque& records, uint32_t index) {
  const FileRecord& record = records[index];
  const size_t mask = capacity_ - 1;
  size_t i = Hash(record.parentFrn, record.name, record.nameLength) & mask;
  while (slots_[i] != kEmpty) i = (i + 1) & mask;
  slots_[i] = index;
  ++size_;
}

void ChildMap::Rehash(const RecordDeque& records, size_t newCapacity) {
  uint32_t* old =
      std::exchange(slots_, static_cast<uint32_t*>(AllocateTable(newCapacity * sizeof(uint32_t))));
  const size_t oldCapacity = std::exchange(capacity_, newCapacity);
  std::memset(slots_, 0xFF, newCapacity * sizeof(uint32_t));  // every slot kEmpty
  size_ = 0;
  for (size_t i = 0; i < oldCapacity; ++i) {
    if (old[i] != kEmpty) Insert(records, old[i]);
  }
  if (old) FreeTable(old, oldCapacity * sizeof(uint32_t));
}

void ChildMap::Add(const RecordDeque& records, uint32_t index) {
  // The load stays at most 3/4 so probe runs stay short.
  if ((size_ + 1) * 4 > capacity_ * 3) Rehash(records, capacity_ ? capacity_ * 2 : 16);
  Insert(records, index);
}

void ChildMap::AddAll(const RecordDeque& records) {
  const size_t count = records.size();
  if (count <= size_) return;
  size_t capacity = capacity_ ? capacity_ : 16;
  while (count * 4 > capacity * 3) capacity *= 2;
  if (capacity > capacity_) Rehash(records, capacity);
  for (size_t i = size_; i < count; ++i) Insert(records, uint32_t(i));
}

void ChildMap::Clear() {
  if (slots_) FreeTable(slots_, capacity_ * sizeof(uint32_t));
  slots_ = nullptr;
  capacity_ = 0;
  size_ = 0;
}

}  // namespace qm
