// Volume images: one NTFS volume's enumeration and change journal as a UTF-8 text file, so
// that a stand-in volume can be described by hand, kept beside the tests, or written by the
// synthetic volume generator and loaded by the demo. The format is described by example in
// docs/volume-image.md and at the top of volume_image.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "standin/fake_volume.h"

namespace qm {

// The content of a volume image, with every name kept in one buffer so that millions of
// entries cost no allocation each.
struct VolumeContent {
  struct Entry {
    uint64_t frn = 0;
    uint64_t parentFrn = 0;
    int64_t usn = 0;
    uint64_t nameOffset = 0;  // into names
    uint32_t attributes = 0;
    uint32_t nameLength = 0;  // UTF-16 units
  };
  struct Change {
    int64_t usn = 0;
    uint64_t frn = 0;
    uint64_t parentFrn = 0;
    uint64_t nameOffset = 0;  // into names
    uint32_t reason = 0;
    uint32_t attributes = 0;
    uint32_t nameLength = 0;
  };

  bool hasJournal = false;  // without a journal the volume has none until one is created
  uint64_t journalId = 0;
  int64_t firstUsn = 0;
  int64_t nextUsn = 0;
  std::vector<Entry> entries;   // in the order given
  std::vector<Change> changes;  // ascending usn
  std::u16string names;         // the names of entries and changes, back to back

  void AddEntry(uint64_t frn, uint64_t parentFrn, uint32_t attributes, int64_t usn,
                std::u16string_view name);
  void AddChange(int64_t usn, uint32_t reason, uint64_t frn, uint64_t parentFrn,
                 uint32_t attributes, std::u16string_view name);
  std::u16string_view Name(const Entry& e) const {
    return {names.data() + e.nameOffset, e.nameLength};
  }
  std::u16string_view Name(const Change& c) const {
    return {names.data() + c.nameOffset, c.nameLength};
  }
};

// Where and why an image was rejected. `line` is 1-based; 0 when the error concerns the whole
// file (it cannot be read).
struct ImageError {
  std::string file;
  size_t line = 0;
  std::string message;
  // "file:line: message", or "file: message" when line is 0.
  std::string ToString() const;
};

// Parses an image. On any malformed line returns false with the error filled in and leaves
// `content` empty: an image is taken whole or not at all.
bool ParseVolumeImage(std::string_view text, std::string_view fileName, VolumeContent* content,
                      ImageError* error);

// Parses an image and, only when all of it is sound, fills `volume` with FillFakeVolume.
bool ParseVolumeImage(std::string_view text, std::string_view fileName, FakeVolume& volume,
                      ImageError* error);

// Reads the file at `path` and parses it as above. Errors name the file as UTF-8. Anything
// but a regular file is refused ("not a regular file"), and an image too large for memory is
// an error too ("not enough memory to load this image"), never an exception. The volume form
// leaves part of the image in `volume` when memory runs out while filling it: throw it away.
bool LoadVolumeImage(const std::filesystem::path& path, VolumeContent* content, ImageError* error);
bool LoadVolumeImage(const std::filesystem::path& path, FakeVolume& volume, ImageError* error);

// Puts the content into a newly made volume: its journal (or none), its entries, and its
// journal entries. The journal's nextUsn is the one the content gives. The second form takes
// over the content's name buffer instead of copying it.
void FillFakeVolume(const VolumeContent& content, FakeVolume& volume);
void FillFakeVolume(VolumeContent&& content, FakeVolume& volume);

// The image text of `content`: a journal line first (when there is a journal), then the
// entries in their order, then the changes. Fails, with a reason, for content that no image
// can hold: a name with a line feed, a name ending in a carriage return, a name with an
// unpaired surrogate, a negative USN, or changes without a journal.
bool FormatVolumeImage(const VolumeContent& content, std::string* text, std::string* error);

// FormatVolumeImage written to a file, piece by piece.
bool WriteVolumeImage(const std::filesystem::path& path, const VolumeContent& content,
                      std::string* error);

}  // namespace qm
