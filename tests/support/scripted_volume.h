// A volume device whose answers are scripted call by call, for tests that need exact byte
// counts (a read of 8 bytes, a malformed record) that no sound volume would produce.
#pragma once

#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/journal_layout.h"
#include "platform/volume_device.h"

namespace qm::testing {

struct ScriptedAnswer {
  Win32Error error = kErrorSuccess;
  std::vector<uint8_t> bytes;  // copied into the output buffer, at most its size
  uint32_t returned = 0;       // reported byte count (may lie, to test bounds)
};

class ScriptedVolume : public VolumeDevice {
 public:
  // Answers for `code`, used in order; when they run out, `fallback[code]` answers.
  void Script(uint32_t code, ScriptedAnswer answer) {
    std::lock_guard guard(mutex_);
    scripts_[code].push_back(std::move(answer));
  }
  void SetFallback(uint32_t code, ScriptedAnswer answer) {
    std::lock_guard guard(mutex_);
    fallback_[code] = std::move(answer);
  }
  // A healthy journal for queries, and EOF for enumeration once the script is used up.
  void UseHealthyJournal(uint64_t journalId, int64_t nextUsn) {
    UsnJournalData data;
    data.usnJournalId = journalId;
    data.nextUsn = nextUsn;
    ScriptedAnswer query;
    query.bytes.resize(UsnJournalData::kSize);
    Encode(data, query.bytes.data());
    query.returned = UsnJournalData::kSize;
    SetFallback(kFsctlQueryUsnJournal, query);
    SetFallback(kFsctlEnumUsnData, ScriptedAnswer{kErrorHandleEof, {}, 0});
    SetFallback(kFsctlReadUsnJournal, ScriptedAnswer{kErrorJournalNotActive, {}, 0});
  }
  std::vector<uint32_t> ControlCodes() const {
    std::lock_guard guard(mutex_);
    return codes_;
  }
  // The input bytes of every call of `code`, in order.
  std::vector<std::vector<uint8_t>> Inputs(uint32_t code) const {
    std::lock_guard guard(mutex_);
    std::vector<std::vector<uint8_t>> result;
    for (const auto& [c, bytes] : inputs_) {
      if (c == code) result.push_back(bytes);
    }
    return result;
  }

  Win32Error Open(std::u16string_view, uint32_t, VolumeHandle* handle) override {
    *handle = 42;
    return kErrorSuccess;
  }
  Win32Error Control(VolumeHandle, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                     uint32_t outSize, uint32_t* returned) override {
    std::lock_guard guard(mutex_);
    codes_.push_back(code);
    inputs_.emplace_back(code, std::vector<uint8_t>(in, in + inSize));
    ScriptedAnswer answer;
    auto& queue = scripts_[code];
    if (!queue.empty()) {
      answer = std::move(queue.front());
      queue.pop_front();
    } else if (auto it = fallback_.find(code); it != fallback_.end()) {
      answer = it->second;
    } else {
      answer.error = kErrorInvalidParameter;
    }
    if (out && !answer.bytes.empty())
      std::memcpy(out, answer.bytes.data(), std::min<size_t>(answer.bytes.size(), outSize));
    *returned = answer.returned;
    return answer.error;
  }
  void CancelIo(VolumeHandle) override {}
  void CancelThreadIo(ThreadToken) override {}
  ThreadToken CurrentThread() override { return 1; }
  Win32Error Close(VolumeHandle) override { return kErrorSuccess; }
  void DebugOutput(const char*) override {}
  void Pause(std::chrono::milliseconds) override {}

 private:
  mutable std::mutex mutex_;
  std::map<uint32_t, std::deque<ScriptedAnswer>> scripts_;
  std::map<uint32_t, ScriptedAnswer> fallback_;
  std::vector<uint32_t> codes_;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> inputs_;
};

// Builds an enumeration (or journal) output: the 8-byte next value, then the records.
struct OutputBuilder {
  std::vector<uint8_t> bytes;
  explicit OutputBuilder(uint64_t next) : bytes(8) {
    for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(next >> (8 * i));
  }
  OutputBuilder& Add(const UsnRecordFields& fields, std::u16string_view name) {
    size_t at = bytes.size();
    bytes.resize(at + UsnRecordSize(name.size()));
    WriteUsnRecord(fields, name, bytes.data() + at, bytes.size() - at);
    return *this;
  }
  ScriptedAnswer Answer() const { return {kErrorSuccess, bytes, uint32_t(bytes.size())}; }
};

}  // namespace qm::testing
