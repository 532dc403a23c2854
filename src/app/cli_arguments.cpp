#include "app/cli_arguments.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "search/sort.h"

namespace qm::cli {

namespace {

struct ArgumentError {
  std::string message;
};

bool ParseNumber(const std::string& text, int32_t* out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (*end != 0 || value > 0x7FFFFFFF) return false;
  *out = int32_t(value);
  return true;
}

// Throws ArgumentError on any fault.
Options Parse(std::span<const std::string> args) {
  Options options;
  size_t i = 0;
  auto value = [&](std::string_view option) -> const std::string& {
    if (i + 1 >= args.size()) throw ArgumentError{std::string(option) + " needs a value"};
    return args[++i];
  };
  for (; i < args.size() && options.command == Command::kNone; ++i) {
    const std::string_view arg(args[i]);
    std::string complaint;
    switch (TakeStandInOption(args, &i, &options, &complaint)) {
      case OptionTaken::kTaken:
        continue;
      case OptionTaken::kBad:
        throw ArgumentError{complaint};
      case OptionTaken::kNotStandIn:
        break;
    }
    if (arg == "search") {
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
      if (i < args.size() && args[i] == "--null") {
        options.nullEnds = true;
        ++i;
      }
      break;
    case Command::kClearRecent:
      break;
    case Command::kOpen:
      if (i >= args.size()) throw ArgumentError{"open needs a PATH"};
      options.query = args[i++];
      break;
    case Command::kSearch:
      if (i >= args.size()) throw ArgumentError{"search needs a QUERY (\"\" for the recent opens)"};
      options.query = args[i++];
      for (; i < args.size(); ++i) {
        const std::string_view arg(args[i]);
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
        } else if (arg == "--null") {
          options.nullEnds = true;
        } else {
          throw ArgumentError{"unknown search option '" + std::string(arg) + "'"};
        }
      }
      if (options.descending && !options.sortColumn) throw ArgumentError{"--desc needs --sort"};
      break;
  }
  if (i < args.size()) throw ArgumentError{"unexpected argument '" + args[i] + "'"};
  return options;
}

}  // namespace

bool ParseArguments(std::span<const std::string> args, Options* options, std::string* error) {
  try {
    *options = Parse(args);
    return true;
  } catch (const ArgumentError& fault) {
    *error = fault.message;
    return false;
  }
}

}  // namespace qm::cli
