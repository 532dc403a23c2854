#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cwchar>
#include <string_view>

#include "platform/command_line.h"
#include "platform/utf8.h"

namespace qm {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is one UTF-16 unit");

std::vector<std::string> ArgumentsFromWide(const wchar_t* commandLine) {
  int count = 0;
  wchar_t** split = CommandLineToArgvW(commandLine, &count);
  if (split == nullptr) return {};
  std::vector<std::string> args;
  args.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    args.push_back(ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(split[i]), std::wcslen(split[i]))));
  }
  LocalFree(split);
  return args;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args = ArgumentsFromWide(GetCommandLineW());
  // Only when the line cannot be split (no memory): the ANSI arguments are better than none.
  if (args.empty()) args.assign(argv, argv + argc);
  return args;
}

}  // namespace qm
