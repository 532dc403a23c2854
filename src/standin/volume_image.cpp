// Volume image format, by example (fields are separated by exactly one tab, shown here as
// runs of spaces):
//
//   # A comment line starts with '#'; blank lines are skipped.
//   journal  0x01D9F3A2B4C5D6E7  1024  4096
//   entry    0x0005000000000005  0x0005000000000005  0x16  0     .
//   entry    0x0001000000000040  0x0005000000000005  0x10  1024  Windows
//   entry    0x0001000000000041  0x0001000000000040  0x20  2048  notepad.exe
//   change   4096  0x100  0x0001000000000042  0x0001000000000040  0x20  new file.txt
//
// - `journal <journalId> <firstUsn> <nextUsn>`: the active journal as the enumeration sees
//   it, at most once, anywhere in the file. Without it the volume has no journal until one
//   is created.
// - `entry <frn> <parentFrn> <attributes> <usn> <name>`: one file or directory as the
//   enumeration reports it. Each frn appears once.
// - `change <usn> <reason> <frn> <parentFrn> <attributes> <name>`: one journal entry, in
//   strictly increasing USN order, none below firstUsn; changes need a journal line. Those
//   below nextUsn were in the journal when the volume was enumerated; those at or above it
//   are recorded after the enumeration, for the journal monitor to read.
//
// Numbers are decimal or 0x-prefixed hexadecimal, without sign or spaces; frn, ids are
// unsigned 64-bit, reasons and attributes 32-bit, USNs 0 to 2^63-1 (a change's record must
// end by 2^63-1 too: its USN plus 60 bytes and two per name unit, rounded up to 8). The name
// is everything after the tab that ends the last number (tabs and spaces included, possibly
// empty), in UTF-8, at most 255 UTF-16 units (NTFS's limit). An optional UTF-8 byte order mark is
// skipped; lines end with LF or CR LF.
#include "standin/volume_image.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>

#include "platform/journal_layout.h"
#include "platform/utf8.h"

namespace qm {

namespace {

constexpr size_t kMaxNameUnits = kMaxNtfsNameUnits;
constexpr uint64_t kMaxUsn = 0x7FFFFFFFFFFFFFFF;

std::string Quoted(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string out = "\"";
  out.append(text.substr(0, kShown));
  if (text.size() > kShown) out += "...";
  out += '"';
  return out;
}

std::string Hex(uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
  return buffer;
}

// Parses one numeric field no larger than `maximum`; on failure says why in `why`.
bool ParseNumber(std::string_view field, uint64_t maximum, uint64_t* value, std::string* why) {
  if (field.empty()) {
    *why = "is empty";
    return false;
  }
  uint64_t base = 10;
  std::string_view digits = field;
  if (field.size() >= 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) {
    base = 16;
    digits = field.substr(2);
    if (digits.empty()) {
      *why = Quoted(field) + " has no digits after 0x";
      return false;
    }
  }
  uint64_t v = 0;
  for (char c : digits) {
    uint64_t d;
    if (c >= '0' && c <= '9') {
      d = uint64_t(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = uint64_t(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = uint64_t(c - 'A' + 10);
    } else {
      *why = Quoted(field) + " is not a number";
      return false;
    }
    if (v > (maximum - d) / base) {
      *why = Quoted(field) + " is out of range (at most " + std::to_string(maximum) + ")";
      return false;
    }
    v = v * base + d;
  }
  *value = v;
  return true;
}

struct FieldSpec {
  const char* name;
  uint64_t maximum;
};

constexpr FieldSpec kJournalFields[] = {
    {"journalId", UINT64_MAX}, {"firstUsn", kMaxUsn}, {"nextUsn", kMaxUsn}};
constexpr FieldSpec kEntryFields[] = {
    {"frn", UINT64_MAX}, {"parentFrn", UINT64_MAX}, {"attributes", UINT32_MAX}, {"usn", kMaxUsn}};
constexpr FieldSpec kChangeFields[] = {{"usn", kMaxUsn},
                                       {"reason", UINT32_MAX},
                                       {"frn", UINT64_MAX},
                                       {"parentFrn", UINT64_MAX},
                                       {"attributes", UINT32_MAX}};

class Parser {
 public:
  Parser(std::string_view fileName, ImageError* error) : fileName_(fileName), error_(error) {}

  bool Parse(std::string_view text, VolumeContent& content);

 private:
  bool Fail(size_t line, std::string message) {
    if (error_) {
      error_->file = std::string(fileName_);
      error_->line = line;
      error_->message = std::move(message);
    }
    return false;
  }

  // Splits `rest` (the line after its keyword's tab) into the numbers of `specs` and, when
  // `withName`, the name after them.
  template <size_t N>
  bool Fields(size_t line, std::string_view keyword, std::string_view rest, bool hasRest,
              const FieldSpec (&specs)[N], bool withName, uint64_t (&values)[N],
              std::string_view* name);

  bool DecodeName(size_t line, std::string_view keyword, std::string_view name,
                  VolumeContent& content, uint64_t* offset, uint32_t* length);

  std::string_view fileName_;
  ImageError* error_;
};

template <size_t N>
bool Parser::Fields(size_t line, std::string_view keyword, std::string_view rest, bool hasRest,
                    const FieldSpec (&specs)[N], bool withName, uint64_t (&values)[N],
                    std::string_view* name) {
  const std::string expected = std::string(keyword) + ": expected " + std::to_string(N) +
                               " numbers" + (withName ? " and a name" : "") +
                               ", separated by single tabs";
  if (!hasRest) return Fail(line, expected);
  for (size_t i = 0; i < N; ++i) {
    const size_t tab = rest.find('\t');
    std::string_view field;
    if (tab == std::string_view::npos) {
      if (withName || i + 1 < N) return Fail(line, expected);
      field = rest;
      rest = {};
    } else {
      if (!withName && i + 1 == N) {
        return Fail(line, std::string(keyword) + ": unexpected text after " + specs[i].name);
      }
      field = rest.substr(0, tab);
      rest = rest.substr(tab + 1);
    }
    std::string why;
    if (!ParseNumber(field, specs[i].maximum, &values[i], &why)) {
      return Fail(line, std::string(keyword) + ": " + specs[i].name + " " + why);
    }
  }
  if (withName) *name = rest;
  return true;
}

bool Parser::DecodeName(size_t line, std::string_view keyword, std::string_view name,
                        VolumeContent& content, uint64_t* offset, uint32_t* length) {
  *offset = content.names.size();
  size_t bad = 0;
  if (!AppendUtf8AsUtf16(name, content.names, &bad)) {
    return Fail(line, std::string(keyword) + ": the name is not valid UTF-8 (byte " +
                          std::to_string(bad + 1) + " of the name)");
  }
  const size_t units = content.names.size() - *offset;
  if (units > kMaxNameUnits) {
    content.names.resize(*offset);
    return Fail(line, std::string(keyword) + ": the name has " + std::to_string(units) +
                          " UTF-16 units, more than " + std::to_string(kMaxNameUnits));
  }
  *length = uint32_t(units);
  return true;
}

bool Parser::Parse(std::string_view text, VolumeContent& content) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<size_t> entryLines;
  std::vector<size_t> changeLines;
  size_t journalLine = 0;

  size_t lineNumber = 0;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find('\n', position);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(position, end - position);
    position = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (line[0] == '#') continue;

    const size_t tab = line.find('\t');
    const std::string_view keyword = line.substr(0, tab);
    const bool hasRest = tab != std::string_view::npos;
    const std::string_view rest = hasRest ? line.substr(tab + 1) : std::string_view();

    if (keyword == "journal") {
      if (journalLine != 0) {
        return Fail(lineNumber, "journal: a second journal line (the first is on line " +
                                    std::to_string(journalLine) + ")");
      }
      uint64_t v[3];
      if (!Fields(lineNumber, keyword, rest, hasRest, kJournalFields, false, v, nullptr)) {
        return false;
      }
      if (v[1] > v[2]) {
        return Fail(lineNumber, "journal: firstUsn " + std::to_string(v[1]) + " is above nextUsn " +
                                    std::to_string(v[2]));
      }
      journalLine = lineNumber;
      content.hasJournal = true;
      content.journalId = v[0];
      content.firstUsn = int64_t(v[1]);
      content.nextUsn = int64_t(v[2]);
    } else if (keyword == "entry") {
      uint64_t v[4];
      std::string_view name;
      if (!Fields(lineNumber, keyword, rest, hasRest, kEntryFields, true, v, &name)) return false;
      VolumeContent::Entry entry;
      entry.frn = v[0];
      entry.parentFrn = v[1];
      entry.attributes = uint32_t(v[2]);
      entry.usn = int64_t(v[3]);
      if (!DecodeName(lineNumber, keyword, name, content, &entry.nameOffset, &entry.nameLength)) {
        return false;
      }
      content.entries.push_back(entry);
      entryLines.push_back(lineNumber);
    } else if (keyword == "change") {
      uint64_t v[5];
      std::string_view name;
      if (!Fields(lineNumber, keyword, rest, hasRest, kChangeFields, true, v, &name)) return false;
      VolumeContent::Change change;
      change.usn = int64_t(v[0]);
      change.reason = uint32_t(v[1]);
      change.frn = v[2];
      change.parentFrn = v[3];
      change.attributes = uint32_t(v[4]);
      if (!content.changes.empty() && change.usn <= content.changes.back().usn) {
        return Fail(lineNumber, "change: usn " + std::to_string(change.usn) +
                                    " is not above the previous change's usn " +
                                    std::to_string(content.changes.back().usn));
      }
      if (!DecodeName(lineNumber, keyword, name, content, &change.nameOffset, &change.nameLength)) {
        return false;
      }
      // The journal moves its next USN to the end of each record it holds.
      const uint64_t recordSize = UsnRecordSize(change.nameLength);
      if (uint64_t(change.usn) > kMaxUsn - recordSize) {
        return Fail(lineNumber, "change: usn " + std::to_string(change.usn) +
                                    " leaves no room for its " + std::to_string(recordSize) +
                                    "-byte record below " + std::to_string(kMaxUsn));
      }
      content.changes.push_back(change);
      changeLines.push_back(lineNumber);
    } else {
      return Fail(lineNumber,
                  "unknown item " + Quoted(keyword) + " (expected journal, entry or change)");
    }
  }

  // Checks that need the whole file: the journal line may come after the changes.
  for (size_t i = 0; i < content.changes.size(); ++i) {
    const int64_t usn = content.changes[i].usn;
    if (!content.hasJournal) {
      return Fail(changeLines[i], "change: there is no journal line to hold journal entries");
    }
    if (usn < content.firstUsn) {
      return Fail(changeLines[i], "change: usn " + std::to_string(usn) +
                                      " is below the journal's firstUsn " +
                                      std::to_string(content.firstUsn));
    }
  }

  // Each frn once. Images written in frn order are checked in one pass; others are sorted.
  const auto& entries = content.entries;
  const bool ascending = std::is_sorted(entries.begin(), entries.end(),
                                        [](const auto& a, const auto& b) { return a.frn < b.frn; });
  if (ascending) {
    for (size_t i = 1; i < entries.size(); ++i) {
      if (entries[i].frn == entries[i - 1].frn) {
        return Fail(entryLines[i], "entry: frn " + Hex(entries[i].frn) + " already given on line " +
                                       std::to_string(entryLines[i - 1]));
      }
    }
  } else {
    std::vector<std::pair<uint64_t, size_t>> order;  // frn, line
    order.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) order.emplace_back(entries[i].frn, entryLines[i]);
    std::sort(order.begin(), order.end());
    // Of all repeated frns, report the repetition that comes first in the file.
    size_t repeat = 0;  // index into order
    for (size_t i = 1; i < order.size(); ++i) {
      if (order[i].first == order[i - 1].first &&
          (repeat == 0 || order[i].second < order[repeat].second)) {
        repeat = i;
      }
    }
    if (repeat != 0) {
      return Fail(order[repeat].second, "entry: frn " + Hex(order[repeat].first) +
                                            " already given on line " +
                                            std::to_string(order[repeat - 1].second));
    }
  }
  return true;
}

void AppendDecimal(std::string& out, uint64_t value) {
  char buffer[24];
  char* p = buffer + sizeof buffer;
  do {
    *--p = char('0' + value % 10);
    value /= 10;
  } while (value != 0);
  out.append(p, size_t(buffer + sizeof buffer - p));
}

void AppendHex(std::string& out, uint64_t value, int minimumDigits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char buffer[24];
  char* p = buffer + sizeof buffer;
  int digits = 0;
  do {
    *--p = kDigits[value & 0xF];
    value >>= 4;
    ++digits;
  } while (value != 0 || digits < minimumDigits);
  out += "0x";
  out.append(p, size_t(buffer + sizeof buffer - p));
}

bool AppendName(std::string& out, std::u16string_view name, std::string* error) {
  if (name.find(u'\n') != std::u16string_view::npos) {
    *error = "a name holds a line feed";
    return false;
  }
  if (!name.empty() && name.back() == u'\r') {
    *error = "a name ends with a carriage return";
    return false;
  }
  if (!AppendUtf16AsUtf8(name, out)) {
    *error = "a name holds an unpaired surrogate";
    return false;
  }
  return true;
}

// Formats the image in pieces of about `pieceSize` bytes, handing each to `flush`.
template <typename Flush>
bool FormatPieces(const VolumeContent& content, size_t pieceSize, Flush flush, std::string* error) {
  std::string text;
  text.reserve(pieceSize + 1024);
  text += "# Volume image: ";
  AppendDecimal(text, content.entries.size());
  text += " entries, ";
  AppendDecimal(text, content.changes.size());
  text += " journal entries\n";
  if (content.hasJournal) {
    if (content.firstUsn < 0 || content.nextUsn < 0) {
      *error = "a negative journal USN";
      return false;
    }
    text += "journal\t";
    AppendHex(text, content.journalId, 16);
    text += '\t';
    AppendDecimal(text, uint64_t(content.firstUsn));
    text += '\t';
    AppendDecimal(text, uint64_t(content.nextUsn));
    text += '\n';
  } else if (!content.changes.empty()) {
    *error = "journal entries without a journal";
    return false;
  }
  for (const auto& e : content.entries) {
    if (e.usn < 0) {
      *error = "a negative entry USN";
      return false;
    }
    text += "entry\t";
    AppendHex(text, e.frn, 16);
    text += '\t';
    AppendHex(text, e.parentFrn, 16);
    text += '\t';
    AppendHex(text, e.attributes, 1);
    text += '\t';
    AppendDecimal(text, uint64_t(e.usn));
    text += '\t';
    if (!AppendName(text, content.Name(e), error)) return false;
    text += '\n';
    if (text.size() >= pieceSize) {
      if (!flush(text)) return false;
      text.clear();
    }
  }
  for (const auto& c : content.changes) {
    if (c.usn < 0) {
      *error = "a negative journal entry USN";
      return false;
    }
    text += "change\t";
    AppendDecimal(text, uint64_t(c.usn));
    text += '\t';
    AppendHex(text, c.reason, 1);
    text += '\t';
    AppendHex(text, c.frn, 16);
    text += '\t';
    AppendHex(text, c.parentFrn, 16);
    text += '\t';
    AppendHex(text, c.attributes, 1);
    text += '\t';
    if (!AppendName(text, content.Name(c), error)) return false;
    text += '\n';
    if (text.size() >= pieceSize) {
      if (!flush(text)) return false;
      text.clear();
    }
  }
  return text.empty() || flush(text);
}

// The file's name as errors show it: UTF-8 (on POSIX systems, the name's own bytes).
std::string DisplayName(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

void VolumeContent::AddEntry(uint64_t frn, uint64_t parentFrn, uint32_t attributes, int64_t usn,
                             std::u16string_view name) {
  Entry e;
  e.frn = frn;
  e.parentFrn = parentFrn;
  e.attributes = attributes;
  e.usn = usn;
  e.nameOffset = names.size();
  e.nameLength = uint32_t(name.size());
  names += name;
  entries.push_back(e);
}

void VolumeContent::AddChange(int64_t usn, uint32_t reason, uint64_t frn, uint64_t parentFrn,
                              uint32_t attributes, std::u16string_view name) {
  Change c;
  c.usn = usn;
  c.reason = reason;
  c.frn = frn;
  c.parentFrn = parentFrn;
  c.attributes = attributes;
  c.nameOffset = names.size();
  c.nameLength = uint32_t(name.size());
  names += name;
  changes.push_back(c);
}

std::string ImageError::ToString() const {
  if (line == 0) return file + ": " + message;
  return file + ":" + std::to_string(line) + ": " + message;
}

bool ParseVolumeImage(std::string_view text, std::string_view fileName, VolumeContent* content,
                      ImageError* error) {
  VolumeContent parsed;
  Parser parser(fileName, error);
  if (!parser.Parse(text, parsed)) {
    *content = VolumeContent();
    return false;
  }
  *content = std::move(parsed);
  return true;
}

bool ParseVolumeImage(std::string_view text, std::string_view fileName, FakeVolume& volume,
                      ImageError* error) {
  VolumeContent content;
  if (!ParseVolumeImage(text, fileName, &content, error)) return false;
  FillFakeVolume(std::move(content), volume);
  return true;
}

namespace {

constexpr const char* kNoMemory = "not enough memory to load this image";

// The bytes of an image file, held in one allocation.
struct ImageBytes {
  std::unique_ptr<char[]> data;
  size_t size = 0;
  std::string_view View() const { return {data.get(), size}; }
};

// Reads the whole file (as large as it was when opened); false with the reason in `why`. Only a
// regular file is read: a pipe or a device could block for ever or never end.
bool ReadImageFile(const std::filesystem::path& path, ImageBytes* bytes, std::string* why) {
  std::error_code fault;
  const auto status = std::filesystem::status(path, fault);
  if (!fault && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    *why = "not a regular file";
    return false;
  }
  // Opened by the path itself: on Windows a narrow name would pass through the ANSI code page.
  std::ifstream file(path, std::ios::binary);
  const uintmax_t size = std::filesystem::file_size(path, fault);
  if (!file.is_open() || fault) {
    *why = "cannot be read";
    return false;
  }
  // One allocation for all of it, asked for without an exception: an image larger than memory
  // fails here, before any of it is read, instead of after filling memory.
  if (size >= SIZE_MAX) {
    *why = kNoMemory;
    return false;
  }
  bytes->data.reset(new (std::nothrow) char[size_t(size) + 1]);
  if (!bytes->data) {
    *why = kNoMemory;
    return false;
  }
  file.read(bytes->data.get(), std::streamsize(size));
  bytes->size = size_t(file.gcount());
  if (file.bad()) {
    *why = "cannot be read";
    return false;
  }
  return true;
}

}  // namespace

bool LoadVolumeImage(const std::filesystem::path& path, VolumeContent* content, ImageError* error) {
  std::string why;
  try {
    ImageBytes bytes;
    if (ReadImageFile(path, &bytes, &why)) {
      return ParseVolumeImage(bytes.View(), DisplayName(path), content, error);
    }
  } catch (const std::bad_alloc&) {
    why = kNoMemory;
  } catch (const std::length_error&) {
    why = kNoMemory;
  }
  *content = VolumeContent();
  if (error) *error = ImageError{DisplayName(path), 0, why};
  return false;
}

bool LoadVolumeImage(const std::filesystem::path& path, FakeVolume& volume, ImageError* error) {
  VolumeContent content;
  if (!LoadVolumeImage(path, &content, error)) return false;
  try {
    FillFakeVolume(std::move(content), volume);
  } catch (const std::bad_alloc&) {
    if (error) *error = ImageError{DisplayName(path), 0, kNoMemory};
    return false;
  }
  return true;
}

namespace {

FakeChange ToFakeChange(const VolumeContent& content, const VolumeContent::Change& c) {
  return FakeChange{c.usn,       c.reason,     c.frn,
                    c.parentFrn, c.attributes, std::u16string(content.Name(c))};
}

// Sets the journal and the entries it held when the volume was enumerated (those below
// nextUsn) through the public calls. Returns the entries recorded after the enumeration.
std::vector<FakeChange> FillJournal(const VolumeContent& content, FakeVolume& volume) {
  std::vector<FakeChange> later;
  if (!content.hasJournal) {
    volume.RemoveJournal();
    return later;
  }
  volume.SetJournal(content.journalId, content.firstUsn, content.nextUsn);
  for (const auto& c : content.changes) {
    if (c.usn < content.nextUsn) {
      volume.AddChange(ToFakeChange(content, c));
    } else {
      later.push_back(ToFakeChange(content, c));
    }
  }
  // Each journal entry moved nextUsn past the end of its record; the content's value holds.
  volume.SetJournal(content.journalId, content.firstUsn, content.nextUsn);
  return later;
}

}  // namespace

void FillFakeVolume(const VolumeContent& content, FakeVolume& volume) {
  std::vector<FakeChange> later = FillJournal(content, volume);
  std::lock_guard guard(volume.mutex_);
  for (auto& change : later) volume.pendingChanges_.push_back(std::move(change));
  const uint64_t base = volume.entryNames_.size();
  volume.entries_.reserve(volume.entries_.size() + content.entries.size());
  uint64_t units = 0;
  for (const auto& e : content.entries) units += e.nameLength;
  volume.entryNames_.reserve(base + units);
  for (const auto& e : content.entries) {
    if (!volume.entries_.empty() && e.frn < volume.entries_.back().frn) {
      volume.entriesSorted_ = false;
    }
    volume.entries_.push_back(FakeVolume::StoredEntry{
        e.frn, e.parentFrn, e.usn, volume.entryNames_.size(), e.attributes, e.nameLength});
    volume.entryNames_ += content.Name(e);
  }
}

void FillFakeVolume(VolumeContent&& content, FakeVolume& volume) {
  std::unique_lock guard(volume.mutex_);
  const bool fresh = volume.entries_.empty() && volume.entryNames_.empty();
  guard.unlock();
  if (!fresh) {
    FillFakeVolume(content, volume);
    return;
  }
  std::vector<FakeChange> later = FillJournal(content, volume);
  guard.lock();
  for (auto& change : later) volume.pendingChanges_.push_back(std::move(change));
  // The names of the journal entries stay in the buffer too; the entries' offsets hold as
  // they are.
  volume.entryNames_ = std::move(content.names);
  volume.entries_.reserve(content.entries.size());
  for (const auto& e : content.entries) {
    if (!volume.entries_.empty() && e.frn < volume.entries_.back().frn) {
      volume.entriesSorted_ = false;
    }
    volume.entries_.push_back(FakeVolume::StoredEntry{e.frn, e.parentFrn, e.usn, e.nameOffset,
                                                      e.attributes, e.nameLength});
  }
  content = VolumeContent();
}

bool FormatVolumeImage(const VolumeContent& content, std::string* text, std::string* error) {
  std::string out;
  std::string why;
  const bool ok = FormatPieces(
      content, size_t(1) << 20,
      [&](const std::string& piece) {
        out += piece;
        return true;
      },
      &why);
  if (!ok) {
    if (error) *error = why;
    text->clear();
    return false;
  }
  *text = std::move(out);
  return true;
}

bool WriteVolumeImage(const std::filesystem::path& path, const VolumeContent& content,
                      std::string* error) {
  std::string why;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file.is_open()) {
    if (error) *error = DisplayName(path) + ": cannot be created";
    return false;
  }
  const bool ok = FormatPieces(
      content, size_t(1) << 20,
      [&](const std::string& piece) {
        if (file.write(piece.data(), std::streamsize(piece.size()))) return true;
        why = "writing failed";
        return false;
      },
      &why);
  file.close();
  const bool closed = !file.fail();
  if (!ok || !closed) {
    if (error) *error = DisplayName(path) + ": " + (ok ? std::string("writing failed") : why);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return false;
  }
  return true;
}

}  // namespace qm
