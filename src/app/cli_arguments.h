// The headless front end's command line: what each argument asks for, checked before anything
// runs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/stand_in_options.h"

namespace qm::cli {

inline constexpr char kUsage[] =
    "usage: quillmarsh-cli [--lang en|zh] [--config DIR] (--volume X:=IMAGE | --folder X:=DIR)... "
    "COMMAND\n"
    "  search QUERY [--drive N] [--tag N] [--sort COLUMN] [--desc] [--columns] [--null]\n"
    "  recent [--null]\n"
    "  open PATH\n"
    "  clear-recent\n";

enum class Command { kNone, kSearch, kRecent, kOpen, kClearRecent };

// The stand-in options (--lang, --config, --volume, --folder) come before the command.
struct Options : StandInOptions {
  Command command = Command::kNone;
  std::string query;  // search QUERY, or open PATH
  int32_t drive = 0;
  std::optional<int32_t> tag;
  std::optional<int32_t> sortColumn;
  bool descending = false;
  bool columns = false;
  bool nullEnds = false;  // --null: every printed line ends with a NUL instead of a line feed
};

// Reads the arguments that follow the program's name. On any fault returns false with a
// one-line complaint in `error` (the program then exits with code 2).
bool ParseArguments(std::span<const std::string> args, Options* options, std::string* error);

}  // namespace qm::cli
