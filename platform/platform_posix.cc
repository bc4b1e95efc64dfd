// The POSIX back end of the platform layer. Volume questions live in volume_posix.cc;
// this file holds folders, listings, files, the clock and the answers that stand in for
// the Windows version and free-space calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/volume_posix.h"

namespace ledra {
namespace {

// The one place an errno becomes an OsError. A missing folder on the way counts as
// missing, as Windows reports a missing path.
bool FailWithErrno(OsError* err) {
  const int code = errno;
  if (err != nullptr) {
    err->notFound = code == ENOENT || code == ENOTDIR;
    err->code = code;
    err->text = std::strerror(code);
  }
  return false;
}

struct DirDeleter {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirDeleter>;

// The folder a listing opens: "" stands for '/', whose walk root was normalised to
// nothing.
const char* ListedFolder(const std::string& folder) {
  return folder.empty() ? "/" : folder.c_str();
}

bool EqualsIgnoringAsciiCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsCatalogName(const char* name) {
  const size_t n = std::strlen(name);
  return n >= 4 && EqualsIgnoringAsciiCase(name + n - 4, ".kvl", 4);
}

// The walk's listing. It runs once per folder of a tree of possibly millions of items,
// so an item costs one readdir step and one fstatat, and no allocation beyond growing
// the caller's name string.
class PosixDirSearch final : public DirSearch {
 public:
  bool Start(const std::string& folder) override {
    pending_ = false;
    dir_.reset(opendir(ListedFolder(folder)));
    if (!dir_) return false;
    struct stat own;
    if (fstat(dirfd(dir_.get()), &own) != 0) {
      dir_.reset();
      return false;
    }
    folderDevice_ = own.st_dev;
    // The first item is fetched here so that a folder that yields nothing fails to start.
    pending_ = Advance();
    return pending_;
  }

  bool Next(DirItem& item) override {
    if (!pending_ && !Advance()) return false;
    pending_ = false;
    item.name.assign(entry_->d_name);
    if (isDots_) {
      item.isFolder = true;
      item.enterable = true;
      item.modified = 0;
      item.size = 0;
      return true;
    }
    item.isFolder = S_ISDIR(status_.st_mode);
    // A folder on another filesystem is recorded but not listed, as du -x decides.
    item.enterable = !item.isFolder || status_.st_dev == folderDevice_;
    item.modified = ClampTime(static_cast<int64_t>(status_.st_mtime));
    item.size = static_cast<uint64_t>(status_.st_size);
    return true;
  }

 private:
  // Moves to the next item whose status can be read. Links are not followed: a link is
  // recorded as a file of its own size. A read error ends the listing like its end.
  bool Advance() {
    if (!dir_) return false;
    const int fd = dirfd(dir_.get());
    while (const dirent* entry = readdir(dir_.get())) {
      // The walk passes the dots over, so they cost no status call.
      const char* name = entry->d_name;
      isDots_ = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
      if (isDots_ || fstatat(fd, name, &status_, AT_SYMLINK_NOFOLLOW) == 0) {
        entry_ = entry;
        return true;
      }
    }
    dir_.reset();  // frees the descriptor at once in a walk of many folders
    return false;
  }

  DirHandle dir_;
  dev_t folderDevice_ = 0;
  const dirent* entry_ = nullptr;
  struct stat status_ = {};
  bool pending_ = false;
  bool isDots_ = false;
};

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) close(fd_);
  }

  bool Read(void* buffer, size_t n, size_t* got, OsError* err) override {
    *got = 0;
    if (fd_ < 0) return Closed(err);
    ssize_t r;
    do {
      r = read(fd_, buffer, n);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return FailWithErrno(err);
    *got = static_cast<size_t>(r);
    return true;
  }

  bool Write(const void* buffer, size_t n, OsError* err) override {
    if (fd_ < 0) return Closed(err);
    const char* next = static_cast<const char*>(buffer);
    while (n > 0) {
      const ssize_t w = write(fd_, next, n);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return FailWithErrno(err);
      if (w == 0) {  // no progress and no error: a full device that does not say so
        errno = ENOSPC;
        return FailWithErrno(err);
      }
      next += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }

  bool Sync(OsError* err) override {
    if (fd_ < 0) return Closed(err);
    return fsync(fd_) == 0 || FailWithErrno(err);
  }

  bool Close(OsError* err) override {
    if (fd_ < 0) return true;
    // Linux frees the descriptor even when close fails, so it is never retried.
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0 || FailWithErrno(err);
  }

 private:
  static bool Closed(OsError* err) {
    errno = EBADF;
    return FailWithErrno(err);
  }

  int fd_;
};

class PosixPlatform final : public Platform {
 public:
  explicit PosixPlatform(MessageSink& errors) : Platform(errors) {}

  bool Start() override { return true; }

  char Separator() const override { return '/'; }

  bool CurrentFolder(std::string* folder) override {
    // glibc walks up the tree itself where the kernel refuses a path longer than a page,
    // so the buffer only has to grow.
    std::vector<char> buffer(1024);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return false;
      buffer.resize(buffer.size() * 2);
    }
    *folder = buffer.data();
    return true;
  }

  bool ChangeFolder(const std::string& folder) override {
    return !folder.empty() && chdir(folder.c_str()) == 0;
  }

  // A relative path is put below the current folder. Nothing is resolved: '.', '..' and
  // links stay as named; only runs of '/' become one.
  bool AbsolutePath(const std::string& path, std::string* absolute) override {
    if (path.empty()) return false;
    std::string joined;
    if (path[0] != '/') {
      if (!CurrentFolder(&joined)) return false;
      joined += '/';
    }
    joined += path;
    absolute->clear();
    absolute->reserve(joined.size());
    for (char c : joined) {
      if (c == '/' && !absolute->empty() && absolute->back() == '/') continue;
      *absolute += c;
    }
    return true;
  }

  bool SplitVolumeRoot(const std::string& devicePath, std::string* root,
                       std::string* remainder) override {
    std::string resolved;
    MountInfo mount;
    if (devicePath.empty() || !ResolvePath(devicePath, &resolved) || !FindMount(resolved, &mount)) {
      return false;
    }
    SplitAtMountPoint(resolved, mount.target, root, remainder);
    return true;
  }

  std::string PathBelowVolumeRoot(const std::string& normalisedRoot) override {
    std::string resolved;
    MountInfo mount;
    if (!ResolvePath(normalisedRoot.empty() ? "/" : normalisedRoot, &resolved) ||
        !FindMount(resolved, &mount)) {
      return normalisedRoot;
    }
    std::string root;
    std::string below;
    SplitAtMountPoint(resolved, mount.target, &root, &below);
    return below;
  }

  bool HasDriveLetters() const override { return false; }

  std::unique_ptr<DirSearch> NewDirSearch() override { return std::make_unique<PosixDirSearch>(); }

  // Catalogue files are found by their last four bytes, whatever their case, as Windows
  // matches "*.kvl"; the name '.kvl' itself (a volume without label) counts.
  std::vector<std::string> FindCatalogFiles(const std::string& folder) override {
    std::vector<std::string> paths;
    DirHandle dir(opendir(ListedFolder(folder)));
    if (!dir) return paths;
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    while (const dirent* entry = readdir(dir.get())) {
      if (IsCatalogName(entry->d_name)) paths.push_back(prefix + entry->d_name);
    }
    return paths;
  }

  // Windows decides existence without regard to case, and so the names chosen for new
  // catalogues never differ from an existing file in case alone.
  bool NameExists(const std::string& name) override {
    if (name.empty()) return false;
    DirHandle dir(opendir("."));
    if (!dir) return false;
    while (const dirent* entry = readdir(dir.get())) {
      if (std::strlen(entry->d_name) == name.size() &&
          EqualsIgnoringAsciiCase(entry->d_name, name.data(), name.size())) {
        return true;
      }
    }
    return false;
  }

  bool VolumeInformation(const std::string& root, const std::string& devicePath, std::string* label,
                         uint32_t* serial) override {
    return ReadVolumeIdentity(root, devicePath, label, serial);
  }

  DriveType DriveTypeOf(const std::string& root) override { return VolumeDriveType(root); }

  // POSIX answers as Windows NT, so the core takes the extended free-space call.
  bool Version(VersionInfo* info) override {
    info->platformId = 2;
    info->build = 0;
    return true;
  }

  bool LoadSystemModule(const std::string& module) override {
    return module.size() == 12 && EqualsIgnoringAsciiCase(module.data(), "KERNEL32.DLL", 12);
  }

  bool HasProcedure(const std::string& module, const std::string& name) override {
    return LoadSystemModule(module) && name == "GetDiskFreeSpaceExA";
  }

  bool FreeSpaceExtended(const std::string& path, FreeBytes* bytes) override {
    struct statvfs volume;
    if (statvfs(ListedFolder(path), &volume) != 0) return false;
    const uint64_t unit = volume.f_frsize;
    bytes->availableToCaller = static_cast<uint64_t>(volume.f_bavail) * unit;
    bytes->total = static_cast<uint64_t>(volume.f_blocks) * unit;
    bytes->totalFree = static_cast<uint64_t>(volume.f_bfree) * unit;
    return true;
  }

  // Never chosen on POSIX, since the extended call is always there: the filesystem's
  // fragments stand in for clusters of one sector each, counts capped at 32 bits.
  bool FreeSpaceClassic(const std::string& path, FreeClusters* clusters) override {
    struct statvfs volume;
    if (statvfs(ListedFolder(path), &volume) != 0) return false;
    constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
    clusters->sectorsPerCluster = 1;
    clusters->bytesPerSector = static_cast<uint32_t>(std::min<uint64_t>(volume.f_frsize, kMax));
    clusters->freeClusters = static_cast<uint32_t>(std::min<uint64_t>(volume.f_bfree, kMax));
    clusters->totalClusters = static_cast<uint32_t>(std::min<uint64_t>(volume.f_blocks, kMax));
    return true;
  }

  // O_NONBLOCK: a FIFO named like a catalogue must not block the run; it reads as empty.
  std::unique_ptr<File> OpenForReading(const std::string& path, OsError* err) override {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
      FailWithErrno(err);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<File> CreateForWriting(const std::string& path, OsError* err) override {
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
      FailWithErrno(err);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  bool Remove(const std::string& path, OsError* err) override {
    return unlink(path.c_str()) == 0 || FailWithErrno(err);
  }

  bool Rename(const std::string& from, const std::string& to, OsError* err) override {
    return rename(from.c_str(), to.c_str()) == 0 || FailWithErrno(err);
  }

  int32_t Now() override { return ClampTime(static_cast<int64_t>(time(nullptr))); }

  bool ErrorStreamIsTerminal(int* columns) override {
    if (isatty(STDERR_FILENO) == 0) return false;
    struct winsize size = {};
    *columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    return true;
  }
};

}  // namespace

std::unique_ptr<Platform> NewRealPlatform(MessageSink& errors) {
  return std::make_unique<PosixPlatform>(errors);
}

}  // namespace ledra
