// The map from file reference number to the index of a drive's newest record of it
// (indexByFrn): one entry per file of the drive, millions, only ever added to or overwritten.
//
// Open addressing with linear probing, like FrnMap, but a slot holds only the record index and
// 32 bits of the reference number (8 bytes instead of 12). The whole number is the record's own
// frn, read when those bits match; a caller reads that record next anyway, so the lookup costs
// no extra cache miss.
#pragma once

#include <cstddef>
#include <cstdint>

#include "index/record_deque.h"

namespace qm {

class RecordMap {
 public:
  explicit RecordMap(const RecordDeque& records) : records_(&records) {}
  RecordMap(const RecordMap&) = delete;
  RecordMap& operator=(const RecordMap&) = delete;
  ~RecordMap();

  // As FrnMap's, but `record` must be a record of `frn` (the newest one set wins), and Find
  // gives the index of the newest record of `frn`.
  void Set(uint64_t frn, uint32_t record);
  const uint32_t* Find(uint64_t frn) const;
  void Prefetch(uint64_t frn) const;
  void Reserve(size_t entries);
  void Clear();
  size_t size() const { return size_; }
  size_t MemoryBytes() const { return capacity_ * sizeof(Slot); }

 private:
  struct Slot {
    uint32_t tag;     // Tag(frn)
    uint32_t record;  // kFree for a free slot
  };
  static_assert(sizeof(Slot) == 8);
  // No drive reaches this many records: each holds a name of at least one unit and its NUL in a
  // pool of 2^32 units.
  static constexpr uint32_t kFree = ~uint32_t(0);

  static uint32_t Tag(uint64_t frn) { return uint32_t(frn) ^ uint32_t(frn >> 32); }
  // The slot that holds `frn`, or the free slot where it would go.
  size_t SlotOf(uint64_t frn) const;
  void Rehash(size_t newCapacity);

  const RecordDeque* records_;
  Slot* slots_ = nullptr;
  size_t capacity_ = 0;  // a power of two, or 0
  size_t size_ = 0;
};

}  // namespace qm
