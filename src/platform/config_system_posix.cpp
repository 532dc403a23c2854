#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/config_system.h"
#include "platform/utf8.h"

namespace qm {

namespace {

// The program's backslash-separated path as a native one.
std::string NativePath(std::u16string_view path) {
  std::string native = ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

class PosixConfigSystem final : public ConfigSystem {
 public:
  bool DocumentsFolder(std::u16string* folder) override {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == 0) return false;
    *folder = ToUtf16(home) + u"\\Documents";
    return true;
  }

  void MakeFolder(std::u16string_view path) override { ::mkdir(NativePath(path).c_str(), 0777); }

  bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) override {
    bytes->clear();
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      return false;
    }
    char buffer[64 * 1024];
    while (bytes->size() < maxBytes) {
      size_t want = std::min(sizeof(buffer), maxBytes - bytes->size());
      ssize_t n = ::read(fd, buffer, want);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      bytes->append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
  }

  bool WriteBytes(std::u16string_view path, std::string_view bytes) override {
    int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    return ok;
  }

  bool ReplaceAtomically(std::u16string_view from, std::u16string_view to) override {
    return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
  }

  std::u16string SaveTarget(std::u16string_view path) override {
    namespace fs = std::filesystem;
    fs::path file(NativePath(path));
    bool followed = false;
    // As many hops as the kernel itself follows before it gives up on a loop.
    for (int hops = 0; hops < 40; ++hops) {
      std::error_code error;
      if (!fs::is_symlink(fs::symlink_status(file, error))) break;
      fs::path target = fs::read_symlink(file, error);
      if (error) break;
      file = target.is_absolute() ? target : file.parent_path() / target;
      followed = true;
    }
    if (!followed) return std::u16string(path);
    std::u16string program = ToUtf16(file.string());
    for (char16_t& c : program) {
      if (c == u'/') c = u'\\';
    }
    return program;
  }

  void RemoveFile(std::u16string_view path) override { ::unlink(NativePath(path).c_str()); }

  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    std::string bytes;
    if (!ReadBytes(from, size_t(-1), &bytes)) return false;
    return WriteBytes(to, bytes);
  }
};

}  // namespace

ConfigSystem& SystemConfigSystem() {
  static PosixConfigSystem system;
  return system;
}

}  // namespace qm
