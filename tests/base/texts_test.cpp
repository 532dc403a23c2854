#include "base/texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/language.h"

namespace qm {
namespace {

// The printf conversions of a format text, in order ("%lld", "%zu", ...; "%%" excluded).
std::vector<std::u16string> Conversions(std::u16string_view text) {
  std::vector<std::u16string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') continue;
    size_t end = i + 1;
    if (end < text.size() && text[end] == u'%') {
      i = end;
      continue;
    }
    while (end < text.size() &&
           std::u16string_view(u"lhzj").find(text[end]) != std::u16string_view::npos) {
      ++end;
    }
    found.emplace_back(text.substr(i, end + 1 - i));
    i = end;
  }
  return found;
}

bool HasHan(std::u16string_view text) {
  for (char16_t c : text) {
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3000 && c <= 0x303F) ||
        (c >= 0xFF00 && c <= 0xFFEF)) {
      return true;
    }
  }
  return false;
}

TEST(Texts, EveryPairIsCompleteAndConsistent) {
  // Texts that read the same in both languages.
  const TextId sameInBoth[] = {TextId::kCaptionAdministrator, TextId::kCaptionNoNtfs,
                               TextId::kDriveAll};
  for (size_t i = 0; i < kTextCount; ++i) {
    const TextId id = TextId(i);
    const TextPair& pair = TextPairOf(id);
    EXPECT_FALSE(pair.chinese.empty()) << i;
    EXPECT_FALSE(pair.english.empty()) << i;
    EXPECT_EQ(Conversions(pair.chinese), Conversions(pair.english)) << i;
    EXPECT_FALSE(HasHan(pair.english)) << i;
    const bool same =
        std::find(std::begin(sameInBoth), std::end(sameInBoth), id) != std::end(sameInBoth);
    if (same) {
      EXPECT_EQ(pair.chinese, pair.english) << i;
    } else {
      EXPECT_NE(pair.chinese, pair.english) << i;
    }
  }
}

TEST(Texts, FormatTextsCarryTheirConversions) {
  EXPECT_EQ(Conversions(TextPairOf(TextId::kTitleResults).english),
            std::vector<std::u16string>{u"%lld"});
  EXPECT_EQ(Conversions(TextPairOf(TextId::kScanProgress).chinese),
            (std::vector<std::u16string>{u"%zu", u"%zu"}));
  EXPECT_EQ(Conversions(TextPairOf(TextId::kDeleteFailed).english),
            std::vector<std::u16string>{u"%lu"});
}

TEST(Texts, TheLanguageFlagPicksTheForm) {
  const bool saved = chineseUi.load();
  chineseUi = true;
  EXPECT_EQ(Text(TextId::kCaptionInformation), u"提示");
  EXPECT_EQ(Text(TextId::kTagAllFiles), u"所有文件");
  chineseUi = false;
  EXPECT_EQ(Text(TextId::kCaptionInformation), u"Information");
  EXPECT_EQ(Text(TextId::kMenuMoveToRecycleBin), u"Move to Recycle Bin\tDelete");
  EXPECT_EQ(TextIn(TextId::kStatusHits, true), u" | 命中: ");
  chineseUi = saved;
}

class FixedLanguage : public UiLanguageSystem {
 public:
  explicit FixedLanguage(uint16_t id) : id(id) {}
  uint16_t UserDefaultUiLanguage() override { return id; }
  uint16_t id;
};

TEST(Language, ChineseWhenThePrimaryLanguageIsFour) {
  const struct {
    uint16_t id;
    bool chinese;
  } cases[] = {
      {0x0804, true},  {0x0404, true},  {0x0C04, true},  {0x1004, true},  {0x1404, true},
      {0x7C04, true},  {0x0004, true},  {0x0409, false}, {0x0411, false}, {0x0412, false},
      {0x0000, false}, {0x0403, false}, {0x0405, false}, {0x0C07, false}, {0x0204, false},
  };
  const bool saved = chineseUi.load();
  for (const auto& c : cases) {
    EXPECT_EQ(IsChineseLanguageId(c.id), c.chinese) << std::hex << c.id;
    chineseUi = !c.chinese;
    FixedLanguage system(c.id);
    SetLanguageFromSystem(system);
    EXPECT_EQ(IsChineseUi(), c.chinese) << std::hex << c.id;
  }
  chineseUi = saved;
}

}  // namespace
}  // namespace qm
