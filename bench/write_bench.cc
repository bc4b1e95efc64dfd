// write_bench: times the catalogue writer alone. It fills a VolumeCatalog of about a
// million entries in memory, shaped as a walk would leave it, and has WriteCatalog write
// it (flush to disk included) several times, so that the writer's throughput can be set
// beside a plain copy of the same number of bytes.
//
//   write_bench [--entries N] [--runs R] [--file PATH]
//
// Defaults: 1,000,000 entries, 5 runs, /dev/shm/ledra-write-bench.kvl. Prints one line per
// run and a last line of key=value pairs (the median run) for scripts.

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "catalog/volume_catalog.h"
#include "platform/message_sink.h"
#include "platform/platform.h"

namespace {

constexpr uint64_t kSeed = 0x4C656472612D5742ull;
// A folder for every twelve files or so, as on the benchmark tree; never near the limit
// of 65,535 folders.
constexpr int64_t kEntriesPerFolder = 20;
constexpr int64_t kMaxFolders = 60000;
constexpr int kSubfoldersPerFolder = 8;

// splitmix64, so that every build writes the same catalogue.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return Next() % n; }

 private:
  uint64_t state_;
};

// About 20 bytes, 8 to 32.
std::string Name(Random& rng) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._- ";
  size_t length = 8 + rng.Below(9) + rng.Below(9) + rng.Below(9);
  std::string name(length, 'x');
  for (char& c : name) c = kChars[rng.Below(sizeof kChars - 1)];
  name.front() = 'N';
  return name;
}

// Fills the catalogue as a breadth-first walk leaves it: entries grouped by folder in
// folder order, the k-th folder entry naming folder k (size -k), and every FolderRecord
// holding its subtree's file count and byte total.
void FillCatalog(ledra::VolumeCatalog& catalog, int64_t entryCount) {
  Random rng(kSeed);
  int64_t folderCount = std::max<int64_t>(1, std::min(kMaxFolders, entryCount / kEntriesPerFolder));
  int64_t fileCount = std::max<int64_t>(0, entryCount - (folderCount - 1));

  catalog.root = "/dev/shm/";
  catalog.volumeName = "[/bench]";
  catalog.alias = "Bench";
  catalog.comment = "written by write_bench";
  catalog.serial = 0x1234ABCDu;
  catalog.freeSpaceMB = 1024.0f;
  catalog.UpdateDisplayName();

  catalog.folders.resize(static_cast<size_t>(folderCount));
  catalog.folders[0].path = "/bench";

  // Folder k > 0 lives in folder (k - 1) / kSubfoldersPerFolder: parents never decrease
  // with k, which keeps the folder entries in folder order.
  int64_t nextChild = 1;
  for (int64_t folder = 0; folder < folderCount; ++folder) {
    int64_t filesHere = fileCount / folderCount + (folder < fileCount % folderCount ? 1 : 0);
    int64_t childrenHere =
        std::min<int64_t>(kSubfoldersPerFolder, std::max<int64_t>(0, folderCount - nextChild));
    uint16_t index = static_cast<uint16_t>(folder);
    ledra::FolderRecord& record = catalog.folders[static_cast<size_t>(folder)];
    // Files and folders interleaved, as a directory listing delivers them.
    int64_t total = filesHere + childrenHere;
    int64_t childrenLeft = childrenHere;
    for (int64_t i = 0; i < total; ++i) {
      int32_t modified = static_cast<int32_t>(788918400 + rng.Below(946080000));
      bool folderNow = childrenLeft > 0 && (rng.Below(static_cast<uint64_t>(total - i)) <
                                            static_cast<uint64_t>(childrenLeft));
      if (folderNow) {
        catalog.AddEntry(Name(rng), modified, static_cast<int32_t>(-nextChild), index);
        ++nextChild;
        --childrenLeft;
      } else {
        int32_t size = static_cast<int32_t>(rng.Below(rng.Below(8) == 0 ? 1u << 30 : 65536));
        catalog.AddEntry(Name(rng), modified, size, index);
        record.fileCount += 1;
        record.totalSize += size;
      }
    }
  }
  // Subtree sums: a child always has a higher number than its parent.
  for (int64_t folder = folderCount - 1; folder > 0; --folder) {
    const ledra::FolderRecord& child = catalog.folders[static_cast<size_t>(folder)];
    ledra::FolderRecord& parent =
        catalog.folders[static_cast<size_t>((folder - 1) / kSubfoldersPerFolder)];
    parent.fileCount += child.fileCount;
    parent.totalSize += child.totalSize;
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool ParseCount(const char* text, int64_t min, int64_t max, int64_t* value) {
  char* end = nullptr;
  long long parsed = strtoll(text, &end, 10);
  if (end == text || *end != '\0' || parsed < min || parsed > max) return false;
  *value = parsed;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t entryCount = 1000000;
  int64_t runs = 5;
  std::string path = "/dev/shm/ledra-write-bench.kvl";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--entries" && hasValue && ParseCount(argv[i + 1], 1, 50000000, &entryCount)) {
      ++i;
    } else if (arg == "--runs" && hasValue && ParseCount(argv[i + 1], 1, 1000, &runs)) {
      ++i;
    } else if (arg == "--file" && hasValue) {
      path = argv[++i];
    } else {
      std::cerr << "usage: write_bench [--entries N] [--runs R] [--file PATH]\n";
      return 2;
    }
  }

  ledra::MessageSink errors(std::cerr);
  std::unique_ptr<ledra::Platform> platform = ledra::NewRealPlatform(errors);
  if (!platform->Start()) {
    std::cerr << "write_bench: the platform did not start\n";
    return 1;
  }

  auto fillStart = std::chrono::steady_clock::now();
  ledra::VolumeCatalog catalog;
  FillCatalog(catalog, entryCount);
  double fillSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - fillStart).count();
  catalog.filePath = path;
  printf("write_bench: %zu entries, %zu folders, filled in %.3f s\n", catalog.entries.size(),
         catalog.folders.size(), fillSeconds);

  std::vector<double> seconds;
  long long bytes = 0;
  for (int64_t run = 1; run <= runs; ++run) {
    // Each run creates the file afresh, as a catalogue run does.
    remove(path.c_str());
    auto start = std::chrono::steady_clock::now();
    int written = catalog.WriteCatalog(*platform);
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct stat info;
    if (written != 1 || stat(path.c_str(), &info) != 0) {
      std::cerr << "write_bench: WriteCatalog failed on run " << run << "\n";
      remove(path.c_str());
      return 1;
    }
    bytes = static_cast<long long>(info.st_size);
    seconds.push_back(elapsed);
    printf("run %lld: %lld bytes in %.4f s, %.1f MB/s\n", static_cast<long long>(run), bytes,
           elapsed, static_cast<double>(bytes) / elapsed / 1e6);
  }
  remove(path.c_str());

  double median = Median(seconds);
  double best = *std::min_element(seconds.begin(), seconds.end());
  printf(
      "entries=%zu bytes=%lld runs=%lld median_s=%.6f best_s=%.6f median_MBps=%.1f "
      "best_MBps=%.1f\n",
      catalog.entries.size(), bytes, static_cast<long long>(runs), median, best,
      static_cast<double>(bytes) / median / 1e6, static_cast<double>(bytes) / best / 1e6);
  return 0;
}
