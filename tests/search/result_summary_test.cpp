#include "search/result_summary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <vector>

#include "base/window_messages.h"
#include "config/filter_tags.h"
#include "search/filter_view.h"
#include "search/query.h"
#include "search/search.h"
#include "search/sort.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::IndexedDrivesTest;
using testing::kRootFrn;
using testing::TestEntry;

// The counts and the view as the window would make them, entry by entry: a tag button counts
// every entry for the first tag, and for any other the existing files, not deleted, whose
// extension the tag lists; the view keeps the entries whose record exists and TagAccepts.
std::vector<uint64_t> ReferenceCounts(const MatchList& list, const FilterTagList& tags) {
  std::vector<uint64_t> counts(tags.size(), 0);
  if (!tags.empty()) counts[0] = list.size();
  for (const MatchItem& item : list) {
    if (!item.volume) continue;
    std::shared_lock guard(item.volume->lock);
    if (item.recordIndex >= RecordCount(*item.volume)) continue;
    const FileRecord& record = item.volume->records[item.recordIndex];
    for (size_t t = 1; t < tags.size(); ++t) {
      if (!record.isDirectory && !record.deleted &&
          ExtensionListed(RecordName(*item.volume, record), tags[t].extensions)) {
        ++counts[t];
      }
    }
  }
  return counts;
}

MatchList ReferenceView(const MatchList& list, const FilterTagList& tags, int32_t viewTag) {
  MatchList view;
  for (const MatchItem& item : list) {
    if (!item.volume) continue;
    std::shared_lock guard(item.volume->lock);
    if (item.recordIndex >= RecordCount(*item.volume)) continue;
    if (TagAccepts(item.volume->names, item.volume->records[item.recordIndex],
                   viewTag < 0 ? 0 : size_t(viewTag), tags)) {
      view.push_back(item);
    }
  }
  return view;
}

bool SameEntries(const MatchList& a, const MatchList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].volume != b[i].volume || a[i].recordIndex != b[i].recordIndex) return false;
  }
  return true;
}

class ResultSummaryTest : public IndexedDrivesTest {
 protected:
  ResultSummaryTest() : savedTags(filterTags.Snapshot()) {}
  ~ResultSummaryTest() override {
    EXPECT_TRUE(testing::WaitForWorkers());
    filterTags.Replace(*savedTags);
  }

  // A drive of `count` random entries below a few folders: names with and without an
  // extension, several dots, capitals, leading and trailing dots, folders named like files.
  // About one entry in eight is then deleted through the journal.
  void AddRandomDrive(std::u16string drive, size_t count, std::mt19937& random) {
    static const char16_t* const kStems[] = {u"report",  u"IMG_0042", u"archive.tar",
                                             u".bashrc", u"notes",    u"a.b",
                                             u"x",       u"README",   u"photo.JPG"};
    static const char16_t* const kEndings[] = {u"",     u".txt",      u".TXT",  u".jpg", u".Jpg",
                                               u".png", u".gz",       u".",     u".md",  u".log",
                                               u".c",   u".markdown", u".docx", u".tar", u".JPEG"};
    std::vector<TestEntry> entries;
    std::vector<uint64_t> folders = {kRootFrn};
    for (size_t i = 0; i < count; ++i) {
      const uint64_t frn = 0x100 + i;
      const bool directory = random() % 8 == 0;
      std::u16string name = kStems[random() % std::size(kStems)];
      name += kEndings[random() % std::size(kEndings)];
      if (random() % 5 == 0) name += std::u16string(u"-") + char16_t(u'a' + random() % 26);
      if (random() % 7 == 0) name += kEndings[random() % std::size(kEndings)];
      entries.push_back({frn, folders[random() % folders.size()], name, directory});
      if (directory) folders.push_back(frn);
    }
    const size_t position = volumes.size();
    AddDrive(std::move(drive), entries);
    for (const TestEntry& e : entries) {
      if (!e.directory && random() % 8 == 0) DeleteFile(position, e.frn, e.parentFrn, e.name);
    }
  }

  // Random entries of the drives: records deleted or not, entries without a drive, record
  // indexes beyond the drive's records, repeats, drives mixed.
  MatchList RandomList(size_t length, std::mt19937& random) {
    MatchList list;
    for (size_t i = 0; i < length; ++i) {
      const unsigned pick = random() % 50;
      if (pick == 0) {
        list.push_back(MatchItem{});
        continue;
      }
      VolumeIndex& drive = Drive(random() % volumes.size());
      uint64_t count;
      {
        std::shared_lock guard(drive.lock);
        count = RecordCount(drive);
      }
      const uint32_t index =
          pick == 1 ? uint32_t(count + random() % 3) : uint32_t(random() % count);
      list.push_back(MatchItem{&drive, index});
    }
    return list;
  }

  // Tag lists: the first tag's extensions are ignored; capitals and missing dots never match;
  // extensions shared by tags, repeated, long; a tag without any.
  static FilterTagList RandomTags(std::mt19937& random, size_t count) {
    static const char16_t* const kExtensions[] = {
        u".txt", u".jpg",      u".png", u".gz", u".", u".md",     u".log", u".c",
        u".tar", u".markdown", u".JPG", u"txt", u"",  u".bashrc", u".b",   u".docx"};
    FilterTagList tags;
    for (size_t t = 0; t < count; ++t) {
      FilterTag tag;
      tag.label = u"tag" + std::u16string(1, char16_t(u'A' + t % 26));
      const size_t listed = random() % 5;
      for (size_t e = 0; e < listed; ++e) {
        tag.extensions.push_back(kExtensions[random() % std::size(kExtensions)]);
      }
      tags.push_back(std::move(tag));
    }
    return tags;
  }

  void ExpectMatchesReference(const ResultSummary& summary, const ResultList& list,
                              const FilterTagList& tags, int32_t viewTag,
                              const std::vector<uint64_t>& counts) {
    const MatchList view = ReferenceView(*list, tags, viewTag);
    EXPECT_EQ(summary.list, list);
    EXPECT_EQ(summary.viewTag, viewTag);
    EXPECT_EQ(summary.tagCounts, counts);
    ASSERT_NE(summary.view, nullptr);
    EXPECT_TRUE(SameEntries(*summary.view, view))
        << "view of " << summary.view->size() << " entries, expected " << view.size();
    EXPECT_EQ(summary.view == list, view.size() == list->size())
        << "the list itself, not a copy, exactly when every entry is kept";
    for (size_t t = 0; t < tags.size() + 2; ++t) {
      EXPECT_EQ(TagCountOf(&summary, t), t < tags.size() ? counts[t] : 0u);
    }
  }
  void ExpectMatchesReference(const ResultSummary& summary, const ResultList& list,
                              const FilterTagList& tags, int32_t viewTag) {
    ExpectMatchesReference(summary, list, tags, viewTag, ReferenceCounts(*list, tags));
  }

  FilterTagsSnapshot savedTags;
};

TEST_F(ResultSummaryTest, CountsAndViewEqualAnEntryByEntryReference) {
  std::mt19937 random(20240611);
  AddRandomDrive(u"C:", 400, random);
  AddRandomDrive(u"D:", 300, random);
  WaitForMonitors();
  Ready();
  struct Round {
    size_t tags;
    size_t length;  // 100,000 and more: summarised on three threads
  };
  const Round rounds[] = {{7, 0},    {7, 1},     {7, 300},    {1, 500},    {0, 50},
                          {12, 999}, {70, 2000}, {9, 100000}, {70, 150001}};
  for (const Round& round : rounds) {
    const FilterTagList tags = RandomTags(random, round.tags);
    const auto snapshot = std::make_shared<const FilterTagList>(tags);
    const ResultList list = std::make_shared<const MatchList>(RandomList(round.length, random));
    const std::vector<uint64_t> counts = ReferenceCounts(*list, tags);
    const int32_t viewTags[] = {-1,
                                0,
                                1,
                                int32_t(round.tags) - 1,
                                int32_t(round.tags) + 3,
                                int32_t(random() % (round.tags + 1))};
    for (int32_t viewTag : viewTags) {
      SCOPED_TRACE(::testing::Message() << round.tags << " tags, " << round.length
                                        << " entries, view of tag " << viewTag);
      const SummaryPtr summary = SummarizeResults(list, snapshot, viewTag, [] { return false; });
      ASSERT_NE(summary, nullptr);
      EXPECT_EQ(summary->tags, snapshot);
      ExpectMatchesReference(*summary, list, tags, viewTag, counts);
    }
  }
  // Every entry kept: the view is the list itself, for the first tag over live entries and for
  // a tag that lists every extension of the files.
  MatchList live;
  for (const MatchItem& item : RandomList(2000, random)) {
    if (ReferenceView(MatchList{item}, {}, 0).size() == 1) live.push_back(item);
  }
  const ResultList liveList = std::make_shared<const MatchList>(std::move(live));
  const auto oneTag = std::make_shared<const FilterTagList>(RandomTags(random, 4));
  EXPECT_EQ(SummarizeResults(liveList, oneTag, 0, [] { return false; })->view, liveList);
  MatchList texts;
  for (const MatchItem& item : *liveList) {
    if (ReferenceView(MatchList{item}, {{u"All", {}}, {u"Text", {u".txt"}}}, 1).size() == 1)
      texts.push_back(item);
  }
  const ResultList textList = std::make_shared<const MatchList>(std::move(texts));
  ASSERT_FALSE(textList->empty());
  const auto textTag =
      std::make_shared<const FilterTagList>(FilterTagList{{u"All", {}}, {u"Text", {u".txt"}}});
  EXPECT_EQ(SummarizeResults(textList, textTag, 1, [] { return false; })->view, textList);
}

TEST_F(ResultSummaryTest, AStoppedPassReturnsNothing) {
  std::mt19937 random(7);
  AddRandomDrive(u"C:", 200, random);
  Ready();
  const auto tags = std::make_shared<const FilterTagList>(RandomTags(random, 5));
  for (size_t length : {size_t(5000), size_t(120000)}) {
    const ResultList list = std::make_shared<const MatchList>(RandomList(length, random));
    std::atomic<int> asked{0};
    EXPECT_EQ(SummarizeResults(list, tags, 2, [&] { return asked.fetch_add(1) == 2; }), nullptr)
        << length;
  }
  // A generation overtaken, or shutdown, stops the pass of a publication.
  const ResultList list = std::make_shared<const MatchList>(RandomList(10, random));
  const uint64_t generation = searchGeneration.fetch_add(1) + 1;
  EXPECT_NE(SummarizeForPublication(list, generation), nullptr);
  searchGeneration.fetch_add(1);
  EXPECT_EQ(SummarizeForPublication(list, generation), nullptr);
  shuttingDown.store(true);
  EXPECT_EQ(SummarizeForPublication(list, searchGeneration.load()), nullptr);
  shuttingDown.store(false);
}

// The search, the sort and the recent list publish a summary with every list; the window takes
// its counts and, while the tag is the one it was made for, its view.
TEST_F(ResultSummaryTest, EveryPublicationCarriesItsSummaryAndTheWindowUsesIt) {
  std::mt19937 random(99);
  AddRandomDrive(u"C:", 300, random);
  AddRandomDrive(u"D:", 300, random);
  WaitForMonitors();
  Ready();
  filterTags.Replace(RandomTags(random, 6));
  const FilterTagsSnapshot tags = filterTags.Snapshot();
  selectedTag.store(2);

  // A search.
  SearchAndWait(u"r");
  SummaryPtr summary = CurrentSummary();
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary->list, Current());
  EXPECT_EQ(summary->tags, tags);
  ExpectMatchesReference(*summary, Current(), *tags, 2);
  ResetFilteredView(Current()->size());
  EXPECT_EQ(GetDisplayList(), summary->view) << "the worker's view, not one built again";
  EXPECT_EQ(filteredCount.load(), summary->view->size());

  // A sort: the same counts, the view in the new order.
  const std::vector<uint64_t> counts = summary->tagCounts;
  const ResultList searched = Current();
  SortRequest request{searchGeneration.fetch_add(1) + 1, uint32_t(kColumnName), false};
  RunSort(request);
  ASSERT_NE(Current(), searched);
  summary = CurrentSummary();
  ASSERT_EQ(summary->list, Current());
  EXPECT_EQ(summary->tagCounts, counts);
  ExpectMatchesReference(*summary, Current(), *tags, 2);
  ResetFilteredView(Current()->size());
  EXPECT_EQ(GetDisplayList(), summary->view);

  // Another tag, or another tag list, than the summary's: the view is built here, the same.
  selectedTag.store(3);
  ResultList view = GetDisplayList();
  EXPECT_NE(view, summary->view);
  EXPECT_TRUE(SameEntries(*view, ReferenceView(*Current(), *tags, 3)));
  selectedTag.store(2);
  filterTags.Replace(RandomTags(random, 6));
  ResetFilteredView(Current()->size());
  view = GetDisplayList();
  EXPECT_NE(view, summary->view);
  EXPECT_TRUE(SameEntries(*view, ReferenceView(*Current(), *filterTags.Snapshot(), 2)));

  // The recent list of an empty query.
  StartSearch(u"", false, true);
  summary = CurrentSummary();
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary->list, Current());
  EXPECT_TRUE(Current()->empty());
  EXPECT_EQ(TagCountOf(summary.get(), 0), 0u);

  // A list published without one (not by the engine): made on demand, all the same.
  const ResultList bare = std::make_shared<const MatchList>(RandomList(500, random));
  {
    std::lock_guard guard(resultsMutex);
    currentResults = bare;
  }
  summary = CurrentSummary();
  ASSERT_NE(summary, nullptr);
  ExpectMatchesReference(*summary, bare, *filterTags.Snapshot(), 2);
  EXPECT_EQ(TagCountOf(nullptr, 0), 0u);
}

TEST_F(ResultSummaryTest, AnOvertakenWorkerPublishesNeitherListNorSummary) {
  std::mt19937 random(5);
  AddRandomDrive(u"C:", 300, random);
  Ready();
  SearchAndWait(u"e");
  const ResultList list = Current();
  const SummaryPtr summary = CurrentSummary();
  for (bool sort : {false, true}) {
    const uint64_t generation = searchGeneration.fetch_add(1) + 1;
    searchGeneration.fetch_add(1);  // a newer search or sort has started
    if (sort) {
      RunSort(SortRequest{generation, uint32_t(kColumnPath), true});
    } else {
      RunSearch(std::make_unique<SearchRequest>(SearchRequest{u"o", generation, false}));
    }
    EXPECT_EQ(Current(), list);
    EXPECT_EQ(CurrentSummary(), summary);
    EXPECT_EQ(poster.Count(WM_SEARCH_DONE, generation), 0u);
  }
}

}  // namespace
}  // namespace qm
