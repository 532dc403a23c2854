#include "view/recent_opens.h"

#include <shared_mutex>

#include "config/config_dir.h"
#include "config/recent_file.h"
#include "config/text_file.h"
#include "index/build_path.h"
#include "platform/clock.h"

namespace qm {

std::vector<RecentEntry> recentOpens;
std::mutex recentMutex;

bool AddRecentOpen(ConfigSystem& system, MatchItem item) {
  if (!item.volume) return true;
  std::u16string path = BuildPath(*item.volume, item.recordIndex);
  if (path.empty()) return true;
  {
    std::shared_lock guard(item.volume->lock);
    if (item.recordIndex >= RecordCount(*item.volume)) return true;
    if (item.volume->records[item.recordIndex].deleted) return true;
  }
  RecentEntry entry{item, CurrentClock().TickCount(), std::move(path)};
  {
    std::lock_guard guard(recentMutex);
    const std::u16string normalized = NormalizePath(entry.path);
    for (auto it = recentOpens.begin(); it != recentOpens.end(); ++it) {
      const bool sameRecord =
          it->item.volume == item.volume && it->item.recordIndex == item.recordIndex;
      if (sameRecord || NormalizePath(it->path) == normalized) {
        recentOpens.erase(it);
        break;
      }
    }
    recentOpens.insert(recentOpens.begin(), std::move(entry));
    if (recentOpens.size() > kMaxRecentOpens) recentOpens.resize(kMaxRecentOpens);
  }
  return SaveRecentOpens(system);
}

bool SaveRecentOpens(ConfigSystem& system) {
  const std::u16string file = RecentIniPath(system);
  std::lock_guard guard(recentMutex);
  std::vector<RecentLine> lines;
  lines.reserve(recentOpens.size());
  for (const RecentEntry& entry : recentOpens) lines.push_back({entry.stamp, entry.path});
  return WriteRecentFile(system, file, lines);
}

void LoadRecentOpens(ConfigSystem& system) {
  const std::u16string file = RecentIniPath(system);
  std::vector<RecentLine> lines;
  bool unreadable = false;
  const bool read = ReadRecentFile(system, file, &lines, &unreadable);
  // The next save would replace a file that held something no entry came from (UTF-16
  // big-endian from an editor, say): it is kept as recent.ini.unreadable instead.
  if (unreadable) KeepUnreadable(system, file);
  if (!read) return;
  std::vector<RecentEntry> loaded;
  loaded.reserve(lines.size());
  for (RecentLine& line : lines) loaded.push_back({MatchItem{}, line.stamp, std::move(line.path)});
  std::lock_guard guard(recentMutex);
  recentOpens = std::move(loaded);
}

bool ClearRecentOpens(ConfigSystem& system) {
  {
    std::lock_guard guard(recentMutex);
    recentOpens.clear();
  }
  return SaveRecentOpens(system);
}

}  // namespace qm
