// Fresh folders for tests that need real files.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace qm::testing {

// The program's form of a std::filesystem path: backslash separators.
inline std::u16string ProgramPath(const std::filesystem::path& path) {
  std::u16string text = path.u16string();
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  explicit TempFolder(std::u16string_view leaf = u"qm-test") {
    static std::atomic<uint32_t> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::random_device random;  // test programs may run side by side
    std::filesystem::path name{std::u16string(leaf)};
    // Appended piece by piece: GCC 12 at -O3 warns (falsely) about "literal" + std::string.
    std::string suffix(1, '-');
    suffix += std::to_string(now);
    suffix += '-';
    suffix += std::to_string(counter.fetch_add(1));
    suffix += '-';
    suffix += std::to_string(random());
    name += suffix;
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::u16string program() const { return ProgramPath(path_); }

 private:
  std::filesystem::path path_;
};

}  // namespace qm::testing
