#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "platform/drive_roots.h"
#include "platform/file_mapping.h"

namespace qm {

namespace {

// The view the current thread scans and where to go back to when reading it faults. Read by
// the SIGBUS handler on the same thread.
thread_local sigjmp_buf* volatile activeJump = nullptr;
thread_local const uint8_t* volatile guardBegin = nullptr;
thread_local const uint8_t* volatile guardEnd = nullptr;

struct sigaction previousBusAction;

void OnBusError(int signal, siginfo_t* info, void* context) {
  sigjmp_buf* jump = activeJump;
  const uint8_t* address = static_cast<const uint8_t*>(info->si_addr);
  if (jump && address >= guardBegin && address < guardEnd) {
    activeJump = nullptr;
    siglongjmp(*jump, 1);
  }
  // Not a fault of a scanned view: behave as if this handler were not there.
  if ((previousBusAction.sa_flags & SA_SIGINFO) && previousBusAction.sa_sigaction) {
    previousBusAction.sa_sigaction(signal, info, context);
  } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
    previousBusAction.sa_handler(signal);
  } else {
    // Returning re-runs the faulting read, which now ends the process.
    ::signal(SIGBUS, SIG_DFL);
  }
}

void InstallBusHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &previousBusAction);
}

}  // namespace

bool MappedFile::Open(std::u16string_view fullPath) {
  Close();
  const std::string path = NativeFilePath(fullPath).string();
  if (path.empty()) return false;
  // Without blocking: a named pipe or device must not hold the scan up (Size refuses it).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  file_ = fd;
  return true;
}

bool MappedFile::Size(uint64_t* size) {
  struct stat status {};
  if (file_ < 0 || fstat(int(file_), &status) != 0) return false;
  if (!S_ISREG(status.st_mode)) return false;  // a directory or device has no mappable bytes
  *size = uint64_t(status.st_size);
  return true;
}

bool MappedFile::Map(uint64_t size) {
  if (file_ < 0 || view_ || size == 0) return false;
  void* view = mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, int(file_), 0);
  if (view == MAP_FAILED) return false;
  view_ = static_cast<const uint8_t*>(view);
  viewSize_ = size;
  return true;
}

void MappedFile::Close() {
  if (view_) munmap(const_cast<uint8_t*>(view_), size_t(viewSize_));
  view_ = nullptr;
  viewSize_ = 0;
  if (file_ >= 0) ::close(int(file_));
  file_ = -1;
}

ScanOutcome ScanMappedView(const MappedFile& file, ViewScan scan, const void* context) {
  static std::once_flag installed;
  std::call_once(installed, InstallBusHandler);

  sigjmp_buf jump;
  guardBegin = file.data();
  guardEnd = file.data() + file.size();
  if (sigsetjmp(jump, 1) != 0) {
    guardBegin = nullptr;
    guardEnd = nullptr;
    return ScanOutcome::kReadFault;
  }
  activeJump = &jump;
  const bool found = scan(context, file.data(), file.size());
  activeJump = nullptr;
  guardBegin = nullptr;
  guardEnd = nullptr;
  return found ? ScanOutcome::kFound : ScanOutcome::kNotFound;
}

}  // namespace qm
