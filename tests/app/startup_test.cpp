#include "app/startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/stand_in_options.h"

namespace qm {
namespace {

TEST(Startup, HiddenIsACaseSensitiveSubstringOfTheWholeCommandLine) {
  EXPECT_TRUE(HasHiddenOption(u"quillmarsh.exe -hidden"));
  EXPECT_TRUE(HasHiddenOption(u"\"C:\\Program Files\\q.exe\" -hiddenly --lang zh"));
  EXPECT_TRUE(HasHiddenOption(u"q.exe --config C:\\x-hidden\\y"));  // no tokenising
  EXPECT_FALSE(HasHiddenOption(u"q.exe -HIDDEN"));
  EXPECT_FALSE(HasHiddenOption(u"q.exe hidden"));
  EXPECT_FALSE(HasHiddenOption(u""));
}

TEST(Startup, TheSingleInstanceTestComesBeforeTheAdministratorTest) {
  struct Case {
    SingleInstance instance;
    bool administrator;
    bool hidden;
    StartupVerdict verdict;
  };
  const Case cases[] = {
      {SingleInstance::kFirst, true, false, StartupVerdict::kRun},
      {SingleInstance::kFirst, true, true, StartupVerdict::kRun},
      {SingleInstance::kFirst, false, false, StartupVerdict::kNeedsAdministrator},
      {SingleInstance::kFirst, false, true, StartupVerdict::kQuietExitNoRights},
      // A second start without rights still says "already running", hidden or not.
      {SingleInstance::kAlreadyRunning, false, false, StartupVerdict::kAlreadyRunning},
      {SingleInstance::kAlreadyRunning, false, true, StartupVerdict::kAlreadyRunning},
      {SingleInstance::kAlreadyRunning, true, false, StartupVerdict::kAlreadyRunning},
      {SingleInstance::kFailed, true, false, StartupVerdict::kAlreadyRunning},
      {SingleInstance::kFailed, false, true, StartupVerdict::kAlreadyRunning},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecideStartup(c.instance, c.administrator, c.hidden), c.verdict)
        << int(c.instance) << " admin " << c.administrator << " hidden " << c.hidden;
  }
}

TEST(Startup, TheWindowTakesTheStandInOptionsAnywhereAndIgnoresTheRest) {
  const std::vector<std::string> args = {
      "-hidden", "--volume", "c:=Z:\\img\\c.img", "whatever", "--folder", "D:=Z:\\src",
      "--lang",  "zh",       "--config",          "Z:\\cfg"};
  StandInOptions options;
  std::string error;
  ASSERT_TRUE(ParseWindowArguments(args, &options, &error)) << error;
  ASSERT_EQ(options.drives.size(), 2u);
  EXPECT_EQ(options.drives[0].letter, 'C');
  EXPECT_FALSE(options.drives[0].folder);
  EXPECT_EQ(options.drives[0].path, "Z:\\img\\c.img");
  EXPECT_TRUE(options.drives[1].folder);
  EXPECT_EQ(options.chinese, true);
  EXPECT_EQ(options.configDir, "Z:\\cfg");

  const std::vector<std::vector<std::string>> bad = {{"--volume"},
                                                     {"--lang", "fr"},
                                                     {"--folder", "DD:=x"},
                                                     {"--config", ""},
                                                     {"--volume", "C:=a", "--folder", "c:=b"}};
  for (const auto& line : bad) {
    StandInOptions ignored;
    error.clear();
    EXPECT_FALSE(ParseWindowArguments(line, &ignored, &error)) << line[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace qm
