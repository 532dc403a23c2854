#include "search/filter_view.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/window_messages.h"
#include "config/filter_tags.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::kRootFrn;
using testing::WaitForWorkers;
using Paths = std::vector<std::u16string>;

class FilterViewTest : public testing::IndexedDrivesTest {
 protected:
  FilterViewTest() : savedTags(filterTags.Snapshot()) {
    filterTags.Replace(
        {{u"All", {}}, {u"Pictures", {u".jpg", u".png"}}, {u"Text", {u".txt"}}, {u"Nothing", {}}});
  }
  ~FilterViewTest() override {
    EXPECT_TRUE(WaitForWorkers());
    filterTags.Replace(*savedTags);
  }

  // C: a directory named like a picture, pictures, texts, names that only look close.
  void AddDriveC() {
    AddDrive(u"C:", {{0x10, kRootFrn, u"photos.jpg", true},
                     {0x11, 0x10, u"a.JPG"},
                     {0x12, 0x10, u"b.png"},
                     {0x13, kRootFrn, u"c.txt"},
                     {0x14, kRootFrn, u"jpg"},
                     {0x15, kRootFrn, u"x.jpg.txt"},
                     {0x16, kRootFrn, u"Docs", true},
                     {0x17, 0x16, u"d.txt"}});
    Ready();
  }
  static constexpr const char16_t* kAll[] = {u"C:\\photos.jpg",
                                             u"C:\\photos.jpg\\a.JPG",
                                             u"C:\\photos.jpg\\b.png",
                                             u"C:\\c.txt",
                                             u"C:\\jpg",
                                             u"C:\\x.jpg.txt",
                                             u"C:\\Docs",
                                             u"C:\\Docs\\d.txt"};

  // Publishes the entries with these paths as currentResults, as a search would, and
  // accepts it as the window does.
  ResultList Publish(const Paths& paths) {
    auto list = std::make_shared<MatchList>();
    for (const std::u16string& path : paths) list->push_back(ItemOf(0, path));
    {
      std::lock_guard guard(resultsMutex);
      currentResults = list;
    }
    ResetFilteredView(list->size());
    return list;
  }
  ResultList PublishAll() { return Publish(Paths(std::begin(kAll), std::end(kAll))); }

  static ResultList View() {
    std::lock_guard guard(filterMutex);
    return filteredResults;
  }

  FilterTagsSnapshot savedTags;
};

TEST_F(FilterViewTest, ViewsPerTag) {
  AddDriveC();
  PublishAll();
  struct Case {
    int32_t tag;
    Paths expected;
  };
  const Paths all(std::begin(kAll), std::end(kAll));
  const Case cases[] = {
      {0, all},
      {1, {u"C:\\photos.jpg\\a.JPG", u"C:\\photos.jpg\\b.png"}},
      {2, {u"C:\\c.txt", u"C:\\x.jpg.txt", u"C:\\Docs\\d.txt"}},
      {3, {}},    // a tag without extensions other than the first accepts nothing
      {4, all},   // beyond the end of the list: taken as the first tag
      {-1, all},  // no tag position at all: the same
  };
  for (const Case& c : cases) {
    selectedTag.store(c.tag);
    const ResultList view = GetDisplayList();
    EXPECT_EQ(PathsOf(view), c.expected) << "tag " << c.tag;
    EXPECT_EQ(filteredCount.load(), c.expected.size());
    EXPECT_EQ(filteredTag.load(), c.tag);
    EXPECT_EQ(GetDisplayList(), view) << "a current view is reused, not rebuilt";
  }
}

TEST_F(FilterViewTest, DeletedEntriesLeaveTheViewButNotThePublishedList) {
  AddDriveC();
  const ResultList published = PublishAll();
  EXPECT_EQ(filteredCount.load(), 8u) << "the total until the view is built";
  DeleteFile(0, 0x11, 0x10, u"a.JPG");
  DeleteFile(0, 0x13, kRootFrn, u"c.txt");
  WaitForMonitors();
  EXPECT_EQ(PathsOf(GetDisplayList()),
            (Paths{u"C:\\photos.jpg", u"C:\\photos.jpg\\b.png", u"C:\\jpg", u"C:\\x.jpg.txt",
                   u"C:\\Docs", u"C:\\Docs\\d.txt"}));
  EXPECT_EQ(filteredCount.load(), 6u);
  EXPECT_EQ(published->size(), 8u);

  ApplyTagSelection(1);
  ASSERT_TRUE(poster.WaitFor(WM_FILTER_DONE));
  EXPECT_EQ(PathsOf(View()), Paths{u"C:\\photos.jpg\\b.png"});
  EXPECT_EQ(filteredCount.load(), 1u);
}

TEST_F(FilterViewTest, TagClickBuildsTheViewInTheBackground) {
  AddDriveC();
  PublishAll();
  ApplyTagSelection(2);
  EXPECT_EQ(selectedTag.load(), 2);
  ASSERT_TRUE(poster.WaitFor(WM_FILTER_DONE));
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(PathsOf(View()), (Paths{u"C:\\c.txt", u"C:\\x.jpg.txt", u"C:\\Docs\\d.txt"}));
  EXPECT_EQ(filteredTag.load(), 2);
  EXPECT_EQ(filteredCount.load(), 3u);
  EXPECT_EQ(GetDisplayList(), View());
  const auto messages = poster.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].wParam, 0u);
  EXPECT_EQ(messages[0].lParam, 0);
}

TEST_F(FilterViewTest, ThePreviousViewStaysOnScreenWhileTheWorkerBuildsTheNext) {
  AddDriveC();
  PublishAll();
  const ResultList all = GetDisplayList();
  ASSERT_EQ(all->size(), 8u);
  {
    // The drive is busy (held by another thread, so that this one never holds a drive lock
    // while it takes filterMutex): a view built here would wait for it, as the worker does.
    std::promise<void> held;
    std::promise<void> release;
    std::thread busy([&] {
      std::unique_lock lock(Drive(0).lock);
      held.set_value();
      release.get_future().wait();
    });
    held.get_future().wait();
    ApplyTagSelection(2);
    ApplyTagSelection(1);
    EXPECT_EQ(GetDisplayList(), all) << "the window does not walk the list itself";
    EXPECT_EQ(filteredCount.load(), 8u);
    release.set_value();
    busy.join();
  }
  ASSERT_TRUE(poster.WaitFor(WM_FILTER_DONE));
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(PathsOf(GetDisplayList()), (Paths{u"C:\\photos.jpg\\a.JPG", u"C:\\photos.jpg\\b.png"}));
  EXPECT_EQ(filteredCount.load(), 2u);

  // A new list replaces whatever was shown at once.
  Publish({u"C:\\c.txt"});
  selectedTag.store(0);
  EXPECT_EQ(PathsOf(GetDisplayList()), Paths{u"C:\\c.txt"});
}

TEST_F(FilterViewTest, OnlyTheSecondOfTwoQuickClicksStoresItsView) {
  AddDriveC();
  PublishAll();
  {
    // The drive is busy: the first worker waits on the first entry while the second click
    // comes.
    std::unique_lock busy(Drive(0).lock);
    ApplyTagSelection(1);
    ApplyTagSelection(2);
  }
  ASSERT_TRUE(poster.WaitFor(WM_FILTER_DONE));
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(poster.Count(WM_FILTER_DONE), 1u);
  EXPECT_EQ(filteredTag.load(), 2);
  EXPECT_EQ(PathsOf(View()), (Paths{u"C:\\c.txt", u"C:\\x.jpg.txt", u"C:\\Docs\\d.txt"}));
}

TEST_F(FilterViewTest, ClickBeforeAnyResultStartsNoWorker) {
  AddDriveC();
  ApplyTagSelection(1);
  EXPECT_EQ(selectedTag.load(), 1);
  EXPECT_EQ(activeFilterWorkers.load(), 0);
  const ResultList view = GetDisplayList();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->empty());
  EXPECT_TRUE(poster.Messages().empty());
}

TEST_F(FilterViewTest, AWorkerOnAnOlderListStoresNothingAfterANewListIsAccepted) {
  AddDriveC();
  const ResultList older = PublishAll();
  selectedTag.store(2);
  const uint64_t generation = filterGeneration.fetch_add(1) + 1;  // a tag click
  // A search publishes and the window accepts the new list before the worker gets going.
  Publish({u"C:\\c.txt"});
  RunRefilter(std::make_unique<RefilterRequest>(RefilterRequest{older, generation}));
  EXPECT_EQ(View(), nullptr);
  EXPECT_EQ(filteredCount.load(), 1u);
  EXPECT_TRUE(poster.Messages().empty());
  EXPECT_EQ(PathsOf(GetDisplayList()), Paths{u"C:\\c.txt"});
}

TEST_F(FilterViewTest, ResetShowsTheTotalUntilTheViewIsRebuilt) {
  AddDriveC();
  PublishAll();
  selectedTag.store(1);
  EXPECT_EQ(GetDisplayList()->size(), 2u);
  Publish({u"C:\\c.txt", u"C:\\photos.jpg\\b.png", u"C:\\Docs"});
  EXPECT_EQ(filteredCount.load(), 3u);
  EXPECT_EQ(filteredTag.load(), -1);
  EXPECT_EQ(View(), nullptr);
  EXPECT_EQ(PathsOf(GetDisplayList()), Paths{u"C:\\photos.jpg\\b.png"});
  EXPECT_EQ(filteredCount.load(), 1u);
}

TEST_F(FilterViewTest, EntriesWithoutARecordAreSkipped) {
  AddDriveC();
  auto list = std::make_shared<MatchList>(
      MatchList{MatchItem{}, MatchItem{&Drive(0), 99999}, ItemOf(0, u"C:\\c.txt")});
  {
    std::lock_guard guard(resultsMutex);
    currentResults = list;
  }
  ResetFilteredView(list->size());
  EXPECT_EQ(PathsOf(GetDisplayList()), Paths{u"C:\\c.txt"});
  const uint64_t generation = filterGeneration.fetch_add(1) + 1;
  RunRefilter(std::make_unique<RefilterRequest>(RefilterRequest{list, generation}));
  EXPECT_EQ(PathsOf(View()), Paths{u"C:\\c.txt"});
  EXPECT_EQ(poster.Count(WM_FILTER_DONE), 1u);
}

}  // namespace
}  // namespace qm
