// The records of one drive: an append-only sequence of fixed-size segments, so that a record
// never moves in memory once appended and a pointer to it stays valid while the index lives.
// Segments are large (6 MiB, three huge pages) so that millions of appends cost a handful of
// allocations rather than one per few records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "index/file_record.h"

namespace qm {

class RecordDeque {
 public:
  static constexpr int kSegmentShift = 18;
  static constexpr size_t kSegmentRecords = size_t(1) << kSegmentShift;  // 262,144
  static constexpr size_t kSegmentBytes = kSegmentRecords * sizeof(FileRecord);

  RecordDeque() = default;
  RecordDeque(const RecordDeque&) = delete;
  RecordDeque& operator=(const RecordDeque&) = delete;
  ~RecordDeque() { clear(); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  FileRecord& operator[](size_t i) {
    return segments_[i >> kSegmentShift][i & (kSegmentRecords - 1)];
  }
  const FileRecord& operator[](size_t i) const {
    return segments_[i >> kSegmentShift][i & (kSegmentRecords - 1)];
  }
  FileRecord& back() { return (*this)[size_ - 1]; }

  void push_back(const FileRecord& record);
  // Frees every segment.
  void clear();
  size_t MemoryBytes() const { return segments_.size() * kSegmentBytes; }

  template <typename Deque, typename Record>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = FileRecord;
    using difference_type = std::ptrdiff_t;
    using pointer = Record*;
    using reference = Record&;
    Iterator(Deque* deque, size_t i) : deque_(deque), i_(i) {}
    Record& operator*() const { return (*deque_)[i_]; }
    Record* operator->() const { return &(*deque_)[i_]; }
    Iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return i_ == other.i_; }

   private:
    Deque* deque_;
    size_t i_;
  };
  using iterator = Iterator<RecordDeque, FileRecord>;
  using const_iterator = Iterator<const RecordDeque, const FileRecord>;
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

 private:
  std::vector<FileRecord*> segments_;
  size_t size_ = 0;
};

}  // namespace qm
