#include "platform/journal_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/byte_order.h"

namespace qm {
namespace {

namespace r = usn_record_v2;

std::vector<uint8_t> OneRecord(std::u16string_view name) {
  std::vector<uint8_t> bytes(UsnRecordSize(name.size()));
  UsnRecordFields fields{0x0001000000000123ULL, 0x0005000000000005ULL, 0x1234, 0, 0x2100, 0x20};
  EXPECT_EQ(WriteUsnRecord(fields, name, bytes.data(), bytes.size()), bytes.size());
  return bytes;
}

TEST(JournalLayout, RecordIsWrittenAtThePublishedOffsets) {
  auto bytes = OneRecord(u"ab");
  ASSERT_EQ(bytes.size(), 64u);  // 60 + 4 name bytes, padded to 8
  EXPECT_EQ(LoadLe32(&bytes[r::kRecordLength]), 64u);
  EXPECT_EQ(LoadLe16(&bytes[r::kMajorVersion]), 2u);
  EXPECT_EQ(LoadLe64(&bytes[r::kFileReference]), 0x0001000000000123ULL);
  EXPECT_EQ(LoadLe64(&bytes[r::kParentReference]), 0x0005000000000005ULL);
  EXPECT_EQ(LoadLe64(&bytes[r::kUsn]), 0x1234u);
  EXPECT_EQ(LoadLe32(&bytes[r::kReason]), 0x2100u);
  EXPECT_EQ(LoadLe32(&bytes[r::kFileAttributes]), 0x20u);
  EXPECT_EQ(LoadLe16(&bytes[r::kFileNameLength]), 4u);
  EXPECT_EQ(LoadLe16(&bytes[r::kFileNameOffset]), 60u);
  EXPECT_EQ(bytes[60], 'a');
  EXPECT_EQ(bytes[62], 'b');
  EXPECT_EQ(WriteUsnRecord({}, u"ab", bytes.data(), 63), 0u) << "must refuse a short buffer";
}

TEST(JournalLayout, ReadsASoundRecord) {
  auto bytes = OneRecord(u"ab");
  UsnRecordView view;
  ASSERT_TRUE(ReadUsnRecord(bytes.data(), bytes.size(), 0, &view));
  EXPECT_EQ(view.recordLength, 64u);
  EXPECT_EQ(view.frn, 0x0001000000000123ULL);
  EXPECT_EQ(view.parentFrn, 0x0005000000000005ULL);
  EXPECT_EQ(view.reason, 0x2100u);
  EXPECT_EQ(view.attributes, 0x20u);
  EXPECT_EQ(view.nameUnits, 2u);
  EXPECT_EQ(view.name, bytes.data() + 60);
}

// Every way a record can lie about its size must end the parse without reading outside.
TEST(JournalLayout, RefusesRecordsThatDoNotFit) {
  struct Case {
    const char* what;
    uint32_t recordLength;
    uint16_t nameBytes;
    uint16_t nameOffset;
    size_t size;  // bytes of the buffer that count
  };
  const Case cases[] = {
      {"zero length", 0, 4, 60, 64},
      {"length below the fixed fields", 56, 0, 60, 64},
      {"length past the returned bytes", 72, 4, 60, 64},
      {"buffer shorter than the fixed fields", 64, 4, 60, 40},
      {"name past its record", 64, 8, 60, 64},
      {"name offset past its record", 64, 2, 63, 64},
      {"huge name", 64, 0xFFFF, 60, 64},
  };
  for (const Case& c : cases) {
    auto bytes = OneRecord(u"ab");
    StoreLe32(&bytes[r::kRecordLength], c.recordLength);
    StoreLe16(&bytes[r::kFileNameLength], c.nameBytes);
    StoreLe16(&bytes[r::kFileNameOffset], c.nameOffset);
    UsnRecordView view;
    EXPECT_FALSE(ReadUsnRecord(bytes.data(), c.size, 0, &view)) << c.what;
  }
  auto bytes = OneRecord(u"ab");
  UsnRecordView view;
  EXPECT_FALSE(ReadUsnRecord(bytes.data(), bytes.size(), 64, &view)) << "offset at the end";
  EXPECT_FALSE(ReadUsnRecord(bytes.data(), bytes.size(), 8, &view)) << "tail too short";
}

TEST(JournalLayout, StructuresRoundTripAtTheirOffsets) {
  uint8_t bytes[56];
  UsnJournalData journal{0x1122334455667788ULL, 1, 2, 3, 4, 5, 6};
  Encode(journal, bytes);
  EXPECT_EQ(LoadLe64(bytes + 16), 2u);  // NextUsn
  auto back = DecodeUsnJournalData(bytes);
  EXPECT_EQ(back.usnJournalId, journal.usnJournalId);
  EXPECT_EQ(back.nextUsn, 2);
  EXPECT_EQ(back.allocationDelta, 6u);

  ReadUsnJournalData read{100, 0x3300, 0, 0, 0, 77};
  Encode(read, bytes);
  EXPECT_EQ(LoadLe32(bytes + 8), 0x3300u);
  EXPECT_EQ(LoadLe64(bytes + 32), 77u);
  EXPECT_EQ(DecodeReadUsnJournalData(bytes).startUsn, 100);

  MftEnumData enumData{9, 0, 0x7FFFFFFFFFFFFFFF};
  Encode(enumData, bytes);
  EXPECT_EQ(DecodeMftEnumData(bytes).highUsn, 0x7FFFFFFFFFFFFFFF);

  DeleteUsnJournalData del{55, 1};
  std::fill(bytes, bytes + 16, 0xEE);
  Encode(del, bytes);
  EXPECT_EQ(LoadLe32(bytes + 12), 0u) << "padding is zeroed";
  EXPECT_EQ(DecodeDeleteUsnJournalData(bytes).deleteFlags, 1u);

  CreateUsnJournalData create{0x10000000, 0x1000000};
  Encode(create, bytes);
  EXPECT_EQ(DecodeCreateUsnJournalData(bytes).allocationDelta, 0x1000000u);
}

}  // namespace
}  // namespace qm
