// Benchmarks of the volume index on synthetic volumes of 1 and 5 million entries: parsing of
// enumeration buffers, the whole build against the in-memory stand-in volume, memory per
// record, and path building. After the usual report it prints one `name: value` line per
// headline figure, so that runs can be compared line by line.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <vector>

#include "headline.h"
#include "index/build_path.h"
#include "index/journal_monitor.h"
#include "index/volume_build.h"
#include "platform/byte_order.h"
#include "platform/journal_layout.h"
#include "standin/fake_volume.h"
#include "standin/synthetic_volume.h"

namespace qm {
namespace {

// Entry counts of the drive whose names are lengthened to a mean of 20 units.
constexpr size_t kLongNames = 5000000 + 20;

FakeVolume& Volume(size_t entries) {
  static std::map<size_t, std::unique_ptr<FakeVolume>> volumes;
  auto& volume = volumes[entries];
  if (!volume) {
    volume = std::make_unique<FakeVolume>(u"C:");
    SyntheticVolumeOptions options;
    options.seed = 1;
    options.entryCount = entries == kLongNames ? 5000000 : entries;
    if (entries != kLongNames) {
      GenerateSyntheticVolume(options, *volume);
    } else {
      // The same drive with units put in front of the names (spread evenly) until their mean
      // is 20 units.
      const VolumeContent content = GenerateSyntheticContent(options);
      VolumeContent longer;
      longer.hasJournal = content.hasJournal;
      longer.journalId = content.journalId;
      longer.firstUsn = content.firstUsn;
      longer.nextUsn = content.nextUsn;
      const size_t count = content.entries.size();
      size_t units = 0;
      for (const auto& e : content.entries) units += e.nameLength;
      const size_t extra = count * 20 > units ? count * 20 - units : 0;
      for (size_t i = 0; i < count; ++i) {
        const auto& e = content.entries[i];
        const size_t pad = extra / count + (i < extra % count ? 1 : 0);
        std::u16string name(pad, u'_');
        name += content.Name(e);
        longer.AddEntry(e.frn, e.parentFrn, e.attributes, e.usn, name);
      }
      FillFakeVolume(longer, *volume);
    }
  }
  return *volume;
}

// The enumeration output of a whole volume, read once through the device.
const std::vector<std::unique_ptr<EnumBuffer>>& Buffers(size_t entries) {
  static std::map<size_t, std::vector<std::unique_ptr<EnumBuffer>>> cache;
  auto& buffers = cache[entries];
  if (buffers.empty()) {
    FakeVolume& volume = Volume(entries);
    VolumeHandle handle;
    volume.Open(u"\\\\.\\C:", kGenericRead, &handle);
    MftEnumData enumData{0, 0, kHighestUsn};
    for (;;) {
      auto buffer = std::make_unique<EnumBuffer>();
      uint8_t in[MftEnumData::kSize];
      Encode(enumData, in);
      if (volume.Control(handle, kFsctlEnumUsnData, in, sizeof in, buffer->bytes, kEnumBufferSize,
                         &buffer->returned) != kErrorSuccess)
        break;
      enumData.startFileReferenceNumber = LoadLe64(buffer->bytes);
      buffers.push_back(std::move(buffer));
    }
    volume.Close(handle);
  }
  return buffers;
}

size_t HeapBytes() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::string Suffix(size_t entries) {
  return entries == kLongNames ? "_20u" : entries >= 5000000 ? "_5m" : "_1m";
}

void BM_ParseEnumBuffer(benchmark::State& state) {
  const size_t entries = size_t(state.range(0));
  const auto& buffers = Buffers(entries);
  FakeVolume& volume = Volume(entries);
  uint64_t records = 0;
  for (auto _ : state) {
    auto index = std::make_unique<VolumeIndex>(volume);
    for (const auto& buffer : buffers) ParseEnumBuffer(*buffer, *index);
    records += RecordCount(*index);
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
  state.counters["records_per_s"] =
      benchmark::Counter(double(records), benchmark::Counter::kIsRate);
}

void BM_BuildVolumeIndex(benchmark::State& state) {
  const size_t entries = size_t(state.range(0));
  FakeVolume& volume = Volume(entries);
  Buffers(entries);  // generate outside the timing
  double bytesPerRecord = 0;
  double meanNameUnits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    size_t before = HeapBytes();
    VolumeIndex* index = new VolumeIndex(volume);
    state.ResumeTiming();
    if (!BuildVolumeIndex(*index, u"C:")) state.SkipWithError("build failed");
    state.PauseTiming();
    StopMonitor(*index);
    // The bulk storage comes straight from the system, the rest from the heap.
    size_t bulk = index->names.MemoryBytes() + index->records.MemoryBytes() +
                  index->indexByFrn.MemoryBytes() + index->children.MemoryBytes();
    bytesPerRecord = double(bulk + (HeapBytes() - before)) / double(RecordCount(*index));
    uint64_t units = 0;
    for (const FileRecord& r : index->records) units += r.nameLength;
    meanNameUnits = double(units) / double(RecordCount(*index));
    index->monitoring = false;
    delete index;  // the stand-in's pauses are not slept, so release is cheap
    state.ResumeTiming();
  }
  state.counters["bytes_per_record"] = bytesPerRecord;
  state.counters["mean_name_units"] = meanNameUnits;
  headline["bytes_per_record" + Suffix(entries)] = bytesPerRecord;
  headline["mean_name_units" + Suffix(entries)] = meanNameUnits;
}

void BM_BuildPath(benchmark::State& state) {
  const size_t entries = size_t(state.range(0));
  FakeVolume& volume = Volume(entries);
  static std::map<size_t, VolumeIndexPtr> built;
  auto& index = built[entries];
  if (!index) {
    index.reset(new VolumeIndex(volume));
    BuildVolumeIndex(*index, u"C:");
    StopMonitor(*index);
  }
  std::mt19937_64 random(3);
  const uint64_t count = RecordCount(*index);
  size_t units = 0;
  for (auto _ : state) {
    std::u16string path = BuildPath(*index, random() % count);
    units += path.size();
    benchmark::DoNotOptimize(path);
  }
  state.counters["calls_per_s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["mean_path_units"] = double(units) / double(state.iterations());
}

// One full 64 KiB journal read applied under the drive's lock: creations of new files, renames
// (an old-name and a new-name entry) and deletions of existing ones, in equal shares.
void BM_ApplyJournalBatch(benchmark::State& state) {
  const size_t entries = size_t(state.range(0));
  FakeVolume& volume = Volume(entries);
  VolumeIndexPtr index(new VolumeIndex(volume));
  BuildVolumeIndex(*index, u"C:");
  StopMonitor(*index);
  std::mt19937_64 random(5);
  std::vector<uint8_t> batch(kEnumBufferSize);
  uint64_t nextFrn = uint64_t(1) << 40;
  uint64_t applied = 0;
  for (auto _ : state) {
    state.PauseTiming();
    size_t size = 8;
    uint64_t count = RecordCount(*index);
    for (int k = 0;; ++k) {
      const FileRecord& existing = index->records[random() % count];
      std::u16string name(RecordName(*index, existing));
      UsnRecordFields fields{existing.frn, existing.parentFrn, 0, 0, 0, 0x20};
      if (k % 3 == 0) {
        fields.frn = nextFrn++;
        fields.reason = kUsnReasonFileCreate;
        name += u" (copy)";
      } else if (k % 3 == 1) {
        fields.reason = kUsnReasonRenameOldName;
        size_t n = WriteUsnRecord(fields, name, batch.data() + size, batch.size() - size);
        if (!n) break;
        size += n;
        fields.reason = kUsnReasonRenameNewName;
        name += u".bak";
      } else {
        fields.reason = kUsnReasonFileDelete;
      }
      size_t n = WriteUsnRecord(fields, name, batch.data() + size, batch.size() - size);
      if (!n) break;
      size += n;
    }
    uint64_t inBatch = 0;
    for (size_t offset = 8; offset < size; offset += LoadLe32(batch.data() + offset)) ++inBatch;
    state.ResumeTiming();
    {
      std::unique_lock guard(index->lock);
      ApplyJournalBatch(*index, batch.data(), size);
    }
    applied += inBatch;
  }
  state.counters["entries_per_s"] =
      benchmark::Counter(double(applied), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ParseEnumBuffer)
    ->Arg(1000000)
    ->Arg(5000000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);
BENCHMARK(BM_BuildVolumeIndex)
    ->Arg(1000000)
    ->Arg(5000000)
    ->Arg(kLongNames)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_BuildPath)->Arg(1000000)->Arg(5000000)->MinTime(0.5);
BENCHMARK(BM_ApplyJournalBatch)->Arg(1000000)->MinTime(1);

}  // namespace

// Takes the headline figures of this file's benchmarks from their finished runs.
void CollectIndexHeadlines(const benchmark::BenchmarkReporter::Run& run) {
  std::string name = run.benchmark_name();
  const std::string suffix = name.find("5000020") != std::string::npos   ? "_20u"
                             : name.find("5000000") != std::string::npos ? "_5m"
                                                                          : "_1m";
  auto counter = [&](const char* key) { return double(run.counters.at(key)); };
  if (name.rfind("BM_ParseEnumBuffer", 0) == 0) {
    headline["parse_records_per_s" + suffix] = counter("records_per_s");
  } else if (name.rfind("BM_BuildVolumeIndex", 0) == 0) {
    headline["build" + suffix + "_seconds"] = run.GetAdjustedRealTime() / 1000.0;  // in ms
  } else if (name.rfind("BM_ApplyJournalBatch", 0) == 0) {
    headline["journal_entries_per_s"] = counter("entries_per_s");
  } else if (name.rfind("BM_BuildPath", 0) == 0) {
    headline["buildpath_per_s" + suffix] = counter("calls_per_s");
  }
}

}  // namespace qm
