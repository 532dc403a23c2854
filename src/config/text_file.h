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

// Opens and reads a configuration file into pieces. False when it cannot be opened (missing,
// unreadable, big-endian); `pieces` is then empty. An empty file gives true and no pieces.
bool ReadTextFile(ConfigSystem& system, std::u16string_view path, size_t bufferUnits,
                  std::vector<std::u16string>* pieces);

// The bytes "w, ccs=UTF-8" would put on disk for `text`.
std::string EncodeTextFile(std::u16string_view text);

// Saves `text` to `path` through a temporary file and an atomic replace. False, with the old
// file untouched and the temporary file removed, when any step fails.
bool WriteTextFile(ConfigSystem& system, std::u16string_view path, std::u16string_view text);

}  // namespace qm
