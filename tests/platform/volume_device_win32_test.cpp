// The Win32 volume seam against the real Windows API (run under Wine in CI, where a raw volume
// opens but refuses every change-journal control with ERROR_NOT_SUPPORTED), and the portable
// byte layouts against MinGW's own structures.
#include "platform/volume_device_win32.h"

#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/journal_layout.h"

namespace qm {
namespace {

constexpr std::u16string_view kVolumeC = u"\\\\.\\C:";

TEST(Win32VolumeDevice, InvalidHandleValueIsTheSeamsInvalidHandle) {
  EXPECT_EQ(reinterpret_cast<VolumeHandle>(INVALID_HANDLE_VALUE), kInvalidVolumeHandle);
}

TEST(Win32VolumeDevice, OpensVolumeForReadAndForReadWrite) {
  Win32VolumeDevice device;
  for (uint32_t access : {kGenericRead, kGenericRead | kGenericWrite}) {
    SCOPED_TRACE(access);
    VolumeHandle handle = kInvalidVolumeHandle;
    ASSERT_EQ(device.Open(kVolumeC, access, &handle), kErrorSuccess);
    EXPECT_NE(handle, kInvalidVolumeHandle);
    EXPECT_NE(handle, 0);
    EXPECT_EQ(device.Close(handle), kErrorSuccess);
  }
}

TEST(Win32VolumeDevice, OpenUsesOnlyTheViewsUnits) {
  // The view is not zero-terminated: the text after it must not reach CreateFileW.
  const std::u16string buffer = u"\\\\.\\C:trailing";
  Win32VolumeDevice device;
  VolumeHandle handle = kInvalidVolumeHandle;
  ASSERT_EQ(
      device.Open(std::u16string_view(buffer).substr(0, kVolumeC.size()), kGenericRead, &handle),
      kErrorSuccess);
  EXPECT_EQ(device.Close(handle), kErrorSuccess);
}

TEST(Win32VolumeDevice, OpenReportsMissingPathsAndLeavesHandleAlone) {
  struct Case {
    std::u16string_view path;
    std::vector<Win32Error> allowed;
  };
  const Case cases[] = {
      {u"\\\\.\\Q:", {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}},
      {u"\\\\.\\NoSuchVolumeDevice", {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}},
      {u"C:\\no\\such\\folder", {ERROR_PATH_NOT_FOUND}},
      {u"C:\\no-such-file.bin", {ERROR_FILE_NOT_FOUND}},
  };
  Win32VolumeDevice device;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    VolumeHandle handle = 1234;
    Win32Error error = device.Open(c.path, kGenericRead, &handle);
    EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), error), c.allowed.end()) << error;
    EXPECT_EQ(handle, 1234);
  }
}

// The temporary folder, with its trailing backslash.
std::wstring TempFolder() {
  wchar_t dir[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, dir);
  if (length == 0 || length > MAX_PATH) return L"C:\\";
  return std::wstring(dir, length);
}

// A file made with the wide API directly, deleted again at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::wstring& name) : path_(TempFolder() + name) {
    HANDLE made = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(made, INVALID_HANDLE_VALUE) << GetLastError();
    if (made != INVALID_HANDLE_VALUE) CloseHandle(made);
  }
  ~TempFile() { DeleteFileW(path_.c_str()); }
  const std::wstring& path() const { return path_; }
  std::u16string path16() const { return std::u16string(path_.begin(), path_.end()); }

 private:
  std::wstring path_;
};

// The seam must hand the UTF-16 units to CreateFileW unchanged, surrogate pairs included.
TEST(Win32VolumeDevice, OpenPassesNonAsciiNamesUnchanged) {
  TempFile file(L"qm_seam_\u6d4b\u8bd5_\u00e9_\U0001F600.txt");
  Win32VolumeDevice device;
  VolumeHandle handle = kInvalidVolumeHandle;
  EXPECT_EQ(device.Open(file.path16(), kGenericRead, &handle), kErrorSuccess);
  if (handle != kInvalidVolumeHandle) {
    EXPECT_EQ(device.Close(handle), kErrorSuccess);
  }

  // One unit different (e with acute -> e) names a file that does not exist.
  std::u16string other = file.path16();
  other[other.find(u'\u00e9')] = u'e';
  handle = kInvalidVolumeHandle;
  EXPECT_EQ(device.Open(other, kGenericRead, &handle), kErrorFileNotFound);
  EXPECT_EQ(handle, kInvalidVolumeHandle);
}

// While the seam holds a handle, others may still write and delete (share read, write and
// delete), and folders open too (backup semantics).
TEST(Win32VolumeDevice, OpenSharesEverythingAndOpensFolders) {
  TempFile file(L"qm_seam_shared.bin");
  Win32VolumeDevice device;
  VolumeHandle handle = kInvalidVolumeHandle;
  ASSERT_EQ(device.Open(file.path16(), kGenericRead, &handle), kErrorSuccess);
  HANDLE writer = CreateFileW(file.path().c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << GetLastError();
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_TRUE(DeleteFileW(file.path().c_str())) << GetLastError();
  EXPECT_EQ(device.Close(handle), kErrorSuccess);

  std::wstring folder = TempFolder();
  handle = kInvalidVolumeHandle;
  EXPECT_EQ(device.Open(std::u16string(folder.begin(), folder.end()), kGenericRead, &handle),
            kErrorSuccess);
  if (handle != kInvalidVolumeHandle) {
    EXPECT_EQ(device.Close(handle), kErrorSuccess);
  }
}

TEST(Win32VolumeDevice, JournalControlsAreNotSupportedUnderTheEmulator) {
  Win32VolumeDevice device;
  VolumeHandle handle = kInvalidVolumeHandle;
  ASSERT_EQ(device.Open(kVolumeC, kGenericRead | kGenericWrite, &handle), kErrorSuccess);

  uint8_t mftEnum[MftEnumData::kSize];
  Encode(MftEnumData{0, 0, 0x7FFFFFFFFFFFFFFF}, mftEnum);
  uint8_t read[ReadUsnJournalData::kSize];
  Encode(ReadUsnJournalData{0, 0xFFFFFFFF, 0, 0, 0, 1}, read);
  uint8_t create[CreateUsnJournalData::kSize];
  Encode(CreateUsnJournalData{256u << 20, 16u << 20}, create);
  uint8_t remove[DeleteUsnJournalData::kSize];
  Encode(DeleteUsnJournalData{1, kUsnDeleteFlagDelete}, remove);
  struct Case {
    uint32_t code;
    const uint8_t* in;
    uint32_t inSize;
  };
  const Case cases[] = {
      {kFsctlQueryUsnJournal, nullptr, 0},
      {kFsctlEnumUsnData, mftEnum, sizeof mftEnum},
      {kFsctlReadUsnJournal, read, sizeof read},
      {kFsctlCreateUsnJournal, create, sizeof create},
      {kFsctlDeleteUsnJournal, remove, sizeof remove},
  };
  std::vector<uint8_t> out(64 * 1024, 0xCD);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    uint32_t returned = 77;
    EXPECT_EQ(
        device.Control(handle, c.code, c.in, c.inSize, out.data(), uint32_t(out.size()), &returned),
        kErrorNotSupported);
    EXPECT_EQ(returned, 0u);
  }
  EXPECT_EQ(device.Close(handle), kErrorSuccess);
}

TEST(Win32VolumeDevice, ClosedOrInvalidHandlesAreReported) {
  Win32VolumeDevice device;
  VolumeHandle handle = kInvalidVolumeHandle;
  ASSERT_EQ(device.Open(kVolumeC, kGenericRead, &handle), kErrorSuccess);
  ASSERT_EQ(device.Close(handle), kErrorSuccess);
  EXPECT_EQ(device.Close(handle), kErrorInvalidHandle);
  EXPECT_EQ(device.Close(0), kErrorInvalidHandle);
  // As a HANDLE, -1 is the current process; CloseHandle would report success for it.
  EXPECT_EQ(device.Close(kInvalidVolumeHandle), kErrorInvalidHandle);

  uint8_t out[UsnJournalData::kSize];
  for (VolumeHandle bad : {handle, kInvalidVolumeHandle}) {
    uint32_t returned = 5;
    EXPECT_EQ(device.Control(bad, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof out, &returned),
              kErrorInvalidHandle);
    EXPECT_EQ(returned, 0u);
  }
  // Cancelling on handles that are gone is harmless.
  device.CancelIo(handle);
  device.CancelIo(kInvalidVolumeHandle);
}

TEST(Win32VolumeDevice, CancelIoWithNothingPendingKeepsTheHandleUsable) {
  Win32VolumeDevice device;
  VolumeHandle handle = kInvalidVolumeHandle;
  ASSERT_EQ(device.Open(kVolumeC, kGenericRead, &handle), kErrorSuccess);
  device.CancelIo(handle);
  uint8_t out[UsnJournalData::kSize];
  uint32_t returned = 0;
  EXPECT_EQ(device.Control(handle, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof out, &returned),
            kErrorNotSupported);
  EXPECT_EQ(device.Close(handle), kErrorSuccess);
}

// A reader blocked in a synchronous ReadFile on an anonymous pipe: stands in for a journal
// read that waits for new entries.
class BlockedReader {
 public:
  BlockedReader() {
    EXPECT_TRUE(CreatePipe(&read_, &write_, nullptr, 0));
    thread_ = std::thread([this] {
      token_ = device_.CurrentThread();
      char byte = 0;
      DWORD got = 0;
      BOOL ok = ReadFile(read_, &byte, 1, &got, nullptr);
      error_ = ok ? kErrorSuccess : GetLastError();
      done_ = true;
    });
    while (token_ == 0) std::this_thread::yield();
  }
  ~BlockedReader() {
    if (!done_) {  // unblock a read nothing cancelled, so the test fails instead of hanging
      DWORD put = 0;
      WriteFile(write_, "x", 1, &put, nullptr);
    }
    thread_.join();
    CloseHandle(read_);
    CloseHandle(write_);
  }

  // Cancels with `cancel` until the read ends (the read may not have started at the first
  // try); gives up after about two seconds.
  template <typename Cancel>
  bool CancelUntilDone(Cancel cancel) {
    for (int i = 0; i < 100 && !done_; ++i) {
      cancel();
      for (int j = 0; j < 20 && !done_; ++j)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done_;
  }

  Win32VolumeDevice device_;
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
  std::atomic<ThreadToken> token_{0};
  std::atomic<bool> done_{false};
  std::atomic<Win32Error> error_{kErrorSuccess};
  std::thread thread_;
};

TEST(Win32VolumeDevice, CancelThreadIoAbortsABlockedSynchronousRead) {
  BlockedReader reader;
  ThreadToken token = reader.token_;
  ASSERT_TRUE(reader.CancelUntilDone([&] { reader.device_.CancelThreadIo(token); }));
  EXPECT_EQ(reader.error_.load(), kErrorOperationAborted);
}

TEST(Win32VolumeDevice, CancelIoAbortsABlockedReadOnTheHandle) {
  BlockedReader reader;
  VolumeHandle handle = reinterpret_cast<VolumeHandle>(reader.read_);
  ASSERT_TRUE(reader.CancelUntilDone([&] { reader.device_.CancelIo(handle); }));
  EXPECT_EQ(reader.error_.load(), kErrorOperationAborted);
}

TEST(Win32VolumeDevice, CancelThreadIoWithNothingPendingLeavesTheThreadRunning) {
  Win32VolumeDevice device;
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
  std::mutex mutex;
  std::condition_variable changed;
  ThreadToken token = 0;  // under mutex
  bool go = false;        // under mutex
  Win32Error readError = 1;
  char byte = 0;
  std::thread worker([&] {
    std::unique_lock lock(mutex);
    token = device.CurrentThread();
    changed.notify_all();
    changed.wait(lock, [&] { return go; });
    lock.unlock();
    // A cancel that found nothing pending must not abort the thread's next read.
    DWORD got = 0;
    readError = ReadFile(read, &byte, 1, &got, nullptr) ? kErrorSuccess : GetLastError();
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return token != 0; });
  }
  device.CancelThreadIo(token);
  device.CancelThreadIo(token);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(write, "y", 1, &put, nullptr));
  {
    std::lock_guard lock(mutex);
    go = true;
  }
  changed.notify_all();
  worker.join();
  EXPECT_EQ(readError, kErrorSuccess);
  EXPECT_EQ(byte, 'y');
  // A thread that has ended, and no thread at all: nothing to cancel, nothing breaks.
  device.CancelThreadIo(token);
  device.CancelThreadIo(0);
  device.CancelThreadIo(ThreadToken(1) << 40);
  CloseHandle(read);
  CloseHandle(write);
}

TEST(Win32VolumeDevice, CurrentThreadIsTheThreadIdAndDiffersBetweenThreads) {
  Win32VolumeDevice device;
  ThreadToken mine = device.CurrentThread();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(mine, GetCurrentThreadId());
  EXPECT_EQ(device.CurrentThread(), mine);
  ThreadToken other = 0;
  std::thread([&] { other = device.CurrentThread(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
}

TEST(Win32VolumeDevice, DebugOutputAcceptsAnyLine) {
  Win32VolumeDevice device;
  device.DebugOutput("");
  device.DebugOutput("[Quillmarsh] CloseHandle failed, Error: 6 (0x00000006), Drive: C:\n");
  std::string longLine(100000, 'x');
  device.DebugOutput(longLine.c_str());
}

// --- The portable encoders against MinGW's structures ---------------------------------------

template <typename Struct>
std::vector<uint8_t> BytesOf(const Struct& s) {
  std::vector<uint8_t> bytes(sizeof s);
  std::memcpy(bytes.data(), &s, sizeof s);
  return bytes;
}

template <typename Value>
std::vector<uint8_t> Encoded(const Value& v) {
  std::vector<uint8_t> bytes(Value::kSize, 0xEE);
  Encode(v, bytes.data());
  return bytes;
}

TEST(JournalLayoutAgainstWindowsHeaders, UsnJournalData) {
  const UsnJournalData v{0x0123456789ABCDEF, -2,         0x7FFFFFFFFFFFFFF0, 0x1000,
                         INT64_MIN,          0x10000000, 0x1000000};
  USN_JOURNAL_DATA s;
  std::memset(&s, 0, sizeof s);
  s.UsnJournalID = v.usnJournalId;
  s.FirstUsn = v.firstUsn;
  s.NextUsn = v.nextUsn;
  s.LowestValidUsn = v.lowestValidUsn;
  s.MaxUsn = v.maxUsn;
  s.MaximumSize = v.maximumSize;
  s.AllocationDelta = v.allocationDelta;
  EXPECT_EQ(Encoded(v), BytesOf(s));
  UsnJournalData back = DecodeUsnJournalData(BytesOf(s).data());
  EXPECT_EQ(back.usnJournalId, v.usnJournalId);
  EXPECT_EQ(back.firstUsn, v.firstUsn);
  EXPECT_EQ(back.nextUsn, v.nextUsn);
  EXPECT_EQ(back.lowestValidUsn, v.lowestValidUsn);
  EXPECT_EQ(back.maxUsn, v.maxUsn);
  EXPECT_EQ(back.maximumSize, v.maximumSize);
  EXPECT_EQ(back.allocationDelta, v.allocationDelta);
}

TEST(JournalLayoutAgainstWindowsHeaders, MftEnumData) {
  const MftEnumData v{0x0005000000000123, -7, 0x7FFFFFFFFFFFFFFF};
  MFT_ENUM_DATA s;
  std::memset(&s, 0, sizeof s);
  s.StartFileReferenceNumber = v.startFileReferenceNumber;
  s.LowUsn = v.lowUsn;
  s.HighUsn = v.highUsn;
  EXPECT_EQ(Encoded(v), BytesOf(s));
  MftEnumData back = DecodeMftEnumData(BytesOf(s).data());
  EXPECT_EQ(back.startFileReferenceNumber, v.startFileReferenceNumber);
  EXPECT_EQ(back.lowUsn, v.lowUsn);
  EXPECT_EQ(back.highUsn, v.highUsn);
}

TEST(JournalLayoutAgainstWindowsHeaders, ReadUsnJournalData) {
  const ReadUsnJournalData v{0x123456789A,       0x80003300, 1,
                             0xFFFFFFFF00000001, 4096,       0xFEDCBA9876543210};
  READ_USN_JOURNAL_DATA s;
  std::memset(&s, 0, sizeof s);
  s.StartUsn = v.startUsn;
  s.ReasonMask = v.reasonMask;
  s.ReturnOnlyOnClose = v.returnOnlyOnClose;
  s.Timeout = v.timeout;
  s.BytesToWaitFor = v.bytesToWaitFor;
  s.UsnJournalID = v.usnJournalId;
  EXPECT_EQ(Encoded(v), BytesOf(s));
  ReadUsnJournalData back = DecodeReadUsnJournalData(BytesOf(s).data());
  EXPECT_EQ(back.startUsn, v.startUsn);
  EXPECT_EQ(back.reasonMask, v.reasonMask);
  EXPECT_EQ(back.returnOnlyOnClose, v.returnOnlyOnClose);
  EXPECT_EQ(back.timeout, v.timeout);
  EXPECT_EQ(back.bytesToWaitFor, v.bytesToWaitFor);
  EXPECT_EQ(back.usnJournalId, v.usnJournalId);
}

TEST(JournalLayoutAgainstWindowsHeaders, CreateUsnJournalData) {
  const CreateUsnJournalData v{256ull << 20, 16ull << 20};
  CREATE_USN_JOURNAL_DATA s;
  std::memset(&s, 0, sizeof s);
  s.MaximumSize = v.maximumSize;
  s.AllocationDelta = v.allocationDelta;
  EXPECT_EQ(Encoded(v), BytesOf(s));
  CreateUsnJournalData back = DecodeCreateUsnJournalData(BytesOf(s).data());
  EXPECT_EQ(back.maximumSize, v.maximumSize);
  EXPECT_EQ(back.allocationDelta, v.allocationDelta);
}

TEST(JournalLayoutAgainstWindowsHeaders, DeleteUsnJournalDataZeroesItsPadding) {
  const DeleteUsnJournalData v{0xA1B2C3D4E5F60718, USN_DELETE_FLAG_DELETE | USN_DELETE_FLAG_NOTIFY};
  DELETE_USN_JOURNAL_DATA s;
  std::memset(&s, 0, sizeof s);
  s.UsnJournalID = v.usnJournalId;
  s.DeleteFlags = v.deleteFlags;
  EXPECT_EQ(Encoded(v), BytesOf(s));
  DeleteUsnJournalData back = DecodeDeleteUsnJournalData(BytesOf(s).data());
  EXPECT_EQ(back.usnJournalId, v.usnJournalId);
  EXPECT_EQ(back.deleteFlags, v.deleteFlags);
}

// Records laid out with MinGW's USN_RECORD, the way Windows fills an output buffer.
std::vector<uint8_t> WindowsRecord(const UsnRecordFields& f, std::u16string_view name) {
  size_t length = (offsetof(USN_RECORD, FileName) + 2 * name.size() + 7) & ~size_t(7);
  std::vector<uint8_t> bytes(std::max(length, sizeof(USN_RECORD)), 0);
  USN_RECORD r;
  std::memset(&r, 0, sizeof r);
  r.RecordLength = DWORD(length);
  r.MajorVersion = 2;
  r.MinorVersion = 0;
  r.FileReferenceNumber = f.frn;
  r.ParentFileReferenceNumber = f.parentFrn;
  r.Usn = f.usn;
  r.TimeStamp.QuadPart = f.timeStamp;
  r.Reason = f.reason;
  r.FileAttributes = f.attributes;
  r.FileNameLength = WORD(2 * name.size());
  r.FileNameOffset = WORD(offsetof(USN_RECORD, FileName));
  std::memcpy(bytes.data(), &r, offsetof(USN_RECORD, FileName));
  std::memcpy(bytes.data() + r.FileNameOffset, name.data(), 2 * name.size());
  bytes.resize(length);
  return bytes;
}

TEST(JournalLayoutAgainstWindowsHeaders, UsnRecordWrittenAndReadLikeWindows) {
  const UsnRecordFields fields{0x000A00000000BEEF,
                               0x0005000000000005,
                               0x1234567890,
                               0x01D9ABCDEF012345,
                               kUsnReasonRenameNewName | kUsnReasonClose,
                               FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE};
  const std::u16string_view names[] = {u"",    u"a",          u"ab",
                                       u"abc", u"report.txt", u"\u6587\u4ef6\U0001F600.dat"};
  for (std::u16string_view name : names) {
    SCOPED_TRACE(name.size());
    std::vector<uint8_t> expected = WindowsRecord(fields, name);
    std::vector<uint8_t> written(expected.size() + 8, 0xEE);
    ASSERT_EQ(WriteUsnRecord(fields, name, written.data(), written.size()), expected.size());
    written.resize(expected.size());
    EXPECT_EQ(written, expected);

    UsnRecordView view;
    ASSERT_TRUE(ReadUsnRecord(expected.data(), expected.size(), 0, &view));
    EXPECT_EQ(view.recordLength, expected.size());
    EXPECT_EQ(view.frn, fields.frn);
    EXPECT_EQ(view.parentFrn, fields.parentFrn);
    EXPECT_EQ(view.usn, fields.usn);
    EXPECT_EQ(view.reason, fields.reason);
    EXPECT_EQ(view.attributes, fields.attributes);
    ASSERT_EQ(view.nameUnits, name.size());
    EXPECT_EQ(std::memcmp(view.name, name.data(), 2 * name.size()), 0);
  }
}

}  // namespace
}  // namespace qm
