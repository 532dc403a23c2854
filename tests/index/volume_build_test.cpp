#include "index/volume_build.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/shutting_down.h"
#include "index/build_path.h"
#include "index/journal_monitor.h"
#include "platform/byte_order.h"
#include "standin/fake_volume.h"
#include "support/scripted_volume.h"

namespace qm {
namespace {

using testing::OutputBuilder;
using testing::ScriptedAnswer;
using testing::ScriptedVolume;

EnumBuffer BufferOf(const std::vector<uint8_t>& bytes, uint32_t returned) {
  EnumBuffer buffer;
  std::copy(bytes.begin(), bytes.end(), buffer.bytes);
  buffer.returned = returned;
  return buffer;
}

std::u16string NameOf(const VolumeIndex& index, const FileRecord& r) {
  return std::u16string(RecordName(index, r));
}

// ---- Parsing one enumeration buffer ----

TEST(ParseEnumBuffer, TakesEveryRecordAsItComes) {
  OutputBuilder out(99);
  out.Add({0x10, 5, 0, 0, 0, 0x10}, u"$Extend")
      .Add({0x11, 0x10, 0, 0, 0, 0x20}, u"")
      .Add({0x12, 5, 0, 0, 0, 0x30}, u"Caf\u00C9 Menu.TXT");
  ScriptedVolume device;
  VolumeIndex index(device);
  ParseEnumBuffer(BufferOf(out.bytes, uint32_t(out.bytes.size())), index);
  ASSERT_EQ(RecordCount(index), 3u);
  EXPECT_EQ(index.records[0].frn, 0x10u);
  EXPECT_EQ(index.records[0].parentFrn, 5u);
  EXPECT_EQ(index.records[0].isDirectory, 1u);
  EXPECT_EQ(NameOf(index, index.records[0]), u"$Extend");
  EXPECT_EQ(NameOf(index, index.records[1]), u"");
  EXPECT_EQ(index.records[1].isDirectory, 0u);
  EXPECT_EQ(index.records[2].isDirectory, 1u) << "0x30 has the directory bit";
  EXPECT_EQ(NameOf(index, index.records[2]), u"Caf\u00C9 Menu.TXT") << "stored as given";
  EXPECT_EQ(index.records[2].deleted, 0u);
}

// A record that lies about its size ends the buffer; what came before it stays.
TEST(ParseEnumBuffer, StopsAtTheFirstUnsoundRecord) {
  struct Case {
    const char* what;
    size_t field;  // offset inside the second record
    int width;
    uint32_t value;
    uint32_t returnedDelta;  // added to the true byte count
  };
  const Case cases[] = {
      {"zero length", 0, 4, 0, 0},
      {"length too small", 0, 4, 16, 0},
      {"length past the returned count", 0, 4, 4096, 0},
      {"name past the record", 56, 2, 200, 0},
      {"returned count cuts the record", 0, 4, 64, uint32_t(-8)},
  };
  for (const Case& c : cases) {
    OutputBuilder out(0);
    out.Add({1, 5, 0, 0, 0, 0}, u"ok").Add({2, 5, 0, 0, 0, 0}, u"xy").Add({3, 5, 0, 0, 0, 0}, u"z");
    uint8_t* second = out.bytes.data() + 8 + 64;
    if (c.width == 4) StoreLe32(second + c.field, c.value);
    if (c.width == 2) StoreLe16(second + c.field, uint16_t(c.value));
    uint32_t returned = uint32_t(out.bytes.size()) + c.returnedDelta;
    if (c.returnedDelta) returned = 8 + 64 + 60;  // the second record is cut short
    ScriptedVolume device;
    VolumeIndex index(device);
    ParseEnumBuffer(BufferOf(out.bytes, returned), index);
    ASSERT_EQ(RecordCount(index), 1u) << c.what;
    EXPECT_EQ(NameOf(index, index.records[0]), u"ok") << c.what;
  }
}

TEST(ParseEnumBuffer, NeverReadsPastTheBufferWhateverTheCountSays) {
  // Fill the whole 64 KiB with records and claim more bytes than the buffer holds.
  OutputBuilder out(0);
  while (out.bytes.size() + 64 <= kEnumBufferSize) out.Add({7, 5, 0, 0, 0, 0}, u"ab");
  ScriptedVolume device;
  VolumeIndex index(device);
  ParseEnumBuffer(BufferOf(out.bytes, 0xFFFFFFFF), index);
  EXPECT_EQ(RecordCount(index), (out.bytes.size() - 8) / 64);
}

// ---- The build against a scripted volume (exact byte counts) ----

TEST(BuildVolumeIndex, EightByteReadMovesOnAndZeroByteReadEnds) {
  ScriptedVolume device;
  device.UseHealthyJournal(1, 5000);
  device.Script(kFsctlEnumUsnData, ScriptedAnswer{kErrorMoreData, {}, 0});  // the probe
  device.Script(kFsctlEnumUsnData, OutputBuilder(0x100).Add({0x20, 5, 0, 0, 0, 0}, u"a").Answer());
  device.Script(kFsctlEnumUsnData, OutputBuilder(0x200).Answer());  // exactly 8 bytes
  device.Script(kFsctlEnumUsnData, OutputBuilder(0x300).Add({0x21, 5, 0, 0, 0, 0}, u"b").Answer());
  device.Script(kFsctlEnumUsnData, ScriptedAnswer{kErrorSuccess, {}, 0});  // 0 bytes: the end
  device.Script(kFsctlEnumUsnData, OutputBuilder(0x400).Add({0x22, 5, 0, 0, 0, 0}, u"c").Answer());

  VolumeIndex index(device);
  ASSERT_TRUE(BuildVolumeIndex(index, u"D:"));
  StopMonitor(index);
  EXPECT_EQ(index.drive, u"D:");
  ASSERT_EQ(RecordCount(index), 2u);
  EXPECT_EQ(NameOf(index, index.records[1]), u"b");

  auto inputs = device.Inputs(kFsctlEnumUsnData);
  ASSERT_EQ(inputs.size(), 5u) << "probe, three reads, the empty read";
  const uint64_t starts[] = {0, 0, 0x100, 0x200, 0x300};
  for (size_t i = 0; i < 5; ++i) {
    MftEnumData sent = DecodeMftEnumData(inputs[i].data());
    EXPECT_EQ(sent.startFileReferenceNumber, starts[i]) << "read " << i;
    EXPECT_EQ(sent.lowUsn, 0);
    EXPECT_EQ(sent.highUsn, 5000);
  }
  EXPECT_EQ(*index.indexByFrn.Find(0x21), 1u);
}

TEST(BuildVolumeIndex, ReadShorterThanTheNextReferenceEndsTheEnumeration) {
  ScriptedVolume device;
  device.UseHealthyJournal(1, 5000);
  device.Script(kFsctlEnumUsnData, ScriptedAnswer{kErrorHandleEof, {}, 0});  // the probe
  device.Script(kFsctlEnumUsnData, OutputBuilder(0x100).Add({0x20, 5, 0, 0, 0, 0}, u"a").Answer());
  device.Script(kFsctlEnumUsnData, ScriptedAnswer{kErrorSuccess, {1, 2, 3, 4}, 4});
  VolumeIndex index(device);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StopMonitor(index);
  EXPECT_EQ(RecordCount(index), 1u);
  EXPECT_EQ(device.Inputs(kFsctlEnumUsnData).size(), 3u) << "no read after the short one";
}

// ---- The build against the stand-in volume ----

class BuildTest : public ::testing::Test {
 protected:
  BuildTest() : volume(u"C:") {
    volume.SetJournal(0xABC, 0, 1000);
    volume.AddEntry({5, 5, 0x16, 10, u"."});
    volume.AddEntry({0x30, 5, 0x10, 20, u"Users"});
    volume.AddEntry({0x20, 0x30, 0x20, 30, u"notes.txt"});
  }
  ~BuildTest() override { shuttingDown = false; }

  std::vector<FakeCall> ControlCalls(uint32_t code) const {
    std::vector<FakeCall> result;
    for (const FakeCall& call : volume.Calls())
      if (call.kind == FakeCall::Kind::kControl && call.code == code) result.push_back(call);
    return result;
  }

  FakeVolume volume;
};

TEST_F(BuildTest, FillsTheStoreAndTheMapInReferenceOrder) {
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  EXPECT_TRUE(index.monitoring.load());
  EXPECT_TRUE(index.monitorThread.joinable());
  {
    std::shared_lock guard(index.lock);
    ASSERT_EQ(RecordCount(index), 3u);
    EXPECT_EQ(index.records[0].frn, 5u) << "enumeration runs in reference order";
    EXPECT_EQ(index.journalId, 0xABCu);
  }
  EXPECT_EQ(BuildPath(index, *index.indexByFrn.Find(0x20)), u"C:\\Users\\notes.txt");
  StopMonitor(index);
  EXPECT_FALSE(index.monitoring.load());

  auto calls = volume.Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0].kind, FakeCall::Kind::kOpen);
  EXPECT_EQ(calls[0].path, u"\\\\.\\C:");
  EXPECT_EQ(calls[0].code, 0xC0000000u);
  EXPECT_EQ(calls[1].code, kFsctlQueryUsnJournal);
  EXPECT_EQ(calls[1].outSize, 56u);
  EXPECT_EQ(calls[2].code, kFsctlEnumUsnData);
  EXPECT_EQ(calls[2].outSize, 520u) << "the probe";
  EXPECT_EQ(calls[3].code, kFsctlEnumUsnData);
  EXPECT_EQ(calls[3].outSize, 65536u);
  EXPECT_EQ(calls[3].in.size(), 24u);
}

TEST_F(BuildTest, CreatesAMissingJournal) {
  volume.RemoveJournal();
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StopMonitor(index);
  EXPECT_TRUE(volume.JournalActive());
  auto creates = ControlCalls(kFsctlCreateUsnJournal);
  ASSERT_EQ(creates.size(), 1u);
  CreateUsnJournalData sent = DecodeCreateUsnJournalData(creates[0].in.data());
  EXPECT_EQ(sent.maximumSize, 0x10000000u);
  EXPECT_EQ(sent.allocationDelta, 0x1000000u);
  EXPECT_EQ(ControlCalls(kFsctlQueryUsnJournal).size(), 2u);
  EXPECT_EQ(index.journalId, volume.JournalId());
  std::shared_lock guard(index.lock);
  EXPECT_EQ(RecordCount(index), 3u);
}

TEST_F(BuildTest, JournalThatCannotBeQueriedAfterCreationFailsTheBuild) {
  volume.FailControl(kFsctlQueryUsnJournal, 1, kErrorJournalNotActive);
  volume.FailControl(kFsctlQueryUsnJournal, 2, kErrorAccessDenied);
  VolumeIndex index(volume);
  EXPECT_FALSE(BuildVolumeIndex(index, u"C:"));
  EXPECT_FALSE(index.monitorThread.joinable());
}

TEST_F(BuildTest, FailingProbeRebuildsTheJournalOnce) {
  volume.FailControl(kFsctlEnumUsnData, 1, kErrorInvalidParameter);
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StopMonitor(index);
  auto deletes = ControlCalls(kFsctlDeleteUsnJournal);
  ASSERT_EQ(deletes.size(), 1u);
  DeleteUsnJournalData sent = DecodeDeleteUsnJournalData(deletes[0].in.data());
  EXPECT_EQ(sent.usnJournalId, 0xABCu) << "deletes the journal it queried";
  EXPECT_EQ(sent.deleteFlags, 1u);
  EXPECT_EQ(ControlCalls(kFsctlCreateUsnJournal).size(), 1u);
  EXPECT_NE(index.journalId, 0xABCu) << "the new journal's identity is used";
  EXPECT_EQ(index.journalId, volume.JournalId());
  auto enums = ControlCalls(kFsctlEnumUsnData);
  ASSERT_GE(enums.size(), 2u);
  EXPECT_EQ(DecodeMftEnumData(enums[1].in.data()).highUsn, volume.NextUsn());
}

TEST_F(BuildTest, ProbeEndingWithEofOrMoreDataChangesNothing) {
  for (Win32Error error : {kErrorHandleEof, kErrorMoreData}) {
    FakeVolume fresh(u"C:");
    fresh.SetJournal(7, 0, 1000);
    fresh.AddEntry({5, 5, 0x16, 10, u"."});
    fresh.FailControl(kFsctlEnumUsnData, 1, error);
    VolumeIndex index(fresh);
    ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
    StopMonitor(index);
    EXPECT_EQ(index.journalId, 7u);
    for (const FakeCall& call : fresh.Calls())
      EXPECT_NE(call.code, kFsctlDeleteUsnJournal) << "error " << error;
  }
}

TEST_F(BuildTest, EmptyEnumerationIsRepeatedWithEveryUsn) {
  FakeVolume late(u"C:");
  late.SetJournal(1, 0, 100);
  late.AddEntry({5, 5, 0x16, 500, u"."});  // USNs above the journal's NextUsn
  late.AddEntry({0x40, 5, 0x20, 600, u"late.txt"});
  VolumeIndex index(late);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StopMonitor(index);
  std::shared_lock guard(index.lock);
  EXPECT_EQ(RecordCount(index), 2u);
  bool sawFallback = false;
  for (const FakeCall& call : late.Calls()) {
    if (call.code == kFsctlEnumUsnData && call.in.size() == 24 &&
        DecodeMftEnumData(call.in.data()).highUsn == kHighestUsn)
      sawFallback = true;
  }
  EXPECT_TRUE(sawFallback);
}

TEST_F(BuildTest, OpensReadOnlyWhenReadWriteIsRefused) {
  volume.FailOpen(0xC0000000u, kErrorAccessDenied);
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StopMonitor(index);
  auto calls = volume.Calls();
  EXPECT_EQ(calls[1].kind, FakeCall::Kind::kOpen);
  EXPECT_EQ(calls[1].code, 0x80000000u);

  FakeVolume locked(u"C:");
  locked.FailOpen(0xC0000000u, kErrorAccessDenied);
  locked.FailOpen(0x80000000u, kErrorAccessDenied);
  VolumeIndex refused(locked);
  EXPECT_FALSE(BuildVolumeIndex(refused, u"C:"));
  EXPECT_EQ(refused.volumeHandle, kInvalidVolumeHandle);
}

TEST_F(BuildTest, ShutdownInTheMiddleStopsEverythingButStillSucceeds) {
  for (int i = 0; i < 3000; ++i)
    volume.AddEntry({uint64_t(0x1000 + i), 5, 0x20, 40,
                     u"file with a longer name " + std::u16string(1, char16_t('a' + i % 26))});
  volume.OnControl([](uint32_t code, int nth) {
    if (code == kFsctlEnumUsnData && nth == 4) shuttingDown = true;
  });
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  EXPECT_EQ(index.indexByFrn.size(), 0u) << "no map after shutdown";
  EXPECT_FALSE(index.monitoring.load());
  EXPECT_FALSE(index.monitorThread.joinable());
  EXPECT_LT(RecordCount(index), 3003u);
  EXPECT_EQ(ControlCalls(kFsctlEnumUsnData).size(), 4u) << "no read after the flag";
}

TEST_F(BuildTest, ShutdownBeforeTheBuildSkipsTheEnumeration) {
  shuttingDown = true;
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  EXPECT_EQ(RecordCount(index), 0u);
  EXPECT_EQ(ControlCalls(kFsctlEnumUsnData).size(), 1u) << "only the probe";
}

// The consumer parses while reads go on; every queued buffer is parsed before the map.
TEST_F(BuildTest, EveryQueuedBufferIsParsedBeforeTheMap) {
  const int extra = 40000;
  for (int i = 0; i < extra; ++i)
    volume.AddEntry({uint64_t(0x10000 + i), 0x30, 0x20, 50,
                     u"document " + std::u16string(1, char16_t(u'A' + i % 26)) + u".txt"});
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StopMonitor(index);
  ASSERT_EQ(RecordCount(index), uint64_t(extra + 3));
  EXPECT_EQ(index.indexByFrn.size(), uint64_t(extra + 3));
  EXPECT_EQ(BuildPath(index, *index.indexByFrn.Find(0x10000 + 27)), u"C:\\Users\\document B.txt");
}

TEST_F(BuildTest, RebuildResetsTheStore) {
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StoreProperties(index, 0x20, PropertyInfo{1, 2, 3, true});
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  StopMonitor(index);
  std::shared_lock guard(index.lock);
  EXPECT_EQ(RecordCount(index), 3u);
  PropertyInfo info;
  EXPECT_FALSE(LookupProperties(index, 0x20, &info)) << "the cache is emptied by the reset";
}

// ---- Closing ----

TEST_F(BuildTest, CloseVolumeReportsAFailingCloseAndAlwaysPauses) {
  VolumeIndex index(volume);
  index.drive = u"C:";
  CloseVolume(index);
  ASSERT_EQ(volume.Pauses().size(), 1u);
  EXPECT_EQ(volume.Pauses()[0], std::chrono::milliseconds(300)) << "also without a handle";
  EXPECT_TRUE(volume.DebugLines().empty());

  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  volume.FailClose(kErrorInvalidHandle);
  CloseVolume(index);
  EXPECT_EQ(index.volumeHandle, kInvalidVolumeHandle);
  ASSERT_EQ(volume.DebugLines().size(), 1u);
  EXPECT_EQ(volume.DebugLines()[0],
            "[Quillmarsh] CloseHandle failed, Error: 6 (0x00000006), Drive: C:\n");
  EXPECT_FALSE(index.monitorThread.joinable());
  EXPECT_EQ(volume.OpenHandles(), 0);
}

TEST(VolumeIndexStore, PropertiesCache) {
  ScriptedVolume device;
  VolumeIndex index(device);
  PropertyInfo out{-1, 9, 9, false};
  EXPECT_FALSE(LookupProperties(index, 1, &out));
  EXPECT_EQ(out.size, -1) << "untouched when absent";
  StoreProperties(index, 1, PropertyInfo{0, 0, 0, true});  // a failed file query
  EXPECT_TRUE(LookupProperties(index, 1, &out));
  EXPECT_EQ(out.size, 0);
  StoreProperties(index, 1, PropertyInfo{42, 5, 6, true});
  EXPECT_TRUE(LookupProperties(index, 1, &out));
  EXPECT_EQ(out.size, 42);
  ForgetProperties(index, 1);
  ForgetProperties(index, 2);
  EXPECT_FALSE(LookupProperties(index, 1, &out));
  ReleaseVolumeIndex(nullptr);
}

}  // namespace
}  // namespace qm
