#include "app/cli_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliArguments, MalformedArgumentsAreRefusedWithTheirReason) {
  const struct {
    Args args;
    std::string error;
  } cases[] = {
      // A value missing at the end of the line.
      {{"--lang"}, "--lang needs a value"},
      {{"--config"}, "--config needs a value"},
      {{"--volume"}, "--volume needs a value"},
      {{"--folder", "C:=d", "--folder"}, "--folder needs a value"},
      {{"search", "x", "--drive"}, "--drive needs a value"},
      {{"search", "x", "--sort"}, "--sort needs a value"},
      {{"--config", ""}, "--config needs a folder"},
      // Drive mappings: X:=PATH with X from A to Z or a to z.
      {{"--volume", "C"}, "--volume takes X:=IMAGE, not 'C'"},
      {{"--volume", "C:"}, "--volume takes X:=IMAGE, not 'C:'"},
      {{"--folder", "C:x"}, "--folder takes X:=DIR, not 'C:x'"},
      {{"--folder", "C=:x"}, "--folder takes X:=DIR, not 'C=:x'"},
      {{"--volume", "1:=x"}, "--volume takes X:=IMAGE, not '1:=x'"},
      {{"--volume", "@:=x"}, "--volume takes X:=IMAGE, not '@:=x'"},
      {{"--volume", "[:=x"}, "--volume takes X:=IMAGE, not '[:=x'"},
      {{"--volume", "`:=x"}, "--volume takes X:=IMAGE, not '`:=x'"},
      {{"--volume", "{:=x"}, "--volume takes X:=IMAGE, not '{:=x'"},
      {{"--volume", "\xC3\x89:=x"}, "--volume takes X:=IMAGE, not '\xC3\x89:=x'"},
      {{"--folder", "CD:=x"}, "--folder takes X:=DIR, not 'CD:=x'"},
      // Numbers: decimal digits only, at most 2^31 - 1.
      {{"search", "x", "--drive", "abc"}, "--drive takes a number (0 for all drives)"},
      {{"search", "x", "--drive", ""}, "--drive takes a number (0 for all drives)"},
      {{"search", "x", "--drive", "+1"}, "--drive takes a number (0 for all drives)"},
      {{"search", "x", "--drive", " 1"}, "--drive takes a number (0 for all drives)"},
      {{"search", "x", "--drive", "1 "}, "--drive takes a number (0 for all drives)"},
      {{"search", "x", "--drive", "2147483648"}, "--drive takes a number (0 for all drives)"},
      {{"search", "x", "--tag", "-1"}, "--tag takes a number"},
      {{"search", "x", "--tag", "0x1"}, "--tag takes a number"},
      {{"search", "x", "--tag", "99999999999999999999999"}, "--tag takes a number"},
      {{"search", "x", "--sort", "x"}, "--sort takes a column code from 1 to 5"},
      {{"search", "x", "--sort", "1x"}, "--sort takes a column code from 1 to 5"},
      {{"search", "x", "--sort", "4294967297"}, "--sort takes a column code from 1 to 5"},
      // Unknown options, and options in the wrong place.
      {{"--verbose", "search", "x"}, "unknown option or command '--verbose'"},
      {{"search", "x", "--verbose"}, "unknown search option '--verbose'"},
      {{"search", "x", "--lang", "en"}, "unknown search option '--lang'"},
      {{"search", "x", "y"}, "unknown search option 'y'"},
      {{"--drive", "1", "search", "x"}, "unknown option or command '--drive'"},
      // Anything after a command that takes nothing more.
      {{"recent", "--drive", "1"}, "unexpected argument '--drive'"},
      {{"clear-recent", "x"}, "unexpected argument 'x'"},
      {{"open", "C:\\a", "C:\\b"}, "unexpected argument 'C:\\b'"},
      {{"recent", "--null", "--null"}, "unexpected argument '--null'"},
      {{"--null", "recent"}, "unknown option or command '--null'"},
      {{"open", "C:\\a", "--null"}, "unexpected argument '--null'"},
      {{"clear-recent", "--null"}, "unexpected argument '--null'"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += " '" + arg + "'";
    Options options;
    std::string error;
    EXPECT_FALSE(ParseArguments(c.args, &options, &error)) << joined;
    EXPECT_EQ(error, c.error) << joined;
  }
}

TEST(CliArguments, NullEndsForSearchAndRecent) {
  const struct {
    Args args;
    bool nullEnds;
  } cases[] = {
      {{"search", "x"}, false},
      {{"search", "x", "--null"}, true},
      {{"search", "x", "--null", "--sort", "1", "--columns"}, true},
      {{"search", "--null"}, false},  // the query
      {{"recent"}, false},
      {{"recent", "--null"}, true},
  };
  for (const auto& c : cases) {
    Options options;
    std::string error;
    ASSERT_TRUE(ParseArguments(c.args, &options, &error)) << error;
    EXPECT_EQ(options.nullEnds, c.nullEnds) << ::testing::PrintToString(c.args);
  }
}

TEST(CliArguments, EdgeValuesAreTakenAsGiven) {
  Options options;
  std::string error;
  const Args args = {"--folder",   "z:=a:=b", "--volume", "A:=:",   "search", "--desc", "--drive",
                     "2147483647", "--tag",   "0",        "--sort", "5",      "--sort", "1"};
  ASSERT_TRUE(ParseArguments(args, &options, &error)) << error;
  ASSERT_EQ(options.drives.size(), 2u);
  EXPECT_EQ(options.drives[0].letter, 'Z');
  EXPECT_TRUE(options.drives[0].folder);
  EXPECT_EQ(options.drives[0].path, "a:=b");  // only the first := separates
  EXPECT_EQ(options.drives[1].letter, 'A');
  EXPECT_FALSE(options.drives[1].folder);
  EXPECT_EQ(options.drives[1].path, ":");
  EXPECT_EQ(options.command, Command::kSearch);
  EXPECT_EQ(options.query, "--desc");  // the word after search is the query, whatever it is
  EXPECT_FALSE(options.descending);
  EXPECT_EQ(options.drive, 2147483647);
  EXPECT_EQ(options.tag, 0);
  EXPECT_EQ(options.sortColumn, 1);  // the last one given

  ASSERT_TRUE(ParseArguments(Args{"search", ""}, &options, &error)) << error;
  EXPECT_EQ(options.query, "");
  EXPECT_TRUE(options.drives.empty());  // a new parse starts from nothing
}

}  // namespace
}  // namespace qm::cli
