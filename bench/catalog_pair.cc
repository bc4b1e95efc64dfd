// catalog_pair: writes two catalogues of the same large tree, before and after a known set
// of changes, for timing `ledra diff` and `ledra export` on a million entries without a
// tree of that size on disk.
//
//   catalog_pair OLD.kvl NEW.kvl [--entries N] [--one-name] [--other-volume]
//
// With --other-volume, NEW.kvl is the catalogue of another disk (its own label and serial)
// that holds the changed tree: a backup beside its original, for `ledra unique`.
// With --one-name, every file is named "????.jpg", as a code page that cannot spell the
// names leaves them, in folders of about 25,000: many entries then share one path, which
// diff must pair in linear time.
// The tree has N entries (default 1,000,000) in folders of about 24, eight subfolders to a
// folder. Between the two catalogues, of the files: one in 100 grows, one in 100 is touched,
// one in 200 moves to the folder after its own, one in 200 is removed, and one in 100 gets
// a new neighbour. Prints what it changed, so that a run can be checked against it.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "catalog/volume_catalog.h"
#include "platform/message_sink.h"
#include "platform/platform.h"

namespace {

constexpr int kSubfolders = 8;
constexpr int kEntriesPerFolder = 24;

struct Counts {
  int64_t grown = 0, touched = 0, moved = 0, removed = 0, added = 0;
};

// A mixing of the entry number, so that names and sizes look scattered but are the same on
// every run.
uint64_t Scatter(uint64_t n) {
  n = (n ^ (n >> 33)) * 0xff51afd7ed558ccdULL;
  n = (n ^ (n >> 33)) * 0xc4ceb9fe1a85ec53ULL;
  return n ^ (n >> 33);
}

// Lays out the tree breadth-first; with `changes`, applies them on the way. Folder totals
// are summed afterwards from the entries as written.
void Fill(ledra::VolumeCatalog& c, int64_t entries, bool oneName, bool otherVolume,
          Counts* changes) {
  c.root = "/mnt/bench/";
  c.volumeName = otherVolume ? "BACKUP" : "BENCH";
  c.serial = otherVolume ? 0xBE4C0002u : 0xBE4C0001u;
  c.UpdateDisplayName();
  const int64_t folders = std::max<int64_t>(
      1, std::min<int64_t>(60000, entries / (oneName ? 25000 : kEntriesPerFolder)));
  c.folders.resize(static_cast<size_t>(folders));
  const int64_t filesPerFolder = (entries - (folders - 1)) / folders;
  int64_t nextFolder = 1;
  int64_t fileNumber = 0;
  char name[64];
  // Files moving to the next folder: the table keeps each folder's entries together.
  struct Moved {
    std::string name;
    int32_t modified;
    int32_t size;
  };
  std::vector<Moved> moving;
  for (int64_t f = 0; f < folders; ++f) {
    const auto here = static_cast<uint16_t>(f);
    for (const Moved& m : moving) c.AddEntry(m.name, m.modified, m.size, here);
    moving.clear();
    for (int s = 0; s < kSubfolders && nextFolder < folders; ++s, ++nextFolder) {
      std::snprintf(name, sizeof name, "dir %06lld", static_cast<long long>(nextFolder));
      c.AddEntry(name, 1500000000, static_cast<int32_t>(-nextFolder), here);
    }
    for (int64_t i = 0; i < filesPerFolder; ++i, ++fileNumber) {
      const uint64_t r = Scatter(static_cast<uint64_t>(fileNumber));
      std::snprintf(name, sizeof name, "file-%llx.%s", static_cast<unsigned long long>(r >> 40),
                    (r & 3) == 0 ? "jpg" : ((r & 3) == 1 ? "txt" : "dat"));
      if (oneName) std::snprintf(name, sizeof name, "????.jpg");
      int32_t size = static_cast<int32_t>(r % ((r & 0x70) == 0 ? (1u << 30) : 65536));
      int32_t modified = static_cast<int32_t>(1000000000 + (r >> 36) % 600000000);
      if (changes != nullptr) {
        if (fileNumber % 200 == 7) {
          ++changes->removed;
          continue;
        }
        if (fileNumber % 100 == 11) size += 4096, ++changes->grown;
        if (fileNumber % 100 == 13) modified += 3600, ++changes->touched;
        if (fileNumber % 200 == 17 && f + 1 < folders) {
          moving.push_back({name, modified, size});
          ++changes->moved;
          continue;
        }
        if (fileNumber % 100 == 19) {
          c.AddEntry(std::string(name) + ".new", modified, size, here);
          ++changes->added;
        }
      }
      c.AddEntry(name, modified, size, here);
    }
  }
  for (const ledra::EntryRecord& e : c.entries) {
    if (e.IsFolder()) continue;
    c.folders[e.folderIndex].fileCount += 1;
    c.folders[e.folderIndex].totalSize += e.size;
  }
  for (int64_t f = folders - 1; f > 0; --f) {
    const ledra::FolderRecord& child = c.folders[static_cast<size_t>(f)];
    ledra::FolderRecord& parent = c.folders[static_cast<size_t>((f - 1) / kSubfolders)];
    parent.fileCount += child.fileCount;
    parent.totalSize += child.totalSize;
  }
}

}  // namespace

int main(int argc, char** argv) {
  int64_t entries = 1000000;
  bool oneName = false;
  bool otherVolume = false;
  bool understood = argc >= 3;
  for (int a = 3; understood && a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--entries" && a + 1 < argc) {
      entries = std::atoll(argv[++a]);
    } else if (arg == "--one-name") {
      oneName = true;
    } else if (arg == "--other-volume") {
      otherVolume = true;
    } else {
      understood = false;
    }
  }
  if (!understood) {
    std::cerr << "usage: catalog_pair OLD.kvl NEW.kvl [--entries N] [--one-name] "
                 "[--other-volume]\n";
    return 2;
  }
  if (entries < 1 || entries > 3000000) {
    std::cerr << "catalog_pair: --entries takes 1 to 3000000 (folders stay below 65,535)\n";
    return 2;
  }
  ledra::MessageSink errors(std::cerr);
  std::unique_ptr<ledra::Platform> platform = ledra::NewRealPlatform(errors);
  Counts counts;
  for (int side = 0; side < 2; ++side) {
    ledra::VolumeCatalog catalog;
    Fill(catalog, entries, oneName, side == 1 && otherVolume, side == 0 ? nullptr : &counts);
    catalog.filePath = argv[1 + side];
    if (catalog.WriteCatalog(*platform) != 1) return 1;
    std::printf("%s: %zu entries\n", argv[1 + side], catalog.entries.size());
  }
  std::printf("grown=%lld touched=%lld moved=%lld removed=%lld added=%lld\n",
              static_cast<long long>(counts.grown), static_cast<long long>(counts.touched),
              static_cast<long long>(counts.moved), static_cast<long long>(counts.removed),
              static_cast<long long>(counts.added));
  return 0;
}
