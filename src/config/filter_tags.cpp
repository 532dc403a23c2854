#include "config/filter_tags.h"

#include "base/language.h"
#include "base/texts.h"
#include "config/config_dir.h"
#include "config/text_file.h"
#include "config/trim_blanks.h"
#include "search/query.h"

namespace qm {

namespace {

struct DefaultTag {
  TextId label;
  std::vector<std::u16string> extensions;
};

const std::vector<DefaultTag>& DefaultTagTable() {
  static const std::vector<DefaultTag> table = {
      {TextId::kTagAllFiles, {}},
      {TextId::kTagDocuments,
       {u".doc", u".docx", u".pdf", u".txt", u".xls", u".xlsx", u".ppt", u".pptx", u".md",
        u".csv"}},
      {TextId::kTagImages,
       {u".jpg", u".jpeg", u".png", u".gif", u".bmp", u".webp", u".ico", u".svg", u".tif",
        u".psd"}},
      {TextId::kTagArchives, {u".zip", u".rar", u".7z", u".tar", u".gz", u".iso", u".cab"}},
      {TextId::kTagApplications, {u".exe", u".msi", u".bat", u".cmd", u".dll", u".sys", u".ps1"}},
      {TextId::kTagVideos,
       {u".mp4", u".mkv", u".avi", u".mov", u".wmv", u".flv", u".rmvb", u".m3u8"}},
      {TextId::kTagAudio, {u".mp3", u".wav", u".flac", u".aac", u".ogg", u".m4a"}},
  };
  return table;
}

}  // namespace

FilterTagList DefaultTags(bool chinese) {
  FilterTagList tags;
  for (const DefaultTag& tag : DefaultTagTable()) {
    tags.push_back({std::u16string(TextIn(tag.label, chinese)), tag.extensions});
  }
  return tags;
}

const FilterTagList defaultTagsChinese = DefaultTags(true);

FilterTagStore filterTags;

FilterTagStore::FilterTagStore()
    : current(std::make_shared<const FilterTagList>(DefaultTags(true))) {}

FilterTagsSnapshot FilterTagStore::Snapshot() const {
  std::lock_guard<std::mutex> hold(mutex);
  return current;
}

void FilterTagStore::Replace(FilterTagList tags) {
  auto next = std::make_shared<const FilterTagList>(std::move(tags));
  std::lock_guard<std::mutex> hold(mutex);
  current.swap(next);
  // The old list is released after the mutex, by whichever holder lets go of it last.
}

const FilterTag* TagAt(const FilterTagList& tags, size_t index) {
  if (tags.empty()) return nullptr;
  return &tags[EffectiveTagIndex(index, tags.size())];
}

std::optional<FilterTag> ParseTagLine(std::u16string_view line) {
  line = TrimmedView(line);
  if (line.empty() || line.front() == u'#') return std::nullopt;
  const size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return std::nullopt;
  FilterTag tag;
  tag.label = TrimmedView(line.substr(0, equals));
  if (tag.label.empty()) return std::nullopt;
  AppendExtensionList(line.substr(equals + 1), &tag.extensions);
  return tag;
}

std::u16string FormatTagFile(const FilterTagList& tags) {
  std::u16string text;
  for (const FilterTag& tag : tags) {
    text += tag.label;
    text += u'=';
    for (size_t i = 0; i < tag.extensions.size(); ++i) {
      if (i > 0) text += u',';
      text += tag.extensions[i];
    }
    text += u'\n';
  }
  return text;
}

bool ReadTagFile(ConfigSystem& system, std::u16string_view path, FilterTagList* out,
                 bool* unreadable) {
  std::vector<std::u16string> lines;
  const TextFileRead read = ReadTextFile(system, path, kFiltersLineBuffer, &lines);
  FilterTagList tags;
  for (const std::u16string& line : lines) {
    if (std::optional<FilterTag> tag = ParseTagLine(line)) tags.push_back(std::move(*tag));
  }
  if (unreadable) *unreadable = IsUnreadable(read, tags.size());
  if (tags.empty()) return false;
  *out = std::move(tags);
  return true;
}

void WriteTagFile(ConfigSystem& system, std::u16string_view path) {
  WriteTextFile(system, path, FormatTagFile(*filterTags.Snapshot()));
}

void LoadDefaultTags() {
  filterTags.Replace(IsChineseUi() ? defaultTagsChinese : DefaultTags(false));
}

// 1. filters.ini readable: an English UI that finds the Chinese defaults' first label
//    ("所有文件") switches to the English defaults and rewrites the file; otherwise the list
//    read is used. Either way filters.ini is then copied over filters.bak (through a
//    temporary file, so a copy that fails leaves the previous backup whole).
// 2. Otherwise filters.bak readable: its list is used and written to filters.ini.
// 3. Otherwise the defaults of the UI language, written to filters.ini.
// So the backup is refreshed only by a start that read filters.ini, and restores a filters.ini
// that was lost or lost every valid line. Before 2 and 3 rewrite a filters.ini that holds
// something no tag came from (an editor's UTF-16 big-endian, say), it is kept as
// filters.ini.unreadable, so the user's edit is not lost with it.
void LoadFilterTags(ConfigSystem& system) {
  const std::u16string iniPath = FiltersIniPath(system);
  const std::u16string bakPath = FiltersBakPath(system);
  FilterTagList tags;
  bool unreadable = false;
  if (ReadTagFile(system, iniPath, &tags, &unreadable)) {
    if (!IsChineseUi() && tags.front().label == TextPairOf(TextId::kTagAllFiles).chinese) {
      LoadDefaultTags();
      WriteTagFile(system, iniPath);
    } else {
      filterTags.Replace(std::move(tags));
    }
    SaveCopy(system, iniPath, bakPath);
    return;
  }
  if (unreadable) KeepUnreadable(system, iniPath);
  if (ReadTagFile(system, bakPath, &tags)) {
    filterTags.Replace(std::move(tags));
    WriteTagFile(system, iniPath);
  } else {
    LoadDefaultTags();
    WriteTagFile(system, iniPath);
  }
}

void ResetFilterTags(ConfigSystem& system, MessageBoxes& boxes, WindowHandle owner) {
  const MessageAnswer answer =
      boxes.Show(owner, Text(TextId::kResetTagsQuestion), Text(TextId::kCaptionConfirmReset),
                 MessageButtons::kYesNo, MessageIcon::kQuestion);
  if (answer != MessageAnswer::kYes) return;
  LoadDefaultTags();
  WriteTagFile(system, FiltersIniPath(system));
  boxes.Show(owner, Text(TextId::kResetTagsDone), Text(TextId::kCaptionCompleted),
             MessageButtons::kOk, MessageIcon::kNone);
}

}  // namespace qm
