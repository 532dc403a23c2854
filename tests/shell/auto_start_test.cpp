// Run on startup: the quoting of schtasks.exe's command line (checked against a parser of
// Windows command lines, and against the system's own under Windows), the three runs of
// schtasks.exe through a recording process seam, and the messages their exit codes give.
#include "shell/auto_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "support/config_fakes.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first
#include <shellapi.h>
#endif

namespace qm {
namespace {

using Args = std::vector<std::u16string>;

// Splits a command line as the Windows runtime does: 2n backslashes and a quote give n
// backslashes and toggle quoting, 2n + 1 give n and a literal quote, other backslashes are
// literal; outside quotes spaces and tabs separate arguments; inside quotes "" is a quote.
Args ParseCommandLine(std::u16string_view line) {
  Args args;
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i == line.size()) return args;
    std::u16string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
      if (line[i] == u'\\') {
        size_t n = 0;
        while (i < line.size() && line[i] == u'\\') ++n, ++i;
        if (i < line.size() && line[i] == u'"') {
          arg.append(n / 2, u'\\');
          if (n % 2 == 0) continue;  // the quote toggles quoting on the next round
          arg.push_back(u'"');
          ++i;
        } else {
          arg.append(n, u'\\');
        }
      } else if (line[i] == u'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          arg.push_back(u'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg.push_back(line[i++]);
      }
    }
    args.push_back(arg);
  }
}

// An empty argument is written as nothing, so it cannot come back.
Args WithoutEmpty(Args args) {
  std::erase(args, std::u16string());
  return args;
}

void ExpectRoundTrip(const std::u16string& program, const Args& args) {
  const std::u16string line = CommandLineFor(program, args);
  Args expected{program};
  for (const std::u16string& arg : WithoutEmpty(args)) expected.push_back(arg);
  EXPECT_EQ(ParseCommandLine(line), expected) << ::testing::PrintToString(line);
#ifdef _WIN32
  // The system's own splitting, for the arguments after a plain program path.
  std::u16string system = CommandLineFor(u"C:\\Program Files\\Q M\\quillmarsh.exe", args);
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(reinterpret_cast<const wchar_t*>(system.c_str()), &count);
  ASSERT_NE(argv, nullptr);
  Args split;
  for (int k = 1; k < count; ++k) split.emplace_back(reinterpret_cast<const char16_t*>(argv[k]));
  LocalFree(argv);
  EXPECT_EQ(split, WithoutEmpty(args)) << ::testing::PrintToString(system);
#endif
}

TEST(AutoStartQuoting, Table) {
  const struct {
    std::u16string_view in, out;
  } cases[] = {
      {u"", u""},
      {u"/Query", u"/Query"},
      {u"C:\\dir\\", u"C:\\dir\\"},  // no space: backslashes untouched
      {u"a\\\\b", u"a\\\\b"},
      {u"a b", u"\"a b\""},
      {u"a\tb", u"\"a\tb\""},
      {u" ", u"\" \""},
      {u"\"", u"\"\\\"\""},
      {u"say \"hi\"", u"\"say \\\"hi\\\"\""},
      {u"a\\\"b", u"\"a\\\\\\\"b\""},        // one backslash before a quote: three
      {u"a\\\\\"b", u"\"a\\\\\\\\\\\"b\""},  // two: five
      {u"C:\\a b\\", u"\"C:\\a b\\\\\""},    // trailing backslash doubled before the close
      {u"C:\\a b\\\\", u"\"C:\\a b\\\\\\\\\""},
      {u"a\\b c", u"\"a\\b c\""},  // a backslash before another character stays single
      {u"\"C:\\Program Files\\Q M\\quillmarsh.exe\" -hidden",
       u"\"\\\"C:\\Program Files\\Q M\\quillmarsh.exe\\\" -hidden\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QuoteArgument(c.in), c.out) << ::testing::PrintToString(std::u16string(c.in));
  }
}

TEST(AutoStartQuoting, CommandLinesSplitBackIntoTheArguments) {
  const Args table[] = {
      {},
      {u"/Query", u"/TN", u"Quillmarsh_AutoStart"},
      CreateTaskArguments(u"C:\\Program Files\\Q M\\quillmarsh.exe"),
      {u"", u"a", u"", u"b c", u""},
      {u"\\", u"\\\\", u"\"", u"\\\"", u" \\", u"\t\\\\", u"\"\""},
      {u"x\\\\\\\"y z\\\\", u"C:\\a b\\"},
  };
  for (const Args& args : table) ExpectRoundTrip(u"C:\\Windows\\system32\\schtasks.exe", args);
  ExpectRoundTrip(u"C:\\Program Files\\Q M\\x.exe", {u"-hidden"});

  std::mt19937 random(20240611);
  const std::u16string_view alphabet = u"\\\\\\\"\"  \tab";
  auto text = [&](size_t minimum) {
    std::u16string s(minimum + random() % 8, u'?');
    for (char16_t& c : s) c = alphabet[random() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 400; ++round) {
    Args args(random() % 6);
    for (std::u16string& arg : args) arg = text(0);
    ExpectRoundTrip(text(1), args);
  }
}

// schtasks.exe as the tests script it: each start answers from `runs` (started, exit code).
class RecordingProcesses : public ProcessSystem {
 public:
  struct Run {
    bool started;
    uint32_t exitCode;
  };
  std::u16string SystemDirectory() override { return systemDirectory; }
  std::u16string OwnPath() override { return ownPath; }
  bool StartHidden(std::u16string_view program, std::u16string_view commandLine,
                   uint32_t* exitCode) override {
    events.push_back(u"start " + std::u16string(program) + u" | " + std::u16string(commandLine));
    lines.emplace_back(commandLine);
    const Run run = runs.empty() ? Run{false, 0} : runs.front();
    if (!runs.empty()) runs.pop_front();
    if (run.started) *exitCode = run.exitCode;
    return run.started;
  }
  void DeleteRunValue(std::u16string_view name) override {
    events.push_back(u"delete run value " + std::u16string(name));
  }

  std::u16string systemDirectory = u"C:\\Windows\\system32";
  std::u16string ownPath = u"C:\\Program Files\\Q M\\quillmarsh.exe";
  std::deque<Run> runs;
  std::vector<std::u16string> events;
  std::vector<std::u16string> lines;
};

const WindowHandle kOwner = reinterpret_cast<WindowHandle>(uintptr_t{0x5150});
constexpr RecordingProcesses::Run kNotStarted{false, 0}, kUnreadable{true, kExitCodeUnknown};

TEST(AutoStart, ExactRunsOfSchtasks) {
  testing::LanguageAndTagsGuard english(false);
  testing::ScriptedMessageBoxes boxes;
  RecordingProcesses create;
  create.runs = {{true, 1}, {true, 0}};
  ToggleAutoStart(create, boxes, kOwner);
  EXPECT_EQ(
      create.events,
      (Args{u"start C:\\Windows\\system32\\schtasks.exe | C:\\Windows\\system32\\schtasks.exe "
            u"/Query /TN Quillmarsh_AutoStart",
            u"delete run value Quillmarsh",
            u"start C:\\Windows\\system32\\schtasks.exe | "
            u"C:\\Windows\\system32\\schtasks.exe /Create /F /TN Quillmarsh_AutoStart /SC "
            u"ONLOGON /RL HIGHEST /IT /TR \"\\\"C:\\Program Files\\Q "
            u"M\\quillmarsh.exe\\\" -hidden\""}));

  RecordingProcesses remove;
  remove.systemDirectory = u"D:\\Win Dir\\System32";  // the program token is quoted too
  remove.runs = {{true, 0}, {true, 0}};
  ToggleAutoStart(remove, boxes, kOwner);
  EXPECT_EQ(remove.events,
            (Args{u"start D:\\Win Dir\\System32\\schtasks.exe | \"D:\\Win "
                  u"Dir\\System32\\schtasks.exe\" /Query /TN Quillmarsh_AutoStart",
                  u"delete run value Quillmarsh",
                  u"start D:\\Win Dir\\System32\\schtasks.exe | \"D:\\Win "
                  u"Dir\\System32\\schtasks.exe\" /Delete /TN Quillmarsh_AutoStart /F"}));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(AutoStart, ToggleOutcomes) {
  const std::u16string create =
      u"Failed to create startup task. Make sure the app is running as administrator.\n"
      u"Exit code: ";
  const std::u16string disable = u"Failed to disable startup task.\nExit code: ";
  const struct {
    RecordingProcesses::Run query, action;
    std::u16string_view verb;  // what the second run does
    std::u16string message;    // empty: silent
  } cases[] = {
      {kNotStarted, {true, 0}, u"/Create", u""},  // the query not started counts as unchecked
      {kUnreadable, {true, 0}, u"/Create", u""},
      {{true, 1}, {true, 0}, u"/Create", u""},
      {{true, 1}, {true, 1}, u"/Create", create + u"1"},
      {{true, 1}, kNotStarted, u"/Create", create + u"4294967295"},
      {{true, 1}, kUnreadable, u"/Create", create + u"4294967295"},
      {{true, 0}, {true, 0}, u"/Delete", u""},
      {{true, 0}, {true, 5}, u"/Delete", disable + u"5"},
      {{true, 0}, kNotStarted, u"/Delete", disable + u"4294967295"},
      {{true, 0}, kUnreadable, u"/Delete", disable + u"4294967295"},
  };
  testing::LanguageAndTagsGuard english(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.message));
    RecordingProcesses system;
    system.runs = {c.query, c.action};
    testing::ScriptedMessageBoxes boxes;
    ToggleAutoStart(system, boxes, kOwner);
    ASSERT_EQ(system.lines.size(), 2u);
    EXPECT_EQ(ParseCommandLine(system.lines[0]).at(1), u"/Query");
    EXPECT_EQ(ParseCommandLine(system.lines[1]).at(1), c.verb);
    EXPECT_EQ(
        std::count(system.events.begin(), system.events.end(), u"delete run value Quillmarsh"), 1);
    if (c.message.empty()) {
      EXPECT_TRUE(boxes.shown.empty());
      continue;
    }
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, c.message);
    EXPECT_EQ(boxes.shown[0].caption, u"Error");
    EXPECT_EQ(boxes.shown[0].owner, kOwner);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kError);
    EXPECT_EQ(boxes.shown[0].buttons, MessageButtons::kOk);
  }
}

TEST(AutoStart, ChineseMessage) {
  testing::LanguageAndTagsGuard chinese(true);
  RecordingProcesses system;
  system.runs = {{true, 1}, {true, 1}};
  testing::ScriptedMessageBoxes boxes;
  ToggleAutoStart(system, boxes, kOwner);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            u"创建任务计划开机启动失败，请确认当前程序以管理员身份运行。\n退出码: 1");
  EXPECT_EQ(boxes.shown[0].caption, u"错误");
}

TEST(AutoStart, WithoutTheSystemFolderNothingStarts) {
  testing::LanguageAndTagsGuard english(false);
  RecordingProcesses system;
  system.systemDirectory.clear();
  system.runs = {{true, 0}, {true, 0}};
  EXPECT_EQ(SchtasksPath(system), u"");
  EXPECT_FALSE(IsAutoStartEnabled(system));
  uint32_t exitCode = 77;
  EXPECT_FALSE(RunHidden(system, u"", {u"/Query"}, &exitCode));
  EXPECT_EQ(exitCode, 77u);
  testing::ScriptedMessageBoxes boxes;
  ToggleAutoStart(system, boxes, kOwner);
  EXPECT_EQ(system.events, Args{u"delete run value Quillmarsh"});
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            u"Failed to create startup task. Make sure the app is running as administrator.\n"
            u"Exit code: 4294967295");
}

TEST(AutoStart, OwnPathReachesTheTaskWhole) {
  testing::LanguageAndTagsGuard english(false);
  RecordingProcesses system;
  system.ownPath = u"C:\\" + std::u16string(378, u'd') + u"\\Q M\\quillmarsh.exe";
  ASSERT_EQ(system.ownPath.size(), 400u);
  system.runs = {{true, 1}, {true, 0}};
  testing::ScriptedMessageBoxes boxes;
  ToggleAutoStart(system, boxes, kOwner);
  ASSERT_EQ(system.lines.size(), 2u);
  EXPECT_EQ(ParseCommandLine(system.lines[1]).back(), u"\"" + system.ownPath + u"\" -hidden");
  EXPECT_TRUE(boxes.shown.empty());

  RecordingProcesses unknown;  // no own path: no task for a program that cannot be named
  unknown.ownPath.clear();
  unknown.runs = {{true, 1}, {true, 0}};
  ToggleAutoStart(unknown, boxes, kOwner);
  EXPECT_EQ(unknown.lines.size(), 1u);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_TRUE(boxes.shown[0].text.ends_with(u"Exit code: 4294967295"));
}

}  // namespace
}  // namespace qm
