#include "standin/fake_volume.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/byte_order.h"
#include "platform/journal_layout.h"
#include "standin/volume_image.h"

namespace qm {
namespace {

constexpr uint32_t kMonitorMask = 0x3300;

struct Reply {
  Win32Error error = 0;
  uint32_t returned = 0;
  std::vector<uint8_t> out;
};

// One record of an output buffer, copied out.
struct Record {
  uint64_t frn;
  uint64_t parentFrn;
  int64_t usn;
  uint32_t reason;
  uint32_t attributes;
  std::u16string name;
  uint32_t length;
  size_t offset;
};

std::vector<Record> Records(const Reply& reply) {
  std::vector<Record> records;
  size_t offset = 8;
  UsnRecordView view;
  while (offset < reply.returned &&
         ReadUsnRecord(reply.out.data(), reply.returned, offset, &view)) {
    std::u16string name;
    for (size_t i = 0; i < view.nameUnits; ++i) name += char16_t(LoadLe16(view.name + 2 * i));
    records.push_back({view.frn, view.parentFrn, view.usn, view.reason, view.attributes, name,
                       view.recordLength, offset});
    offset += view.recordLength;
  }
  EXPECT_EQ(offset, reply.returned) << "records must fill the returned bytes exactly";
  return records;
}

class FakeVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(volume.Open(u"\\\\.\\C:", kGenericRead | kGenericWrite, &handle), kErrorSuccess);
  }

  Reply Call(uint32_t code, const std::vector<uint8_t>& in, uint32_t outSize) {
    Reply reply;
    reply.out.assign(outSize, 0xCD);
    reply.error =
        volume.Control(handle, code, in.empty() ? nullptr : in.data(), uint32_t(in.size()),
                       outSize ? reply.out.data() : nullptr, outSize, &reply.returned);
    return reply;
  }

  Reply Enum(uint64_t start, int64_t low, int64_t high, uint32_t outSize = 0x10000) {
    std::vector<uint8_t> in(MftEnumData::kSize);
    Encode(MftEnumData{start, low, high}, in.data());
    return Call(kFsctlEnumUsnData, in, outSize);
  }

  Reply Read(int64_t startUsn, uint32_t mask, uint32_t outSize = 0x10000, uint64_t id = 0,
             uint32_t onlyOnClose = 0) {
    ReadUsnJournalData request;
    request.startUsn = startUsn;
    request.reasonMask = mask;
    request.returnOnlyOnClose = onlyOnClose;
    request.usnJournalId = id ? id : volume.JournalId();
    std::vector<uint8_t> in(ReadUsnJournalData::kSize);
    Encode(request, in.data());
    return Call(kFsctlReadUsnJournal, in, outSize);
  }

  Reply Query(uint32_t outSize = UsnJournalData::kSize) {
    return Call(kFsctlQueryUsnJournal, {}, outSize);
  }

  Reply Create(uint64_t maximumSize = 0x10000000, uint64_t delta = 0x1000000) {
    std::vector<uint8_t> in(CreateUsnJournalData::kSize);
    Encode(CreateUsnJournalData{maximumSize, delta}, in.data());
    return Call(kFsctlCreateUsnJournal, in, 0);
  }

  Reply Delete(uint64_t id, uint32_t flags = kUsnDeleteFlagDelete) {
    std::vector<uint8_t> in(DeleteUsnJournalData::kSize);
    Encode(DeleteUsnJournalData{id, flags}, in.data());
    return Call(kFsctlDeleteUsnJournal, in, 0);
  }

  void AddChange(int64_t usn, uint32_t reason, uint64_t frn, std::u16string name) {
    volume.AddChange(FakeChange{usn, reason, frn, 5, 0x20, std::move(name)});
  }

  FakeVolume volume{u"C:"};
  VolumeHandle handle = kInvalidVolumeHandle;
};

// --- Open, handles, close ---

TEST_F(FakeVolumeTest, OpenAcceptsOnlyTheDevicePathOfItsDrive) {
  struct Case {
    std::u16string path;
    Win32Error expected;
  };
  const Case cases[] = {
      {u"\\\\.\\C:", kErrorSuccess},
      {u"\\\\.\\c:", kErrorSuccess},
      {u"C:", kErrorFileNotFound},
      {u"\\\\.\\D:", kErrorFileNotFound},
      {u"\\\\.\\C:\\", kErrorFileNotFound},
      {u"\\\\?\\C:", kErrorFileNotFound},
      {u"", kErrorFileNotFound},
  };
  for (const Case& c : cases) {
    VolumeHandle h = 12345;
    EXPECT_EQ(volume.Open(c.path, kGenericRead, &h), c.expected);
    if (c.expected == kErrorSuccess) {
      EXPECT_NE(h, kInvalidVolumeHandle);
      EXPECT_EQ(volume.Close(h), kErrorSuccess);
    } else {
      EXPECT_EQ(h, kInvalidVolumeHandle);
    }
  }
}

TEST_F(FakeVolumeTest, HandlesAreDistinctAndCounted) {
  VolumeHandle second = kInvalidVolumeHandle;
  ASSERT_EQ(volume.Open(u"\\\\.\\C:", kGenericRead, &second), kErrorSuccess);
  EXPECT_NE(second, handle);
  EXPECT_NE(second, kInvalidVolumeHandle);
  EXPECT_NE(second, 0);
  EXPECT_EQ(volume.OpenHandles(), 2);
  EXPECT_EQ(volume.Close(second), kErrorSuccess);
  EXPECT_EQ(volume.OpenHandles(), 1);
  EXPECT_EQ(volume.Close(second), kErrorInvalidHandle);
  EXPECT_EQ(volume.OpenHandles(), 1);
}

TEST_F(FakeVolumeTest, FailOpenFailsOnlyThatAccessMask) {
  volume.FailOpen(kGenericRead | kGenericWrite, kErrorAccessDenied);
  VolumeHandle h = 0;
  EXPECT_EQ(volume.Open(u"\\\\.\\C:", kGenericRead | kGenericWrite, &h), kErrorAccessDenied);
  EXPECT_EQ(h, kInvalidVolumeHandle);
  EXPECT_EQ(volume.Open(u"\\\\.\\C:", kGenericRead, &h), kErrorSuccess);
  EXPECT_EQ(volume.OpenHandles(), 2);

  const auto calls = volume.Calls();
  ASSERT_EQ(calls.size(), 3u);  // SetUp's open, the failed one, the read-only one
  EXPECT_EQ(calls[1].kind, FakeCall::Kind::kOpen);
  EXPECT_EQ(calls[1].code, kGenericRead | kGenericWrite);
  EXPECT_EQ(calls[1].result, kErrorAccessDenied);
  EXPECT_EQ(calls[1].path, u"\\\\.\\C:");
  EXPECT_EQ(calls[2].code, kGenericRead);
  EXPECT_EQ(calls[2].result, kErrorSuccess);
}

TEST_F(FakeVolumeTest, FailCloseReportsTheErrorOnceAndClosesAllTheSame) {
  volume.FailClose(kErrorInvalidHandle + 100);
  EXPECT_EQ(volume.Close(handle), kErrorInvalidHandle + 100);
  EXPECT_EQ(volume.OpenHandles(), 0);
  EXPECT_EQ(Query().error, kErrorInvalidHandle);

  VolumeHandle h;
  ASSERT_EQ(volume.Open(u"\\\\.\\C:", kGenericRead, &h), kErrorSuccess);
  EXPECT_EQ(volume.Close(h), kErrorSuccess);
  const auto calls = volume.Calls();
  EXPECT_EQ(calls[1].kind, FakeCall::Kind::kClose);
  EXPECT_EQ(calls[1].result, kErrorInvalidHandle + 100);
}

TEST_F(FakeVolumeTest, ControlsOnAnUnknownHandleOrCodeFail) {
  uint8_t out[64];
  uint32_t returned = 99;
  EXPECT_EQ(
      volume.Control(handle + 1, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof out, &returned),
      kErrorInvalidHandle);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(volume.Control(kInvalidVolumeHandle, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof out,
                           &returned),
            kErrorInvalidHandle);
  EXPECT_EQ(Call(0x90000, {}, 64).error, kErrorInvalidFunction);
}

// --- Query, create, delete ---

TEST_F(FakeVolumeTest, ANewVolumeHasAnActiveEmptyJournal) {
  Reply reply = Query();
  ASSERT_EQ(reply.error, kErrorSuccess);
  EXPECT_EQ(reply.returned, UsnJournalData::kSize);
  UsnJournalData data = DecodeUsnJournalData(reply.out.data());
  EXPECT_EQ(data.usnJournalId, volume.JournalId());
  EXPECT_NE(data.usnJournalId, 0u);
  EXPECT_EQ(data.firstUsn, 0);
  EXPECT_EQ(data.nextUsn, 0);
  EXPECT_EQ(Enum(0, 0, 0x7FFFFFFFFFFFFFFF).error, kErrorHandleEof);
  reply = Read(0, kMonitorMask);
  ASSERT_EQ(reply.error, kErrorSuccess);
  EXPECT_EQ(reply.returned, 8u);
}

TEST_F(FakeVolumeTest, QueryReportsTheJournalAsSet) {
  volume.SetJournal(0x1D2C3B4A59687F0, 4096, 9216);
  Reply reply = Query();
  ASSERT_EQ(reply.error, kErrorSuccess);
  UsnJournalData data = DecodeUsnJournalData(reply.out.data());
  EXPECT_EQ(data.usnJournalId, 0x1D2C3B4A59687F0u);
  EXPECT_EQ(data.firstUsn, 4096);
  EXPECT_EQ(data.nextUsn, 9216);
  EXPECT_EQ(data.lowestValidUsn, 4096);
  EXPECT_EQ(data.maxUsn, 0x7FFFFFFFFFFFFFFF);

  reply = Query(UsnJournalData::kSize - 1);
  EXPECT_EQ(reply.error, kErrorInsufficientBuffer);
  EXPECT_EQ(reply.returned, 0u);
}

TEST_F(FakeVolumeTest, WithoutAJournalEveryJournalControlFails) {
  volume.AddEntry({0x10, 5, 0x20, 0, u"a"});
  volume.RemoveJournal();
  EXPECT_FALSE(volume.JournalActive());
  EXPECT_EQ(Query().error, kErrorJournalNotActive);
  EXPECT_EQ(Enum(0, 0, 0x7FFFFFFFFFFFFFFF).error, kErrorJournalNotActive);
  EXPECT_EQ(Read(0, kMonitorMask).error, kErrorJournalNotActive);
  EXPECT_EQ(Delete(volume.JournalId()).error, kErrorJournalNotActive);
}

TEST_F(FakeVolumeTest, CreateKeepsAnActiveJournalAndChangesOnlyItsSizes) {
  volume.SetJournal(77, 100, 200);
  ASSERT_EQ(Create(0x4000000, 0x400000).error, kErrorSuccess);
  UsnJournalData data = DecodeUsnJournalData(Query().out.data());
  EXPECT_EQ(data.usnJournalId, 77u);
  EXPECT_EQ(data.firstUsn, 100);
  EXPECT_EQ(data.nextUsn, 200);
  EXPECT_EQ(data.maximumSize, 0x4000000u);
  EXPECT_EQ(data.allocationDelta, 0x400000u);
}

TEST_F(FakeVolumeTest, DeleteAndCreateGiveANewIdentityAndUsnsNeverGoBack) {
  volume.SetJournal(77, 4096, 4096);
  AddChange(4096, kUsnReasonFileCreate, 0x20, u"x");
  const int64_t reached = volume.NextUsn();
  EXPECT_EQ(reached, 4096 + int64_t(UsnRecordSize(1)));

  EXPECT_EQ(Delete(78).error, kErrorInvalidParameter);  // not the active journal
  EXPECT_TRUE(volume.JournalActive());
  EXPECT_EQ(Delete(77, 0).error, kErrorInvalidParameter);
  ASSERT_EQ(Delete(77).error, kErrorSuccess);
  EXPECT_FALSE(volume.JournalActive());

  std::set<uint64_t> identities = {77};
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(Create().error, kErrorSuccess);
    UsnJournalData data = DecodeUsnJournalData(Query().out.data());
    EXPECT_TRUE(identities.insert(data.usnJournalId).second) << "identity used before";
    EXPECT_EQ(data.firstUsn, reached);
    EXPECT_EQ(data.nextUsn, reached);
    EXPECT_EQ(data.maximumSize, 0x10000000u);
    EXPECT_EQ(data.allocationDelta, 0x1000000u);
    // The old entries are gone with the old journal.
    Reply reply = Read(0, 0xFFFFFFFF);
    ASSERT_EQ(reply.error, kErrorSuccess);
    EXPECT_EQ(reply.returned, 8u);
    EXPECT_EQ(int64_t(LoadLe64(reply.out.data())), reached);
    ASSERT_EQ(Delete(data.usnJournalId).error, kErrorSuccess);
  }
}

TEST_F(FakeVolumeTest, ShortInputsAreInvalidParameters) {
  struct Case {
    uint32_t code;
    size_t size;
  };
  const Case cases[] = {{kFsctlCreateUsnJournal, CreateUsnJournalData::kSize - 1},
                        {kFsctlDeleteUsnJournal, DeleteUsnJournalData::kSize - 1},
                        {kFsctlEnumUsnData, MftEnumData::kSize - 1},
                        {kFsctlReadUsnJournal, ReadUsnJournalData::kSize - 1},
                        {kFsctlEnumUsnData, 0}};
  for (const Case& c : cases) {
    Reply reply = Call(c.code, std::vector<uint8_t>(c.size, 0), 0x1000);
    EXPECT_EQ(reply.error, kErrorInvalidParameter) << std::hex << c.code << " " << c.size;
    EXPECT_EQ(reply.returned, 0u);
  }
}

// --- Enumeration ---

class FakeVolumeEnumTest : public FakeVolumeTest {
 protected:
  void SetUp() override {
    FakeVolumeTest::SetUp();
    volume.SetJournal(1, 0, 1000);
    // Added out of order on purpose.
    volume.AddEntry({0x0001000000000030, 0x0005000000000005, 0x20, 30, u"third.txt"});
    volume.AddEntry({0x0005000000000005, 0x0005000000000005, 0x16, 0, u"."});
    volume.AddEntry({0x0001000000000010, 0x0005000000000005, 0x10, 10, u"a"});
    volume.AddEntry({0x0001000000000020, 0x0001000000000010, 0x20, 20, u"Zweite Datei.dat"});
  }
};

TEST_F(FakeVolumeEnumTest, OutputIsByteExact) {
  Reply reply = Enum(0, 0, 1000);
  ASSERT_EQ(reply.error, kErrorSuccess);
  // 8 + records of names 1, 16, 9 and 1 units: 64, 96, 80, 64 bytes.
  ASSERT_EQ(reply.returned, 8u + 64 + 96 + 80 + 64);

  std::vector<uint8_t> expected(reply.returned, 0);
  StoreLe64(expected.data(), 0x0005000000000005 + 1);
  size_t at = 8;
  auto put = [&](uint64_t frn, uint64_t parent, int64_t usn, uint32_t attributes,
                 std::u16string_view name, uint32_t length) {
    uint8_t* p = expected.data() + at;
    StoreLe32(p + 0, length);
    StoreLe16(p + 4, 2);
    StoreLe64(p + 8, frn);
    StoreLe64(p + 16, parent);
    StoreLe64(p + 24, uint64_t(usn));
    StoreLe32(p + 52, attributes);
    StoreLe16(p + 56, uint16_t(name.size() * 2));
    StoreLe16(p + 58, 60);
    for (size_t i = 0; i < name.size(); ++i) StoreLe16(p + 60 + 2 * i, name[i]);
    at += length;
  };
  put(0x0001000000000010, 0x0005000000000005, 10, 0x10, u"a", 64);
  put(0x0001000000000020, 0x0001000000000010, 20, 0x20, u"Zweite Datei.dat", 96);
  put(0x0001000000000030, 0x0005000000000005, 30, 0x20, u"third.txt", 80);
  put(0x0005000000000005, 0x0005000000000005, 0, 0x16, u".", 64);
  EXPECT_EQ(std::vector<uint8_t>(reply.out.begin(), reply.out.begin() + reply.returned), expected);
  for (const Record& r : Records(reply)) EXPECT_EQ(r.offset % 8, 0u);

  // Nothing after the last reference.
  EXPECT_EQ(Enum(0x0005000000000006, 0, 1000).error, kErrorHandleEof);
}

TEST_F(FakeVolumeEnumTest, PagesHoldWholeRecordsAndMoveTheStartOn) {
  // Exactly the first two records fit.
  Reply reply = Enum(0, 0, 1000, 8 + 64 + 96);
  ASSERT_EQ(reply.error, kErrorSuccess);
  EXPECT_EQ(reply.returned, 8u + 64 + 96);
  EXPECT_EQ(Records(reply).size(), 2u);
  EXPECT_EQ(LoadLe64(reply.out.data()), 0x0001000000000021u);

  // One byte less: only the first.
  reply = Enum(0, 0, 1000, 8 + 64 + 96 - 1);
  ASSERT_EQ(reply.error, kErrorSuccess);
  EXPECT_EQ(reply.returned, 8u + 64);
  EXPECT_EQ(LoadLe64(reply.out.data()), 0x0001000000000011u);

  // Paging through with a buffer that holds the largest record gives each record once, in
  // frn order.
  std::vector<uint64_t> frns;
  uint64_t start = 0;
  for (int guard = 0; guard < 10; ++guard) {
    reply = Enum(start, 0, 1000, 8 + 96);
    if (reply.error == kErrorHandleEof) break;
    ASSERT_EQ(reply.error, kErrorSuccess);
    for (const Record& r : Records(reply)) frns.push_back(r.frn);
    start = LoadLe64(reply.out.data());
  }
  EXPECT_EQ(frns, (std::vector<uint64_t>{0x0001000000000010, 0x0001000000000020, 0x0001000000000030,
                                         0x0005000000000005}));
}

TEST_F(FakeVolumeEnumTest, ABufferTooSmallForTheNextRecordIsMoreData) {
  Reply reply = Enum(0x0001000000000011, 0, 1000, 8 + 95);  // the next record takes 96
  EXPECT_EQ(reply.error, kErrorMoreData);
  EXPECT_EQ(reply.returned, 0u);
  reply = Enum(0, 0, 1000, 7);
  EXPECT_EQ(reply.error, kErrorInsufficientBuffer);
  EXPECT_EQ(reply.returned, 0u);
  // The 520-byte probe of a build fits at least one record.
  EXPECT_EQ(Enum(0, 0, 1000, 520).error, kErrorSuccess);
}

TEST_F(FakeVolumeEnumTest, UsnRangeFiltersEntries) {
  struct Case {
    int64_t low;
    int64_t high;
    std::vector<uint64_t> frns;
  };
  const Case cases[] = {
      {15, 25, {0x0001000000000020}},
      {0, 10, {0x0001000000000010, 0x0005000000000005}},
      {30, 30, {0x0001000000000030}},
      {31, 0x7FFFFFFFFFFFFFFF, {}},
      {20, 10, {}},
  };
  for (const Case& c : cases) {
    Reply reply = Enum(0, c.low, c.high);
    std::vector<uint64_t> frns;
    if (c.frns.empty()) {
      EXPECT_EQ(reply.error, kErrorHandleEof) << c.low << ".." << c.high;
      continue;
    }
    ASSERT_EQ(reply.error, kErrorSuccess);
    for (const Record& r : Records(reply)) frns.push_back(r.frn);
    EXPECT_EQ(frns, c.frns) << c.low << ".." << c.high;
  }
}

TEST_F(FakeVolumeEnumTest, EntriesAddedAfterAnEnumerationAreInFrnOrderToo) {
  ASSERT_EQ(Enum(0, 0, 1000).error, kErrorSuccess);
  volume.AddEntry({0x0001000000000015, 5, 0x20, 1, u"late"});
  EXPECT_EQ(volume.EntryCount(), 5u);
  Reply reply = Enum(0x0001000000000011, 0, 1000, 8 + 72);
  ASSERT_EQ(reply.error, kErrorSuccess);
  ASSERT_EQ(Records(reply).size(), 1u);
  EXPECT_EQ(Records(reply)[0].name, u"late");
}

TEST_F(FakeVolumeTest, TheTopReferenceEndsTheEnumerationWhateverThePageSize) {
  // 0xFFFFFFFFFFFFFFFF has no successor: the page after it ends the pass instead of going
  // round to reference 0. The change after nextUsn joins the journal at that end as usual.
  constexpr uint64_t kTop = ~uint64_t(0);
  VolumeContent content;
  content.hasJournal = true;
  content.journalId = 1;
  content.nextUsn = 64;
  content.AddEntry(kTop, 5, 0x20, 0, u"c");  // in any order
  content.AddEntry(5, 5, 0x16, 0, u".");
  content.AddEntry(kTop - 1, 5, 0x20, 0, u"b");
  content.AddChange(64, kUsnReasonFileCreate, 0x30, 5, 0x20, u"d");
  for (uint32_t outSize : {8u + 64, 8u + 128, 0x10000u}) {
    SCOPED_TRACE(outSize);
    FakeVolume fresh(u"C:");
    FillFakeVolume(content, fresh);
    VolumeHandle h;
    ASSERT_EQ(fresh.Open(u"\\\\.\\C:", kGenericRead, &h), kErrorSuccess);
    std::vector<uint64_t> frns;
    uint64_t start = 0;
    Reply reply;
    for (int guard = 0; guard < 10; ++guard) {
      std::vector<uint8_t> in(MftEnumData::kSize);
      Encode(MftEnumData{start, 0, 64}, in.data());
      reply.out.assign(outSize, 0);
      reply.error = fresh.Control(h, kFsctlEnumUsnData, in.data(), uint32_t(in.size()),
                                  reply.out.data(), outSize, &reply.returned);
      if (reply.error != kErrorSuccess) break;
      for (const Record& r : Records(reply)) frns.push_back(r.frn);
      start = LoadLe64(reply.out.data());
    }
    EXPECT_EQ(reply.error, kErrorHandleEof);
    EXPECT_EQ(frns, (std::vector<uint64_t>{5, kTop - 1, kTop}));
    EXPECT_EQ(start, kTop) << "the next reference never goes round";
    EXPECT_EQ(fresh.NextUsn(), 64 + int64_t(UsnRecordSize(1)));
  }
}

TEST_F(FakeVolumeTest, APassFromTheTopReferenceItselfListsIt) {
  // Only the request right after the page that ended with it finds nothing left.
  constexpr uint64_t kTop = ~uint64_t(0);
  volume.AddEntry({kTop, 5, 0x20, 0, u"c"});
  for (int pass = 0; pass < 2; ++pass) {
    Reply reply = Enum(kTop, 0, 0);
    ASSERT_EQ(reply.error, kErrorSuccess);
    ASSERT_EQ(Records(reply).size(), 1u);
    EXPECT_EQ(Enum(kTop, 0, 0).error, kErrorHandleEof);
  }
  ASSERT_EQ(Enum(0, 0, 0).error, kErrorSuccess);
  EXPECT_EQ(Enum(0, 0, 0).error, kErrorSuccess) << "a new pass from 0 lists it again";
}

TEST_F(FakeVolumeTest, NamesWhoseRecordCannotFitARead64KiBAreRefused) {
  // 32734 units make a record of 65528 bytes: with the next reference or USN, 64 KiB exactly.
  struct Row {
    size_t units;
    bool added;
  };
  const Row rows[] = {{0, true},     {255, true},    {256, true},
                      {32734, true}, {32735, false}, {40000, false}};
  size_t entries = 0;
  int64_t usn = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.units);
    const std::u16string name(row.units, u'n');
    EXPECT_EQ(volume.AddEntry({0x100 + row.units, 5, 0x20, 0, name}), row.added);
    if (row.added) ++entries;
    EXPECT_EQ(volume.EntryCount(), entries);
    EXPECT_EQ(volume.AddChange({usn, kUsnReasonFileCreate, 0x100 + row.units, 5, 0x20, name}),
              row.added);
    if (row.added) usn += int64_t(UsnRecordSize(row.units));
    EXPECT_EQ(volume.NextUsn(), usn);
  }
  // 64 KiB reads page through every entry and every journal entry: none stalls them.
  size_t listed = 0;
  uint64_t start = 0;
  for (int guard = 0; guard < 10; ++guard) {
    Reply reply = Enum(start, 0, 0x7FFFFFFFFFFFFFFF);
    if (reply.error == kErrorHandleEof) break;
    ASSERT_EQ(reply.error, kErrorSuccess);
    listed += Records(reply).size();
    start = LoadLe64(reply.out.data());
  }
  EXPECT_EQ(listed, entries);
  size_t read = 0;
  int64_t next = 0;
  for (int guard = 0; guard < 10 && next < usn; ++guard) {
    Reply reply = Read(next, 0xFFFFFFFF);
    ASSERT_EQ(reply.error, kErrorSuccess);
    read += Records(reply).size();
    next = int64_t(LoadLe64(reply.out.data()));
  }
  EXPECT_EQ(read, entries);
  EXPECT_EQ(next, usn);
}

TEST_F(FakeVolumeTest, ChangesWhoseRecordWouldEndPastTheHighestUsnAreRefused) {
  constexpr int64_t kMax = 0x7FFFFFFFFFFFFFFF;
  const int64_t room = int64_t(UsnRecordSize(3));  // 72
  struct Row {
    int64_t usn;
    bool added;
  };
  const Row rows[] = {
      {-1, false}, {kMax, false}, {kMax - room + 1, false}, {kMax - room, true}, {kMax, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.usn);
    const int64_t before = volume.NextUsn();
    EXPECT_EQ(volume.AddChange({row.usn, kUsnReasonFileCreate, 0x40, 5, 0x20, u"abc"}), row.added);
    EXPECT_EQ(volume.NextUsn(), row.added ? row.usn + room : before);
  }
  Reply reply = Read(0, 0xFFFFFFFF);
  ASSERT_EQ(reply.error, kErrorSuccess);
  ASSERT_EQ(Records(reply).size(), 1u);
  EXPECT_EQ(int64_t(LoadLe64(reply.out.data())), kMax);
}

// --- Journal reads ---

class FakeVolumeReadTest : public FakeVolumeTest {
 protected:
  void SetUp() override {
    FakeVolumeTest::SetUp();
    volume.SetJournal(9, 1000, 1000);
    AddChange(1000, kUsnReasonFileCreate, 0x21, u"new.txt");  // 64+16=80
    AddChange(1080, 0x2, 0x21, u"new.txt");                   // data
    AddChange(1160, kUsnReasonClose | kUsnReasonFileCreate | 0x2, 0x21, u"new.txt");
    AddChange(1240, kUsnReasonRenameOldName, 0x22, u"old name");
    AddChange(1320, kUsnReasonRenameNewName, 0x22, u"new name");
    AddChange(1400, kUsnReasonClose | kUsnReasonFileDelete, 0x23, u"gone");
  }

  std::vector<int64_t> Usns(const Reply& reply) {
    std::vector<int64_t> usns;
    for (const Record& r : Records(reply)) usns.push_back(r.usn);
    return usns;
  }
};

TEST_F(FakeVolumeReadTest, AddChangeMovesNextUsnPastTheRecord) {
  EXPECT_EQ(volume.NextUsn(), 1400 + int64_t(UsnRecordSize(4)));
}

TEST_F(FakeVolumeReadTest, StartUsnZeroReadsFromTheFirstEntryHeld) {
  Reply reply = Read(0, 0xFFFFFFFF);
  ASSERT_EQ(reply.error, kErrorSuccess);
  EXPECT_EQ(Usns(reply), (std::vector<int64_t>{1000, 1080, 1160, 1240, 1320, 1400}));
  EXPECT_EQ(int64_t(LoadLe64(reply.out.data())), volume.NextUsn());
  const auto records = Records(reply);
  EXPECT_EQ(records[3].reason, kUsnReasonRenameOldName);
  EXPECT_EQ(records[3].frn, 0x22u);
  EXPECT_EQ(records[3].parentFrn, 5u);
  EXPECT_EQ(records[3].attributes, 0x20u);
  EXPECT_EQ(records[3].name, u"old name");
}

TEST_F(FakeVolumeReadTest, MaskAndStartSelectEntries) {
  struct Case {
    int64_t start;
    uint32_t mask;
    std::vector<int64_t> usns;
  };
  const Case cases[] = {
      {0, kMonitorMask, {1000, 1160, 1240, 1320, 1400}},
      {1240, kMonitorMask, {1240, 1320, 1400}},
      {1241, kMonitorMask, {1320, 1400}},
      {0, 0x2, {1080, 1160}},
      {0, kUsnReasonFileDelete, {1400}},
      {1000, 0, {}},
      {1500, kMonitorMask, {}},
  };
  for (const Case& c : cases) {
    Reply reply = Read(c.start, c.mask);
    ASSERT_EQ(reply.error, kErrorSuccess);
    EXPECT_EQ(Usns(reply), c.usns) << c.start << " " << std::hex << c.mask;
    EXPECT_EQ(int64_t(LoadLe64(reply.out.data())), volume.NextUsn());
  }
  Reply closed = Read(0, 0xFFFFFFFF, 0x10000, 0, 1);
  EXPECT_EQ(Usns(closed), (std::vector<int64_t>{1160, 1400}));
}

TEST_F(FakeVolumeReadTest, StartBeforeTheFirstEntryHeldIsEntryDeleted) {
  EXPECT_EQ(Read(999, kMonitorMask).error, kErrorJournalEntryDeleted);
  EXPECT_EQ(Read(1, kMonitorMask).error, kErrorJournalEntryDeleted);
  EXPECT_EQ(Read(1000, kMonitorMask).error, kErrorSuccess);
}

TEST_F(FakeVolumeReadTest, OtherJournalIdentityOrTinyBufferFails) {
  EXPECT_EQ(Read(0, kMonitorMask, 0x10000, 10).error, kErrorInvalidParameter);
  Reply reply = Read(0, kMonitorMask, 7);
  EXPECT_EQ(reply.error, kErrorInsufficientBuffer);
  EXPECT_EQ(reply.returned, 0u);
  reply = Read(0, kMonitorMask, 8 + 79);  // the first record takes 80
  EXPECT_EQ(reply.error, kErrorInsufficientBuffer);
  EXPECT_EQ(reply.returned, 0u);
}

TEST_F(FakeVolumeReadTest, SmallBuffersPageThroughTheSameEntries) {
  const std::vector<int64_t> all = Usns(Read(0, kMonitorMask));
  for (uint32_t size : {8u + 80, 8u + 80 + 79, 8u + 160, 200u}) {
    std::vector<int64_t> seen;
    int64_t start = 0;
    for (int guard = 0; guard < 20; ++guard) {
      Reply reply = Read(start, kMonitorMask, size);
      ASSERT_EQ(reply.error, kErrorSuccess) << size;
      const auto usns = Usns(reply);
      seen.insert(seen.end(), usns.begin(), usns.end());
      start = int64_t(LoadLe64(reply.out.data()));
      if (usns.empty()) break;
    }
    EXPECT_EQ(seen, all) << size;
    EXPECT_EQ(start, volume.NextUsn());
  }
  // A full buffer says where to go on: the USN of the first entry it did not return.
  Reply reply = Read(0, kMonitorMask, 8 + 80);
  EXPECT_EQ(Usns(reply), (std::vector<int64_t>{1000}));
  EXPECT_EQ(LoadLe64(reply.out.data()), 1160u);
}

TEST_F(FakeVolumeReadTest, SetJournalKeepsEntriesAndRemoveJournalDropsThem) {
  volume.SetJournal(9, 1240, volume.NextUsn());
  EXPECT_EQ(Usns(Read(0, 0xFFFFFFFF)), (std::vector<int64_t>{1240, 1320, 1400}));
  volume.RemoveJournal();
  AddChange(5000, kUsnReasonFileCreate, 0x30, u"unrecorded");  // no journal: not recorded
  volume.SetJournal(9, 1000, 1000);
  Reply reply = Read(0, 0xFFFFFFFF);
  ASSERT_EQ(reply.error, kErrorSuccess);
  EXPECT_TRUE(Usns(reply).empty());
}

// --- Injected failures, hooks, logs ---

TEST_F(FakeVolumeTest, FailControlFailsTheNthCallOfThatCode) {
  volume.FailControl(kFsctlQueryUsnJournal, 2, kErrorDeviceNotConnected);
  volume.FailControl(kFsctlEnumUsnData, 1, kErrorAccessDenied);
  EXPECT_EQ(Query().error, kErrorSuccess);
  Reply reply = Query();
  EXPECT_EQ(reply.error, kErrorDeviceNotConnected);
  EXPECT_EQ(reply.returned, 0u);
  EXPECT_EQ(Query().error, kErrorSuccess);
  EXPECT_EQ(Enum(0, 0, 100).error, kErrorAccessDenied);
  EXPECT_EQ(Enum(0, 0, 100).error, kErrorHandleEof);
}

TEST_F(FakeVolumeTest, OnControlRunsBeforeTheCallWithoutTheLock) {
  std::vector<std::pair<uint32_t, int>> seen;
  volume.OnControl([&](uint32_t code, int nth) {
    seen.emplace_back(code, nth);
    // Reaching into the volume from the hook must not deadlock; the call then sees it.
    if (code == kFsctlEnumUsnData && nth == 2) volume.AddEntry({0x40, 5, 0x20, 0, u"hooked"});
  });
  EXPECT_EQ(Enum(0, 0, 100).error, kErrorHandleEof);
  EXPECT_EQ(Query().error, kErrorSuccess);
  Reply reply = Enum(0, 0, 100);
  ASSERT_EQ(reply.error, kErrorSuccess);
  EXPECT_EQ(Records(reply)[0].name, u"hooked");
  EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, int>>{
                      {kFsctlEnumUsnData, 1}, {kFsctlQueryUsnJournal, 1}, {kFsctlEnumUsnData, 2}}));
}

TEST_F(FakeVolumeTest, CallLogRecordsEveryCall) {
  Reply query = Query();
  Reply eof = Enum(7, 1, 2, 520);
  volume.CancelIo(handle);
  volume.CancelThreadIo(volume.CurrentThread());
  volume.Close(handle);
  const auto calls = volume.Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[1].kind, FakeCall::Kind::kControl);
  EXPECT_EQ(calls[1].code, kFsctlQueryUsnJournal);
  EXPECT_TRUE(calls[1].in.empty());
  EXPECT_EQ(calls[1].outSize, UsnJournalData::kSize);
  EXPECT_EQ(calls[1].result, kErrorSuccess);
  EXPECT_EQ(calls[1].returned, UsnJournalData::kSize);
  EXPECT_EQ(calls[2].code, kFsctlEnumUsnData);
  ASSERT_EQ(calls[2].in.size(), MftEnumData::kSize);
  const MftEnumData logged = DecodeMftEnumData(calls[2].in.data());
  EXPECT_EQ(logged.startFileReferenceNumber, 7u);
  EXPECT_EQ(logged.lowUsn, 1);
  EXPECT_EQ(logged.highUsn, 2);
  EXPECT_EQ(calls[2].outSize, 520u);
  EXPECT_EQ(calls[2].result, kErrorHandleEof);
  EXPECT_EQ(calls[3].kind, FakeCall::Kind::kCancelIo);
  EXPECT_EQ(calls[4].kind, FakeCall::Kind::kCancelThreadIo);
  EXPECT_EQ(calls[5].kind, FakeCall::Kind::kClose);
  EXPECT_EQ(calls[5].result, kErrorSuccess);
}

TEST_F(FakeVolumeTest, ThreadTokensAreNonZeroAndDifferPerThread) {
  const ThreadToken mine = volume.CurrentThread();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(volume.CurrentThread(), mine);
  ThreadToken other = 0;
  std::thread([&] { other = volume.CurrentThread(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
}

TEST_F(FakeVolumeTest, DebugLinesAndPausesAreRecorded) {
  volume.DebugOutput("first line\n");
  volume.DebugOutput("second");
  EXPECT_EQ(volume.DebugLines(), (std::vector<std::string>{"first line\n", "second"}));

  const auto before = std::chrono::steady_clock::now();
  volume.Pause(std::chrono::milliseconds(300));
  volume.Pause(std::chrono::seconds(1));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
  volume.SetRealPauses(true);
  volume.Pause(std::chrono::milliseconds(20));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(20));
  EXPECT_EQ(volume.Pauses(), (std::vector<std::chrono::milliseconds>{
                                 std::chrono::milliseconds(300), std::chrono::milliseconds(1000),
                                 std::chrono::milliseconds(20)}));
}

TEST_F(FakeVolumeTest, ConcurrentCallersSeeConsistentOutput) {
  for (uint64_t i = 1; i <= 2000; ++i) {
    volume.AddEntry(
        {(i * 7919) % 2003 + 16, 5, 0x20, 0, u"entry " + std::u16string(1, u'a' + i % 26)});
  }
  volume.SetJournal(3, 0, 0);
  std::atomic<bool> failed{false};
  auto enumerate = [&] {
    VolumeHandle h;
    if (volume.Open(u"\\\\.\\C:", kGenericRead, &h) != kErrorSuccess) failed = true;
    std::vector<uint8_t> in(MftEnumData::kSize), out(4096);
    MftEnumData request{0, 0, 0};
    size_t count = 0;
    uint64_t last = 0;
    for (;;) {
      Encode(request, in.data());
      uint32_t returned = 0;
      Win32Error error = volume.Control(h, kFsctlEnumUsnData, in.data(), uint32_t(in.size()),
                                        out.data(), uint32_t(out.size()), &returned);
      if (error == kErrorHandleEof) break;
      if (error != kErrorSuccess) {
        failed = true;
        break;
      }
      UsnRecordView view;
      for (size_t at = 8; at < returned && ReadUsnRecord(out.data(), returned, at, &view);
           at += view.recordLength) {
        if (view.frn <= last && count) failed = true;
        last = view.frn;
        ++count;
      }
      request.startFileReferenceNumber = LoadLe64(out.data());
    }
    if (count != 2000) failed = true;
    volume.Close(h);
  };
  std::thread a(enumerate), b(enumerate);
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) AddChange(8 * i, kUsnReasonFileCreate, 0x9000 + i, u"w");
  });
  a.join();
  b.join();
  writer.join();
  EXPECT_FALSE(failed);
  EXPECT_EQ(Records(Read(0, 0xFFFFFFFF)).size(), 200u);
}

}  // namespace
}  // namespace qm
