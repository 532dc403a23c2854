// The text-file conventions of the configuration files, as the C runtime's "w, ccs=UTF-8" and
// "r, ccs=UTF-8" modes with fputws/fgetws would give them, in portable code.
//
// On disk (written):   EF BB BF  m o d i f i e r s = 1 CR LF  k e y = 9 0 CR LF
// Read back, line by line with a 256-unit buffer:  "modifiers=1\n", "key=90\n"
//
// Reading: a byte-order mark decides the encoding and is skipped: EF BB BF is UTF-8, FF FE is
// UTF-16 little-endian (an odd last byte is dropped), none means UTF-8. FE FF (big-endian),
// which the runtime refuses to open, makes the file unreadable. Bytes that are not UTF-8 each
// become U+FFFD. CR LF is delivered as LF; a lone CR stays. Lines come in pieces, as fgetws
// with a buffer of N units gives them: at most N - 1 units, ending after the first LF when
// that fits, so a 1500-unit line read with 1024 units comes as 1023 units and then the rest.
// A piece is cut at its first NUL, as the C string in a line buffer is.
//
// Writing: the UTF-8 byte-order mark, then the text as UTF-8 with every LF written as CR LF;
// an unpaired surrogate, which has no UTF-8 form, is written as U+FFFD. The file is written
// beside the target under a temporary name and then put in its place in one step, so a crash
// or a full disk leaves the previous file whole rather than truncated.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/config_system.h"

namespace qm {

// Line buffers of the readers, in units: each delivers pieces of at most one unit less.
inline constexpr size_t kFiltersLineBuffer = 1024;
inline constexpr size_t kRecentLineBuffer = 4096;
inline constexpr size_t kHotkeyLineBuffer = 256;

// A configuration file larger than this is read only this far, as if it ended there.
inline constexpr size_t kMaxTextFileBytes = size_t(64) << 20;

// Suffix of the temporary file a save writes before it replaces the target.
inline constexpr std::u16string_view kSaveTempSuffix = u".tmp";

// File bytes to UTF-16 text with LF line ends. False (text empty) for a UTF-16 big-endian
// mark.
bool DecodeTextFile(std::string_view bytes, std::u16string* text);

// The pieces fgetws would deliver from `text` with a buffer of `bufferUnits` units (at least
// 2), each cut at its first NUL. Pieces keep their LF.
std::vector<std::u16string> SplitLinePieces(std::u16string_view text, size_t bufferUnits);

// What reading a configuration file found.
enum class TextFileRead {
  kNotOpened,    // missing, a folder, no access: every reader takes it as an empty file
  kUndecodable,  // opened, but marked UTF-16 big-endian, which the runtime refuses to read
  kBlank,        // nothing but blanks (" \t\r\n") after the byte-order mark, or nothing at all
  kText,         // anything else
};

constexpr bool Decoded(TextFileRead read) {
  return read == TextFileRead::kBlank || read == TextFileRead::kText;
}

// Opens and reads a configuration file into pieces; `pieces` is empty unless it was decoded.
// An empty file is kBlank with no pieces.
TextFileRead ReadTextFile(ConfigSystem& system, std::u16string_view path, size_t bufferUnits,
                          std::vector<std::u16string>* pieces);

// A file its reader could not use although it holds something: undecodable, or text of which
// no line gave an entry (within what is read). The program is about to write over such a file,
// which may be the user's own edit, so it is first kept aside (KeepUnreadable). A missing file,
// an empty one and one of blanks only hold nothing worth keeping.
constexpr bool IsUnreadable(TextFileRead read, size_t entriesRead) {
  return read == TextFileRead::kUndecodable || (read == TextFileRead::kText && entriesRead == 0);
}

// Suffix under which an unreadable configuration file is kept.
inline constexpr std::u16string_view kUnreadableSuffix = u".unreadable";

// Renames `path` to `path` + ".unreadable" in one step, replacing an older one. False when the
// rename fails (the file then stays where it was).
bool KeepUnreadable(ConfigSystem& system, std::u16string_view path);

// The bytes "w, ccs=UTF-8" would put on disk for `text`.
std::string EncodeTextFile(std::u16string_view text);

// Saves `text` to `path` through a temporary file and an atomic replace. False, with the old
// file untouched and the temporary file removed, when any step fails.
bool WriteTextFile(ConfigSystem& system, std::u16string_view path, std::u16string_view text);

// Saves a byte copy of `from` as `to` the same way: copied to the temporary file, then put in
// place in one step, so a copy that fails half-way leaves the old `to` whole.
bool SaveCopy(ConfigSystem& system, std::u16string_view from, std::u16string_view to);

}  // namespace qm
