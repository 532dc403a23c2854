// The headless front end: indexes the drives it is given, lets their journal monitors apply
// every change the volumes hold, runs one command through the same engine the window drives,
// prints what the window would show and exits.
//
//   quillmarsh-cli [--lang en|zh] [--config DIR] (--volume X:=IMAGE | --folder X:=DIR)... COMMAND
//     search QUERY [--drive N] [--tag N] [--sort COLUMN] [--desc] [--columns] [--null]
//     recent [--null]
//     open PATH
//     clear-recent
//
// Exit codes: 0 success; 1 no drive could be indexed; 2 bad arguments, an unreadable or
// malformed image, or a --folder that is gone or cannot be read (also when that happens while
// it is indexed); 3 `open` names a path no indexed entry has; 4 `open` or `clear-recent`
// could not save recent.ini (the window stays silent about a failed save; a script needs to
// know).
//
// Arguments, paths and printed text are UTF-8 on every system.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli_arguments.h"
#include "app/cli_exit_codes.h"
#include "app/cli_journal_catch_up.h"
#include "app/cli_search.h"
#include "app/cli_window.h"
#include "app/stand_in_systems.h"
#include "base/language.h"
#include "base/main_window.h"
#include "base/shutting_down.h"
#include "base/texts.h"
#include "config/filter_tags.h"
#include "index/drive_list.h"
#include "platform/command_line.h"
#include "platform/config_system.h"
#include "platform/drive_system.h"
#include "platform/utf8.h"
#include "search/search.h"
#include "view/recent_opens.h"
#ifdef _WIN32
#include "platform/drive_system_win32.h"
#endif

namespace qm::cli {
namespace {

int ReportNotSaved() {
  std::fprintf(stderr, "quillmarsh-cli: recent.ini could not be saved\n");
  return kExitNotSaved;
}

int Run(const std::vector<std::string>& commandLine) {
  Options options;
  std::string complaint;
  std::span<const std::string> args(commandLine);
  if (!args.empty()) args = args.subspan(1);  // the program's name
  if (!ParseArguments(args, &options, &complaint)) {
    std::fprintf(stderr, "quillmarsh-cli: %s\n%s", complaint.c_str(), kUsage);
    return kExitBadArguments;
  }

  // Start-up as the program's: the language, the filter tags, the recent opens.
  ApplyLanguageOption(options);
  StandInSetup setup;
  switch (PrepareStandIns(options, &setup, &complaint)) {
    case SetupFault::kNone:
      break;
    case SetupFault::kConfig:
      std::fprintf(stderr, "quillmarsh-cli: %s\n", complaint.c_str());
      return kExitBadArguments;
    case SetupFault::kDrive:
      std::fprintf(stderr, "%s\n", complaint.c_str());
      return kExitBadArguments;
  }
  ConfigSystem& config = setup.Config();
  LoadFilterTags(config);
  LoadRecentOpens(config);
  std::unique_ptr<DriveSystem>& drives = setup.drives;
#ifdef _WIN32
  if (!drives) drives = std::make_unique<Win32DriveSystem>();
#endif

  static MessageQueue queue;  // outlives any worker still posting at exit
  WindowState window;
  mainWindow.store(&queue);
  if (drives) {
    DiscoverDrives(driveList, *drives, queue);
    RunMessageLoop(
        queue, window, [&] { return window.indexReady.has_value(); }, [] { return false; });
  }
  // A folder that went away or became unreadable while it was indexed is reported as such,
  // not as a drive without support, nor by results from before it went.
  std::string folderFault = FolderFault(setup.folders);
  if (folderFault.empty() && (!window.indexReady || *window.indexReady != 0)) {
    std::fprintf(stderr, "%s\n",
                 std::string(ToUtf8(TextIn(TextId::kNoNtfsSupport, false))).c_str());
    return kExitNoDrive;
  }
  if (folderFault.empty()) {
    AwaitJournalMonitors([&] { return !FolderFault(setup.folders).empty(); });
    folderFault = FolderFault(setup.folders);
  }

  int code = kExitOk;
  if (!folderFault.empty()) {
    std::fprintf(stderr, "%s\n", folderFault.c_str());
    code = kExitBadArguments;
  }
  switch (folderFault.empty() ? options.command : Command::kNone) {
    case Command::kSearch:
      code = RunSearchCommand(options, queue, window);
      break;
    case Command::kRecent: {
      Options recent = options;
      recent.query.clear();
      code = RunSearchCommand(recent, queue, window);
      break;
    }
    case Command::kOpen: {
      MatchItem item;
      if (!FindEntryByTypedPath(ToUtf16(options.query), &item)) {
        std::fprintf(stderr, "quillmarsh-cli: %s: no indexed entry has this path\n",
                     options.query.c_str());
        code = kExitUnknownPath;
        break;
      }
      if (!AddRecentOpen(config, item)) code = ReportNotSaved();
      break;
    }
    case Command::kClearRecent:
      if (!ClearRecentOpens(config)) code = ReportNotSaved();
      break;
    case Command::kNone:
      break;
  }
  std::fflush(stdout);

  // Shutdown: workers see shuttingDown and stop; ReleaseDrives waits for them, then the
  // monitors stop and the drives go.
  shuttingDown.store(true);
  ReleaseDrives(driveList);
  queue.Discard();
  mainWindow.store(nullptr);
  return code;
}

}  // namespace
}  // namespace qm::cli

int main(int argc, char** argv) {
  return qm::cli::Run(qm::CommandLineArguments(argc, argv));
}
