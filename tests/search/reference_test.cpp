// The name pass (ranges of a drive on the shared pool), the name storage and the name and path
// sorts against a reference kept here: a plain model of every drive's records, searched by
// folding and finding each name and sorted by building each path the obvious way. The drives
// are random, with what the engine must get right: more records than one range, names across
// many pool chunks, text between names that belongs to no record, names stored out of record
// order, renamed and moved records, units beside A to Z and above 0xFF, backslashes and NULs
// in names, folders whose names differ only in case, chains deeper than a path shows, loops and
// missing parents, and more kinds of extension than a drive numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <set>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/thread_pool.h"
#include "config/trim_blanks.h"
#include "index/build_path.h"
#include "search/filter_view.h"
#include "search/result_summary.h"
#include "search/search.h"
#include "search/sort.h"
#include "support/config_fakes.h"
#include "support/indexed_drives.h"
#include "support/store_builder.h"

namespace qm {
namespace {

constexpr uint64_t kRoot = 5;

// --- The reference -----------------------------------------------------------------------

std::u16string Folded(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  }
  return out;
}

struct ModelRecord {
  uint64_t frn;
  uint64_t parentFrn;
  std::u16string name;
  bool directory;
  bool deleted = false;
  std::u16string folded = Folded(name);
};

struct ModelDrive {
  std::u16string letter;
  std::vector<ModelRecord> records;  // by record index, as the store holds them
  std::unordered_map<uint64_t, size_t> newest;
};

// The record and at most 100 ancestors, up to the root (its own parent) or a parent not held.
std::u16string ModelPath(const ModelDrive& drive, size_t i) {
  std::vector<const ModelRecord*> chain{&drive.records[i]};
  uint64_t parent = drive.records[i].parentFrn;
  for (int depth = 0; depth < 100; ++depth) {
    const auto found = drive.newest.find(parent);
    if (found == drive.newest.end()) break;
    const ModelRecord& ancestor = drive.records[found->second];
    if (ancestor.frn == ancestor.parentFrn) break;
    chain.push_back(&ancestor);
    parent = ancestor.parentFrn;
  }
  std::u16string path = drive.letter;
  for (auto r = chain.rbegin(); r != chain.rend(); ++r) {
    path += u'\\';
    path += (*r)->name;
  }
  return path;
}

// --- Random drives, built into the store and the model alike -----------------------------

class DriveMaker {
 public:
  DriveMaker(VolumeIndex& index, ModelDrive& model, std::mt19937& random)
      : index_(index), model_(model), random_(random) {
    Add(kRoot, kRoot, u".", true);
  }

  size_t Add(uint64_t frn, uint64_t parent, const std::u16string& name, bool directory) {
    testing::AddTestRecord(index_, frn, parent, name, directory);
    model_.records.push_back({frn, parent, name, directory});
    model_.newest[frn] = model_.records.size() - 1;
    if (directory) directories_.push_back(frn);
    return model_.records.size() - 1;
  }
  uint64_t NewFrn() { return nextFrn_++; }
  uint64_t AnyFolder() { return directories_[random_() % directories_.size()]; }

  // A rename or a move, as the journal monitor applies one: the old record is marked deleted and
  // a new record of the same reference number takes its place.
  void Rename(size_t i, const std::u16string& name, uint64_t parent) {
    index_.records[i].deleted = 1;
    model_.records[i].deleted = true;
    const ModelRecord old = model_.records[i];
    Add(old.frn, parent, name, old.directory);
  }
  // Text in the pool that no record owns.
  void StrayName() {
    const std::u16string name = Name();
    AddName(index_.names, name.data(), name.size());
  }
  // Records whose names were stored in the opposite order.
  void AddOutOfOrder(int count) {
    std::vector<std::pair<std::u16string, uint32_t>> stored;
    for (int k = 0; k < count; ++k) {
      const std::u16string name = Name();
      stored.emplace_back(name, AddName(index_.names, name.data(), name.size()));
    }
    for (auto it = stored.rbegin(); it != stored.rend(); ++it) {
      const uint64_t frn = NewFrn(), parent = AnyFolder();
      const uint64_t i =
          AppendRecord(index_, frn, parent, it->second, uint16_t(it->first.size()), false);
      index_.indexByFrn.Set(frn, uint32_t(i));
      model_.records.push_back({frn, parent, it->first, false});
      model_.newest[frn] = i;
    }
  }

  std::u16string Name() {
    static const std::u16string kPieces[] = {
        u"a",      u"A",      u"b",      u"B",      u"z",      u"Z",  u"e",    u"E",
        u"_",      u".",      u"~",      u"@",      u"[",      u"`",  u"{",    u"bak",
        u"Bak",    u".txt",   u"x",      u"\u00E9", u"\u00C9", u"中", u"文件", u"\u0141",
        u"\u0161", u"\uFF21", u"\u8041", u"ab",     u"Ab",     u"0",  u"9",    u" "};
    std::u16string name;
    const uint32_t kind = random_() % 400;
    const int pieces = kind < 8 ? 40 + int(random_() % 60) : 1 + int(random_() % 5);
    if (kind == 9) return name;  // an empty name
    for (int n = 0; n < pieces; ++n) name += kPieces[random_() % std::size(kPieces)];
    if (kind == 10) name.insert(random_() % (name.size() + 1), 1, u'\\');
    if (kind == 11) name.insert(random_() % (name.size() + 1), 1, u'\0');
    return name;
  }

  // `count` random entries, one in eight a folder, in random folders met so far.
  void AddRandom(size_t count) {
    for (size_t k = 0; k < count; ++k) {
      const bool directory = random_() % 8 == 0;
      Add(NewFrn(), AnyFolder(), Name(), directory);
      if (random_() % 97 == 0) StrayName();
    }
  }

 private:
  VolumeIndex& index_;
  ModelDrive& model_;
  std::mt19937& random_;
  std::vector<uint64_t> directories_;
  uint64_t nextFrn_ = 0x100;
};

class ReferenceTest : public testing::IndexedDrivesTest {
 protected:
  // A drive filled by hand (no volume is read); its names in chunks of `chunkUnits`.
  DriveMaker& NewDrive(std::u16string letter, uint64_t chunkUnits) {
    auto volume = std::make_unique<FakeVolume>(letter);
    VolumeIndexPtr index(new VolumeIndex(*volume));
    index->drive = letter;
    index->names.chunkSize = chunkUnits;
    index->names.used = chunkUnits;
    models_.push_back(std::make_unique<ModelDrive>());
    models_.back()->letter = letter;
    makers_.push_back(std::make_unique<DriveMaker>(*index, *models_.back(), random_));
    volumes.push_back(std::move(volume));
    nextUsn.push_back(0);
    std::lock_guard guard(driveList.mutex);
    driveList.entries.push_back(std::move(index));
    return *makers_.back();
  }

  // Every live record whose folded name holds the folded query, drive by drive in record order.
  std::vector<std::pair<size_t, uint32_t>> ModelSearch(const std::u16string& query) const {
    const std::u16string folded = Folded(query);
    std::vector<std::pair<size_t, uint32_t>> found;
    for (size_t d = 0; d < models_.size(); ++d) {
      const std::vector<ModelRecord>& records = models_[d]->records;
      for (size_t i = 0; i < records.size(); ++i) {
        if (!records[i].deleted && records[i].folded.find(folded) != std::u16string::npos)
          found.emplace_back(d, uint32_t(i));
      }
    }
    return found;
  }

  // The reference's tag counts of a list (tag 0 every entry; another tag the live files whose
  // folded extension, from the last "." on, it lists) and its view for `viewTag` (the live
  // entries the tag accepts).
  void ModelSummary(const std::vector<std::pair<size_t, uint32_t>>& list, const FilterTagList& tags,
                    size_t viewTag, std::vector<uint64_t>& counts,
                    std::vector<std::pair<size_t, uint32_t>>& view) const {
    counts.assign(tags.size(), 0);
    view.clear();
    for (const auto& [d, i] : list) {
      const ModelRecord& record = models_[d]->records[i];
      const size_t dot = record.name.rfind(u'.');
      const bool liveFile = !record.directory && !record.deleted;
      const std::u16string extension =
          !liveFile || dot == std::u16string::npos ? u"" : record.folded.substr(dot);
      auto lists = [&](size_t t) {
        return t == 0 ||
               std::count(tags[t].extensions.begin(), tags[t].extensions.end(), extension) > 0;
      };
      for (size_t t = 0; t < tags.size(); ++t) counts[t] += lists(t) ? 1 : 0;
      if (!record.deleted && lists(viewTag)) view.emplace_back(d, i);
    }
  }

  std::vector<std::pair<size_t, uint32_t>> Pairs(const MatchList& list) {
    std::vector<std::pair<size_t, uint32_t>> pairs;
    for (const MatchItem& item : list)
      pairs.emplace_back(PositionOf(item.volume), item.recordIndex);
    return pairs;
  }

  size_t PositionOf(const VolumeIndex* drive) {
    size_t d = 0;
    while (d < models_.size() && &Drive(d) != drive) ++d;
    return d;
  }

  std::vector<std::pair<size_t, uint32_t>> Published() {
    std::vector<std::pair<size_t, uint32_t>> published;
    const VolumeIndex* drive = nullptr;
    size_t d = 0;
    for (const MatchItem& item : *Current()) {
      if (item.volume != drive) d = PositionOf(drive = item.volume);
      published.emplace_back(d, item.recordIndex);
    }
    return published;
  }

  // The reference's key of an entry: its folded name or its folded full path.
  std::u16string ModelKey(const MatchItem& item, uint32_t column) {
    const ModelDrive& model = *models_[PositionOf(item.volume)];
    return Folded(column == kColumnName ? model.records[item.recordIndex].name
                                        : ModelPath(model, item.recordIndex));
  }

  std::mt19937 random_{20261209};
  std::vector<std::unique_ptr<ModelDrive>> models_;
  std::vector<std::unique_ptr<DriveMaker>> makers_;
};

TEST_F(ReferenceTest, NamePassOnEveryPoolAndSortsAgreeWithTheReference) {
  // C: more records than two ranges of the pass, names in small chunks.
  DriveMaker& c = NewDrive(u"C:", 1 << 14);
  c.AddRandom(2 * RecordDeque::kSegmentRecords + 20000);
  for (int k = 0; k < 2000; ++k) {
    const size_t i = random_() % models_[0]->records.size();
    if (!models_[0]->records[i].deleted && i != 0) c.Rename(i, c.Name(), c.AnyFolder());
  }

  // D: the shapes path building must get right.
  DriveMaker& d = NewDrive(u"D:", 1 << 12);
  d.AddRandom(3000);
  uint64_t parent = kRoot;
  for (int depth = 0; depth < 130; ++depth) {  // deeper than a path shows
    const uint64_t folder = d.NewFrn();
    const std::string level = "L" + std::to_string(depth * 37 % 131);
    d.Add(folder, parent, std::u16string(level.begin(), level.end()), true);
    d.Add(d.NewFrn(), folder, d.Name(), false);
    parent = folder;
  }
  const uint64_t loopA = d.NewFrn(), loopB = d.NewFrn();
  d.Add(loopA, loopB, u"loopA", true);
  d.Add(loopB, loopA, u"loopB", true);
  d.Add(d.NewFrn(), loopA, u"inloop", false);
  const uint64_t lost = d.NewFrn();
  d.Add(lost, 0x7777777, u"lost", true);  // its parent was never seen
  d.Add(d.NewFrn(), lost, u"in lost", false);
  for (const char16_t* name : {u"Dir", u"dIR", u"dir"}) {  // one path, three folders
    const uint64_t folder = d.NewFrn();
    d.Add(folder, kRoot, name, true);
    for (int k = 0; k < 6; ++k) d.Add(d.NewFrn(), folder, d.Name(), k % 3 == 0);
  }
  for (const char16_t* name : {u"dir", u"dir.txt", u"dir_", u"dir\\a", u"dir\\zz", u"di"}) {
    d.Add(d.NewFrn(), kRoot, name, false);
  }
  const uint64_t old = d.NewFrn();
  const size_t oldRecord = d.Add(old, kRoot, u"old", true);
  for (int k = 0; k < 5; ++k) d.Add(d.NewFrn(), old, d.Name(), false);
  d.Rename(oldRecord, u"New", kRoot);  // its entries' paths now show the new name

  // E: names stored out of record order (the pass reads record by record there).
  DriveMaker& e = NewDrive(u"E:", 1 << 12);
  e.AddRandom(500);
  e.AddOutOfOrder(800);
  e.AddRandom(200);

  // F: more kinds of extension than a drive numbers before the usual ones appear, so that the
  // files the tags count are found by their names.
  DriveMaker& f = NewDrive(u"F:", 1 << 12);
  for (int k = 0; k < 300; ++k) {
    const std::string name = "first.k" + std::to_string(k);
    f.Add(f.NewFrn(), kRoot, std::u16string(name.begin(), name.end()), false);
  }
  f.AddRandom(3000);
  Ready();

  // What the store holds is what was given.
  for (size_t m = 0; m < models_.size(); ++m) {
    const VolumeIndex& drive = Drive(m);
    std::shared_lock guard(drive.lock);
    ASSERT_EQ(RecordCount(drive), models_[m]->records.size());
    for (size_t i = 0; i < RecordCount(drive); ++i) {
      const FileRecord& record = drive.records[i];
      const ModelRecord& model = models_[m]->records[i];
      ASSERT_TRUE(RecordName(drive, record) == model.name && record.frn == model.frn &&
                  record.parentFrn == model.parentFrn && bool(record.deleted) == model.deleted &&
                  bool(record.isDirectory) == model.directory)
          << "drive " << m << ", record " << i;
    }
  }

  // Files of ".txt" are found by their extension's code on C: and by their names on F:.
  size_t coded = 0, uncoded = 0;
  for (size_t m = 0; m < models_.size(); ++m) {
    const VolumeIndex& drive = Drive(m);
    std::shared_lock guard(drive.lock);
    for (size_t i = 0; i < RecordCount(drive); ++i) {
      const ModelRecord& model = models_[m]->records[i];
      if (model.directory || !model.folded.ends_with(u".txt")) continue;
      (drive.records[i].extension == ExtensionCodes::kUncoded ? uncoded : coded) += 1;
    }
  }
  ASSERT_GT(coded, 50u);
  ASSERT_GT(uncoded, 50u);

  // Queries: fixed ones (the units beside A to Z among them) and pieces of stored names in
  // random case.
  std::vector<std::u16string> queries = {u"a",  u"A",  u"bak",       u"BAK", u"e",      u".txt",
                                         u"@",  u"[",  u"`",         u"{",   u"\u00C9", u"中",
                                         u"zz", u"ab", u"aaaaaaaaa", u"\\",  u"l1",     u"~b"};
  for (int k = 0; k < 10; ++k) {
    const ModelDrive& model = *models_[k % 3];
    const std::u16string& name = model.records[random_() % model.records.size()].name;
    if (name.empty() || name.find(u'\0') != std::u16string::npos) continue;
    const size_t from = random_() % name.size();
    std::u16string query = name.substr(from, 1 + random_() % (name.size() - from));
    for (char16_t& unit : query) {
      if (random_() % 2 && unit >= u'a' && unit <= u'z') unit = char16_t(unit - 32);
    }
    queries.push_back(query);
  }
  // The search box's text is searched without its blanks at either end.
  for (std::u16string& query : queries) TrimBlanks(query);
  std::erase_if(queries, [](const std::u16string& query) { return query.empty(); });
  std::vector<std::vector<std::pair<size_t, uint32_t>>> expected;
  for (const std::u16string& query : queries) expected.push_back(ModelSearch(query));
  ThreadPool alone(0), wide(3);
  for (ThreadPool* pool : {&alone, &wide}) {
    PoolOverride use(*pool);
    for (size_t q = 0; q < queries.size(); ++q) {
      const std::u16string& query = queries[q];
      SearchAndWait(query);
      ASSERT_EQ(Published(), expected[q])
          << "query of " << query.size() << " units, pool width " << pool->Width();
    }
  }

  // The tag counts and the view counted by the pass as it finds the matches: those of the
  // reference, and those a pass over the finished list makes. Tags whose extensions are short
  // and narrow (below 0xFF: one byte a unit), short with a wider unit, and one longer than
  // eight units (found by probing); with capitals (never a folded name's) and units beyond A
  // to Z.
  {
    testing::LanguageAndTagsGuard restoreTags(false);
    const FilterTagList shortTags = {{u"All", {}},
                                     {u"Text", {u".txt", u".a", u".bak"}},
                                     {u"Mixed", {u".b", u".txt", u".\u00E9", u"."}},
                                     {u"Caps", {u".Bak"}},
                                     {u"None", {}}};
    FilterTagList wideTags = shortTags, longTags = shortTags;
    wideTags[2].extensions.push_back(u".\u4E2D");
    longTags[2].extensions.push_back(u".aaaaaaaaaaaa");
    ThreadPool wide(3);
    PoolOverride use(wide);
    for (const FilterTagList& tags : {shortTags, wideTags, longTags}) {
      filterTags.Replace(tags);
      for (int32_t viewTag : {0, 1, 2, 3}) {
        selectedTag.store(viewTag);
        for (size_t q = 0; q < queries.size(); q += 3) {
          SearchAndWait(queries[q]);
          SummaryPtr summary;
          {
            std::lock_guard guard(resultsMutex);
            summary = currentSummary;
          }
          ASSERT_TRUE(summary && summary->list == Current());
          std::vector<uint64_t> counts;
          std::vector<std::pair<size_t, uint32_t>> view;
          ModelSummary(Published(), tags, size_t(viewTag), counts, view);
          EXPECT_EQ(summary->tagCounts, counts) << "query " << q << ", view tag " << viewTag;
          EXPECT_EQ(Pairs(*summary->view), view) << "query " << q << ", view tag " << viewTag;
          const SummaryPtr pass =
              SummarizeResults(summary->list, summary->tags, viewTag, [] { return false; });
          EXPECT_EQ(summary->tagCounts, pass->tagCounts);
          EXPECT_EQ(summary->view == summary->list, pass->view == pass->list)
              << "a view that keeps every entry is the list itself";
        }
      }
    }
    selectedTag.store(0);
  }

  // Searches overtaken by the next keystroke: only the last one's list is published.
  for (size_t k = 0; k < queries.size(); ++k) StartSearch(queries[k], false, false);
  const uint64_t last = searchGeneration.load();
  ASSERT_TRUE(poster.WaitFor(WM_SEARCH_DONE, last));
  ASSERT_TRUE(testing::WaitForWorkers());
  EXPECT_EQ(poster.Messages().back().wParam, last);
  EXPECT_EQ(Published(), expected.back());

  // Sorts of every record of D:, E: and F: and a random part of C:.
  auto items = std::make_shared<MatchList>();
  for (size_t m = 1; m < models_.size(); ++m) {
    for (uint32_t i = 0; i < models_[m]->records.size(); ++i) items->push_back({&Drive(m), i});
  }
  for (int k = 0; k < 30000; ++k) {
    items->push_back({&Drive(0), uint32_t(random_() % models_[0]->records.size())});
  }
  std::shuffle(items->begin(), items->end(), random_);
  for (uint32_t column : {uint32_t(kColumnName), uint32_t(kColumnPath)}) {
    std::vector<std::u16string> expectedKeys;
    for (const MatchItem& item : *items) expectedKeys.push_back(ModelKey(item, column));
    std::sort(expectedKeys.begin(), expectedKeys.end());
    for (bool ascending : {true, false}) {
      {
        std::lock_guard guard(resultsMutex);
        currentResults = items;
      }
      RunSort({searchGeneration.fetch_add(1) + 1, column, ascending});
      const ResultList sorted = Current();
      ASSERT_EQ(sorted->size(), items->size());
      std::vector<std::u16string> keys;
      for (const MatchItem& item : *sorted) keys.push_back(ModelKey(item, column));
      if (!ascending) std::reverse(keys.begin(), keys.end());
      for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(keys[i], expectedKeys[i])
            << "column " << column << (ascending ? " ascending" : " descending") << ", entry " << i;
      }
      std::multiset<std::pair<const VolumeIndex*, uint32_t>> before, after;
      for (const MatchItem& item : *items) before.insert({item.volume, item.recordIndex});
      for (const MatchItem& item : *sorted) after.insert({item.volume, item.recordIndex});
      EXPECT_EQ(after, before) << "the same entries";
    }
  }

  // The counts and view of a list whose neighbouring entries lie on different drives (each
  // drive's codes stand for its own extensions).
  {
    const FilterTagList tags = {{u"All", {}},
                                {u"Text", {u".txt", u".a", u".bak", u".\u00E9"}},
                                {u"Mixed", {u".b", u".", u".aaaaaaaaaaaa"}}};
    for (int32_t viewTag : {1, 2}) {
      const SummaryPtr summary = SummarizeResults(
          items, std::make_shared<const FilterTagList>(tags), viewTag, [] { return false; });
      std::vector<uint64_t> counts;
      std::vector<std::pair<size_t, uint32_t>> view;
      ModelSummary(Pairs(*items), tags, size_t(viewTag), counts, view);
      EXPECT_EQ(summary->tagCounts, counts) << "view tag " << viewTag;
      EXPECT_EQ(Pairs(*summary->view), view) << "view tag " << viewTag;
    }
  }

  // A sorted list's summary: the counts of the list's own, the view the pass of a fresh summary
  // makes of the sorted list (entries deleted since the search left out), for the tag that lets
  // every entry through and one that does not.
  for (int32_t tag : {0, 1}) {
    selectedTag.store(tag);
    SearchAndWait(u".");
    SummaryPtr searched;
    {
      std::lock_guard guard(resultsMutex);
      searched = currentSummary;
    }
    ASSERT_TRUE(searched);
    for (int k = 0; k < 50; ++k) {
      const MatchItem& item = (*searched->list)[random_() % searched->list->size()];
      MarkRecordDeleted(*item.volume, item.recordIndex);
    }
    for (uint32_t column : {uint32_t(kColumnName), uint32_t(kColumnPath)}) {
      for (bool ascending : {true, false}) {
        {
          std::lock_guard guard(resultsMutex);
          currentResults = searched->list;
          currentSummary = searched;
        }
        RunSort({searchGeneration.fetch_add(1) + 1, column, ascending});
        SummaryPtr sorted;
        {
          std::lock_guard guard(resultsMutex);
          sorted = currentSummary;
        }
        ASSERT_TRUE(sorted && sorted->list == Current());
        EXPECT_EQ(sorted->tagCounts, searched->tagCounts) << "a new order changes no count";
        const SummaryPtr fresh =
            SummarizeResults(sorted->list, sorted->tags, tag, [] { return false; });
        std::vector<std::pair<const VolumeIndex*, uint32_t>> view, expected;
        for (const MatchItem& item : *sorted->view)
          view.emplace_back(item.volume, item.recordIndex);
        for (const MatchItem& item : *fresh->view)
          expected.emplace_back(item.volume, item.recordIndex);
        EXPECT_EQ(view, expected) << "tag " << tag << ", column " << column;
        EXPECT_LT(view.size(), sorted->list->size());
      }
    }
  }
  selectedTag.store(0);
}

}  // namespace
}  // namespace qm
