// What the configuration files ask of the machine: the user's Documents folder, folder
// creation, and whole-file reads, writes, replacement and copies, and where a save through a
// symbolic link lands.
//
// Paths are the program's own UTF-16 paths with backslash separators (C:\Users\x\Documents
// \Quillmarsh\config\filters.ini, or .\config\filters.ini). The Windows build hands them to
// the wide-character file API unchanged; the native build turns each backslash into a slash.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

class ConfigSystem {
 public:
  virtual ~ConfigSystem() = default;

  // SHGetFolderPathW(CSIDL_PERSONAL, no token, SHGFP_TYPE_CURRENT) into 260 units. False when
  // the call does not succeed.
  virtual bool DocumentsFolder(std::u16string* folder) = 0;

  // CreateDirectoryW with default security; the result is ignored (an existing folder is fine).
  virtual void MakeFolder(std::u16string_view path) = 0;

  // Reads the file's bytes, at most `maxBytes` of them. False when the file cannot be opened
  // (missing, a folder, no access); a read error in the middle ends the reading as at end of
  // file and still returns true.
  virtual bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) = 0;

  // Creates or truncates the file, writes every byte and flushes it to the disk. False on any
  // failure, after which the file may hold part of the bytes.
  virtual bool WriteBytes(std::u16string_view path, std::string_view bytes) = 0;

  // Puts `from` in the place of `to` in one step: afterwards `to` is either the old file or
  // the new one, never a mixture. MoveFileExW with MOVEFILE_REPLACE_EXISTING |
  // MOVEFILE_WRITE_THROUGH in the Windows build, where a read-only target is refused;
  // rename(2) elsewhere.
  virtual bool ReplaceAtomically(std::u16string_view from, std::u16string_view to) = 0;

  // The file a save to `path` replaces: the end of its chain of symbolic links, so that the
  // save changes the link's target and the link stays a link (the temporary file is written
  // beside that target, on its volume); `path` itself when it is no link, is missing or cannot
  // be resolved. GetFinalPathNameByHandleW in the Windows build.
  virtual std::u16string SaveTarget(std::u16string_view path) = 0;

  // Deletes a file; a missing file is no error. Used to clear a half-written temporary file.
  virtual void RemoveFile(std::u16string_view path) = 0;

  // CopyFileW(from, to, overwrite allowed): a byte copy. False when it fails.
  virtual bool CopyOver(std::u16string_view from, std::u16string_view to) = 0;
};

// The machine's own implementation (Win32 in the Windows build; POSIX natively, where the
// Documents folder is $HOME/Documents).
ConfigSystem& SystemConfigSystem();

}  // namespace qm
