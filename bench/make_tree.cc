// make_tree: builds the benchmark tree, the same every time. About 600,000 files in about
// 50,000 folders at scale 1, with names of 5 to 40 bytes, deep chains and wide folders.
// Files are sparse (only their length is set), so a tree that claims terabytes costs a few
// hundred megabytes of inodes. Standalone on purpose: it must build before the cataloguer
// does, and it needs nothing but POSIX.
//
//   make_tree TARGET [SCALE]
//   make_tree --version
//
// TARGET must not exist yet, or be an empty folder. SCALE (default 1) multiplies the
// folder and file counts; the handful of very large files is made at every scale.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Raise it whenever the tree made changes: bench/run.sh keeps a tree only while the
// generator reports the version that made it.
constexpr int kTreeVersion = 1;
constexpr uint64_t kSeed = 0x4C656472612D3031ull;
constexpr double kFoldersAtScale1 = 50000;
constexpr double kFilesAtScale1 = 600000;
constexpr double kChainsAtScale1 = 20;
// Version 5 of the catalogue numbers at most 65,535 folders, root included; a larger tree
// is written in version 6.
constexpr int64_t kVersion5Folders = 65535;
// Folders deeper than this stop taking new children by chance; the chains go further.
constexpr int kUsualDepthLimit = 12;

// splitmix64: tiny, fast and the same on every compiler, unlike the standard
// distributions, whose output the library is free to change.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); n > 0. The modulo bias is far below anything a benchmark notices.
  uint64_t Below(uint64_t n) { return Next() % n; }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  uint64_t state_;
};

struct Folder {
  int64_t parent = -1;
  int depth = 0;
  std::string path;
  int64_t fileCount = 0;
};

const char kAlnum[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
const char* const kExtensions[] = {"txt", "jpg", "JPG", "cc",  "h",   "pdf", "mp3", "dat",
                                   "log", "tmp", "bak", "png", "doc", "xml", "gz",  "html"};

char AlnumChar(Random& rng) { return kAlnum[rng.Below(sizeof kAlnum - 1)]; }

// A base name of `length` bytes: starts and ends with a letter or digit, holds now and
// then a '.', '-', '_' or a space, never two separators in a row.
std::string BaseName(Random& rng, size_t length) {
  std::string name;
  name.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    bool edge = i == 0 || i + 1 == length;
    bool afterSeparator = !name.empty() && !isalnum(static_cast<unsigned char>(name.back()));
    uint64_t r = rng.Below(100);
    if (edge || afterSeparator || r >= 10) {
      name += AlnumChar(rng);
    } else if (r < 3) {
      name += ' ';
    } else if (r < 6) {
      name += '.';
    } else if (r < 8) {
      name += '-';
    } else {
      name += '_';
    }
  }
  return name;
}

// 5 to 40 bytes, mostly around 20; files often carry an extension.
std::string EntryName(Random& rng, bool isFile) {
  size_t length = 5 + rng.Below(12) + rng.Below(12) + rng.Below(14);
  if (isFile && length >= 7 && rng.Below(100) < 60) {
    std::string ext = kExtensions[rng.Below(sizeof kExtensions / sizeof kExtensions[0])];
    return BaseName(rng, length - 1 - ext.size()) + "." + ext;
  }
  return BaseName(rng, length);
}

// Mostly small files, as on a real disk, with a long tail of big ones.
int64_t SmallFileSize(Random& rng) {
  uint64_t r = rng.Below(1000);
  if (r < 50) return 0;
  if (r < 400) return static_cast<int64_t>(1 + rng.Below(1024));
  if (r < 800) return static_cast<int64_t>(1024 + rng.Below(63 * 1024));
  if (r < 995) return static_cast<int64_t>(65536 + rng.Below((16 << 20) - 65536));
  return static_cast<int64_t>((16 << 20) + rng.Below(1008ull << 20));
}

// Last-write times from 1995 to 2024.
int64_t UsualTime(Random& rng) { return 788918400 + static_cast<int64_t>(rng.Below(946080000)); }

// The files whose sizes do not fit 31 bits: the cataloguer stores 2147483647 for those of
// 2 GiB to 4 GiB and the low 32 bits beyond. Some carry times outside the 32-bit range.
struct LargeFile {
  int64_t size;
  int64_t modified;
};
const LargeFile kLargeFiles[] = {
    {3ll << 30, 1262304000},         {3ll << 30, 1388534400},
    {3ll << 30, 2208988800},  // 2040: beyond the 32-bit clock
    {(4ll << 30) + 100, 1420070400}, {(4ll << 30) + 100, 1451606400},
    {(4ll << 30) + 100, -157766400},  // 1965
    {2147483647ll, 1483228800},      {2147483648ll, 1514764800},
    {4ll << 30, 1546300800},         {(10ll << 30) + 7, 1577836800},
};

bool SetTimes(int dirFd, const char* name, int fd, int64_t modified) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(modified);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (fd >= 0) return futimens(fd, times) == 0;
  return utimensat(dirFd, name, times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool IsEmptyFolder(const char* path) {
  DIR* dir = opendir(path);
  if (dir == nullptr) return false;
  bool empty = true;
  while (struct dirent* item = readdir(dir)) {
    if (strcmp(item->d_name, ".") != 0 && strcmp(item->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

void Fail(const std::string& what, const std::string& path) {
  fprintf(stderr, "make_tree: %s '%s': %s\n", what.c_str(), path.c_str(), strerror(errno));
  exit(1);
}

// Plans the folder tree: parents always precede their children, so folders can be made
// in index order. A few long chains give depth; hub folders collect many subfolders.
std::vector<Folder> PlanFolders(Random& rng, int64_t folderCount, int64_t chainCount) {
  std::vector<Folder> folders(static_cast<size_t>(folderCount));
  std::vector<int64_t> hubs = {0};
  int64_t chainEvery = folderCount / (chainCount + 1);
  int64_t chainsMade = 0;
  int64_t k = 1;
  while (k < folderCount) {
    if (chainEvery > 0 && chainsMade < chainCount && k >= chainEvery * (chainsMade + 1)) {
      ++chainsMade;
      int64_t parent = static_cast<int64_t>(rng.Below(static_cast<uint64_t>(k)));
      int64_t length = 10 + static_cast<int64_t>(rng.Below(11));
      for (int64_t i = 0; i < length && k < folderCount; ++i, ++k) {
        folders[k].parent = parent;
        folders[k].depth = folders[parent].depth + 1;
        parent = k;
      }
      continue;
    }
    uint64_t r = rng.Below(100);
    int64_t parent;
    if (r < 35) {
      parent = hubs[rng.Below(hubs.size())];
    } else if (r < 75) {
      int64_t window = std::min<int64_t>(k, 64);
      parent = k - 1 - static_cast<int64_t>(rng.Below(static_cast<uint64_t>(window)));
    } else {
      parent = static_cast<int64_t>(rng.Below(static_cast<uint64_t>(k)));
    }
    if (folders[parent].depth >= kUsualDepthLimit) parent = hubs[rng.Below(hubs.size())];
    folders[k].parent = parent;
    folders[k].depth = folders[parent].depth + 1;
    if (rng.Below(1000) < 2 && folders[k].depth < 6) hubs.push_back(k);
    ++k;
  }
  return folders;
}

// Spreads the files over the folders by weight: some folders stay empty, most hold a few
// files, a few hundred hold hundreds, and three hold thousands.
void PlanFileCounts(Random& rng, std::vector<Folder>& folders, int64_t fileCount) {
  std::vector<double> cumulative(folders.size());
  double total = 0;
  for (size_t i = 0; i < folders.size(); ++i) {
    uint64_t r = rng.Below(1000);
    double weight;
    if (r < 100) {
      weight = 0;
    } else if (r < 850) {
      weight = 1 + static_cast<double>(rng.Below(10));
    } else if (r < 995) {
      weight = 20 + static_cast<double>(rng.Below(80));
    } else {
      weight = 500 + static_cast<double>(rng.Below(2000));
    }
    total += weight;
    cumulative[i] = total;
  }
  // Three giant folders, each with about 1.5% of all files.
  for (int g = 0; g < 3 && !folders.empty(); ++g) {
    size_t giant = static_cast<size_t>(rng.Below(folders.size()));
    double extra = total * 0.015;
    for (size_t i = giant; i < folders.size(); ++i) cumulative[i] += extra;
    total += extra;
  }
  if (total <= 0) {
    folders[0].fileCount = fileCount;
    return;
  }
  for (int64_t f = 0; f < fileCount; ++f) {
    double point = rng.Unit() * total;
    size_t i = static_cast<size_t>(std::upper_bound(cumulative.begin(), cumulative.end(), point) -
                                   cumulative.begin());
    if (i >= folders.size()) i = folders.size() - 1;
    ++folders[i].fileCount;
  }
}

// Creates one sparse file in `dirFd`, retrying with a fresh name when a sibling already
// has the one drawn. Returns the name it got.
std::string MakeFile(Random& rng, int dirFd, const std::string& folderPath, int64_t size,
                     int64_t modified) {
  for (;;) {
    std::string name = EntryName(rng, true);
    int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      Fail("cannot create", folderPath + "/" + name);
    }
    if (size > 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) {
      Fail("cannot set the size of", folderPath + "/" + name);
    }
    // A file system that cannot hold the time keeps its nearest; good enough here.
    SetTimes(dirFd, nullptr, fd, modified);
    close(fd);
    return name;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("make_tree %d\n", kTreeVersion);
    return 0;
  }
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: make_tree TARGET [SCALE]\n");
    return 2;
  }
  std::string target = argv[1];
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  double scale = 1.0;
  if (argc == 3) {
    char* end = nullptr;
    scale = strtod(argv[2], &end);
    if (end == argv[2] || *end != '\0' || !(scale > 0) || scale > 100) {
      fprintf(stderr, "make_tree: SCALE must be a number above 0 and at most 100\n");
      return 2;
    }
  }

  int64_t folderCount = std::max<int64_t>(1, std::llround(kFoldersAtScale1 * scale));
  int64_t fileCount = std::llround(kFilesAtScale1 * scale);
  int64_t chainCount = std::max<int64_t>(1, std::llround(kChainsAtScale1 * scale));
  if (folderCount > kVersion5Folders) {
    fprintf(stderr, "make_tree: %lld folders: more than version 5 numbers, a version-6 catalogue\n",
            static_cast<long long>(folderCount));
  }

  if (mkdir(target.c_str(), 0755) != 0) {
    if (errno != EEXIST || !IsEmptyFolder(target.c_str())) {
      if (errno == EEXIST) errno = ENOTEMPTY;
      Fail("cannot use", target);
    }
  }

  Random rng(kSeed);
  std::vector<Folder> folders = PlanFolders(rng, folderCount, chainCount);
  PlanFileCounts(rng, folders, fileCount);

  // Folders first, in index order, so every parent exists before its children.
  folders[0].path = target;
  int maxDepth = 0;
  for (size_t k = 1; k < folders.size(); ++k) {
    Folder& folder = folders[k];
    maxDepth = std::max(maxDepth, folder.depth);
    const std::string& parentPath = folders[static_cast<size_t>(folder.parent)].path;
    for (;;) {
      folder.path = parentPath + "/" + EntryName(rng, false);
      if (mkdir(folder.path.c_str(), 0755) == 0) break;
      if (errno != EEXIST) Fail("cannot create", folder.path);
    }
  }

  // Then the files, one folder at a time through its descriptor.
  int64_t apparentBytes = 0;
  for (size_t k = 0; k < folders.size(); ++k) {
    Folder& folder = folders[k];
    if (folder.fileCount == 0) continue;
    int dirFd = open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) Fail("cannot open", folder.path);
    for (int64_t f = 0; f < folder.fileCount; ++f) {
      int64_t size = SmallFileSize(rng);
      MakeFile(rng, dirFd, folder.path, size, UsualTime(rng));
      apparentBytes += size;
    }
    close(dirFd);
  }
  // The large files land in folders drawn by the same generator, at every scale.
  int64_t largeCount = 0;
  for (const LargeFile& file : kLargeFiles) {
    const Folder& folder = folders[static_cast<size_t>(rng.Below(folders.size()))];
    int dirFd = open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) Fail("cannot open", folder.path);
    MakeFile(rng, dirFd, folder.path, file.size, file.modified);
    close(dirFd);
    apparentBytes += file.size;
    ++largeCount;
  }

  // Last, the folder times: creating entries in a folder moves its own time.
  for (size_t k = folders.size(); k-- > 0;) {
    if (!SetTimes(AT_FDCWD, folders[k].path.c_str(), -1, UsualTime(rng))) {
      Fail("cannot set the time of", folders[k].path);
    }
  }

  printf(
      "make_tree: %s: %lld folders (root included), %lld files, %lld bytes apparent, "
      "depth up to %d\n",
      target.c_str(), static_cast<long long>(folders.size()),
      static_cast<long long>(fileCount + largeCount), static_cast<long long>(apparentBytes),
      maxDepth);
  return 0;
}
