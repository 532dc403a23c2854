// The change journal of a stand-in volume and the controls that reach it (FSCTL_QUERY_, CREATE_,
// DELETE_ and READ_USN_JOURNAL, and FSCTL_ENUM_USN_DATA), shared by FakeVolume and FolderVolume.
// A volume supplies only its entries, its journal identities and, where it changes by itself, a
// look at it before a read. Where Windows leaves a detail open, the journal makes one choice:
// - Checks run in this order (after the volume's handle check): input size, journal active,
//   journal identity, output size.
// - The volume's USN only grows: a journal created where none was active starts (firstUsn and
//   nextUsn) at the highest USN any journal of the volume reached, under an identity no earlier
//   journal had, without the entries of the one before. A recorded entry moves nextUsn to the
//   end of its record (its USN plus its record size), as NTFS does; an entry whose end would
//   pass the highest USN (2^63-1), or whose name is longer than kMaxStandInNameUnits, is not
//   recorded.
// - FSCTL_DELETE_USN_JOURNAL accepts DeleteFlags 1 (delete), 2 (notify: nothing to wait for,
//   so nothing happens) or 3; any other value is ERROR_INVALID_PARAMETER.
// - FSCTL_READ_USN_JOURNAL of another identity is ERROR_INVALID_PARAMETER; when the first entry
//   to return does not fit after the 8-byte next USN it fails with ERROR_INSUFFICIENT_BUFFER.
//   ReturnOnlyOnClose keeps only entries with the close bit; Timeout and BytesToWaitFor are
//   ignored (every read returns at once).
// - FSCTL_ENUM_USN_DATA lists the entries from StartFileReferenceNumber on whose USN lies in
//   [LowUsn, HighUsn]: ERROR_HANDLE_EOF when none is left, ERROR_MORE_DATA when the first does
//   not fit after the 8-byte next reference number. The top reference (0xFFFFFFFFFFFFFFFF) has
//   no successor: a page that ends with it gives that reference as the next one, and the
//   request that follows from there answers ERROR_HANDLE_EOF instead of listing it again.
// - Retention::kMaximumSize drops the oldest entries beyond that many record bytes and takes a
//   requested MaximumSize of 0 as the default; kEverything only reports the size it was given.
// Not thread-safe: the volume's mutex guards the journal and is held when it calls the hooks.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/journal_layout.h"
#include "platform/volume_device.h"
#include "platform/win32_codes.h"

namespace qm {

// The longest name NTFS allows, in UTF-16 units: the most a volume image or a folder gives.
inline constexpr size_t kMaxNtfsNameUnits = 255;
// The longest name whose record fits a 64 KiB enumeration or journal read after its 8-byte
// header. The stand-ins hold no longer name (tests may go past NTFS's limit up to it), so no
// record can stall a reader that reads in such pieces.
inline constexpr size_t kMaxStandInNameUnits = 32734;

// What both stand-in volumes answer alike outside the journal:
// True when `devicePath` names the volume of `drive` (\\.\ and the drive, A to Z folded).
bool IsDevicePathOf(std::u16string_view devicePath, std::u16string_view drive);
// The calling thread's token: never 0, different for every thread, the same on every call.
ThreadToken StandInThreadToken();

// One page of FSCTL_ENUM_USN_DATA output: the next reference number, then whole records.
class EnumerationPage {
 public:
  // `exhausted`: the previous page ended with the top reference, so nothing is left.
  EnumerationPage(const MftEnumData& request, uint8_t* out, uint32_t outSize, uint32_t* returned,
                  bool exhausted)
      : request_(request),
        out_(out),
        outSize_(outSize),
        returned_(returned),
        exhausted_(exhausted) {}

  // Offers the next entry, in ascending reference order. Entries outside the request's USN
  // window are passed over. False once the page is full: offer nothing more.
  bool Add(uint64_t frn, uint64_t parentFrn, int64_t usn, uint32_t attributes,
           std::u16string_view name);
  // Ends the page: ERROR_HANDLE_EOF when no entry was offered in the window, ERROR_MORE_DATA
  // when the first one did not fit.
  Win32Error Finish();
  // True when the page holds the entry with the top reference.
  bool EndsAtTop() const { return offset_ > 8 && lastFrn_ == kTopReference; }

  static constexpr uint64_t kTopReference = ~uint64_t(0);

 private:
  const MftEnumData request_;
  uint8_t* const out_;
  const uint32_t outSize_;
  uint32_t* const returned_;
  const bool exhausted_;
  size_t offset_ = 8;  // past the next reference number and the records written
  uint64_t lastFrn_ = 0;
  bool offered_ = false;
};

class StandInJournal {
 public:
  // What the volume that keeps the journal supplies.
  class Volume {
   public:
    // An identity that no journal of the volume had.
    virtual uint64_t NewJournalId() = 0;
    // Offers the volume's entries from request.startFileReferenceNumber on to `page` and
    // returns page.Finish(), or an error of its own.
    virtual Win32Error Enumerate(const MftEnumData& request, EnumerationPage& page) = 0;
    // Records in the journal what changed on the volume since the last look: before every
    // read, and before a new journal starts. False when the volume cannot be read.
    virtual bool Look() { return true; }

   protected:
    ~Volume() = default;
  };

  enum class Retention { kEverything, kMaximumSize };

  // Starts without an active journal. `volume` must outlive the journal.
  StandInJournal(Volume& volume, Retention retention) : volume_(volume), retention_(retention) {}

  // Serves one control once the volume has checked the handle; any other code is
  // ERROR_INVALID_FUNCTION. `*returned` is always set.
  Win32Error Serve(uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                   uint32_t outSize, uint32_t* returned);

  // An active journal with this identity, firstUsn the oldest USN it still holds; the entries
  // already recorded stay. A journal that was not active gets the default sizes.
  void Set(uint64_t id, int64_t firstUsn, int64_t nextUsn);
  // No journal at all; its entries are dropped.
  void Remove();
  // Records one entry in USN order; nothing without an active journal. False, and nothing
  // recorded, whether a journal is active or not, for a negative USN, one whose record would end
  // past the highest USN, or a name longer than kMaxStandInNameUnits.
  bool Record(const UsnRecordFields& fields, std::u16string_view name);

  bool Active() const { return active_; }
  uint64_t Id() const { return id_; }
  int64_t NextUsn() const { return nextUsn_; }

 private:
  struct Entry {
    UsnRecordFields fields;
    std::u16string name;
  };

  Win32Error Query(uint8_t* out, uint32_t outSize, uint32_t* returned);
  Win32Error Create(const uint8_t* in, uint32_t inSize);
  Win32Error Delete(const uint8_t* in, uint32_t inSize);
  Win32Error Enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                       uint32_t* returned);
  Win32Error Read(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                  uint32_t* returned);
  void Trim();

  Volume& volume_;
  const Retention retention_;
  bool active_ = false;
  uint64_t id_ = 0;
  int64_t firstUsn_ = 0;
  int64_t nextUsn_ = 0;
  uint64_t maximumSize_ = 0;
  uint64_t allocationDelta_ = 0;
  std::deque<Entry> entries_;   // ascending usn
  uint64_t entryBytes_ = 0;     // record bytes of entries_
  int64_t runningUsn_ = 0;      // highest USN the volume has reached; never goes back
  bool enumeratedTop_ = false;  // the last enumeration page ended with the top reference
};

}  // namespace qm
