// A flat hash map from file reference number to record index (32 bits, as everywhere a record
// is named by its index).
//
// indexByFrn holds one entry per file of a drive (millions), and is only ever added to or
// overwritten, never erased. Open addressing with linear probing over 12-byte slots costs
// about 16 to 24 bytes an entry at the load factors it keeps, against about 40 for a
// node-based map, and a lookup touches one or two cache lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qm {

class FrnMap {
 public:
  FrnMap() = default;
  FrnMap(FrnMap&&) noexcept;
  FrnMap& operator=(FrnMap&&) noexcept;
  ~FrnMap();

  // Inserts `key` or overwrites its value.
  void Set(uint64_t key, uint32_t value);
  // Returns a pointer to the value of `key`, or nullptr. Valid until the next Set or Clear.
  const uint32_t* Find(uint64_t key) const;
  // Starts fetching the slot a lookup of `key` begins at, so that the lookup, made a little
  // later, finds it in the cache.
  void Prefetch(uint64_t key) const;
  // Makes room for `entries` entries without further growth.
  void Reserve(size_t entries);
  void Clear();
  size_t size() const { return size_; }
  // Bytes held by the table itself.
  size_t MemoryBytes() const { return capacity_ * sizeof(Slot); }

 private:
  // The key in two halves keeps the slot at 12 bytes with 4-byte alignment.
  struct Slot {
    uint32_t keyLow;
    uint32_t keyHigh;
    uint32_t value;
    uint64_t key() const { return uint64_t(keyHigh) << 32 | keyLow; }
    void SetKey(uint64_t key) {
      keyLow = uint32_t(key);
      keyHigh = uint32_t(key >> 32);
    }
  };
  static_assert(sizeof(Slot) == 12);
  // A slot whose key is kEmpty is free; the key kEmpty itself is kept beside the table.
  static constexpr uint64_t kEmpty = ~uint64_t(0);

  size_t SlotOf(uint64_t key) const;
  void Rehash(size_t newCapacity);

  Slot* slots_ = nullptr;
  size_t capacity_ = 0;  // a power of two, or 0
  size_t size_ = 0;      // entries, the kEmpty key included
  bool hasEmptyKey_ = false;
  uint32_t emptyKeyValue_ = 0;
};

}  // namespace qm
