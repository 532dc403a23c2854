#include "config/hotkey_file.h"

#include <gtest/gtest.h>

#include <string>

#include "config/decimal.h"
#include "support/config_fakes.h"

namespace qm {
namespace {

HotkeySetting Read(const std::string& bytes, HotkeySetting start = {}) {
  testing::MemoryConfigSystem memory;
  memory.files[u"hotkey.ini"] = bytes;
  EXPECT_TRUE(ReadHotkeyFile(memory, u"hotkey.ini", &start));
  return start;
}

TEST(HotkeyFile, Lines) {
  const struct {
    std::string file;
    uint32_t modifiers;
    uint32_t key;
  } cases[] = {
      {"\xEF\xBB\xBFmodifiers=1\r\nkey=90\r\n", 1, 90},
      {"modifiers=8\nkey=90\n", 8, 90},  // Win+Z, not validated
      {"key=70\n", 1, 70},               // only a key: the modifiers stay Alt
      {"modifiers=6\n", 6, 0x5A},
      {"", 1, 0x5A},
      {" \t modifiers \t= \t 2 \r\n  key =  65  ", 2, 65},
      {"Modifiers=2\nKEY=65\nmodifier=4\n", 1, 0x5A},  // names are case-sensitive and exact
      {"modifiers=2\nmodifiers=4\n", 4, 0x5A},         // a later line wins
      {"modifiers 2\nkey:65\n", 1, 0x5A},              // no "=": skipped
      {"key=65=66\n", 1, 65},                          // split at the first "="
      {"modifiers=+3\nkey=12abc\n", 3, 12},
      {"modifiers=abc\nkey=\n", 0, 0},  // no digits give 0
      {"modifiers=-1\n", 0xFFFFFFFFu, 0x5A},
      {"modifiers=99999999999\nkey=-99999999999\n", 0xFFFFFFFFu, 0xFFFFFFFFu},
      {"modifiers=4294967295\nkey=-4294967295\n", 0xFFFFFFFFu, 1},
      {"modifiers=\v5\n", 5, 0x5A},  // white space before the number
      {"modifiers=+-5\n", 0, 0x5A},
      {"#modifiers=2\n", 1, 0x5A},  // no comments: the name is "#modifiers"
  };
  for (const auto& c : cases) {
    const HotkeySetting setting = Read(c.file);
    EXPECT_EQ(setting.modifiers, c.modifiers) << c.file;
    EXPECT_EQ(setting.key, c.key) << c.file;
  }
}

TEST(HotkeyFile, LinesLongerThan255UnitsComeInPieces) {
  // The first piece ends inside the blanks before the value, so "modifiers" reads 0 and the
  // value's own piece has no "=".
  const std::string line = "modifiers=" + std::string(250, ' ') + "5\n";
  EXPECT_EQ(Read(line).modifiers, 0u);
  EXPECT_EQ(Read("modifiers=" + std::string(200, ' ') + "5\n").modifiers, 5u);
}

TEST(HotkeyFile, MissingFileKeepsTheSetting) {
  testing::MemoryConfigSystem memory;
  HotkeySetting setting{kModControl | kModShift, 0x46};
  EXPECT_FALSE(ReadHotkeyFile(memory, u"hotkey.ini", &setting));
  EXPECT_EQ(setting, (HotkeySetting{kModControl | kModShift, 0x46}));
}

TEST(HotkeyFile, WrittenFormat) {
  EXPECT_EQ(FormatHotkeyFile({}), u"modifiers=1\nkey=90\n");
  EXPECT_EQ(FormatHotkeyFile({0xFFFFFFFFu, 0}), u"modifiers=4294967295\nkey=0\n");
  testing::TempFolder folder;
  testing::TestConfigSystem system(std::nullopt);
  const std::u16string path = folder.program() + u"\\hotkey.ini";
  ASSERT_TRUE(WriteHotkeyFile(system, path, {kModControl | kModShift, 0x46}));
  EXPECT_EQ(testing::FileBytes(path), "\xEF\xBB\xBFmodifiers=6\r\nkey=70\r\n");
  HotkeySetting back;
  ASSERT_TRUE(ReadHotkeyFile(system, path, &back));
  EXPECT_EQ(back, (HotkeySetting{6, 70}));
}

TEST(Decimal, ParsingAsTheRuntimeDoes) {
  EXPECT_EQ(ParseUnsigned32(u"2147483648"), 0x80000000u);
  EXPECT_EQ(ParseUnsigned32(u"4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseUnsigned32(u"4294967296"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseUnsigned32(u"-2147483649"), 0x7FFFFFFFu);
  EXPECT_EQ(ParseUnsigned32(u"007"), 7u);
  EXPECT_EQ(ParseUnsigned32(u"\u0661"), 0u);  // only ASCII digits count
  // Whatever is written with "%u" reads back as it was.
  for (uint32_t value : {0u, 1u, 90u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFBCu, 0xFFFFFFFFu}) {
    EXPECT_EQ(ParseUnsigned32(DecimalText(value)), value);
  }
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(UINT64_MAX), u"18446744073709551615");
}

}  // namespace
}  // namespace qm
