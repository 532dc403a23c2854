#include "shell/auto_start.h"

#include <memory>

#include "base/texts.h"
#include "search/status_text.h"

namespace qm {

namespace {

void ShowFailure(MessageBoxes& boxes, WindowHandle owner, TextId text, uint32_t exitCode) {
  const std::unique_ptr<char16_t[]> message(NewStatusText(Text(text), exitCode));
  boxes.Show(owner, message.get(), Text(TextId::kCaptionError), MessageButtons::kOk,
             MessageIcon::kError);
}

}  // namespace

std::u16string QuoteArgument(std::u16string_view argument) {
  if (argument.empty() || argument.find_first_of(u" \t\"") == std::u16string_view::npos) {
    return std::u16string(argument);
  }
  std::u16string quoted(1, u'"');
  size_t backslashes = 0;
  for (char16_t unit : argument) {
    if (unit == u'\\') {
      ++backslashes;
      continue;
    }
    if (unit == u'"') {
      quoted.append(2 * backslashes + 1, u'\\');
    } else {
      quoted.append(backslashes, u'\\');
    }
    quoted.push_back(unit);
    backslashes = 0;
  }
  quoted.append(2 * backslashes, u'\\');
  quoted.push_back(u'"');
  return quoted;
}

std::u16string CommandLineFor(std::u16string_view program,
                              const std::vector<std::u16string>& arguments) {
  std::u16string line = QuoteArgument(program);
  for (const std::u16string& argument : arguments) {
    line.push_back(u' ');
    line += QuoteArgument(argument);
  }
  return line;
}

bool RunHidden(ProcessSystem& system, std::u16string_view program,
               const std::vector<std::u16string>& arguments, uint32_t* exitCode) {
  if (program.empty()) return false;
  uint32_t code = kExitCodeUnknown;
  if (!system.StartHidden(program, CommandLineFor(program, arguments), &code)) return false;
  if (exitCode) *exitCode = code;
  return true;
}

std::u16string SchtasksPath(ProcessSystem& system) {
  std::u16string path = system.SystemDirectory();
  if (path.empty()) return path;
  if (path.back() != u'\\') path.push_back(u'\\');
  path += u"schtasks.exe";
  return path;
}

std::vector<std::u16string> QueryTaskArguments() {
  return {u"/Query", u"/TN", std::u16string(kAutoStartTaskName)};
}

std::vector<std::u16string> CreateTaskArguments(std::u16string_view ownPath) {
  std::u16string action = u"\"";
  action += ownPath;
  action += u"\" -hidden";
  return {u"/Create", u"/F",      u"/TN", std::u16string(kAutoStartTaskName),
          u"/SC",     u"ONLOGON", u"/RL", u"HIGHEST",
          u"/IT",     u"/TR",     action};
}

std::vector<std::u16string> DeleteTaskArguments() {
  return {u"/Delete", u"/TN", std::u16string(kAutoStartTaskName), u"/F"};
}

bool IsAutoStartEnabled(ProcessSystem& system) {
  uint32_t exitCode = kExitCodeUnknown;
  return RunHidden(system, SchtasksPath(system), QueryTaskArguments(), &exitCode) && exitCode == 0;
}

void ToggleAutoStart(ProcessSystem& system, MessageBoxes& boxes, WindowHandle owner) {
  const bool enabled = IsAutoStartEnabled(system);
  system.DeleteRunValue(kRunValueName);
  uint32_t exitCode = kExitCodeUnknown;
  if (enabled) {
    if (!RunHidden(system, SchtasksPath(system), DeleteTaskArguments(), &exitCode) ||
        exitCode != 0) {
      ShowFailure(boxes, owner, TextId::kAutoStartDisableFailed, exitCode);
    }
    return;
  }
  // Without its own path the task would start nothing: that counts as a create that failed.
  const std::u16string ownPath = system.OwnPath();
  if (ownPath.empty() ||
      !RunHidden(system, SchtasksPath(system), CreateTaskArguments(ownPath), &exitCode) ||
      exitCode != 0) {
    ShowFailure(boxes, owner, TextId::kAutoStartCreateFailed, exitCode);
  }
}

}  // namespace qm
