#include "config/trim_blanks.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

TEST(TrimBlanks, RemovesOnlySpaceTabCrLfAtBothEnds) {
  const struct {
    std::u16string in;
    std::u16string out;
  } cases[] = {
      {u" \tabc \r\n", u"abc"},
      {u"\r\n", u""},
      {u"", u""},
      {u"a b", u"a b"},
      {u"\t a\t\tb \n", u"a\t\tb"},
      {u"abc", u"abc"},
      {u"x", u"x"},
      {u"  \t ", u""},
      // Other white space is not a blank.
      {u"\v x \f", u"\v x \f"},
      {u"\u3000x\u00A0", u"\u3000x\u00A0"},
      {std::u16string(u"\0a\0", 3), std::u16string(u"\0a\0", 3)},
  };
  for (const auto& c : cases) {
    std::u16string text = c.in;
    TrimBlanks(text);
    EXPECT_EQ(text, c.out);
    EXPECT_EQ(TrimmedView(c.in), c.out);
  }
}

}  // namespace
}  // namespace qm
