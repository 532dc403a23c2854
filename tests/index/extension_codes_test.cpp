#include "index/extension_codes.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "index/name_pool.h"

namespace qm {
namespace {

// The extension a code must stand for: the last "." to the end, A to Z folded.
std::u16string ModelExtension(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  std::u16string extension(dot == std::u16string_view::npos ? u"" : name.substr(dot));
  for (char16_t& unit : extension) unit = FoldUnit(unit);
  return extension;
}

class ExtensionCodesTest : public testing::Test {
 protected:
  // Coded as the store codes a name: from the pool, where it may be read past its end.
  uint8_t Code(std::u16string_view name) {
    return codes.CodeOf(pool.At(AddName(pool, name.data(), name.size())), name.size());
  }

  NamePool pool;
  ExtensionCodes codes;
};

TEST_F(ExtensionCodesTest, NamesWithOneExtensionShareItsCodeWhateverTheirCase) {
  struct Case {
    std::u16string name;
    std::u16string extension;  // what the code stands for; empty text with kUncoded: none
    bool coded = true;
  };
  const std::u16string nul(1, u'\0');
  const Case cases[] = {
      {u"report.txt", u".txt"},
      {u"REPORT.TXT", u".txt"},
      {u"a.b.TxT", u".txt"},
      {u"noextension", u""},
      {u"", u""},
      {u"trailing.", u"."},
      {u".bashrc", u".bashrc"},
      {u"x.tar.gz", u".gz"},
      {u"x.t" + nul + u"x", u".t" + nul + u"x"},  // a NUL unit is part of the extension
      {u"x.t", u".t"},
      {u"\u00C9t\u00E9.\u00C9\u4E2D", u".\u00C9\u4E2D"},  // only A to Z fold
      {u"x.ABCDEFGHIJKLMNO", u".abcdefghijklmno"},        // 16 units: the longest numbered
      {u"y.abcdefghijklmno", u".abcdefghijklmno"},
      {u"x.abcdefghijklmnop", u"", false},  // 17 units
      {u"seventeen-units-x", u"", false},   // no "." among the last 16 units of a longer name
      {u"sixteen-units-xx", u""},           // a shorter name has none at all
      {u"folder.with\\x", u".with\\x"},
  };
  for (const Case& c : cases) {
    const uint8_t code = Code(c.name);
    if (!c.coded) {
      EXPECT_EQ(code, ExtensionCodes::kUncoded) << c.extension.size();
      continue;
    }
    ASSERT_NE(code, ExtensionCodes::kUncoded);
    ASSERT_LT(code, codes.size());
    EXPECT_EQ(codes.Extension(code), c.extension);
    EXPECT_EQ(code == ExtensionCodes::kNoExtension, c.extension.empty());
  }
  // One code per extension: ".txt", ".gz", ".t", ".t\0x", "." ... each numbered once.
  std::set<std::u16string> distinct;
  for (size_t code = 1; code < codes.size(); ++code)
    distinct.insert(std::u16string(codes.Extension(uint8_t(code))));
  EXPECT_EQ(distinct.size(), codes.size() - 1);
}

TEST_F(ExtensionCodesTest, AfterTheLastFreeCodeNewExtensionsAreUncodedAndClearStartsAgain) {
  std::vector<uint8_t> first;
  for (int k = 0; k < 300; ++k)
    first.push_back(Code(u"f.e" + std::u16string(1, char16_t(0x100 + k))));
  for (int k = 0; k < 300; ++k) {
    // The empty extension holds code 1: 254 more fit.
    EXPECT_EQ(first[k], k < 254 ? uint8_t(k + 2) : ExtensionCodes::kUncoded) << k;
    EXPECT_EQ(Code(u"G.E" + std::u16string(1, char16_t(0x100 + k))), first[k]) << k;
  }
  EXPECT_EQ(codes.size(), ExtensionCodes::kCodes);
  EXPECT_EQ(Code(u"plain"), ExtensionCodes::kNoExtension);
  codes.Clear();
  EXPECT_EQ(codes.size(), 2u);
  EXPECT_EQ(Code(u"f.e\u0200"), 2);
}

// Random names over a small alphabet rich in "." and capitals, many of them longer than the
// eight units the quick lookup reads: every code given stands for the name's extension, and
// only too long extensions (or a name without a "." that is too long to tell) go uncoded.
TEST_F(ExtensionCodesTest, RandomNamesGetTheCodeOfTheirOwnExtension) {
  std::mt19937 random(71);
  const char16_t alphabet[] = {u'.', u'a', u'A', u'z', u'Z', u'x', u'\0', u'\u00E9', u'\u4E2D'};
  for (int k = 0; k < 20000; ++k) {
    if (k % 500 == 0) codes.Clear();  // numbering goes on, not only lookups of full codes
    std::u16string name;
    const size_t length = random() % 30;
    for (size_t i = 0; i < length; ++i) name += alphabet[random() % (k < 10000 ? 4 : 9)];
    const uint8_t code = Code(name);
    const std::u16string expected = ModelExtension(name);
    const bool tooLong = expected.size() > ExtensionCodes::kLongest ||
                         (expected.empty() && name.size() > ExtensionCodes::kLongest);
    if (code == ExtensionCodes::kUncoded) {
      EXPECT_TRUE(tooLong || codes.size() == ExtensionCodes::kCodes) << k;
    } else {
      EXPECT_FALSE(tooLong) << k;
      EXPECT_EQ(codes.Extension(code), expected) << k;
    }
  }
}

}  // namespace
}  // namespace qm
