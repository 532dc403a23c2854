// The options that let a front end run on stand-in drives instead of the machine's own
// volumes: both the headless front end and the window take them.
//
//   --lang en|zh      the interface language instead of the system's
//   --config DIR      DIR instead of the Documents folder (the configuration lives in DIR\config)
//   --volume X:=IMAGE drive X: served by the in-memory stand-in, loaded from a volume image
//   --folder X:=DIR   drive X: served by the folder-backed stand-in over DIR
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm {

struct DriveSource {
  char letter = 0;      // 'A' to 'Z'
  bool folder = false;  // --folder DIR rather than --volume IMAGE
  std::string path;     // UTF-8 under Windows (see platform/command_line.h)
};

struct StandInOptions {
  std::optional<bool> chinese;  // --lang; the system's language when absent
  std::optional<std::string> configDir;
  std::vector<DriveSource> drives;
};

enum class OptionTaken { kNotStandIn, kTaken, kBad };

// Reads args[*i] when it is one of the four options above, with its value (args[*i + 1]);
// on kTaken *i is left on the last argument used. kBad comes with a one-line complaint in
// `error` (a missing or malformed value, a drive letter given twice).
OptionTaken TakeStandInOption(std::span<const std::string> args, size_t* i, StandInOptions* options,
                              std::string* error);

// The window's command line: the stand-in options anywhere, every other argument ignored
// (`-hidden` is a plain substring test of the whole command line, made elsewhere). False with
// a complaint for a malformed stand-in option.
bool ParseWindowArguments(std::span<const std::string> args, StandInOptions* options,
                          std::string* error);

}  // namespace qm
