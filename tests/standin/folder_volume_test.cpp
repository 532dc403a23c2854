#include "standin/folder_volume.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/fsuid.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <shared_mutex>
#include <thread>
#include <vector>

#include "index/build_path.h"
#include "index/journal_monitor.h"
#include "index/volume_build.h"
#include "platform/byte_order.h"
#include "platform/file_identity.h"
#include "platform/journal_layout.h"
#include "platform/utf8.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

constexpr uint32_t kCreate = 0x100, kDelete = 0x200, kOldName = 0x1000, kNewName = 0x2000,
                   kClose = 0x80000000u;
constexpr uint32_t kDirectory = 0x10, kFile = 0x20, kLink = 0x420;

// One record of an enumeration or journal read, decoded.
struct Entry {
  uint32_t reason = 0;
  uint64_t frn = 0;
  uint64_t parentFrn = 0;
  uint32_t attributes = 0;
  std::u16string name;
  int64_t usn = 0;
  uint32_t recordLength = 0;
};

// Compares what matters for a journal entry (not the USN).
bool operator==(const Entry& a, const Entry& b) {
  return a.reason == b.reason && a.frn == b.frn && a.parentFrn == b.parentFrn &&
         a.attributes == b.attributes && a.name == b.name;
}

void PrintTo(const Entry& e, std::ostream* os) {
  *os << "{reason 0x" << std::hex << e.reason << ", frn " << std::dec << e.frn << ", parent "
      << e.parentFrn << ", attributes 0x" << std::hex << e.attributes << std::dec << ", \""
      << ToUtf8(e.name) << "\"}";
}

std::vector<Entry> ParseRecords(const uint8_t* buffer, uint32_t returned) {
  std::vector<Entry> entries;
  size_t offset = 8;
  UsnRecordView view;
  while (offset < returned) {
    EXPECT_TRUE(ReadUsnRecord(buffer, returned, offset, &view)) << "unsound record at " << offset;
    if (!ReadUsnRecord(buffer, returned, offset, &view)) break;
    EXPECT_EQ(LoadLe16(buffer + offset + usn_record_v2::kMajorVersion), 2);
    EXPECT_EQ(view.recordLength, UsnRecordSize(view.nameUnits));
    Entry e;
    e.reason = view.reason;
    e.frn = view.frn;
    e.parentFrn = view.parentFrn;
    e.attributes = view.attributes;
    e.usn = view.usn;
    e.recordLength = view.recordLength;
    for (size_t i = 0; i < view.nameUnits; ++i) e.name += char16_t(LoadLe16(view.name + 2 * i));
    entries.push_back(std::move(e));
    offset += view.recordLength;
  }
  EXPECT_EQ(offset, returned) << "records fill the returned bytes exactly";
  return entries;
}

// stem + i + tail, such as f3.txt.
fs::path Numbered(const char* stem, int i, const char* tail = "") {
  char name[64];
  std::snprintf(name, sizeof name, "%s%d%s", stem, i, tail);
  return name;
}

class FolderVolumeTest : public ::testing::Test {
 protected:
  fs::path At(const fs::path& relative) const {
    return relative.empty() ? root() : root() / relative;
  }
  const fs::path& root() const { return folder.path(); }

  void Write(const fs::path& relative) {
    std::ofstream file(At(relative), std::ios::binary);
    file << "x";
    ASSERT_TRUE(file.good()) << At(relative);
  }
  void MakeDir(const fs::path& relative) { ASSERT_TRUE(fs::create_directories(At(relative))); }
  void Rename(const fs::path& from, const fs::path& to) { fs::rename(At(from), At(to)); }
  void Remove(const fs::path& relative) { ASSERT_GT(fs::remove_all(At(relative)), 0u); }

  uint64_t Id(const fs::path& relative = {}) const {
    FileIdentityInfo info;
    EXPECT_TRUE(FileIdentity(At(relative), &info)) << At(relative);
    return info.file;
  }

  // Makes the volume over the folder as it is now and opens it.
  void Start() {
    volume = std::make_unique<FolderVolume>(u"Q:", root());
    ASSERT_EQ(volume->Open(u"\\\\.\\Q:", kGenericRead | kGenericWrite, &handle), kErrorSuccess);
    UsnJournalData journal = Query();
    journalId = journal.usnJournalId;
    position = journal.nextUsn;
  }

  UsnJournalData Query() {
    uint8_t out[UsnJournalData::kSize] = {};
    uint32_t returned = 0;
    EXPECT_EQ(
        volume->Control(handle, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof out, &returned),
        kErrorSuccess);
    EXPECT_EQ(returned, UsnJournalData::kSize);
    return DecodeUsnJournalData(out);
  }

  Win32Error Enum(MftEnumData request, std::vector<uint8_t>& out, uint32_t* returned) {
    uint8_t in[MftEnumData::kSize];
    Encode(request, in);
    return volume->Control(handle, kFsctlEnumUsnData, in, sizeof in, out.data(),
                           uint32_t(out.size()), returned);
  }

  // A whole enumeration pass with output buffers of `bufferSize` bytes, checking the paging.
  std::vector<Entry> Enumerate(uint32_t bufferSize = kEnumBufferSize) {
    std::vector<Entry> all;
    std::vector<uint8_t> out(bufferSize);
    MftEnumData request{0, 0, position};
    for (int reads = 0; reads < 10000; ++reads) {
      uint32_t returned = 0;
      const Win32Error error = Enum(request, out, &returned);
      if (error == kErrorHandleEof) return all;
      EXPECT_EQ(error, kErrorSuccess);
      if (error != kErrorSuccess) return all;
      std::vector<Entry> page = ParseRecords(out.data(), returned);
      EXPECT_FALSE(page.empty());
      if (page.empty()) return all;
      EXPECT_EQ(LoadLe64(out.data()), page.back().frn + 1) << "the next start follows the last";
      request.startFileReferenceNumber = LoadLe64(out.data());
      all.insert(all.end(), page.begin(), page.end());
    }
    ADD_FAILURE() << "the enumeration does not end";
    return all;
  }

  Win32Error Read(int64_t start, uint32_t mask, std::vector<uint8_t>& out, uint32_t* returned,
                  uint32_t onlyOnClose = 0, uint64_t id = 0) {
    ReadUsnJournalData request;
    request.startUsn = start;
    request.reasonMask = mask;
    request.returnOnlyOnClose = onlyOnClose;
    request.usnJournalId = id ? id : journalId;
    uint8_t in[ReadUsnJournalData::kSize];
    Encode(request, in);
    return volume->Control(handle, kFsctlReadUsnJournal, in, sizeof in, out.data(),
                           uint32_t(out.size()), returned);
  }

  // The journal entries since the last call, checking their USNs; moves `position` on.
  std::vector<Entry> Changes(uint32_t mask = 0xFFFFFFFF) {
    std::vector<uint8_t> out(kEnumBufferSize);
    uint32_t returned = 0;
    EXPECT_EQ(Read(position, mask, out, &returned), kErrorSuccess);
    if (returned < 8) return {};
    std::vector<Entry> entries = ParseRecords(out.data(), returned);
    int64_t usn = position;
    for (const Entry& e : entries) {
      EXPECT_EQ(e.usn, usn) << "entries follow each other without gaps";
      usn = e.usn + e.recordLength;
    }
    EXPECT_EQ(int64_t(LoadLe64(out.data())), usn);
    EXPECT_EQ(volume->NextUsn(), usn) << "the journal's next USN moved past the entries";
    position = usn;
    return entries;
  }

  TempFolder folder{u"qm-folder-volume"};
  std::unique_ptr<FolderVolume> volume;
  VolumeHandle handle = kInvalidVolumeHandle;
  uint64_t journalId = 0;
  int64_t position = 0;
};

size_t Find(const std::vector<Entry>& entries, uint32_t reason, uint64_t frn) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].reason == reason && entries[i].frn == frn) return i;
  }
  ADD_FAILURE() << "no entry with reason 0x" << std::hex << reason << " for " << std::dec << frn;
  return entries.size();
}

// --- Enumeration ---

TEST_F(FolderVolumeTest, EnumeratesEveryEntryUnderItsParentWithTheFileSystemsIdentity) {
  Write("a.txt");
  MakeDir("docs/deep");
  Write("docs/b.txt");
  Write("docs/deep/c.txt");
  MakeDir("empty");
  Write(fs::path(u"docs/R\u00e9sum\u00e9 \u6587\u4ef6.txt"));
  Start();

  const std::vector<Entry> entries = Enumerate();
  const std::vector<Entry> expected = {
      {0, Id(), Id(), kDirectory, u"."},
      {0, Id("a.txt"), Id(), kFile, u"a.txt"},
      {0, Id("docs"), Id(), kDirectory, u"docs"},
      {0, Id("docs/deep"), Id("docs"), kDirectory, u"deep"},
      {0, Id("docs/b.txt"), Id("docs"), kFile, u"b.txt"},
      {0, Id("docs/deep/c.txt"), Id("docs/deep"), kFile, u"c.txt"},
      {0, Id("empty"), Id(), kDirectory, u"empty"},
      {0, Id(fs::path(u"docs/R\u00e9sum\u00e9 \u6587\u4ef6.txt")), Id("docs"), kFile,
       u"R\u00e9sum\u00e9 \u6587\u4ef6.txt"},
  };
  std::vector<Entry> sortedExpected = expected;
  std::sort(sortedExpected.begin(), sortedExpected.end(),
            [](const Entry& a, const Entry& b) { return a.frn < b.frn; });
  EXPECT_EQ(entries, sortedExpected) << "every entry once, in reference number order";
  for (const Entry& e : entries) EXPECT_EQ(e.usn, 0) << "below the journal's next USN";
}

TEST_F(FolderVolumeTest, PagesLikeTheVolumeWhateverTheBufferSize) {
  for (int i = 0; i < 12; ++i) Write(Numbered("file", i, ".txt"));
  MakeDir("dir");
  Write("dir/inner.txt");
  Start();
  const std::vector<Entry> whole = Enumerate();
  ASSERT_EQ(whole.size(), 15u);

  // 88 bytes hold one record at most (the longest takes 80), 520 is the build's probe.
  for (uint32_t size : {88u, 200u, 520u, 4096u}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(Enumerate(size), whole);
  }

  std::vector<uint8_t> out(64);
  uint32_t returned = 99;
  EXPECT_EQ(Enum({0, 0, position}, out, &returned), kErrorMoreData)
      << "no record fits after the next start reference";
  EXPECT_EQ(returned, 0u);
  out.resize(7);
  EXPECT_EQ(Enum({0, 0, position}, out, &returned), kErrorInsufficientBuffer);
  out.resize(kEnumBufferSize);
  EXPECT_EQ(Enum({whole.back().frn + 1, 0, position}, out, &returned), kErrorHandleEof);
  EXPECT_EQ(Enum({0, 1, position}, out, &returned), kErrorHandleEof)
      << "every entry has USN 0, below a LowUsn of 1";
}

TEST_F(FolderVolumeTest, OnePassPagesThroughOneWalk) {
  for (int i = 0; i < 6; ++i) Write(Numbered("file", i, ".txt"));
  Start();
  std::vector<uint8_t> out(150);
  uint32_t returned = 0;
  ASSERT_EQ(Enum({0, 0, position}, out, &returned), kErrorSuccess);
  Write("late.txt");  // after the pass began: not part of it
  std::set<std::u16string> names;
  for (const Entry& e : ParseRecords(out.data(), returned)) names.insert(e.name);
  MftEnumData request{LoadLe64(out.data()), 0, position};
  while (Enum(request, out, &returned) == kErrorSuccess) {
    for (const Entry& e : ParseRecords(out.data(), returned)) names.insert(e.name);
    request.startFileReferenceNumber = LoadLe64(out.data());
  }
  EXPECT_EQ(names.size(), 7u);
  EXPECT_FALSE(names.count(u"late.txt"));

  // A pass reads the last walk, the state the journal has recorded up to: what changed since
  // comes from the journal, whose next read walks the folder once.
  auto listed = [&] {
    bool seen = false;
    for (const Entry& e : Enumerate()) seen |= e.name == u"late.txt";
    return seen;
  };
  EXPECT_FALSE(listed()) << "a new pass does not walk again";
  ASSERT_EQ(Changes().size(), 1u);
  EXPECT_TRUE(listed()) << "the pass after the journal read lists what it found";
}

TEST_F(FolderVolumeTest, IdentitiesSurviveRenamesAndMoves) {
  MakeDir("docs");
  MakeDir("archive");
  Write("docs/report.txt");
  Start();
  const uint64_t report = Id("docs/report.txt");
  const uint64_t docs = Id("docs");
  Rename("docs/report.txt", "archive/final.txt");
  Rename("docs", "papers");

  Changes();  // the journal read walks the folder; the next pass lists what it found
  std::vector<Entry> entries = Enumerate();
  auto byFrn = [&](uint64_t frn) {
    auto it =
        std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.frn == frn; });
    return it == entries.end() ? Entry{} : *it;
  };
  EXPECT_EQ(byFrn(report), (Entry{0, report, Id("archive"), kFile, u"final.txt"}));
  EXPECT_EQ(byFrn(docs), (Entry{0, docs, Id(), kDirectory, u"papers"}));
  EXPECT_EQ(entries.size(), 4u);
}

#ifndef _WIN32
// Creating links needs privileges under Windows; the rule itself is the same there.
TEST_F(FolderVolumeTest, LinksAreListedButNeverFollowed) {
  MakeDir("real");
  Write("real/inside.txt");
  fs::create_directory_symlink(At("real"), At("to-real"));
  fs::create_directory_symlink(root(), At("real/loop"));
  fs::create_symlink(At("nowhere"), At("dangling"));
  Start();
  std::vector<Entry> entries = Enumerate();
  std::set<std::u16string> names;
  for (const Entry& e : entries) {
    names.insert(e.name);
    if (e.name == u"to-real" || e.name == u"loop" || e.name == u"dangling") {
      EXPECT_EQ(e.attributes, kLink) << ToUtf8(e.name);
    }
  }
  EXPECT_EQ(entries.size(), 6u) << "root, real, inside.txt and the three links, each once";
  EXPECT_EQ(names, (std::set<std::u16string>{u".", u"real", u"inside.txt", u"to-real", u"loop",
                                             u"dangling"}));
}

#endif

TEST_F(FolderVolumeTest, AHardLinkedFileIsListedOnceAndKeepsItsName) {
  MakeDir("a");
  Write("a/one.txt");
  Start();
  const uint64_t file = Id("a/one.txt");
  fs::create_hard_link(At("a/one.txt"), At("a/0-first-in-any-order.txt"));
  fs::create_hard_link(At("a/one.txt"), At("z-two.txt"));
  EXPECT_TRUE(Changes().empty()) << "more names for a listed file change nothing";
  size_t listed = 0;
  for (const Entry& e : Enumerate()) listed += e.frn == file;
  EXPECT_EQ(listed, 1u);
  EXPECT_TRUE(Changes().empty());

  Remove("a/one.txt");
  std::vector<Entry> changes = Changes();
  ASSERT_EQ(changes.size(), 2u) << "the file lives on under another of its names";
  EXPECT_EQ(changes[0], (Entry{kOldName, file, Id("a"), kFile, u"one.txt"}));
  EXPECT_EQ(changes[1].reason, kNewName | kClose);
  EXPECT_EQ(changes[1].frn, file);
  EXPECT_TRUE(changes[1].name == u"0-first-in-any-order.txt" || changes[1].name == u"z-two.txt");
}

// --- Journal ---

TEST_F(FolderVolumeTest, NestedCreationsComeParentsFirst) {
  Start();
  MakeDir("new/sub/deeper");
  Write("new/sub/deeper/leaf.txt");
  Write("new/sub/mid.txt");
  Write("top.txt");
  std::vector<Entry> changes = Changes();
  ASSERT_EQ(changes.size(), 6u);
  const uint32_t created = kCreate | kClose;
  EXPECT_EQ(changes[Find(changes, created, Id("new"))],
            (Entry{created, Id("new"), Id(), kDirectory, u"new"}));
  EXPECT_EQ(
      changes[Find(changes, created, Id("new/sub/deeper/leaf.txt"))],
      (Entry{created, Id("new/sub/deeper/leaf.txt"), Id("new/sub/deeper"), kFile, u"leaf.txt"}));
  EXPECT_LT(Find(changes, created, Id("new")), Find(changes, created, Id("new/sub")));
  EXPECT_LT(Find(changes, created, Id("new/sub")), Find(changes, created, Id("new/sub/deeper")));
  EXPECT_LT(Find(changes, created, Id("new/sub")), Find(changes, created, Id("new/sub/mid.txt")));
  EXPECT_LT(Find(changes, created, Id("new/sub/deeper")),
            Find(changes, created, Id("new/sub/deeper/leaf.txt")));
  EXPECT_TRUE(Changes().empty()) << "each change is journaled once";
}

TEST_F(FolderVolumeTest, DeletionsComeChildrenFirst) {
  MakeDir("old/inner");
  Write("old/inner/f.txt");
  Write("keep.txt");
  Write("gone.txt");
  Start();
  const uint64_t old = Id("old"), inner = Id("old/inner"), f = Id("old/inner/f.txt"),
                 gone = Id("gone.txt");
  Remove("old");
  Remove("gone.txt");
  std::vector<Entry> changes = Changes();
  const uint32_t deleted = kDelete | kClose;
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[Find(changes, deleted, gone)],
            (Entry{deleted, gone, Id(), kFile, u"gone.txt"}));
  EXPECT_EQ(changes[Find(changes, deleted, old)], (Entry{deleted, old, Id(), kDirectory, u"old"}));
  EXPECT_LT(Find(changes, deleted, f), Find(changes, deleted, inner));
  EXPECT_LT(Find(changes, deleted, inner), Find(changes, deleted, old));
}

TEST_F(FolderVolumeTest, RenameGivesOldNameThenNewName) {
  MakeDir("docs");
  Write("docs/a.txt");
  Start();
  const uint64_t a = Id("docs/a.txt"), docs = Id("docs");
  Rename("docs/a.txt", "docs/b.txt");
  EXPECT_EQ(Changes(), (std::vector<Entry>{{kOldName, a, docs, kFile, u"a.txt"},
                                           {kNewName | kClose, a, docs, kFile, u"b.txt"}}));
}

TEST_F(FolderVolumeTest, MoveToAnotherDirectoryKeepsTheNameAndChangesTheParent) {
  MakeDir("docs");
  MakeDir("other");
  Write("docs/a.txt");
  Start();
  const uint64_t a = Id("docs/a.txt");
  Rename("docs/a.txt", "other/a.txt");
  EXPECT_EQ(Changes(), (std::vector<Entry>{{kOldName, a, Id("docs"), kFile, u"a.txt"},
                                           {kNewName | kClose, a, Id("other"), kFile, u"a.txt"}}));
}

TEST_F(FolderVolumeTest, DirectoryRenameIsOneChangeNotOnePerChild) {
  MakeDir("docs/sub");
  Write("docs/a.txt");
  Write("docs/sub/b.txt");
  Start();
  const uint64_t docs = Id("docs");
  Rename("docs", "papers");
  EXPECT_EQ(Changes(),
            (std::vector<Entry>{{kOldName, docs, Id(), kDirectory, u"docs"},
                                {kNewName | kClose, docs, Id(), kDirectory, u"papers"}}));
}

TEST_F(FolderVolumeTest, MoveIntoANewDirectoryCreatesItFirst) {
  MakeDir("docs");
  Write("docs/a.txt");
  Start();
  const uint64_t docs = Id("docs");
  MakeDir("box");
  Rename("docs", "box/docs");
  EXPECT_EQ(Changes(),
            (std::vector<Entry>{{kOldName, docs, Id(), kDirectory, u"docs"},
                                {kCreate | kClose, Id("box"), Id(), kDirectory, u"box"},
                                {kNewName | kClose, docs, Id("box"), kDirectory, u"docs"}}));
}

TEST_F(FolderVolumeTest, FileCreatedAndDeletedBetweenReadsLeavesNoTrace) {
  Start();
  Write("brief.tmp");
  Remove("brief.tmp");
  EXPECT_TRUE(Changes().empty());
  EXPECT_EQ(Query().nextUsn, position);
}

TEST_F(FolderVolumeTest, FileReplacedByDirectoryOfTheSameNameIsDeletedAndCreated) {
  Write("thing");
  Start();
  const uint64_t before = Id("thing");
  Remove("thing");
  MakeDir("thing");
  // Whether or not the file system hands the old number to the directory.
  EXPECT_EQ(Changes(),
            (std::vector<Entry>{{kDelete | kClose, before, Id(), kFile, u"thing"},
                                {kCreate | kClose, Id("thing"), Id(), kDirectory, u"thing"}}));
}

TEST_F(FolderVolumeTest, ReasonMaskChoosesTheEntriesReturned) {
  Write("renamed.txt");
  Write("deleted.txt");
  Start();
  const uint64_t renamed = Id("renamed.txt"), deleted = Id("deleted.txt");
  Rename("renamed.txt", "renamed2.txt");
  // Created before the deletion, so that the file system cannot hand it the deleted number
  // (which would make the pair a rename).
  Write("created.txt");
  const uint64_t created = Id("created.txt");
  Remove("deleted.txt");
  const int64_t start = position;
  const std::vector<Entry> all = Changes();
  ASSERT_EQ(all.size(), 4u);

  Find(all, kOldName, renamed);
  Find(all, kNewName | kClose, renamed);
  Find(all, kDelete | kClose, deleted);
  Find(all, kCreate | kClose, created);

  struct Case {
    uint32_t mask;
    uint32_t onlyOnClose;
    size_t count;
  };
  const Case cases[] = {
      {kCreate, 0, 1},  {kDelete, 0, 1}, {kOldName, 0, 1},
      {kNewName, 0, 1}, {0x3300, 1, 3},  // the old name carries no close bit
      {kClose, 0, 3},   {0x4, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    std::vector<Entry> expected;
    std::copy_if(all.begin(), all.end(), std::back_inserter(expected), [&](const Entry& e) {
      return (e.reason & c.mask) && (!c.onlyOnClose || (e.reason & kClose));
    });
    ASSERT_EQ(expected.size(), c.count);
    std::vector<uint8_t> out(kEnumBufferSize);
    uint32_t returned = 0;
    ASSERT_EQ(Read(start, c.mask, out, &returned, c.onlyOnClose), kErrorSuccess);
    std::vector<Entry> entries = ParseRecords(out.data(), returned);
    EXPECT_EQ(entries, expected);
    for (size_t i = 0; i < std::min(entries.size(), expected.size()); ++i) {
      EXPECT_EQ(entries[i].usn, expected[i].usn)
          << "an entry keeps its USN when others are left out";
    }
    EXPECT_EQ(int64_t(LoadLe64(out.data())), position);
  }
}

TEST_F(FolderVolumeTest, FullReadKeepsTheRestForTheNext) {
  Start();
  for (int i = 0; i < 5; ++i) Write(Numbered("f", i, ".txt"));
  const size_t one = 8 + UsnRecordSize(6);  // every name has 6 units
  std::vector<uint8_t> out(one + 40);
  uint32_t returned = 0;
  int64_t start = position;
  std::vector<Entry> got;
  for (int reads = 0; reads < 5; ++reads) {
    ASSERT_EQ(Read(start, 0x3300, out, &returned), kErrorSuccess);
    ASSERT_EQ(returned, one);
    std::vector<Entry> page = ParseRecords(out.data(), returned);
    ASSERT_EQ(page.size(), 1u);
    start = int64_t(LoadLe64(out.data()));
    EXPECT_EQ(start, page[0].usn + page[0].recordLength)
        << "the next read starts at the next entry";
    got.push_back(page[0]);
  }
  ASSERT_EQ(Read(start, 0x3300, out, &returned), kErrorSuccess);
  EXPECT_EQ(returned, 8u) << "nothing left";
  EXPECT_EQ(int64_t(LoadLe64(out.data())), volume->NextUsn());
  std::set<std::u16string> names;
  for (const Entry& e : got) names.insert(e.name);
  EXPECT_EQ(names.size(), 5u);

  Write("more.txt");
  out.resize(20);
  EXPECT_EQ(Read(start, 0x3300, out, &returned), kErrorInsufficientBuffer);
  EXPECT_EQ(returned, 0u);
}

TEST_F(FolderVolumeTest, JournalDeletedAndCreatedAgain) {
  Start();
  uint8_t in[DeleteUsnJournalData::kSize];
  uint32_t returned = 0;
  Encode(DeleteUsnJournalData{journalId + 1, kUsnDeleteFlagDelete}, in);
  EXPECT_EQ(volume->Control(handle, kFsctlDeleteUsnJournal, in, sizeof in, nullptr, 0, &returned),
            kErrorInvalidParameter);
  Encode(DeleteUsnJournalData{journalId, kUsnDeleteFlagDelete}, in);
  ASSERT_EQ(volume->Control(handle, kFsctlDeleteUsnJournal, in, sizeof in, nullptr, 0, &returned),
            kErrorSuccess);
  EXPECT_FALSE(volume->JournalActive());

  std::vector<uint8_t> out(kEnumBufferSize);
  EXPECT_EQ(Read(position, 0x3300, out, &returned), kErrorJournalNotActive);
  uint8_t query[UsnJournalData::kSize];
  EXPECT_EQ(
      volume->Control(handle, kFsctlQueryUsnJournal, nullptr, 0, query, sizeof query, &returned),
      kErrorJournalNotActive);
  EXPECT_EQ(Enum({0, 0, position}, out, &returned), kErrorJournalNotActive);

  Write("unrecorded.txt");  // no journal: nothing records it
  uint8_t create[CreateUsnJournalData::kSize];
  Encode(CreateUsnJournalData{0x10000000, 0x1000000}, create);
  ASSERT_EQ(
      volume->Control(handle, kFsctlCreateUsnJournal, create, sizeof create, nullptr, 0, &returned),
      kErrorSuccess);
  const UsnJournalData journal = Query();
  EXPECT_NE(journal.usnJournalId, journalId);
  EXPECT_EQ(journal.maximumSize, 0x10000000u);
  EXPECT_GE(journal.nextUsn, position);
  EXPECT_EQ(Read(journal.nextUsn, 0x3300, out, &returned), kErrorInvalidParameter)
      << "the old identity";
  journalId = journal.usnJournalId;
  position = journal.nextUsn;
  EXPECT_TRUE(Changes().empty());
  Write("recorded.txt");
  std::vector<Entry> changes = Changes();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].name, u"recorded.txt");
}

TEST_F(FolderVolumeTest, JournalKeepsAtMostItsMaximumSize) {
  Start();
  Write("first.txt");
  ASSERT_EQ(Changes().size(), 1u);  // so that the start is not USN 0, which means the oldest
  uint8_t create[CreateUsnJournalData::kSize];
  Encode(CreateUsnJournalData{200, 100}, create);
  uint32_t returned = 0;
  ASSERT_EQ(
      volume->Control(handle, kFsctlCreateUsnJournal, create, sizeof create, nullptr, 0, &returned),
      kErrorSuccess);
  EXPECT_EQ(Query().usnJournalId, journalId) << "an active journal only takes the new sizes";
  const int64_t start = position;
  for (int i = 0; i < 8; ++i) Write(Numbered("f", i, ".txt"));
  std::vector<uint8_t> out(kEnumBufferSize);
  ASSERT_EQ(Read(0, 0x3300, out, &returned), kErrorSuccess);  // 0: from the oldest kept
  std::vector<Entry> kept = ParseRecords(out.data(), returned);
  EXPECT_EQ(kept.size(), 2u) << "two 72-byte records fit in 200 bytes";
  const UsnJournalData journal = Query();
  EXPECT_GT(journal.firstUsn, start);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept[0].usn, journal.firstUsn);
  EXPECT_EQ(Read(start, 0x3300, out, &returned), kErrorJournalEntryDeleted);
}

// --- The seam's checks ---

TEST_F(FolderVolumeTest, AnswersTheSeamsChecksLikeAVolume) {
  VolumeHandle other = 0;
  FolderVolume volume(u"Q:", root());  // a volume of this test's own
  EXPECT_EQ(volume.Open(u"\\\\.\\R:", kGenericRead, &other), kErrorFileNotFound);
  EXPECT_EQ(other, kInvalidVolumeHandle);
  EXPECT_EQ(volume.Open(u"Q:", kGenericRead, &other), kErrorFileNotFound);
  ASSERT_EQ(volume.Open(u"\\\\.\\q:", kGenericRead, &other), kErrorSuccess) << "case-insensitive";

  uint8_t out[UsnJournalData::kSize];
  uint32_t returned = 7;
  EXPECT_EQ(
      volume.Control(other + 1, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof out, &returned),
      kErrorInvalidHandle);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(volume.Control(other, 0x90000, nullptr, 0, out, sizeof out, &returned),
            kErrorInvalidFunction);
  EXPECT_EQ(volume.Control(other, kFsctlEnumUsnData, out, 10, out, sizeof out, &returned),
            kErrorInvalidParameter);
  EXPECT_EQ(volume.Control(other, kFsctlReadUsnJournal, out, 39, out, sizeof out, &returned),
            kErrorInvalidParameter);
  EXPECT_EQ(volume.Control(other, kFsctlQueryUsnJournal, nullptr, 0, out, 55, &returned),
            kErrorInsufficientBuffer);

  volume.CancelIo(other);
  volume.CancelThreadIo(volume.CurrentThread());
  EXPECT_NE(volume.CurrentThread(), 0u);
  ThreadToken elsewhere = 0;
  std::thread([&] { elsewhere = volume.CurrentThread(); }).join();
  EXPECT_NE(elsewhere, volume.CurrentThread());

  volume.DebugOutput("line\n");
  EXPECT_EQ(volume.DebugLines(), std::vector<std::string>{"line\n"});
  EXPECT_EQ(volume.OpenHandles(), 1);
  EXPECT_EQ(volume.Close(other), kErrorSuccess);
  EXPECT_EQ(volume.Close(other), kErrorInvalidHandle);
  EXPECT_EQ(volume.Control(other, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof out, &returned),
            kErrorInvalidHandle);
}

TEST_F(FolderVolumeTest, AFolderThatCannotBeReadIsADriveThatIsNotReady) {
  FolderVolume missing(u"Q:", root() / "missing");
  VolumeHandle h = 0;
  EXPECT_EQ(missing.Open(u"\\\\.\\Q:", kGenericRead, &h), kErrorNotReady);

  MakeDir("vol");
  Write("vol/a.txt");
  FolderVolume volume(u"Q:", At("vol"));
  ASSERT_EQ(volume.Open(u"\\\\.\\Q:", kGenericRead, &h), kErrorSuccess);
  uint8_t query[UsnJournalData::kSize];
  uint32_t returned = 0;
  ASSERT_EQ(volume.Control(h, kFsctlQueryUsnJournal, nullptr, 0, query, sizeof query, &returned),
            kErrorSuccess);
  const UsnJournalData journal = DecodeUsnJournalData(query);
  const uint64_t oldRoot = Id("vol");
  Remove("vol");

  ReadUsnJournalData request;
  request.startUsn = journal.nextUsn;
  request.reasonMask = 0x3300;
  request.usnJournalId = journal.usnJournalId;
  uint8_t in[ReadUsnJournalData::kSize];
  Encode(request, in);
  std::vector<uint8_t> out(kEnumBufferSize);
  EXPECT_EQ(volume.Control(h, kFsctlReadUsnJournal, in, sizeof in, out.data(), uint32_t(out.size()),
                           &returned),
            kErrorNotReady);
  uint8_t enumIn[MftEnumData::kSize];
  Encode(MftEnumData{0, 0, journal.nextUsn}, enumIn);
  EXPECT_EQ(volume.Control(h, kFsctlEnumUsnData, enumIn, sizeof enumIn, out.data(),
                           uint32_t(out.size()), &returned),
            kErrorNotReady);

  // The folder is back, as a new one: what was there is gone, what is there is new.
  MakeDir("vol");
  ASSERT_EQ(volume.Control(h, kFsctlReadUsnJournal, in, sizeof in, out.data(), uint32_t(out.size()),
                           &returned),
            kErrorSuccess);
  std::vector<Entry> changes = ParseRecords(out.data(), returned);
  std::set<std::pair<uint32_t, std::u16string>> got;
  for (const Entry& e : changes) got.emplace(e.reason, e.name);
  EXPECT_TRUE(got.count({kDelete | kClose, u"a.txt"}));
  if (Id("vol") != oldRoot) {
    EXPECT_TRUE(got.count({kDelete | kClose, u"."}));
    EXPECT_TRUE(got.count({kCreate | kClose, u"."}));
  }
}

TEST_F(FolderVolumeTest, CheckTellsAGoneFolderFromAReadableOne) {
  using State = FolderVolume::FolderState;
  MakeDir("vol/sub");
  FolderVolume volume(u"Q:", At("vol"));
  EXPECT_EQ(volume.Check(), State::kReadable);
  MakeDir("empty");
  EXPECT_EQ(FolderVolume(u"Q:", At("empty")).Check(), State::kReadable);
  Remove("vol");
  EXPECT_EQ(volume.Check(), State::kGone);
  Write("vol");  // a file where the folder was
  EXPECT_EQ(volume.Check(), State::kGone);
}

#ifndef _WIN32
// Runs `body` on a thread of its own that accesses files as an ordinary user: on Linux the
// file-system user and group are per thread, and leaving 0 drops the rights that let root read any
// folder.
template <typename Body>
void AsOrdinaryUser(Body body) {
  std::thread thread([&] {
    setfsgid(65534);
    setfsuid(65534);
    body();
  });
  thread.join();
}

TEST_F(FolderVolumeTest, CheckAndTheWalkTellAnUnreadableFolder) {
  using State = FolderVolume::FolderState;
  struct Row {
    fs::perms perms;
    State state;
  };
  const Row rows[] = {
      {fs::perms::owner_all | fs::perms::others_all, State::kReadable},
      {fs::perms::owner_all, State::kUnreadable},  // nobody may not list it
      {fs::perms::owner_all | fs::perms::others_read, State::kUnreadable},  // nor examine
  };
  MakeDir("vol");
  Write("vol/a.txt");
  fs::permissions(root(), fs::perms::owner_all | fs::perms::others_exec);
  for (const Row& row : rows) {
    SCOPED_TRACE(int(row.perms));
    fs::permissions(At("vol"), row.perms);
    AsOrdinaryUser([&] {
      FolderVolume volume(u"Q:", At("vol"));
      EXPECT_EQ(volume.Check(), row.state);
      VolumeHandle h = 0;
      ASSERT_EQ(volume.Open(u"\\\\.\\Q:", kGenericRead, &h), kErrorSuccess);
      std::vector<uint8_t> out(kEnumBufferSize);
      uint8_t in[MftEnumData::kSize];
      Encode(MftEnumData{0, 0, 0}, in);
      uint32_t returned = 0;
      const Win32Error error = volume.Control(h, kFsctlEnumUsnData, in, sizeof in, out.data(),
                                              kEnumBufferSize, &returned);
      if (row.state == State::kReadable) {
        ASSERT_EQ(error, kErrorSuccess);
        EXPECT_EQ(ParseRecords(out.data(), returned).size(), 2u);
      } else if (row.perms == fs::perms::owner_all) {
        EXPECT_EQ(error, kErrorNotReady) << "a folder that cannot be listed is not ready";
      }
    });
  }
  fs::permissions(At("vol"), fs::perms::owner_all);
}
#endif

// The monitor thread reads while another thread closes, cancels and reopens.
TEST_F(FolderVolumeTest, ReadsRaceWithCancelAndClose) {
  Start();
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    std::vector<uint8_t> out(kEnumBufferSize);
    ReadUsnJournalData request;
    request.reasonMask = 0x3300;
    request.usnJournalId = journalId;
    uint8_t in[ReadUsnJournalData::kSize];
    while (!stop) {
      Encode(request, in);
      uint32_t returned = 0;
      Win32Error error = volume->Control(handle, kFsctlReadUsnJournal, in, sizeof in, out.data(),
                                         uint32_t(out.size()), &returned);
      EXPECT_EQ(error, kErrorSuccess);
      if (error == kErrorSuccess) request.startUsn = int64_t(LoadLe64(out.data()));
      ++reads;
    }
  });
  for (int i = 0; i < 50; ++i) {
    Write(Numbered("f", i % 7));
    if (i % 3 == 0) Remove(Numbered("f", i % 7));
    volume->CancelIo(handle);
    volume->CancelThreadIo(1);
    VolumeHandle second = 0;
    ASSERT_EQ(volume->Open(u"\\\\.\\Q:", kGenericRead, &second), kErrorSuccess);
    EXPECT_EQ(volume->Close(second), kErrorSuccess);
  }
  while (reads < 20) std::this_thread::yield();
  stop = true;
  reader.join();
}

// --- The index following a real folder ---

TEST_F(FolderVolumeTest, TheIndexFollowsRealFileOperations) {
  MakeDir("docs/sub");
  Write("docs/a.txt");
  Write("docs/sub/b.txt");
  Write("top.txt");
  MakeDir("archive");
  FolderVolume volume(u"Q:", root());
  VolumeIndexPtr index(new VolumeIndex(volume));
  ASSERT_TRUE(BuildVolumeIndex(*index, u"Q:"));

  auto livePaths = [&] {
    std::vector<uint64_t> live;
    {
      std::shared_lock guard(index->lock);
      for (uint64_t i = 0; i < RecordCount(*index); ++i) {
        if (!index->records[i].deleted) live.push_back(i);
      }
    }
    std::set<std::u16string> paths;
    for (uint64_t i : live) paths.insert(BuildPath(*index, i));
    return paths;
  };
  auto folderPaths = [&] {
    std::set<std::u16string> paths{u"Q:\\."};
    for (const auto& entry : fs::recursive_directory_iterator(root())) {
      std::u16string relative = fs::relative(entry.path(), root()).generic_u16string();
      std::replace(relative.begin(), relative.end(), u'/', u'\\');
      paths.insert(u"Q:\\" + relative);
    }
    return paths;
  };
  auto follows = [&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      if (livePaths() == folderPaths()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  };
  auto show = [](const std::set<std::u16string>& paths) {
    std::string text;
    for (const auto& p : paths) text += ToUtf8(p) + "\n";
    return text;
  };

  ASSERT_EQ(livePaths(), folderPaths()) << show(livePaths());
  EXPECT_TRUE(index->monitoring);

  MakeDir("new/deeper");
  Write("new/deeper/leaf.txt");
  Write("docs/c.txt");
  EXPECT_TRUE(follows()) << show(livePaths()) << "---\n" << show(folderPaths());

  Rename("docs/a.txt", "docs/renamed.txt");
  Rename("top.txt", "archive/top.txt");
  Rename("docs", "papers");
  Remove("papers/sub/b.txt");
  Remove("new");
  EXPECT_TRUE(follows()) << show(livePaths()) << "---\n" << show(folderPaths());
  EXPECT_TRUE(livePaths().count(u"Q:\\papers\\renamed.txt"));
  EXPECT_TRUE(livePaths().count(u"Q:\\archive\\top.txt"));

  StopMonitor(*index);
  EXPECT_FALSE(index->monitoring);
  index.reset();
  EXPECT_EQ(volume.OpenHandles(), 0);
}

}  // namespace
}  // namespace qm
