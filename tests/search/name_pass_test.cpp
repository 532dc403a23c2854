// One range of the name pass, in each of its ways of reading (the stream of names for a rare
// query, record by record for a dense one, every record for an empty one, and record by record
// where names do not lie in record order): it lists what a plain scan lists, and it lists
// nothing and answers false when its generation was overtaken, shutdown began or another range
// of its search stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/shutting_down.h"
#include "config/filter_tags.h"
#include "search/name_pass.h"
#include "search/results.h"
#include "support/scripted_volume.h"
#include "support/store_builder.h"

namespace qm {
namespace {

constexpr uint64_t kRecords = 40000;  // past the sample a range reads record by record

std::u16string NameOf(uint64_t i) {
  std::u16string name = u"File" + std::u16string(1, char16_t(u'a' + i % 26));
  for (uint64_t n = i; n; n /= 10) name += char16_t(u'0' + n % 10);
  if (i % 997 == 0) name += u"-Rare";
  return name + u".txt";
}

// Every record whose folded name holds `folded`, the plain way.
std::vector<uint32_t> PlainMatches(const VolumeIndex& drive, std::u16string_view folded) {
  std::vector<uint32_t> out;
  for (uint64_t i = 0; i < RecordCount(drive); ++i) {
    std::u16string name(RecordName(drive, drive.records[i]));
    for (char16_t& c : name) c = FoldUnit(c);
    if (!drive.records[i].deleted && name.find(folded) != std::u16string::npos)
      out.push_back(uint32_t(i));
  }
  return out;
}

struct PassCase {
  const char* what;
  std::u16string folded;
  bool namesInRecordOrder;
};

TEST(NamePassTest, ARangeListsThePlainMatchesAndStopsWhenToldInEveryWayOfReading) {
  testing::ScriptedVolume device;
  VolumeIndex drive(device);
  drive.drive = u"C:";
  drive.names.chunkSize = 4096;  // names over many chunks, so the stream crosses their ends
  drive.names.used = drive.names.chunkSize;
  for (uint64_t i = 0; i < kRecords; ++i) testing::AddTestRecord(drive, 100 + i, 5, NameOf(i));
  for (uint64_t i = 0; i < kRecords; i += 7) drive.records[i].deleted = 1;
  const bool inOrder = drive.namesInRecordOrder;
  ASSERT_TRUE(inOrder);

  const SummaryTally tally(filterTags.Snapshot(), 0);
  ExtensionTable::CodeEntries byCode;
  tally.EntriesOfCodes(drive, byCode);
  const PassCase cases[] = {
      {"rare, from the stream", u"-rare", true},
      {"dense, record by record", u"file", true},
      {"every record", u"", true},
      {"names out of record order", u"-rare", false},
  };
  for (const PassCase& c : cases) {
    SCOPED_TRACE(c.what);
    drive.namesInRecordOrder = c.namesInRecordOrder;
    const NameScanner scanner(c.folded);
    auto scan = [&](const PassStop& stop, std::vector<uint32_t>& matches) {
      SummaryTally::Part part = tally.NewPart();
      return ScanRecordRange(drive, scanner, c.folded.empty(), 0, kRecords, stop, matches,
                             RangeTally{tally, part, byCode});
    };
    std::atomic<bool> stopped{false};
    const uint64_t generation = searchGeneration.load();
    std::vector<uint32_t> matches;
    ASSERT_TRUE(scan(PassStop{generation, &stopped}, matches));
    EXPECT_EQ(matches, PlainMatches(drive, c.folded));
    EXPECT_FALSE(matches.empty());

    matches.clear();
    EXPECT_FALSE(scan(PassStop{generation + 1, &stopped}, matches)) << "overtaken";
    stopped.store(true);
    EXPECT_FALSE(scan(PassStop{generation, &stopped}, matches)) << "another range stopped";
    stopped.store(false);
    shuttingDown.store(true);
    EXPECT_FALSE(scan(PassStop{generation, &stopped}, matches)) << "shutdown";
    shuttingDown.store(false);
    EXPECT_TRUE(matches.empty());
  }
  drive.namesInRecordOrder = inOrder;
}

}  // namespace
}  // namespace qm
