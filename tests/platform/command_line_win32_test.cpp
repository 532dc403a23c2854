// The Windows command line as the program reads it: UTF-16, split as the system splits it,
// every argument in UTF-8 whatever the ANSI code page.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/command_line.h"

namespace qm {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineWin32, ArgumentsAreUtf8) {
  EXPECT_EQ(ArgumentsFromWide(L"cli.exe --volume \"C:=C:\\\u6587\u6863\\a b.img\" search "
                              L"caf\u00E9 \"\" \U0001F600"),
            (Args{"cli.exe", "--volume", "C:=C:\\\xE6\x96\x87\xE6\xA1\xA3\\a b.img", "search",
                  "caf\xC3\xA9", "", "\xF0\x9F\x98\x80"}));
}

TEST(CommandLineWin32, QuotesAndBackslashesAsTheSystemReadsThem) {
  // Backslashes are literal unless they precede a quote; 2n + 1 of them before a quote give
  // n and a literal quote.
  EXPECT_EQ(ArgumentsFromWide(L"cli.exe C:\\dir\\ \"C:\\a b\\\\\" x\\\"y"),
            (Args{"cli.exe", "C:\\dir\\", "C:\\a b\\", "x\"y"}));
}

TEST(CommandLineWin32, UnpairedSurrogateBecomesReplacementCharacter) {
  const wchar_t line[] = {L'a', L' ', wchar_t(0xD800), L'b', 0};
  EXPECT_EQ(ArgumentsFromWide(line), (Args{"a",
                                           "\xEF\xBF\xBD"
                                           "b"}));
}

TEST(CommandLineWin32, TheRunningProgramsArgumentsComeFromTheWideLine) {
  // The test program's own line: at least its name, each argument valid text.
  const Args args = CommandLineArguments(0, nullptr);
  ASSERT_FALSE(args.empty());
  EXPECT_NE(args[0].find("quillmarsh_tests"), std::string::npos);
}

TEST(CommandLineWin32, PathsFromArgumentsAreExact) {
  const std::filesystem::path path = PathFromArgument("C:\\\xE6\x96\x87\xE6\xA1\xA3\\caf\xC3\xA9");
  EXPECT_EQ(path.wstring(), L"C:\\\u6587\u6863\\caf\u00E9");
}

}  // namespace
}  // namespace qm
