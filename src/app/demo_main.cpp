// Index demo: builds the store of one drive served by the stand-in volume (a generated
// synthetic system drive, or a volume image), lets the journal monitor apply the changes
// recorded after the enumeration, and prints what the index holds.
//
//   quillmarsh-demo [--entries N] [--seed S] [--changes N] [IMAGE]
//   quillmarsh-demo [--entries N] [--seed S] [--changes N] --write-image FILE
//
// The second form only writes the generated drive as a volume image, for the headless front
// end and for scripts.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "index/build_path.h"
#include "index/journal_monitor.h"
#include "index/volume_build.h"
#include "platform/command_line.h"
#include "platform/utf8.h"
#include "standin/fake_volume.h"
#include "standin/synthetic_volume.h"
#include "standin/volume_image.h"

namespace qm {
namespace {

int Usage() {
  std::fprintf(
      stderr,
      "usage: quillmarsh-demo [--entries N] [--seed S] [--changes N] [IMAGE]\n"
      "       quillmarsh-demo [--entries N] [--seed S] [--changes N] --write-image FILE\n");
  return 2;
}

bool ParseCount(const char* text, uint64_t* out) {
  char* end = nullptr;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (!*text || *end || text[0] == '-') return false;
  *out = value;
  return true;
}

struct Counts {
  uint64_t records = 0;
  uint64_t live = 0;
  uint64_t directories = 0;
};

Counts CountRecords(const VolumeIndex& index) {
  std::shared_lock guard(index.lock);
  Counts counts;
  counts.records = RecordCount(index);
  for (const FileRecord& r : index.records) {
    if (r.deleted) continue;
    ++counts.live;
    counts.directories += r.isDirectory;
  }
  return counts;
}

int Run(int argc, char** argv) {
  // UTF-8 arguments on every system (under Windows, argv is in the ANSI code page).
  std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  argc = int(pointers.size());
  argv = pointers.data();

  SyntheticVolumeOptions options;
  options.seed = 1;
  options.entryCount = 1000000;
  options.changeCount = 2000;
  const char* image = nullptr;
  const char* writeImage = nullptr;
  for (int i = 1; i < argc; ++i) {
    uint64_t value = 0;
    if (!std::strcmp(argv[i], "--entries") && i + 1 < argc && ParseCount(argv[i + 1], &value)) {
      options.entryCount = value;
      ++i;
    } else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc && ParseCount(argv[i + 1], &value)) {
      options.seed = value;
      ++i;
    } else if (!std::strcmp(argv[i], "--changes") && i + 1 < argc &&
               ParseCount(argv[i + 1], &value)) {
      options.changeCount = value;
      ++i;
    } else if (!std::strcmp(argv[i], "--write-image") && i + 1 < argc) {
      writeImage = argv[++i];
    } else if (argv[i][0] != '-' && !image) {
      image = argv[i];
    } else {
      return Usage();
    }
  }

  if (writeImage) {
    if (image) return Usage();
    std::string error;
    if (!WriteVolumeImage(PathFromArgument(writeImage), GenerateSyntheticContent(options),
                          &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());  // names the file
      return 2;
    }
    return 0;
  }

  FakeVolume volume(u"C:");
  auto t0 = std::chrono::steady_clock::now();
  if (image) {
    ImageError error;
    if (!LoadVolumeImage(PathFromArgument(image), volume, &error)) {
      std::fprintf(stderr, "%s\n", error.ToString().c_str());
      return 2;
    }
    std::printf("volume C: from image %s (%zu entries)\n", image, volume.EntryCount());
  } else {
    GenerateSyntheticVolume(options, volume);
    std::printf("volume C: synthetic system drive, seed %llu, %zu entries, %llu journal changes\n",
                static_cast<unsigned long long>(options.seed), volume.EntryCount(),
                static_cast<unsigned long long>(options.changeCount));
  }
  auto t1 = std::chrono::steady_clock::now();
  std::printf("  generated in %.3f s\n", std::chrono::duration<double>(t1 - t0).count());

  volume.SetRealPauses(true);  // the monitor polls every 300 ms, as on a real drive
  VolumeIndexPtr index(new VolumeIndex(volume));
  auto t2 = std::chrono::steady_clock::now();
  if (!BuildVolumeIndex(*index, u"C:")) {
    std::fprintf(stderr, "No NTFS MFT support.\n");
    return 1;
  }
  auto t3 = std::chrono::steady_clock::now();
  Counts built = CountRecords(*index);
  std::printf("index built in %.3f s: %llu records (%llu directories)\n",
              std::chrono::duration<double>(t3 - t2).count(),
              static_cast<unsigned long long>(built.records),
              static_cast<unsigned long long>(built.directories));

  // The stand-in's journal holds the changes recorded after the enumeration; the monitor reads
  // them in 64 KiB batches, one batch per poll.
  std::printf("journal monitor: following the changes recorded after the enumeration...\n");
  int64_t target = volume.NextUsn();
  for (int waited = 0; waited < 3000; ++waited) {
    {
      std::shared_lock guard(index->lock);
      if (index->nextUsn >= target || !index->monitoring.load()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Counts now = CountRecords(*index);
  std::printf("  now %llu records, %llu live (%llu marked deleted by the journal)\n",
              static_cast<unsigned long long>(now.records),
              static_cast<unsigned long long>(now.live),
              static_cast<unsigned long long>(now.records - now.live));

  std::printf("sample paths:\n");
  const uint64_t count = now.records;
  for (int k = 1; k <= 8 && count; ++k) {
    uint64_t i = count * uint64_t(k) / 9;
    std::printf("  %s\n", ToUtf8(BuildPath(*index, i)).c_str());
  }
  StopMonitor(*index);
  return 0;
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
  return qm::Run(argc, argv);
}
