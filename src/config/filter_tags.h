// Filter tags: named lists of file extensions, one button each above the result list.
//
// filters.ini holds one tag per line, the label, "=" and the extensions joined by ",":
//
//   All Files=
//   Documents=.doc,.docx,.pdf,.txt,.xls,.xlsx,.ppt,.pptx,.md,.csv
//   # a comment
//     Pictures = JPG, .Png ,,gif        (read as Pictures with .jpg, .png and .gif)
//
// Empty lines, lines starting with "#", lines without "=" and lines with an empty label are
// skipped; a label with nothing after "=" is a tag without extensions. The tag at position 0
// accepts every entry whatever its extensions; any other tag without extensions accepts none.
//
// Sharing with the filtering workers: the list is published as an immutable snapshot,
// std::shared_ptr<const FilterTagList>, swapped under a mutex. The main thread replaces it
// (start-up load, reset); a worker takes one snapshot when it starts and reads only that, so a
// replacement never frees strings a running worker still reads, and a worker started after it
// sees the new list. (A mutex rather than std::atomic<std::shared_ptr>: a snapshot is taken
// once per filtering, not per record, and the thread sanitizer understands a mutex.)
//
// Positions: buttons made before a reset that shortened the list may carry positions beyond
// its end. Such a position is taken as position 0 everywhere (TagAt, EffectiveTagIndex,
// TagAccepts), so no code reads past the end of a snapshot.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/config_system.h"
#include "platform/message_box.h"

namespace qm {

struct FilterTag {
  std::u16string label;
  std::vector<std::u16string> extensions;  // folded, each beginning with "."; may be empty

  bool operator==(const FilterTag&) const = default;
};

using FilterTagList = std::vector<FilterTag>;
using FilterTagsSnapshot = std::shared_ptr<const FilterTagList>;

// The process-wide tag list. Replaced only on the main thread; read anywhere via Snapshot.
class FilterTagStore {
 public:
  FilterTagStore();  // holds the Chinese defaults from the start

  FilterTagsSnapshot Snapshot() const;  // never null
  void Replace(FilterTagList tags);

 private:
  mutable std::mutex mutex;
  FilterTagsSnapshot current;  // Under mutex. Never null; the list it points at never changes.
};

extern FilterTagStore filterTags;

// The seven default tags with Chinese labels, built before start-up code runs.
extern const FilterTagList defaultTagsChinese;

// The seven default tags with the labels of the language asked for.
FilterTagList DefaultTags(bool chinese);

// `index` when it is a position of a list of `count` tags, otherwise 0.
constexpr size_t EffectiveTagIndex(size_t index, size_t count) {
  return index < count ? index : 0;
}

// The tag at `index` taken as EffectiveTagIndex; nullptr only for an empty list.
const FilterTag* TagAt(const FilterTagList& tags, size_t index);

// One line of filters.ini; nothing for a skipped line.
std::optional<FilterTag> ParseTagLine(std::u16string_view line);

// The file text for `tags`: one "label=ext,ext" line per tag, each ending with "\n".
std::u16string FormatTagFile(const FilterTagList& tags);

// Reads filters.ini (or filters.bak) with a 1024-unit line buffer. True, with `out` replaced,
// when at least one line gave a tag; otherwise `out` is left as it was. `unreadable`, when
// given, tells whether the file holds something that gave no tag (IsUnreadable).
bool ReadTagFile(ConfigSystem& system, std::u16string_view path, FilterTagList* out,
                 bool* unreadable = nullptr);

// Saves the current filterTags to `path`; a save that fails is skipped silently.
void WriteTagFile(ConfigSystem& system, std::u16string_view path);

// filterTags becomes the defaults of the UI language.
void LoadDefaultTags();

// The start-up load: filters.ini, else filters.bak, else the defaults; see filter_tags.cpp. An
// unreadable filters.ini is kept as filters.ini.unreadable before it is rewritten.
void LoadFilterTags(ConfigSystem& system);

// The context-menu command: asks, then resets filterTags and filters.ini to the defaults of
// the UI language and tells the user to restart. filters.bak is not touched.
void ResetFilterTags(ConfigSystem& system, MessageBoxes& boxes, WindowHandle owner);

}  // namespace qm
