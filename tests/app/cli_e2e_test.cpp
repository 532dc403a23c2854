// End-to-end tests of quillmarsh-cli: the built program is run on volume images and on real
// temporary folders, and its output is checked line by line. Native build only (the program's
// path comes from the build).
#ifdef QM_CLI_PATH

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_attributes.h"
#include "platform/utf8.h"
#include "view/formats.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

struct RunResult {
  int code = -1;
  std::vector<std::string> lines;  // standard output, split at line feeds
  std::string out;                 // standard output as written
  std::string errors;              // standard error
};

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qm-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    config = dir / "config";
    fs::create_directory(config);
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(dir, error);
  }

  // Runs the program with --lang en --config <temp> and `args`, in `cwd` when one is given.
  RunResult Run(const std::vector<std::string>& args, const fs::path& cwd = {}) {
    std::string command;
    if (!cwd.empty()) command = "cd " + Quote(cwd.string()) + " && ";
    command += Quote(QM_CLI_PATH);
    command += " --lang en --config " + Quote(config.string());
    for (const std::string& arg : args) command += " " + Quote(arg);
    const fs::path errorFile = dir / "stderr.txt";
    command += " 2>" + Quote(errorFile.string());
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
    const int status = pclose(pipe);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) result.lines.push_back(line);
    result.out = std::move(out);
    result.errors = ReadFile(errorFile);
    return result;
  }

  fs::path Image(const std::string& name, const std::string& text) {
    const fs::path path = dir / name;
    WriteFile(path, text);
    return path;
  }

  fs::path dir;
  fs::path config;
};

using Lines = std::vector<std::string>;

// A volume: root, Docs\{b.txt, A.txt, _x.txt, c.md}, Tools\make.exe; after the enumeration
// the journal creates Docs\new.txt, renames Tools\make.exe to Tools\build.exe and deletes
// Docs\c.md.
const char kImage[] =
    "journal\t0x77\t0\t4096\n"
    "entry\t0x0005000000000005\t0x0005000000000005\t0x16\t0\t.\n"
    "entry\t0x0001000000000040\t0x0005000000000005\t0x10\t8\tDocs\n"
    "entry\t0x0001000000000041\t0x0001000000000040\t0x20\t16\tb.txt\n"
    "entry\t0x0001000000000042\t0x0001000000000040\t0x20\t24\tA.txt\n"
    "entry\t0x0001000000000043\t0x0001000000000040\t0x20\t32\t_x.txt\n"
    "entry\t0x0001000000000044\t0x0001000000000040\t0x20\t40\tc.md\n"
    "entry\t0x0001000000000050\t0x0005000000000005\t0x10\t48\tTools\n"
    "entry\t0x0001000000000051\t0x0001000000000050\t0x20\t56\tmake.exe\n"
    "change\t4096\t0x80000100\t0x0001000000000045\t0x0001000000000040\t0x20\tnew.txt\n"
    "change\t4176\t0x1000\t0x0001000000000051\t0x0001000000000050\t0x20\tmake.exe\n"
    "change\t4256\t0x80002000\t0x0001000000000051\t0x0001000000000050\t0x20\tbuild.exe\n"
    "change\t4336\t0x80000200\t0x0001000000000044\t0x0001000000000040\t0x20\tc.md\n";

// A second volume for drive selection.
const char kOtherImage[] =
    "journal\t0x78\t0\t64\n"
    "entry\t0x0005000000000005\t0x0005000000000005\t0x16\t0\t.\n"
    "entry\t0x0001000000000060\t0x0005000000000005\t0x20\t8\tnotes.txt\n";

TEST_F(CliTest, SearchOnImageSeesTheJournalChanges) {
  const fs::path image = Image("c.img", kImage);
  RunResult r = Run({"--volume", "C:=" + image.string(), "search", "e"});
  EXPECT_EQ(r.code, 0) << r.errors;
  // Record order: enumeration order (by frn), then the records the journal added in its
  // order (a rename adds the new name's record).
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 2 results found", "Filter: All Files | Hits: 2",
                            "C:\\Docs\\new.txt", "C:\\Tools\\build.exe"}));

  r = Run({"--volume", "C:=" + image.string(), "search", "make"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 0 results found", ""}));
  r = Run({"--volume", "C:=" + image.string(), "search", ".MD"});
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 0 results found", ""}));
}

TEST_F(CliTest, ImageDrivesHaveNoFilesBehindThem) {
  const fs::path image = Image("c.img", kImage);
  // Where the machine would resolve C:\Docs\b.txt (natively: relative to the current folder).
  fs::create_directories(dir / "C:" / "Docs");
  WriteFile(dir / "C:" / "Docs" / "b.txt", "12345");
  RunResult r = Run({"--volume", "C:=" + image.string(), "search", "b.", "--columns"}, dir);
  EXPECT_EQ(r.code, 0) << r.errors;
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 1 results found", "Filter: All Files | Hits: 1",
                            "C:\\Docs\\b.txt\t0 B\t-\t-"}));
  // Nor is their content read.
  r = Run({"--volume", "C:=" + image.string(), "search", "s:123"}, dir);
  EXPECT_EQ(r.code, 0) << r.errors;
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 0 results found", ""}));
}

TEST_F(CliTest, ChineseTexts) {
  const fs::path image = Image("c.img", kImage);
  RunResult r = Run({"--lang", "zh", "--volume", "C:=" + image.string(), "search", "new"});
  EXPECT_EQ(r.code, 0);
  // --lang comes after the one Run adds; the last one wins. The filter tags were first saved
  // by this run, so their labels are Chinese too.
  ASSERT_EQ(r.lines.size(), 3u);
  EXPECT_EQ(r.lines[0], "云雀寻迹 - 共命中 1 个");
  EXPECT_EQ(r.lines[1], "筛选: 所有文件 | 命中: 1");
  EXPECT_EQ(r.lines[2], "C:\\Docs\\new.txt");
}

TEST_F(CliTest, DriveSelection) {
  const fs::path c = Image("c.img", kImage);
  const fs::path d = Image("d.img", kOtherImage);
  // Given in the other order: drives are sorted by name, so 1 is C: and 2 is D:.
  const std::string dArg = "d:=" + d.string(), cArg = "C:=" + c.string();
  struct Case {
    std::string drive;
    Lines rows;
  } cases[] = {
      {"0",
       {"C:\\Docs\\b.txt", "C:\\Docs\\A.txt", "C:\\Docs\\_x.txt", "C:\\Docs\\new.txt",
        "D:\\notes.txt"}},
      {"1", {"C:\\Docs\\b.txt", "C:\\Docs\\A.txt", "C:\\Docs\\_x.txt", "C:\\Docs\\new.txt"}},
      {"2", {"D:\\notes.txt"}},
  };
  for (const Case& c : cases) {
    RunResult r = Run({"--volume", dArg, "--volume", cArg, "search", ".txt", "--drive", c.drive});
    ASSERT_EQ(r.code, 0) << c.drive << r.errors;
    ASSERT_EQ(r.lines.size(), 2 + c.rows.size()) << c.drive;
    EXPECT_EQ(r.lines[0], "Quillmarsh - " + std::to_string(c.rows.size()) + " results found");
    EXPECT_EQ(Lines(r.lines.begin() + 2, r.lines.end()), c.rows) << c.drive;
  }
  RunResult r = Run({"--volume", dArg, "--volume", cArg, "search", ".txt", "--drive", "3"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.lines.empty());
}

TEST_F(CliTest, SortByNameAndPath) {
  const fs::path c = Image("c.img", kImage);
  const fs::path d = Image("d.img", kOtherImage);
  const std::string cArg = "C:=" + c.string(), dArg = "D:=" + d.string();
  struct Case {
    std::initializer_list<std::string> options;
    Lines rows;
  } cases[] = {
      // '_' sorts before the letters; A to Z fold.
      {{"--sort", "1"},
       {"C:\\Docs\\_x.txt", "C:\\Docs\\A.txt", "C:\\Docs\\b.txt", "C:\\Docs\\new.txt",
        "D:\\notes.txt"}},
      {{"--sort", "1", "--desc"},
       {"D:\\notes.txt", "C:\\Docs\\new.txt", "C:\\Docs\\b.txt", "C:\\Docs\\A.txt",
        "C:\\Docs\\_x.txt"}},
      {{"--desc", "--sort", "5"},
       {"D:\\notes.txt", "C:\\Docs\\new.txt", "C:\\Docs\\b.txt", "C:\\Docs\\A.txt",
        "C:\\Docs\\_x.txt"}},
      {{"--sort", "5", "--tag", "1"},
       {"C:\\Docs\\_x.txt", "C:\\Docs\\A.txt", "C:\\Docs\\b.txt", "C:\\Docs\\new.txt",
        "D:\\notes.txt"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--volume", cArg, "--volume", dArg, "search", ".txt"};
    args.insert(args.end(), c.options);
    std::string command;
    for (const auto& a : args) command += a + " ";
    RunResult r = Run(args);
    ASSERT_EQ(r.code, 0) << command << r.errors;
    ASSERT_GE(r.lines.size(), 2u) << command;
    EXPECT_EQ(r.lines[0], "Quillmarsh - 5 results found") << command;
    EXPECT_EQ(Lines(r.lines.begin() + 2, r.lines.end()), c.rows) << command;
  }
}

TEST_F(CliTest, FilterTagsFromTheConfigurationFolder) {
  fs::create_directories(config / "Quillmarsh" / "config");
  WriteFile(config / "Quillmarsh" / "config" / "filters.ini",
            "Everything=\nText=.txt\nPrograms=EXE\nNone=\n");
  const fs::path c = Image("c.img", kImage);
  const std::string cArg = "C:=" + c.string();
  struct Case {
    std::string query;
    std::string tag;
    Lines lines;
  } cases[] = {
      {"t",
       "0",
       {"Quillmarsh - 5 results found", "Filter: Everything | Hits: 5", "C:\\Docs\\b.txt",
        "C:\\Docs\\A.txt", "C:\\Docs\\_x.txt", "C:\\Tools", "C:\\Docs\\new.txt"}},
      // Directories are never accepted by a tag with extensions, whatever their name.
      {"t",
       "1",
       {"Quillmarsh - 5 results found", "Filter: Text | Hits: 4", "C:\\Docs\\b.txt",
        "C:\\Docs\\A.txt", "C:\\Docs\\_x.txt", "C:\\Docs\\new.txt"}},
      {"t", "2", {"Quillmarsh - 5 results found", "Filter: Programs | Hits: 0"}},
      {"b",
       "2",
       {"Quillmarsh - 2 results found", "Filter: Programs | Hits: 1", "C:\\Tools\\build.exe"}},
      // A tag without extensions accepts nothing; the status line still shows its count.
      {"b", "3", {"Quillmarsh - 2 results found", "Filter: None | Hits: 0"}},
  };
  for (const Case& c : cases) {
    RunResult r = Run({"--volume", cArg, "search", c.query, "--tag", c.tag});
    ASSERT_EQ(r.code, 0) << c.tag << r.errors;
    EXPECT_EQ(r.lines, c.lines) << c.query << " " << c.tag;
  }
  RunResult r = Run({"--volume", cArg, "search", "t", "--tag", "4"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.errors.find("--tag"), std::string::npos);
}

// The Size, Modified and Created cells as the list draws them, from the file itself.
std::string Cells(const fs::path& file, bool directory) {
  FileAttributeData data;
  if (!SystemFileAttributes().QueryAttributes(ToUtf16(file.string()), &data)) return "?";
  const int64_t size = int64_t((uint64_t(data.fileSizeHigh) << 32) | data.fileSizeLow);
  return (directory ? std::string() : ToUtf8(FormatSize(size))) + "\t" +
         ToUtf8(FormatTime(data.lastWriteTime)) + "\t" + ToUtf8(FormatTime(data.creationTime));
}

TEST_F(CliTest, FolderDriveFollowsChangesBetweenRuns) {
  const fs::path root = dir / "drive";
  fs::create_directories(root / "sdir");
  WriteFile(root / "s1.bin", std::string(10, 'a'));
  WriteFile(root / "sdir" / "s22.bin", std::string(2000, 'b'));
  WriteFile(root / "s333.bin", "");
  const std::string fArg = "F:=" + root.string();

  RunResult r = Run({"--folder", fArg, "search", "s", "--sort", "2", "--columns"});
  ASSERT_EQ(r.code, 0) << r.errors;
  // Size ascending: directories first, then by size.
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 4 results found", "Filter: All Files | Hits: 4",
                            "F:\\sdir\t" + Cells(root / "sdir", true),
                            "F:\\s333.bin\t" + Cells(root / "s333.bin", false),
                            "F:\\s1.bin\t" + Cells(root / "s1.bin", false),
                            "F:\\sdir\\s22.bin\t" + Cells(root / "sdir" / "s22.bin", false)}));
  EXPECT_NE(r.lines[5].find("\t1 KB\t"), std::string::npos);

  r = Run({"--folder", fArg, "search", "S", "--sort", "2", "--desc"});
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 4 results found", "Filter: All Files | Hits: 4",
                            "F:\\sdir\\s22.bin", "F:\\s1.bin", "F:\\s333.bin", "F:\\sdir"}));

  // Between runs: one file renamed, one deleted, one created.
  fs::rename(root / "s1.bin", root / "sdir" / "s4.bin");
  fs::remove(root / "s333.bin");
  WriteFile(root / "s5.bin", "five!");
  r = Run({"--folder", fArg, "search", ".bin", "--sort", "5"});
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 3 results found", "Filter: All Files | Hits: 3",
                            "F:\\s5.bin", "F:\\sdir\\s22.bin", "F:\\sdir\\s4.bin"}));

  // A content query looks inside the files (".txt" by default, here ".bin").
  r = Run({"--folder", fArg, "search", "s:five|bin"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.lines,
            (Lines{"Quillmarsh - 1 results found", "Filter: All Files | Hits: 1", "F:\\s5.bin"}));
}

TEST_F(CliTest, OpenTakesFolderPathsWithSeparatorsAndDriveRoots) {
  const fs::path root = dir / "drive";
  fs::create_directories(root / "Work");
  WriteFile(root / "Work" / "plan.txt", "p");
  const std::string fArg = "G:=" + root.string();
  EXPECT_EQ(Run({"--folder", fArg, "open", "G:\\Work\\\\"}).code, 0);
  EXPECT_EQ(Run({"--folder", fArg, "open", "g:/"}).code, 0);
  EXPECT_EQ(Run({"--folder", fArg, "open", "G:\\Work\\plan.txt\\x"}).code, 3);
  EXPECT_EQ(Run({"--folder", fArg, "open", "H:\\"}).code, 3);
  EXPECT_EQ(Run({"--folder", fArg, "open", "G:"}).code, 3);  // the current folder of G:
  // The root folder's full path is its name "." below itself.
  const RunResult r = Run({"--folder", fArg, "recent"});
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 2 results found", "Filter: All Files | Hits: 2", "G:\\.",
                            "G:\\Work"}));
}

TEST_F(CliTest, RecentOpens) {
  const fs::path root = dir / "drive";
  fs::create_directories(root / "Work");
  WriteFile(root / "Work" / "plan.txt", "p");
  WriteFile(root / "todo.txt", "t");
  const fs::path image = Image("c.img", kImage);
  const std::string fArg = "G:=" + root.string(), cArg = "C:=" + image.string();

  RunResult r = Run({"--folder", fArg, "--volume", cArg, "recent"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 0 results found", ""}));

  // Paths are found whatever their case and slashes.
  EXPECT_EQ(Run({"--folder", fArg, "--volume", cArg, "open", "g:/work/PLAN.TXT"}).code, 0);
  EXPECT_EQ(Run({"--folder", fArg, "--volume", cArg, "open", "C:\\Docs\\b.txt"}).code, 0);
  EXPECT_EQ(Run({"--folder", fArg, "--volume", cArg, "open", "G:\\todo.txt"}).code, 0);
  // Opened again: moves to the top rather than appearing twice.
  EXPECT_EQ(Run({"--folder", fArg, "--volume", cArg, "open", "C:/docs/B.TXT"}).code, 0);

  r = Run({"--folder", fArg, "--volume", cArg, "open", "C:\\Tools\\make.exe"});
  EXPECT_EQ(r.code, 3);  // renamed by the journal
  EXPECT_NE(r.errors.find("C:\\Tools\\make.exe"), std::string::npos);
  EXPECT_EQ(Run({"--folder", fArg, "--volume", cArg, "open", "C:"}).code, 3);

  const Lines all = {"Quillmarsh - 3 results found", "Filter: All Files | Hits: 3",
                     "C:\\Docs\\b.txt", "G:\\todo.txt", "G:\\Work\\plan.txt"};
  r = Run({"--folder", fArg, "--volume", cArg, "recent"});
  EXPECT_EQ(r.lines, all);
  r = Run({"--folder", fArg, "--volume", cArg, "search", ""});
  EXPECT_EQ(r.lines, all);

  // A file that has gone is not shown but stays remembered; re-created, it is shown again.
  fs::remove(root / "todo.txt");
  r = Run({"--folder", fArg, "--volume", cArg, "recent"});
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 2 results found", "Filter: All Files | Hits: 2",
                            "C:\\Docs\\b.txt", "G:\\Work\\plan.txt"}));
  WriteFile(root / "todo.txt", "again");
  r = Run({"--folder", fArg, "--volume", cArg, "recent"});
  EXPECT_EQ(r.lines, all);

  // Without the folder drive only the image's entry is shown.
  r = Run({"--volume", cArg, "recent"});
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 1 results found", "Filter: All Files | Hits: 1",
                            "C:\\Docs\\b.txt"}));

  r = Run({"--folder", fArg, "--volume", cArg, "clear-recent"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.lines.empty());
  r = Run({"--folder", fArg, "--volume", cArg, "recent"});
  EXPECT_EQ(r.lines, (Lines{"Quillmarsh - 0 results found", ""}));
}

TEST_F(CliTest, NullEndsEveryPrintedLine) {
  const fs::path root = dir / "drive";
  fs::create_directories(root);
  WriteFile(root / "two\nlines.txt", "a");  // a name with a line feed, as NTFS allows too
  WriteFile(root / "plain.txt", "b");
  const std::string fArg = "F:=" + root.string();
  using namespace std::string_literals;

  RunResult r = Run({"--folder", fArg, "search", ".txt", "--sort", "1", "--null"});
  EXPECT_EQ(r.code, 0) << r.errors;
  EXPECT_EQ(r.out,
            "Quillmarsh - 2 results found\0Filter: All Files | Hits: 2\0"
            "F:\\plain.txt\0F:\\two\nlines.txt\0"s);
  // Without it the name breaks its row in two.
  r = Run({"--folder", fArg, "search", ".txt", "--sort", "1"});
  EXPECT_EQ(r.lines.size(), 5u);

  // (recent.ini holds one entry per line, so a name with a line feed cannot be kept there.)
  ASSERT_EQ(Run({"--folder", fArg, "open", "F:\\plain.txt"}).code, 0);
  r = Run({"--folder", fArg, "recent", "--null"});
  EXPECT_EQ(r.code, 0) << r.errors;
  EXPECT_EQ(r.out, "Quillmarsh - 1 results found\0Filter: All Files | Hits: 1\0F:\\plain.txt\0"s);
  r = Run({"--folder", fArg, "search", "nothing like it", "--null"});
  EXPECT_EQ(r.out, "Quillmarsh - 0 results found\0\0"s);  // the empty status line too
}

TEST_F(CliTest, OpenAndClearReportASaveThatFails) {
  const fs::path image = Image("c.img", kImage);
  const std::string cArg = "C:=" + image.string();
  ASSERT_EQ(Run({"--volume", cArg, "open", "C:\\Docs\\b.txt"}).code, 0);
  const fs::path recent = config / "Quillmarsh" / "config" / "recent.ini";
  const std::string saved = ReadFile(recent);
  // A folder where the save's temporary file goes: the save fails, as on a full disk (and
  // whatever the user's rights, which a read-only folder would not test when run as root).
  fs::create_directory(config / "Quillmarsh" / "config" / "recent.ini.tmp");

  RunResult r = Run({"--volume", cArg, "open", "C:\\Docs\\A.txt"});
  EXPECT_EQ(r.code, 4);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.errors, "quillmarsh-cli: recent.ini could not be saved\n");
  r = Run({"--volume", cArg, "clear-recent"});
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(r.errors, "quillmarsh-cli: recent.ini could not be saved\n");
  EXPECT_EQ(ReadFile(recent), saved);

  // An entry that cannot be added is no save failure: exit 3 as before.
  EXPECT_EQ(Run({"--volume", cArg, "open", "C:\\Docs\\missing.txt"}).code, 3);
}

TEST_F(CliTest, ExitCodes) {
  const fs::path good = Image("c.img", kImage);
  const fs::path bad = Image("bad.img",
                             "journal\t1\t0\t0\n"
                             "entry\t0x5\t0x5\t0x16\t0\t.\n"
                             "entry\t0x\t0x5\t0x20\t0\tx\n");
  RunResult r = Run({"--volume", "C:=" + bad.string(), "search", "x"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.errors, bad.string() + ":3: entry: frn \"0x\" has no digits after 0x\n");

  const std::string missing = (dir / "missing.img").string();
  r = Run({"--volume", "C:=" + missing, "search", "x"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.errors, missing + ": cannot be read\n");

  const std::string g = "C:=" + good.string();
  const std::vector<std::vector<std::string>> badArguments = {
      {},
      {"--volume", g},
      {"--volume", g, "find", "x"},
      {"--volume", g, "search"},
      {"--volume", g, "search", "x", "--sort", "0"},
      {"--volume", g, "search", "x", "--sort", "6"},
      {"--volume", g, "search", "x", "--desc"},
      {"--volume", g, "search", "x", "--drive", "-1"},
      {"--volume", g, "search", "x", "--tag"},
      {"--volume", g, "open"},
      {"--volume", g, "recent", "extra"},
      {"--volume", "C=" + good.string(), "recent"},
      {"--volume", "C:=", "recent"},
      {"--volume", g, "--volume", "c:=" + good.string(), "recent"},
      {"--folder", "H:=" + (dir / "no-such-folder").string(), "recent"},
      {"--lang", "fr", "--volume", g, "recent"},
  };
  for (const auto& args : badArguments) {
    std::string command = Quote(QM_CLI_PATH) + " --config " + Quote(config.string());
    for (const auto& a : args) command += " " + Quote(a);
    command += " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << command;
  }

  // No drive: natively the machine's own drives are not read.
  r = Run({"search", "x"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.errors, "No NTFS MFT support.\n");
}

TEST_F(CliTest, ImagesThatAreNoRegularFileOrTooLargeAreRefusedWithOneLine) {
  const fs::path pipe = dir / "pipe.img";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);  // opening it to read would block for ever
  // Larger than memory and sparse: refused before any of it is read. The sanitizers report a
  // failing allocation as an error unless told to let it fail.
  const fs::path huge = dir / "huge.img";
  WriteFile(huge, "");
  fs::resize_file(huge, uintmax_t(1) << 43);
  // A sanitizer's allocator refuses a huge allocation by ending the program unless told to
  // answer it with null, as the system does.
  struct KeptOption {
    const char* name;
    std::optional<std::string> value;
  };
  std::vector<KeptOption> keptOptions;
  for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
    const char* value = std::getenv(name);
    keptOptions.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    const std::string kept = value ? value : "";
    setenv(name, (kept + (kept.empty() ? "" : ":") + "allocator_may_return_null=1").c_str(), 1);
  }
  struct Row {
    std::string image;
    std::string error;
  };
  const Row rows[] = {
      {pipe.string(), pipe.string() + ": not a regular file\n"},
      {"/dev/zero", "/dev/zero: not a regular file\n"},
      {dir.string(), dir.string() + ": not a regular file\n"},
      {huge.string(), huge.string() + ": not enough memory to load this image\n"},
  };
  for (const Row& row : rows) {
    RunResult r = Run({"--volume", "C:=" + row.image, "search", "x"});
    EXPECT_EQ(r.code, 2) << row.image;
    EXPECT_TRUE(r.out.empty()) << row.image;
    // The program's one line; only a sanitizer's warning of the failed allocation may come
    // before it.
    ASSERT_TRUE(r.errors.ends_with(row.error)) << r.errors;
    const std::string before = r.errors.substr(0, r.errors.size() - row.error.size());
    EXPECT_TRUE(before.empty() || before.starts_with("==")) << r.errors;
  }
  for (const KeptOption& option : keptOptions) {
    if (option.value) {
      setenv(option.name, option.value->c_str(), 1);
    } else {
      unsetenv(option.name);
    }
  }
}

}  // namespace
}  // namespace qm

#endif  // QM_CLI_PATH
