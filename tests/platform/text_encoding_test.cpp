#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(TextEncodingTest, Utf8BytesLikeTheSystemMakesThem) {
  EXPECT_EQ(ToUtf8Bytes(u""), "");
  EXPECT_EQ(ToUtf8Bytes(u"Total due"), "Total due");
  EXPECT_EQ(ToUtf8Bytes(u"发票"), "\xE5\x8F\x91\xE7\xA5\xA8");
  EXPECT_EQ(ToUtf8Bytes(u"\U0001F600"), "\xF0\x9F\x98\x80");
  // An unpaired surrogate becomes U+FFFD.
  EXPECT_EQ(ToUtf8Bytes(std::u16string(1, char16_t(0xD800)) + u"a"),
            "\xEF\xBF\xBD"
            "a");
}

#ifndef _WIN32
TEST(TextEncodingTest, TheStandInAnsiCodePageIsWindows1252) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"", ""},
      {u"plain ASCII ~", "plain ASCII ~"},
      {u"café ÿ\u00A0", "caf\xE9 \xFF\xA0"},
      {u"€‚ƒ„…†‡ˆ‰Š‹ŒŽ", "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E"},
      {u"‘’“”•–—˜™š›œžŸ", "\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F"},
      {u"\u0081\u008D", "??"},  // C1 controls the code page leaves undefined
      {u"发票 Ā", "?? ?"},      // no best-fit replacements
      {u"\U0001F600x", "?x"},   // a surrogate pair is one character
  };
  for (const Case& c : cases) EXPECT_EQ(ToAnsiBytes(c.text), c.bytes);
}
#endif

}  // namespace
}  // namespace qm
