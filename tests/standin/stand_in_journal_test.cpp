#include "standin/stand_in_journal.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/journal_layout.h"

namespace qm {
namespace {

// A volume without entries: the journal is all there is.
class NoEntries : public StandInJournal::Volume {
  uint64_t NewJournalId() override { return 1; }
  Win32Error Enumerate(const MftEnumData&, EnumerationPage& page) override { return page.Finish(); }
};

// The one setting in which the two stand-ins' journals differ.
TEST(StandInJournalTest, RetentionDecidesWhatASmallOrZeroMaximumSizeDoes) {
  using Retention = StandInJournal::Retention;
  constexpr uint64_t kRecord = UsnRecordSize(8);
  struct Row {
    Retention retention;
    uint64_t maximumSize;
    uint64_t reportedSize;
    uint32_t kept;  // of 10 entries
  };
  const Row rows[] = {
      {Retention::kEverything, 3 * kRecord, 3 * kRecord, 10},
      {Retention::kMaximumSize, 3 * kRecord, 3 * kRecord, 3},
      {Retention::kEverything, 0, 0, 10},
      {Retention::kMaximumSize, 0, 0x2000000, 10},  // 0 is the default size, not "keep nothing"
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "size " << row.maximumSize << ", kept " << row.kept);
    NoEntries volume;
    StandInJournal journal(volume, row.retention);
    journal.Set(7, 0, 0);
    uint8_t in[ReadUsnJournalData::kSize];  // the largest input
    std::vector<uint8_t> out(0x1000);
    uint32_t returned = 0;
    Encode(CreateUsnJournalData{row.maximumSize, 0x1000}, in);
    ASSERT_EQ(journal.Serve(kFsctlCreateUsnJournal, in, CreateUsnJournalData::kSize, nullptr, 0,
                            &returned),
              kErrorSuccess);
    for (uint64_t frn = 1; frn <= 10; ++frn) {
      journal.Record(UsnRecordFields{.frn = frn, .usn = journal.NextUsn(), .reason = 0x100},
                     u"file0000");
    }
    ASSERT_EQ(journal.Serve(kFsctlQueryUsnJournal, nullptr, 0, out.data(), uint32_t(out.size()),
                            &returned),
              kErrorSuccess);
    const UsnJournalData data = DecodeUsnJournalData(out.data());
    EXPECT_EQ(data.maximumSize, row.reportedSize);
    EXPECT_EQ(data.firstUsn, int64_t((10 - row.kept) * kRecord)) << "the oldest entry kept";
    EXPECT_EQ(data.nextUsn, int64_t(10 * kRecord));

    ReadUsnJournalData read;  // from the oldest entry kept
    read.reasonMask = 0xFFFFFFFF;
    read.usnJournalId = 7;
    Encode(read, in);
    ASSERT_EQ(journal.Serve(kFsctlReadUsnJournal, in, sizeof in, out.data(), uint32_t(out.size()),
                            &returned),
              kErrorSuccess);
    EXPECT_EQ(returned, 8 + row.kept * kRecord);
  }
}

}  // namespace
}  // namespace qm
