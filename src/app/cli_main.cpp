// The headless front end: indexes the drives it is given, lets their journal monitors apply
// every change the volumes hold, runs one command through the same engine the window drives,
// prints what the window would show and exits.
//
//   quillmarsh-cli [--lang en|zh] [--config DIR] (--volume X:=IMAGE | --folder X:=DIR)... COMMAND
//     search QUERY [--drive N] [--tag N] [--sort COLUMN] [--desc] [--columns]
//     recent
//     open PATH
//     clear-recent
//
// Exit codes: 0 success; 1 no drive could be indexed; 2 bad arguments or an unreadable or
// malformed image; 3 `open` names a path no indexed entry has.
//
// The window's part is played by a message queue: the workers post to it as they would post
// to the window, and the main thread handles each message as the window procedure does
// (dropping stale generations, setting the title and the status line).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/language.h"
#include "app/main_window.h"
#include "app/shutting_down.h"
#include "app/texts.h"
#include "app/window_messages.h"
#include "config/filter_tags.h"
#include "index/build_path.h"
#include "index/drive_list.h"
#include "index/volume_index.h"
#include "platform/config_system.h"
#include "platform/drive_roots.h"
#include "platform/drive_system.h"
#include "platform/fake_volume.h"
#include "platform/folder_volume.h"
#include "platform/journal_layout.h"
#include "platform/message_poster.h"
#include "platform/utf8.h"
#include "platform/volume_image.h"
#include "platform/win32_codes.h"
#include "search/filter_view.h"
#include "search/properties.h"
#include "search/results.h"
#include "search/search.h"
#include "search/sort.h"
#include "view/formats.h"
#include "view/recent_opens.h"
#ifdef _WIN32
#include "platform/drive_system_win32.h"
#endif

namespace qm {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoDrive = 1;
constexpr int kExitBadArguments = 2;
constexpr int kExitUnknownPath = 3;

// How long the journal monitors get to catch up with their volumes' journals.
constexpr auto kJournalDeadline = std::chrono::seconds(60);

const char kUsage[] =
    "usage: quillmarsh-cli [--lang en|zh] [--config DIR] (--volume X:=IMAGE | --folder X:=DIR)... "
    "COMMAND\n"
    "  search QUERY [--drive N] [--tag N] [--sort COLUMN] [--desc] [--columns]\n"
    "  recent\n"
    "  open PATH\n"
    "  clear-recent\n";

// ---------------------------------------------------------------------------------------------
// Arguments.

struct DriveSource {
  char letter = 0;      // 'A' to 'Z'
  bool folder = false;  // --folder DIR rather than --volume IMAGE
  std::string path;
};

enum class Command { kNone, kSearch, kRecent, kOpen, kClearRecent };

struct Options {
  std::optional<bool> chinese;  // --lang; the system's language when absent
  std::optional<std::string> configDir;
  std::vector<DriveSource> drives;
  Command command = Command::kNone;
  std::string query;  // search QUERY, or open PATH
  int32_t drive = 0;
  std::optional<int32_t> tag;
  std::optional<int32_t> sortColumn;
  bool descending = false;
  bool columns = false;
};

// A one-line complaint about the arguments; exit code 2.
struct ArgumentError {
  std::string message;
};

bool ParseNumber(const char* text, int32_t* out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (*end != 0 || value > 0x7FFFFFFF) return false;
  *out = int32_t(value);
  return true;
}

// "X:=PATH" with X a letter (either case) and a non-empty PATH.
bool ParseDriveSource(const char* text, bool folder, DriveSource* out) {
  std::string_view mapping(text);
  if (mapping.size() < 4 || mapping[1] != ':' || mapping[2] != '=') return false;
  char letter = mapping[0];
  if (letter >= 'a' && letter <= 'z') letter = char(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return false;
  out->letter = letter;
  out->folder = folder;
  out->path = std::string(mapping.substr(3));
  return true;
}

// Throws ArgumentError on any fault.
Options ParseArguments(int argc, char** argv) {
  Options options;
  int i = 1;
  auto value = [&](const char* option) -> const char* {
    if (i + 1 >= argc) throw ArgumentError{std::string(option) + " needs a value"};
    return argv[++i];
  };
  for (; i < argc && options.command == Command::kNone; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--lang") {
      const std::string_view lang(value("--lang"));
      if (lang == "en") {
        options.chinese = false;
      } else if (lang == "zh") {
        options.chinese = true;
      } else {
        throw ArgumentError{"--lang takes en or zh, not '" + std::string(lang) + "'"};
      }
    } else if (arg == "--config") {
      options.configDir = value("--config");
      if (options.configDir->empty()) throw ArgumentError{"--config needs a folder"};
    } else if (arg == "--volume" || arg == "--folder") {
      const char* mapping = value(argv[i]);
      DriveSource source;
      if (!ParseDriveSource(mapping, arg == "--folder", &source)) {
        throw ArgumentError{std::string(arg) + " takes X:=" +
                            (arg == "--folder" ? "DIR" : "IMAGE") + ", not '" + mapping + "'"};
      }
      for (const DriveSource& earlier : options.drives) {
        if (earlier.letter == source.letter) {
          throw ArgumentError{std::string("drive ") + source.letter + ": is given twice"};
        }
      }
      options.drives.push_back(std::move(source));
    } else if (arg == "search") {
      options.command = Command::kSearch;
    } else if (arg == "recent") {
      options.command = Command::kRecent;
    } else if (arg == "open") {
      options.command = Command::kOpen;
    } else if (arg == "clear-recent") {
      options.command = Command::kClearRecent;
    } else {
      throw ArgumentError{"unknown option or command '" + std::string(arg) + "'"};
    }
  }

  switch (options.command) {
    case Command::kNone:
      throw ArgumentError{"no command given"};
    case Command::kRecent:
    case Command::kClearRecent:
      break;
    case Command::kOpen:
      if (i >= argc) throw ArgumentError{"open needs a PATH"};
      options.query = argv[i++];
      break;
    case Command::kSearch:
      if (i >= argc) throw ArgumentError{"search needs a QUERY (\"\" for the recent opens)"};
      options.query = argv[i++];
      for (; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        int32_t number = 0;
        if (arg == "--drive") {
          if (!ParseNumber(value("--drive"), &number)) {
            throw ArgumentError{"--drive takes a number (0 for all drives)"};
          }
          options.drive = number;
        } else if (arg == "--tag") {
          if (!ParseNumber(value("--tag"), &number)) throw ArgumentError{"--tag takes a number"};
          options.tag = number;
        } else if (arg == "--sort") {
          if (!ParseNumber(value("--sort"), &number) || number < kColumnName ||
              number > kColumnPath) {
            throw ArgumentError{"--sort takes a column code from 1 to 5"};
          }
          options.sortColumn = number;
        } else if (arg == "--desc") {
          options.descending = true;
        } else if (arg == "--columns") {
          options.columns = true;
        } else {
          throw ArgumentError{"unknown search option '" + std::string(arg) + "'"};
        }
      }
      if (options.descending && !options.sortColumn) throw ArgumentError{"--desc needs --sort"};
      break;
  }
  if (i < argc) throw ArgumentError{"unexpected argument '" + std::string(argv[i]) + "'"};
  return options;
}

// ---------------------------------------------------------------------------------------------
// The machine as the front end presents it.

// The system's configuration files, with the Documents folder replaced by --config DIR.
class RedirectedConfigSystem final : public ConfigSystem {
 public:
  RedirectedConfigSystem(ConfigSystem& system, std::u16string documents)
      : system_(system), documents_(std::move(documents)) {}

  bool DocumentsFolder(std::u16string* folder) override {
    *folder = documents_;
    return true;
  }
  void MakeFolder(std::u16string_view path) override { system_.MakeFolder(path); }
  bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) override {
    return system_.ReadBytes(path, maxBytes, bytes);
  }
  bool WriteBytes(std::u16string_view path, std::string_view bytes) override {
    return system_.WriteBytes(path, bytes);
  }
  bool ReplaceAtomically(std::u16string_view from, std::u16string_view to) override {
    return system_.ReplaceAtomically(from, to);
  }
  void RemoveFile(std::u16string_view path) override { system_.RemoveFile(path); }
  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    return system_.CopyOver(from, to);
  }

 private:
  ConfigSystem& system_;
  std::u16string documents_;
};

// Drives served by stand-in volumes: images (the in-memory volume) and folders (the
// folder-backed volume), each an NTFS drive of its own letter.
class StandInDriveSystem final : public DriveSystem {
 public:
  void Add(char letter, std::unique_ptr<VolumeDevice> device) {
    devices_[letter] = std::move(device);
  }

  uint32_t LogicalDriveMask() override {
    uint32_t mask = 0;
    for (const auto& [letter, device] : devices_) mask |= 1u << (letter - 'A');
    return mask;
  }

  bool FileSystemName(std::u16string_view root, std::u16string* name) override {
    if (Find(root) == nullptr) return false;
    *name = u"NTFS";
    return true;
  }

  VolumeDevice& DeviceFor(std::u16string_view drive) override {
    VolumeDevice* device = Find(drive);
    return device ? *device : none_;
  }

 private:
  VolumeDevice* Find(std::u16string_view driveOrRoot) {
    if (driveOrRoot.empty()) return nullptr;
    char16_t letter = driveOrRoot[0];
    if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - u'a' + u'A');
    auto found = devices_.find(char(letter));
    return found == devices_.end() ? nullptr : found->second.get();
  }

  std::map<char, std::unique_ptr<VolumeDevice>> devices_;
  FakeVolume none_{u"?:"};  // never asked for: discovery only opens drives it was shown
};

// ---------------------------------------------------------------------------------------------
// The window's part: a message queue and what the window would show.

class MessageQueue final : public MessagePoster {
 public:
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    // Notified under the lock: the receiver's next lock then orders the whole post before it,
    // so a post that has been received is also finished with the queue.
    std::lock_guard guard(mutex_);
    queue_.push_back({message, wParam, lParam});
    ready_.notify_all();
    return true;
  }

  struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };

  // The next message, waiting at most `timeout`; nothing when none came.
  std::optional<Message> Next(std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    if (!ready_.wait_for(guard, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
    Message next = queue_.front();
    queue_.pop_front();
    return next;
  }

  // Frees the texts of messages nobody will handle any more.
  void Discard() {
    std::lock_guard guard(mutex_);
    for (const Message& m : queue_) {
      if (m.message == WM_SET_TITLE) delete[] reinterpret_cast<char16_t*>(m.lParam);
    }
    queue_.clear();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Message> queue_;
};

struct WindowState {
  std::u16string title;
  std::u16string status;
  std::optional<uintptr_t> indexReady;  // WM_INDEX_READY's wParam once it came
  uint64_t lastSearchDone = 0;          // generation of the last accepted WM_SEARCH_DONE
  uint64_t filterDoneCount = 0;         // WM_FILTER_DONE messages handled
};

std::u16string Decimal(uint64_t value) {
  return ToUtf16(std::to_string(value));
}

std::u16string SelectedTagLabel() {
  FilterTagsSnapshot tags = filterTags.Snapshot();
  const FilterTag* tag = TagAt(*tags, size_t(selectedTag.load()));
  return tag ? tag->label : std::u16string();
}

std::u16string ResultsTitle(uint64_t count) {
  std::u16string_view format = Text(TextId::kTitleResults);
  std::u16string title(format);
  size_t at = title.find(u"%lld");
  if (at != std::u16string::npos) title.replace(at, 4, Decimal(count));
  return title;
}

uint64_t CurrentResultCount() {
  std::lock_guard guard(resultsMutex);
  return currentResults ? currentResults->size() : 0;
}

// What the window procedure does with each of the workers' messages.
void HandleMessage(const MessageQueue::Message& m, WindowState& window) {
  switch (m.message) {
    case WM_INDEX_READY:
      window.indexReady = m.wParam;
      break;
    case WM_SEARCH_DONE: {
      if (uint64_t(m.wParam) != searchGeneration.load()) break;
      const uint64_t count = CurrentResultCount();
      ResetFilteredView(count);
      window.title = ResultsTitle(count);
      window.status.clear();
      if (count > 0) {
        window.status = std::u16string(Text(TextId::kStatusFilter)) + SelectedTagLabel() +
                        std::u16string(Text(TextId::kStatusHits)) + Decimal(count);
      }
      window.lastSearchDone = uint64_t(m.wParam);
      break;
    }
    case WM_SET_TITLE: {
      char16_t* text = reinterpret_cast<char16_t*>(m.lParam);
      if (text != nullptr && uint64_t(m.wParam) == searchGeneration.load()) window.title = text;
      delete[] text;
      break;
    }
    case WM_FILTER_DONE: {
      uint64_t shown = 0;
      {
        std::lock_guard guard(filterMutex);
        shown = filteredCount.load();
      }
      window.title = ResultsTitle(CurrentResultCount());
      window.status = std::u16string(Text(TextId::kStatusFilter)) + SelectedTagLabel() +
                      std::u16string(Text(TextId::kStatusHits)) + Decimal(shown);
      ++window.filterDoneCount;
      break;
    }
    default:
      break;
  }
}

// Handles messages until `done` holds. `working` tells whether a worker that may still post
// runs; once none does and the queue is empty, waiting ends even when `done` never came (a
// worker that could not start, a sort of an empty list). Returns `done`'s final value.
bool RunMessageLoop(MessageQueue& queue, WindowState& window, const std::function<bool()>& done,
                    const std::function<bool()>& working) {
  while (!done()) {
    std::optional<MessageQueue::Message> m = queue.Next(std::chrono::milliseconds(20));
    if (m) {
      HandleMessage(*m, window);
      continue;
    }
    if (!working()) {
      // A worker posts before it counts itself out: drain what it left, then give up.
      while ((m = queue.Next(std::chrono::milliseconds(0)))) HandleMessage(*m, window);
      return done();
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The run.

// The journal's next USN as the device reports it; false when it cannot be asked.
bool QueryNextUsn(VolumeIndex& index, int64_t* nextUsn) {
  VolumeHandle handle;
  {
    std::shared_lock guard(index.lock);
    handle = index.volumeHandle;
  }
  if (handle == kInvalidVolumeHandle) return false;
  uint8_t out[UsnJournalData::kSize] = {};
  uint32_t returned = 0;
  if (index.device->Control(handle, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof(out),
                            &returned) != kErrorSuccess ||
      returned < UsnJournalData::kSize) {
    return false;
  }
  *nextUsn = DecodeUsnJournalData(out).nextUsn;
  return true;
}

// Waits until every drive's monitor has applied the journal up to where it stood when asked,
// or has stopped, or the deadline passed.
void AwaitJournalMonitors() {
  std::vector<VolumeIndex*> drives;
  {
    std::lock_guard guard(driveList.mutex);
    for (const VolumeIndexPtr& drive : driveList.entries) drives.push_back(drive.get());
  }
  const auto deadline = std::chrono::steady_clock::now() + kJournalDeadline;
  for (VolumeIndex* drive : drives) {
    int64_t target = 0;
    if (!QueryNextUsn(*drive, &target)) continue;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::shared_lock guard(drive->lock);
        if (drive->nextUsn >= target || !drive->monitoring.load()) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

size_t DriveCount() {
  std::lock_guard guard(driveList.mutex);
  return driveList.entries.size();
}

void PrintLine(std::u16string_view text) {
  std::string line = ToUtf8(text);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stdout);
}

// One row as the list draws it: the full path, and with `columns` the Size, Modified and
// Created cells (Size is empty for a directory).
std::u16string RowText(const MatchItem& item, bool columns) {
  VolumeIndex& volume = *item.volume;
  bool isDirectory = false;
  {
    std::shared_lock guard(volume.lock);
    if (item.recordIndex < RecordCount(volume)) {
      isDirectory = volume.records[item.recordIndex].isDirectory;
    }
  }
  std::u16string row = BuildPath(volume, item.recordIndex);
  if (!columns) return row;
  PropertyInfo info;
  GetProperties(volume, item.recordIndex, &info);
  row += u'\t';
  if (!isDirectory) row += FormatSize(info.size);
  row += u'\t';
  row += FormatTime(info.lastWriteTime);
  row += u'\t';
  row += FormatTime(info.creationTime);
  return row;
}

int RunSearchCommand(const Options& options, MessageQueue& queue, WindowState& window) {
  const std::u16string query = ToUtf16(options.query);
  // The drive box: "ALL" and then one entry per drive.
  if (size_t(options.drive) > DriveCount()) {
    std::fprintf(stderr, "quillmarsh-cli: --drive %d: there are only %zu drives\n",
                 int(options.drive), DriveCount());
    return kExitBadArguments;
  }
  if (options.tag && size_t(*options.tag) >= filterTags.Snapshot()->size()) {
    std::fprintf(stderr, "quillmarsh-cli: --tag %d: there are only %zu filter tags\n",
                 int(*options.tag), filterTags.Snapshot()->size());
    return kExitBadArguments;
  }
  selectedDrive.store(options.drive);

  // Enter in the search box; an empty box shows the recent opens.
  StartSearch(query, false, query.empty());
  const uint64_t searched = searchGeneration.load();
  RunMessageLoop(
      queue, window, [&] { return window.lastSearchDone == searched; },
      [] { return activeSearchWorkers.load() > 0; });

  if (options.sortColumn) {
    for (int click = 0; click < (options.descending ? 2 : 1); ++click) {
      const bool hasRows = CurrentResultCount() > 0;
      if (!RequestSort(*options.sortColumn) || !hasRows) continue;
      // A sort of a non-empty list always ends with its WM_SEARCH_DONE (no newer search runs).
      const uint64_t sorted = searchGeneration.load();
      RunMessageLoop(
          queue, window, [&] { return window.lastSearchDone == sorted; }, [] { return true; });
    }
  }

  if (options.tag) {
    const uint64_t before = window.filterDoneCount;
    ApplyTagSelection(*options.tag);
    RunMessageLoop(
        queue, window, [&] { return window.filterDoneCount > before; },
        [] { return activeFilterWorkers.load() > 0; });
  }

  ResultList rows = GetDisplayList();
  PrintLine(window.title);
  PrintLine(window.status);
  for (const MatchItem& item : *rows) PrintLine(RowText(item, options.columns));
  return kExitOk;
}

int Run(int argc, char** argv) {
  Options options;
  try {
    options = ParseArguments(argc, argv);
  } catch (const ArgumentError& error) {
    std::fprintf(stderr, "quillmarsh-cli: %s\n%s", error.message.c_str(), kUsage);
    return kExitBadArguments;
  }

  // Start-up as the program's: the language, the filter tags, the recent opens.
  if (options.chinese) {
    chineseUi.store(*options.chinese);
  } else {
    SetLanguageFromSystem(SystemUiLanguage());
  }
  std::optional<RedirectedConfigSystem> redirected;
  if (options.configDir) {
    std::error_code error;
    if (!std::filesystem::is_directory(*options.configDir, error)) {
      std::fprintf(stderr, "quillmarsh-cli: --config %s: not a folder\n",
                   options.configDir->c_str());
      return kExitBadArguments;
    }
    redirected.emplace(SystemConfigSystem(), ToUtf16(*options.configDir));
  }
  ConfigSystem& config =
      redirected ? static_cast<ConfigSystem&>(*redirected) : SystemConfigSystem();
  LoadFilterTags(config);
  LoadRecentOpens(config);

  // The drives.
  std::unique_ptr<DriveSystem> drives;
  if (!options.drives.empty()) {
    auto standIns = std::make_unique<StandInDriveSystem>();
    for (const DriveSource& source : options.drives) {
      const std::u16string drive = {char16_t(source.letter), u':'};
      if (source.folder) {
        std::error_code error;
        if (!std::filesystem::is_directory(source.path, error)) {
          std::fprintf(stderr, "%s: not a folder\n", source.path.c_str());
          return kExitBadArguments;
        }
        const std::filesystem::path root = std::filesystem::absolute(source.path, error);
        SetDriveRoot(drive, root);
        standIns->Add(source.letter, std::make_unique<FolderVolume>(drive, root));
      } else {
        auto volume = std::make_unique<FakeVolume>(drive);
        ImageError error;
        if (!LoadVolumeImage(source.path, *volume, &error)) {
          std::fprintf(stderr, "%s\n", error.ToString().c_str());
          return kExitBadArguments;
        }
        // The stand-in's pauses stay short (1 ms): the monitor catches up with the image's
        // journal at once instead of one 300 ms poll per batch.
        standIns->Add(source.letter, std::move(volume));
        SetDriveWithoutFiles(drive);
      }
    }
    drives = std::move(standIns);
  } else {
#ifdef _WIN32
    drives = std::make_unique<Win32DriveSystem>();
#endif
  }

  static MessageQueue queue;  // outlives any worker still posting at exit
  WindowState window;
  mainWindow.store(&queue);
  if (drives) {
    DiscoverDrives(driveList, *drives, queue);
    RunMessageLoop(
        queue, window, [&] { return window.indexReady.has_value(); }, [] { return false; });
  }
  if (!window.indexReady || *window.indexReady != 0) {
    std::fprintf(stderr, "%s\n",
                 std::string(ToUtf8(TextIn(TextId::kNoNtfsSupport, false))).c_str());
    return kExitNoDrive;
  }
  AwaitJournalMonitors();

  int code = kExitOk;
  switch (options.command) {
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
      if (!FindRecordByPath(ToUtf16(options.query), &item)) {
        std::fprintf(stderr, "quillmarsh-cli: %s: no indexed entry has this path\n",
                     options.query.c_str());
        code = kExitUnknownPath;
        break;
      }
      AddRecentOpen(config, item);
      break;
    }
    case Command::kClearRecent:
      ClearRecentOpens(config);
      break;
    case Command::kNone:
      break;
  }
  std::fflush(stdout);

  // Shutdown: workers see shuttingDown and stop; the monitors stop and the drives go.
  shuttingDown.store(true);
  while (activeSearchWorkers.load() > 0 || activeFilterWorkers.load() > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ReleaseDrives(driveList);
  queue.Discard();
  mainWindow.store(nullptr);
  return code;
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
  return qm::Run(argc, argv);
}
