// The program's arguments as UTF-8, and the paths they name.
//
// Under Windows, main()'s argv holds the arguments in the ANSI code page, where every
// character outside it (文档 on a Western system, é on a Chinese one) is already lost; the
// arguments are read again from the UTF-16 command line instead. Other systems pass argv on
// as it is: bytes, UTF-8 on any ordinary system.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The arguments, the program's name first.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The path an argument names, exactly: its UTF-8 decoded under Windows (a narrow string would
// be taken in the ANSI code page there), its bytes elsewhere.
std::filesystem::path PathFromArgument(std::string_view argument);

#ifdef _WIN32
// A UTF-16 command line split as CommandLineToArgvW splits it, each argument in UTF-8 (an
// unpaired surrogate becomes U+FFFD). Empty when the line cannot be split.
std::vector<std::string> ArgumentsFromWide(const wchar_t* commandLine);
#endif

}  // namespace qm
