// Random input for the three configuration readers and the query parser: nothing may crash,
// hang or read out of bounds (this runs under the address sanitizer too), and what is read
// keeps the readers' invariants and survives being written and read again.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "config/filter_tags.h"
#include "config/hotkey_file.h"
#include "config/recent_file.h"
#include "config/text_file.h"
#include "config/trim_blanks.h"
#include "index/name_pool.h"
#include "platform/utf8.h"
#include "search/query.h"
#include "support/config_fakes.h"

namespace qm {
namespace {

constexpr uint32_t kSeed = 20240611;

bool HasUpperAToZ(std::u16string_view text) {
  for (char16_t c : text) {
    if (c >= u'A' && c <= u'Z') return true;
  }
  return false;
}

bool IsValidUtf16(std::u16string_view text) {
  std::string ignored;
  return Utf16ToUtf8(text, &ignored);
}

class Generator {
 public:
  explicit Generator(uint32_t seed) : random(seed) {}

  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); }

  // Bytes that lean towards what the readers look at: marks, line ends, separators, digits,
  // the starts of multi-byte sequences, NUL.
  std::string Bytes(size_t most) {
    static constexpr char kBytes[] =
        "\xEF\xBB\xBF\xFF\xFE\r\n=,#\t .|0123456789-+modifierskeyAZaz\0\x80\xBF\xC3\xE6\xED\xF0"
        "\xF4\xF8";
    static constexpr std::string_view kInteresting(kBytes, sizeof(kBytes) - 1);
    static const std::string kStarts[] = {"",
                                          "\xEF\xBB\xBF",
                                          "\xFF\xFE",
                                          "\xFE\xFF",
                                          "modifiers=",
                                          "key=",
                                          "1\t",
                                          "-5\t",
                                          "\v7\t",
                                          "+1\t",
                                          "18446744073709551616\t",
                                          "\xEF\xBB\xBF \r\n\t"};
    std::string bytes = kStarts[Below(std::size(kStarts))];
    const size_t length = Below(most + 1);
    for (size_t i = 0; i < length; ++i) {
      bytes.push_back(Below(2) ? kInteresting[Below(kInteresting.size())] : char(Below(256)));
    }
    return bytes;
  }

  std::u16string Text(size_t most) {
    static constexpr char16_t kUnits[] = u"s:S|,. \t\r\nAaZz\u00C4\u00E4\u6587\xD800\xDC00\0";
    static constexpr std::u16string_view kInteresting(kUnits, std::size(kUnits) - 1);
    std::u16string text;
    if (Below(2)) text = u"s:";
    const size_t length = Below(most + 1);
    for (size_t i = 0; i < length; ++i) {
      text.push_back(Below(4) ? kInteresting[Below(kInteresting.size())] : char16_t(Below(65536)));
    }
    return text;
  }

  std::mt19937 random;
};

void CheckTags(const FilterTagList& tags) {
  for (const FilterTag& tag : tags) {
    ASSERT_FALSE(tag.label.empty());
    ASSERT_EQ(TrimmedView(tag.label), tag.label);
    for (const std::u16string& extension : tag.extensions) {
      ASSERT_GE(extension.size(), 1u);
      ASSERT_EQ(extension[0], u'.');
      ASSERT_FALSE(HasUpperAToZ(extension));
      ASSERT_EQ(extension.find(u','), std::u16string::npos);
      ASSERT_EQ(TrimmedView(extension), extension);
    }
  }
}

TEST(ConfigFuzz, RandomBytesToTheThreeReaders) {
  Generator generate(kSeed);
  testing::MemoryConfigSystem memory;
  for (int round = 0; round < 1000; ++round) {
    const std::string bytes = generate.Bytes(round % 20 == 0 ? 6000 : 500);
    memory.files[u"f"] = bytes;

    // Pieces never exceed the buffer and never hold a NUL.
    const size_t buffer = std::vector<size_t>{2, 3, 17, 256, 1024, 4096}[generate.Below(6)];
    std::vector<std::u16string> pieces;
    const TextFileRead read = ReadTextFile(memory, u"f", buffer, &pieces);
    ASSERT_TRUE(Decoded(read) || pieces.empty());
    if (Decoded(read)) {
      std::u16string text;
      ASSERT_TRUE(DecodeTextFile(bytes, &text));
      std::u16string joined;
      for (const std::u16string& piece : pieces) {
        ASSERT_LE(piece.size(), buffer - 1);
        ASSERT_EQ(piece.find(u'\0'), std::u16string::npos);
        joined += piece;
      }
      if (text.find(u'\0') == std::u16string::npos) {
        ASSERT_EQ(joined, text);
      }
    }

    // A file is unreadable exactly when it was opened, holds more than blanks and gave nothing.
    FilterTagList tags;
    bool unreadable = false;
    const bool tagsRead = ReadTagFile(memory, u"f", &tags, &unreadable);
    ASSERT_EQ(unreadable, !tagsRead && read != TextFileRead::kBlank);
    if (tagsRead) {
      ASSERT_FALSE(tags.empty());
      CheckTags(tags);
      // Written and read again, the tags come back, unless a line no longer fits one piece
      // or holds an unpaired surrogate (written as U+FFFD).
      const std::u16string written = FormatTagFile(tags);
      bool roundTrips = IsValidUtf16(written);
      for (size_t start = 0, end; roundTrips && start < written.size(); start = end + 1) {
        end = written.find(u'\n', start);
        roundTrips = end - start <= kFiltersLineBuffer - 1;
      }
      if (roundTrips) {
        testing::MemoryConfigSystem again;
        again.files[u"g"] = EncodeTextFile(written);
        FilterTagList back;
        ASSERT_TRUE(ReadTagFile(again, u"g", &back));
        ASSERT_EQ(back, tags);
      }
    }

    std::vector<RecentLine> recent;
    const bool recentRead = ReadRecentFile(memory, u"f", &recent, &unreadable);
    ASSERT_EQ(recentRead, Decoded(read));
    ASSERT_EQ(unreadable, read == TextFileRead::kUndecodable ||
                              (read == TextFileRead::kText && recent.empty()));
    if (recentRead) {
      for (const RecentLine& line : recent) {
        ASSERT_FALSE(line.path.empty());

        ASSERT_FALSE(IsBlank(line.path.back()));  // the line's end is trimmed, not its tab
        ASSERT_EQ(line.path.find(u'\n'), std::u16string::npos);
      }
      const std::u16string written = FormatRecentFile(recent);
      bool roundTrips = IsValidUtf16(written);
      for (size_t start = 0, end; roundTrips && start < written.size(); start = end + 1) {
        end = written.find(u'\n', start);
        roundTrips = end - start <= kRecentLineBuffer - 1;
      }
      if (roundTrips) {
        testing::MemoryConfigSystem again;
        again.files[u"g"] = EncodeTextFile(written);
        std::vector<RecentLine> back;
        ASSERT_TRUE(ReadRecentFile(again, u"g", &back));
        ASSERT_EQ(back, recent);
      }
    }

    // A stamp comes from digits at the very start of the line, never from a sign or blanks.
    std::vector<std::u16string> recentPieces;
    ReadTextFile(memory, u"f", kRecentLineBuffer, &recentPieces);
    for (const std::u16string& piece : recentPieces) {
      const std::optional<RecentLine> line = ParseRecentLine(piece);
      if (line && line->stamp != 0) {
        const char16_t first = TrimmedView(piece).front();
        ASSERT_TRUE(first >= u'0' && first <= u'9') << ::testing::PrintToString(piece);
      }
    }

    HotkeySetting hotkey;
    if (ReadHotkeyFile(memory, u"f", &hotkey)) {
      testing::MemoryConfigSystem again;
      again.files[u"g"] = EncodeTextFile(FormatHotkeyFile(hotkey));
      HotkeySetting back{0, 0};
      ASSERT_TRUE(ReadHotkeyFile(again, u"g", &back));
      ASSERT_EQ(back, hotkey);
    }
  }
}

TEST(ConfigFuzz, RandomTextToTheQueryParserAndTagLines) {
  Generator generate(kSeed + 1);
  for (int round = 0; round < 3000; ++round) {
    const std::u16string text = generate.Text(300);
    const ParsedQuery parsed = ParseQuery(text);
    if (parsed.isContent) {
      ASSERT_TRUE(TrimmedView(text).starts_with(u"s:"));
      ASSERT_EQ(TrimmedView(parsed.text), parsed.text);
      for (const std::u16string& extension : parsed.extensions) {
        ASSERT_EQ(extension[0], u'.');
        ASSERT_FALSE(HasUpperAToZ(extension));
      }
    } else {
      ASSERT_TRUE(parsed.text.empty());
      ASSERT_TRUE(parsed.extensions.empty());
    }
    const std::u16string term = HighlightTermOf(text);
    ASSERT_FALSE(HasUpperAToZ(term));
    ASSERT_EQ(TrimmedView(term), term);
    if (std::optional<FilterTag> tag = ParseTagLine(text)) CheckTags({*tag});
  }
}

// NameMatches against the obvious reference: fold the name, look for the folded query.
TEST(ConfigFuzz, NameMatchesAgreesWithFoldAndFind) {
  Generator generate(kSeed + 2);
  static constexpr std::u16string_view kAlphabet = u"aAbB.Ä ";
  NamePool pool;
  for (int round = 0; round < 20000; ++round) {
    std::u16string name, query;
    for (size_t i = generate.Below(12); i > 0; --i) name += kAlphabet[generate.Below(7)];
    for (size_t i = generate.Below(5); i > 0; --i) query += kAlphabet[generate.Below(7)];
    FileRecord record{};
    record.name = AddName(pool, name.data(), name.size());
    record.nameLength = uint16_t(name.size());
    const std::u16string folded = FoldCase(query);
    ASSERT_EQ(NameMatches(pool, record, folded),
              FoldCase(name).find(folded) != std::u16string::npos)
        << ::testing::PrintToString(name) << " " << ::testing::PrintToString(query);
  }
}

}  // namespace
}  // namespace qm
