#include "search/name_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "index/name_pool.h"
#include "search/query.h"

namespace qm {
namespace {

bool Scan(std::u16string_view query, const NamePool& pool, const FileRecord& record) {
  return NameScanner(query).Contains(pool.At(record.name), record.nameLength);
}

FileRecord RecordFor(NamePool& pool, std::u16string_view name) {
  FileRecord record{};
  record.name = AddName(pool, name.data(), name.size());
  record.nameLength = uint16_t(name.size());
  return record;
}

TEST(NameScanTest, FindsTheQueryAtEveryPosition) {
  NamePool pool;
  const std::u16string name = u"Report 2024 Final.DOCX";
  const FileRecord record = RecordFor(pool, name);
  const std::u16string folded = FoldCase(name);
  for (size_t start = 0; start < folded.size(); ++start) {
    for (size_t length = 1; start + length <= folded.size(); ++length) {
      const std::u16string query = folded.substr(start, length);
      EXPECT_TRUE(Scan(query, pool, record)) << start << "+" << length;
    }
  }
  EXPECT_FALSE(Scan(u"report 2024 final.docx ", pool, record)) << "longer than the name";
  EXPECT_FALSE(Scan(u"REPORT", pool, record)) << "queries come folded";
  EXPECT_FALSE(Scan(std::u16string_view(u"docx\0", 5), pool, record))
      << "the NUL behind a name is no unit of it";
  EXPECT_FALSE(Scan(u"xr", pool, record));
}

// The same answers as the plain definition, for names that end exactly where their chunk's room
// ends (the scan reads past them into the slack) and for every query length up to 9.
TEST(NameScanTest, AgreesWithNameMatchesOnRandomNames) {
  std::mt19937 random(42);
  const char16_t alphabet[] = {u'a', u'b', u'c', u'A', u'B', u'\u00E9', u'\u4E2D', u'.'};
  auto randomText = [&](size_t length) {
    std::u16string text;
    for (size_t i = 0; i < length; ++i) text += alphabet[random() % 8];
    return text;
  };
  NamePool pool;
  pool.chunkSize = 64;
  pool.used = pool.chunkSize;
  std::vector<FileRecord> records;
  for (int i = 0; i < 3000; ++i) {
    // A name that exactly fills what is left of the chunk now and then.
    const uint64_t left = pool.chunkSize - pool.used;
    size_t length = random() % 29;
    if (i % 7 == 0 && left >= 1 && left - 1 <= 28) length = size_t(left - 1);
    records.push_back(RecordFor(pool, randomText(length)));
  }
  uint64_t matches = 0;
  for (int q = 0; q < 400; ++q) {
    const std::u16string query = FoldCase(randomText(1 + random() % 9));
    const NameScanner scanner(query);
    for (const FileRecord& record : records) {
      const bool expected = NameMatches(pool, record, query);
      ASSERT_EQ(scanner.Contains(pool.At(record.name), record.nameLength), expected)
          << "name length " << record.nameLength << ", query length " << query.size();
      matches += expected;
    }
  }
  EXPECT_GT(matches, 10000u) << "the queries should match often enough to test both answers";
}

// Find over a stretch of text, 16 positions at a time where the processor can and 8 at a time,
// against the plain definition, for every window [from, last] of many lengths: the units beside
// A to Z ('@', '[', '`', '{') and units whose low byte is a letter must not match.
TEST(NameScanTest, FindAgreesOnEveryWindowWithAndWithoutTheWideScan) {
  std::mt19937 random(7);
  const char16_t alphabet[] = {u'a', u'A', u'b', u'B',      u'@',
                               u'[', u'`', u'{', u'\u0141', u'\u0161'};
  std::u16string text;
  for (int i = 0; i < 200; ++i) text += alphabet[random() % std::size(alphabet)];
  text.append(NamePool::kScanSlack, u'\0');  // what a chunk holds behind its room
  const size_t room = text.size() - NamePool::kScanSlack;
  for (const char16_t* query :
       {u"a", u"ab", u"aba", u"`a", u"a{", u"bab", u"ab@b", u"b[aab`A", u"\u0141ab"}) {
    const std::u16string_view q(query);
    const NameScanner wide(q, true), narrow(q, false);
    for (size_t from = 0; from < 40; ++from) {
      for (size_t last = from; last + q.size() <= room; ++last) {
        size_t expected = NameScanner::kNone;
        for (size_t k = from; k <= last && expected == NameScanner::kNone; ++k) {
          if (FoldCase(std::u16string_view(text).substr(k, q.size())) == q) expected = k;
        }
        ASSERT_EQ(narrow.Find(text.data(), from, last), expected) << from << ".." << last;
        ASSERT_EQ(wide.Find(text.data(), from, last), expected) << from << ".." << last;
      }
    }
  }
}

}  // namespace
}  // namespace qm
