#include "search/status_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qm {
namespace {

TEST(StatusTextTest, FormatsCountsIntoA128UnitBuffer) {
  struct Case {
    std::u16string format;
    uint64_t first, second;
    std::u16string text;
  };
  const Case cases[] = {
      {u"Scanning contents... (Processed %zu / %zu)", 5, 12,
       u"Scanning contents... (Processed 5 / 12)"},
      {u"已过滤 %zu 个文本文件", 18446744073709551615ull, 0,
       u"已过滤 18446744073709551615 个文本文件"},
      {u"%zu%%, %llu, %lld", 1, 2, u"1%, 2, 0"},                // a third conversion has no value
      {u"Error: %lu", 4294967295ull, 0, u"Error: 4294967295"},  // the message boxes' codes
      {u"100% done %d", 1, 2, u"100% done %d"},                 // other conversions are copied
      {u"", 1, 2, u""},
  };
  for (const Case& c : cases) {
    std::unique_ptr<char16_t[]> text(NewStatusText(c.format, c.first, c.second));
    EXPECT_EQ(std::u16string(text.get()), c.text);
  }

  // At most 127 units are kept, and the last unit of the buffer stays 0.
  const std::u16string longFormat = std::u16string(120, u'x') + u"%zu / %zu";
  std::unique_ptr<char16_t[]> text(NewStatusText(longFormat, 123456789, 1));
  const std::u16string kept(text.get());
  EXPECT_EQ(kept.size(), 127u);
  EXPECT_EQ(kept, std::u16string(120, u'x') + u"1234567");
  EXPECT_EQ(text[kStatusTextUnits - 1], 0);
}

}  // namespace
}  // namespace qm
