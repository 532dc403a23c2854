#include "platform/command_line.h"

namespace qm {

std::filesystem::path PathFromArgument(std::string_view argument) {
  // A path made from char8_t text is UTF-8 on every system.
  return std::filesystem::path(std::u8string(argument.begin(), argument.end()));
}

}  // namespace qm
