#include "index/record_deque.h"

#include "platform/large_block.h"

namespace qm {

void RecordDeque::push_back(const FileRecord& record) {
  if (size_ == segments_.size() * kSegmentRecords) {
    segments_.push_back(static_cast<FileRecord*>(AllocateLargeBlock(kSegmentBytes)));
  }
  segments_[size_ >> kSegmentShift][size_ & (kSegmentRecords - 1)] = record;
  ++size_;
}

void RecordDeque::clear() {
  for (FileRecord* segment : segments_) FreeLargeBlock(segment, kSegmentBytes);
  segments_.clear();
  size_ = 0;
}

}  // namespace qm
