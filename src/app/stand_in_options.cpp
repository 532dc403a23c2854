#include "app/stand_in_options.h"

#include <string_view>
#include <utility>

namespace qm {

namespace {

// "X:=PATH" with X a letter (either case) and a non-empty PATH.
bool ParseDriveSource(std::string_view mapping, bool folder, DriveSource* out) {
  if (mapping.size() < 4 || mapping[1] != ':' || mapping[2] != '=') return false;
  char letter = mapping[0];
  if (letter >= 'a' && letter <= 'z') letter = char(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return false;
  out->letter = letter;
  out->folder = folder;
  out->path = std::string(mapping.substr(3));
  return true;
}

}  // namespace

OptionTaken TakeStandInOption(std::span<const std::string> args, size_t* i, StandInOptions* options,
                              std::string* error) {
  const std::string_view arg(args[*i]);
  if (arg != "--lang" && arg != "--config" && arg != "--volume" && arg != "--folder") {
    return OptionTaken::kNotStandIn;
  }
  if (*i + 1 >= args.size()) {
    *error = std::string(arg) + " needs a value";
    return OptionTaken::kBad;
  }
  const std::string& value = args[++*i];
  if (arg == "--lang") {
    if (value != "en" && value != "zh") {
      *error = "--lang takes en or zh, not '" + value + "'";
      return OptionTaken::kBad;
    }
    options->chinese = value == "zh";
  } else if (arg == "--config") {
    if (value.empty()) {
      *error = "--config needs a folder";
      return OptionTaken::kBad;
    }
    options->configDir = value;
  } else {
    DriveSource source;
    if (!ParseDriveSource(value, arg == "--folder", &source)) {
      *error = std::string(arg) + " takes X:=" + (arg == "--folder" ? "DIR" : "IMAGE") + ", not '" +
               value + "'";
      return OptionTaken::kBad;
    }
    for (const DriveSource& earlier : options->drives) {
      if (earlier.letter == source.letter) {
        *error = std::string("drive ") + source.letter + ": is given twice";
        return OptionTaken::kBad;
      }
    }
    options->drives.push_back(std::move(source));
  }
  return OptionTaken::kTaken;
}

bool ParseWindowArguments(std::span<const std::string> args, StandInOptions* options,
                          std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (TakeStandInOption(args, &i, options, error) == OptionTaken::kBad) return false;
  }
  return true;
}

}  // namespace qm
