// Finds the records of a folder's entries by name: a hash table from (parent reference
// number, name with A to Z folded) to record index, so that a full path can be followed from
// the drive's root one name at a time instead of scanning the drive.
//
// Every record ever appended is in the table, deleted ones and older records of a renamed
// entry included (the records never move, and a lookup checks what it finds). Slots hold only
// the record index (4 bytes); the key is read back from the record, so a lookup reads one
// record per slot it probes, a few at the load kept here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "index/name_pool.h"
#include "index/record_deque.h"

namespace qm {

class ChildMap {
 public:
  ChildMap() = default;
  ChildMap(const ChildMap&) = delete;
  ChildMap& operator=(const ChildMap&) = delete;
  ~ChildMap();

  // Adds record `index` of `records` under its parent and its folded name.
  void Add(const RecordDeque& records, const NamePool& names, uint32_t index);
  // Adds the records not added yet at once; records are added in their order, so these are
  // the last records.size() - size() (after the drive's enumeration: all of them).
  void AddAll(const RecordDeque& records, const NamePool& names);
  void Clear();

  // Calls visit(index) for every record added under `parentFrn` whose folded name is
  // `foldedName` (deleted ones included), in no particular order.
  template <typename Visit>
  void ForEachChild(const RecordDeque& records, const NamePool& names, uint64_t parentFrn,
                    std::u16string_view foldedName, Visit&& visit) const {
    if (capacity_ == 0) return;
    const size_t mask = capacity_ - 1;
    for (size_t i = Hash(parentFrn, foldedName.data(), foldedName.size()) & mask;
         slots_[i] != kEmpty; i = (i + 1) & mask) {
      const FileRecord& record = records[slots_[i]];
      if (record.parentFrn == parentFrn &&
          FoldedEquals({names.At(record.name), record.nameLength}, foldedName)) {
        visit(slots_[i]);
      }
    }
  }

  size_t size() const { return size_; }
  size_t MemoryBytes() const { return capacity_ * sizeof(uint32_t); }

 private:
  static constexpr uint32_t kEmpty = ~uint32_t(0);

  // Hashes the name with A to Z folded (folding a folded name changes nothing).
  static size_t Hash(uint64_t parentFrn, const char16_t* name, size_t length);
  size_t HomeSlot(const FileRecord& record, const NamePool& names) const;
  void Place(size_t slot, uint32_t index);
  void Rehash(const RecordDeque& records, const NamePool& names, size_t newCapacity);

  uint32_t* slots_ = nullptr;
  size_t capacity_ = 0;  // a power of two, or 0
  size_t size_ = 0;
};

}  // namespace qm
