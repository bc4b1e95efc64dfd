// The POSIX back end of the platform layer. Volume questions go to a VolumeProbe
// (volume_probe_linux.cc for the cataloguer); this file holds folders, listings, files, the clock
// and the answers that stand in for the Windows version and free-space calls.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/byte_text.h"
#include "platform/platform.h"
#include "platform/stdio_output.h"
#include "platform/volume_probe_posix.h"

namespace ledra {
namespace {

// The text of strerror_r, whichever of its two forms the C library declares: the walk's
// searches fail on several threads at once, and strerror may share one buffer.
[[maybe_unused]] const char* ErrnoText(int result, const char* buffer) {
  return result == 0 ? buffer : "unknown error";
}
[[maybe_unused]] const char* ErrnoText(const char* result, const char*) { return result; }

// The one place an errno becomes an OsError. A missing folder on the way counts as
// missing, as Windows reports a missing path.
bool FailWithErrno(OsError* err) {
  const int code = errno;
  if (err != nullptr) {
    err->notFound = code == ENOENT || code == ENOTDIR;
    err->denied = code == EACCES || code == EPERM;
    err->code = code;
    char buffer[256];
    err->text = ErrnoText(strerror_r(code, buffer, sizeof buffer), buffer);
  }
  return false;
}

bool NotRegular(OsError* err) {
  errno = EINVAL;
  FailWithErrno(err);
  if (err != nullptr) {
    err->notRegular = true;
    err->text = "not a plain file";
  }
  return false;
}

// A folder that is no longer what its parent's listing saw: swapped for a link, a file or
// another folder while the walk ran.
bool Replaced(OsError* err) {
  if (err != nullptr) {
    *err = OsError{};
    err->code = ELOOP;
    err->text = "it was replaced during the walk";
  }
  return false;
}

// Opens the folder `path` below the open folder `base` one name at a time, following no
// link, so that neither a link nor PATH_MAX stands in the way. The caller keeps `base`.
// A new descriptor, or -1 with errno set.
int OpenFolderByNames(int base, const std::string& path) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  int at = fcntl(base, F_DUPFD_CLOEXEC, 0);
  size_t start = 0;
  while (at >= 0 && start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      const int next = openat(at, path.substr(start, end - start).c_str(), kFlags);
      const int saved = errno;
      close(at);
      errno = saved;
      at = next;
    }
    start = end + 1;
  }
  return at;
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

bool IsCatalogName(const char* name) {
  const size_t n = std::strlen(name);
  return n >= 4 && EqualsIgnoringAsciiCase(std::string_view(name + n - 4, 4), ".kvl");
}

// The walk's listing. It runs once per folder of a tree of possibly millions of items,
// so an item costs one readdir step and one fstatat, and no allocation beyond growing
// the caller's name string.
class PosixDirSearch final : public DirSearch {
 public:
  bool Start(const std::string& folder) override {
    pending_ = false;
    namesOnly_ = false;
    problems_.clear();
    dir_.reset(opendir(ListedFolder(folder)));
    if (!dir_ || !Begin(nullptr)) return false;
    Hold(folder);
    return true;
  }

  bool StartOrExplain(const std::string& folder, OsError* err) override {
    pending_ = false;
    // The names and kinds the listing gives already: no status call per item.
    namesOnly_ = true;
    dir_.reset(opendir(ListedFolder(folder)));
    if (!dir_) return FailWithErrno(err);
    if (Begin(nullptr)) return true;
    *err = OsError{};
    err->text = "reading it failed";
    return false;
  }

  bool StartBelow(const std::string& root, const std::string& folder, const FileIdentity& expected,
                  OsError* err) override {
    pending_ = false;
    namesOnly_ = false;
    problems_.clear();
    dir_.reset();
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    // From the deepest folder still held, a name at a time: in a walk, breadth first, the
    // parent of the folder at hand was most often listed a moment ago, and a deep tree
    // then costs one open per folder, not one per folder and level.
    bool fromHeld = false;
    int fd = OpenFromHeld(folder, &fromHeld);
    if (fromHeld) {
      // opened, or failed with errno telling why
    } else if (folder.size() < PATH_MAX) {
      fd = open(folder.c_str(), kFlags);
    } else {
      errno = ENAMETOOLONG;
    }
    if (fd < 0 && errno == ENAMETOOLONG && folder.compare(0, root.size(), root) == 0) {
      // Too long for one call: from the root down, one name at a time.
      const int rootFd = open(ListedFolder(root), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (rootFd >= 0) {
        fd = OpenFolderByNames(rootFd, folder.substr(root.size()));
        const int saved = errno;
        close(rootFd);
        errno = saved;
      }
    }
    // A link, or a file where a folder was, is a folder replaced since its listing.
    if (fd < 0) return errno == ELOOP || errno == ENOTDIR ? Replaced(err) : FailWithErrno(err);
    dir_.reset(fdopendir(fd));
    if (!dir_) {
      close(fd);
      return FailWithErrno(err);
    }
    if (!Begin(&expected)) {
      if (dir_) {
        dir_.reset();
        return Replaced(err);
      }
      if (err != nullptr) *err = OsError{};
      return false;
    }
    Hold(folder);
    return true;
  }

  ~PosixDirSearch() override {
    for (const HeldFolder& held : held_) close(held.fd);
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
    item.identity.volume = static_cast<uint64_t>(status_.st_dev);
    item.identity.file = static_cast<uint64_t>(status_.st_ino);
    return true;
  }

  void TakeProblems(std::vector<ListingProblem>* problems) override {
    problems->swap(problems_);
    problems_.clear();
  }

 private:
  // Reads the open folder's own status, checks it against `expected` when given, and
  // fetches the first item, so that a folder that yields nothing fails to start. False
  // with dir_ still open only on a mismatch.
  bool Begin(const FileIdentity* expected) {
    struct stat own;
    if (fstat(dirfd(dir_.get()), &own) != 0) {
      dir_.reset();
      return false;
    }
    if (expected != nullptr && (static_cast<uint64_t>(own.st_dev) != expected->volume ||
                                static_cast<uint64_t>(own.st_ino) != expected->file)) {
      return false;
    }
    folderDevice_ = own.st_dev;
    pending_ = Advance();
    return pending_;
  }

  // Moves to the next item whose status can be read. Links are not followed: a link is
  // recorded as a file of its own size. A read error ends the listing like its end, and
  // it and every status that could not be read are kept as problems; a name removed
  // since the listing read it is no problem.
  bool Advance() {
    if (!dir_) return false;
    const int fd = dirfd(dir_.get());
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(dir_.get());
      if (entry == nullptr) {
        if (errno != 0) problems_.push_back(ListingProblem{std::string(), ErrnoError()});
        break;
      }
      // The walk passes the dots over, so they cost no status call.
      const char* name = entry->d_name;
      isDots_ = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
      if (!isDots_ && namesOnly_ && entry->d_type != DT_UNKNOWN) {
        status_ = {};
        status_.st_mode = entry->d_type == DT_DIR ? S_IFDIR : S_IFREG;
        status_.st_dev = folderDevice_;
        entry_ = entry;
        return true;
      }
      if (isDots_ || fstatat(fd, name, &status_, AT_SYMLINK_NOFOLLOW) == 0) {
        entry_ = entry;
        return true;
      }
      if (errno != ENOENT) problems_.push_back(ListingProblem{name, ErrnoError()});
    }
    dir_.reset();  // frees the descriptor at once in a walk of many folders
    return false;
  }

  static OsError ErrnoError() {
    OsError err;
    FailWithErrno(&err);
    return err;
  }

  // The folder at `path` (found to be the one expected) stays open for the folders below
  // it; the oldest held is let go beyond kHeldFolders.
  void Hold(const std::string& path) {
    const int fd = fcntl(dirfd(dir_.get()), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return;
    if (held_.size() == kHeldFolders) {
      close(held_.front().fd);
      held_.pop_front();
    }
    held_.push_back(HeldFolder{path, fd});
  }

  // Opens `folder` below the deepest held folder that holds it, with *tried set; -1 with
  // errno when that fails, and -1 with *tried false when no held folder holds it.
  int OpenFromHeld(const std::string& folder, bool* tried) const {
    const HeldFolder* best = nullptr;
    for (const HeldFolder& held : held_) {
      if (folder.size() > held.path.size() + 1 && folder[held.path.size()] == '/' &&
          folder.compare(0, held.path.size(), held.path) == 0 &&
          (best == nullptr || held.path.size() > best->path.size())) {
        best = &held;
      }
    }
    *tried = best != nullptr;
    if (best == nullptr) return -1;
    return OpenFolderByNames(best->fd, folder.substr(best->path.size() + 1));
  }

  struct HeldFolder {
    std::string path;
    int fd;
  };
  // Enough for the parents of a breadth-first walk's next folders in most trees, few
  // enough for many searches at once (one per thread that reads ahead).
  static constexpr size_t kHeldFolders = 16;
  std::deque<HeldFolder> held_;

  DirHandle dir_;
  dev_t folderDevice_ = 0;
  const dirent* entry_ = nullptr;
  struct stat status_ = {};
  bool pending_ = false;
  bool namesOnly_ = false;  // a listing of names and kinds (StartOrExplain)
  bool isDots_ = false;
  std::vector<ListingProblem> problems_;
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

  // Owner first: a change of owner clears bits that the mode then sets again.
  bool TakeOverAccessFrom(const std::string& earlier, OsError* err) override {
    struct stat old;
    if (earlier.empty() || lstat(earlier.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return true;
    if (fd_ < 0) return Closed(err);
    struct stat status;
    if (fstat(fd_, &status) != 0) return FailWithErrno(err);
    if (!S_ISREG(status.st_mode)) return NotRegular(err);
    if (geteuid() == 0 && fchown(fd_, old.st_uid, old.st_gid) != 0) return FailWithErrno(err);
    return fchmod(fd_, old.st_mode & 0777) == 0 || FailWithErrno(err);
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

class PosixFolderLock final : public FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override { close(fd_); }

 private:
  int fd_;
};

class PosixPlatform final : public Platform {
 public:
  static constexpr const char* kLockFileName = ".ledra.lock";

  PosixPlatform(MessageSink& errors, std::unique_ptr<VolumeProbe> volumes)
      : Platform(errors), volumes_(std::move(volumes)) {}

  bool Start() override { return true; }

  std::unique_ptr<MappedFile> OpenForPositionalReads(const std::string& path,
                                                     OsError* err) override {
    return ledra::OpenForPositionalReads(path, err);
  }

  char Separator() const override { return '/'; }
  // Names and paths are UTF-8, whose bytes after the first of a character are never '/'.
  LeadByteTest LeadBytes() const override { return NoLeadBytes; }

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
    return volumes_ && volumes_->SplitVolumeRoot(devicePath, root, remainder);
  }

  std::string ListedMountPoint(const std::string& devicePath) override {
    return volumes_ ? volumes_->ListedMountPoint(devicePath) : std::string();
  }

  std::string PathBelowVolumeRoot(const std::string& normalisedRoot) override {
    return volumes_ ? volumes_->PathBelowVolumeRoot(normalisedRoot) : normalisedRoot;
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
      if (EqualsIgnoringAsciiCase(entry->d_name, name)) {
        return true;
      }
    }
    return false;
  }

  bool ListFolder(const std::string& folder, std::vector<FolderName>* names) override {
    names->clear();
    DirHandle dir(opendir(ListedFolder(folder)));
    if (!dir) return false;
    const int fd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      bool regular = entry->d_type == DT_REG;
      if (entry->d_type == DT_UNKNOWN) {
        struct stat status;
        regular = fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode);
      }
      names->push_back(FolderName{name, regular});
    }
    return true;
  }

  bool VolumeInformation(const std::string& root, const std::string& devicePath, std::string* label,
                         uint32_t* serial) override {
    return volumes_ && volumes_->VolumeInformation(root, devicePath, label, serial);
  }

  DriveType DriveTypeOf(const std::string& root) override {
    return volumes_ ? volumes_->DriveTypeOf(root) : DriveType::Unknown;
  }
  bool ListingsWait(const std::string& root) override {
    return volumes_ && volumes_->ListingsWait(root);
  }

  // POSIX answers as Windows NT, so the core takes the extended free-space call.
  bool Version(VersionInfo* info) override {
    info->platformId = 2;
    info->build = 0;
    return true;
  }

  bool LoadSystemModule(const std::string& module) override {
    return EqualsIgnoringAsciiCase(module, "KERNEL32.DLL");
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

  // O_NOFOLLOW and the status of what was opened: a link, a device or a FIFO planted under
  // a catalogue's name is never read. O_NONBLOCK: a FIFO must not block the open.
  std::unique_ptr<File> OpenForReading(const std::string& path, OsError* err) override {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
      if (errno == ELOOP)
        NotRegular(err);
      else
        FailWithErrno(err);
      return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      close(fd);
      NotRegular(err);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  // Blocking reads, so that a pipe or a FIFO is read to its real end.
  std::unique_ptr<File> OpenParameterFile(const std::string& path, OsError* err) override {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      FailWithErrno(err);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  // A new file may be read by whoever may list its folder, and by no one else: a root run
  // that catalogues a private tree into a private folder must not hand its names to every
  // user. So it takes the folder's permission bits without the execute bits, and the
  // umask limits them further (a folder of mode 0700 gives 0600).
  std::unique_ptr<File> CreateForWriting(const std::string& path, OsError* err) override {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat status;
    const mode_t mode = stat(folder.c_str(), &status) == 0 ? (status.st_mode & 0666) : 0600;
    const int fd =
        open(path.c_str(),
             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode);
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

  bool Link(const std::string& existing, const std::string& link, OsError* err) override {
    return ::link(existing.c_str(), link.c_str()) == 0 || FailWithErrno(err);
  }

  bool SyncFolder(const std::string& folder, OsError* err) override {
    const int fd = open(ListedFolder(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FailWithErrno(err);
    // Some filesystems cannot sync a folder and say so; there is nothing more to do.
    const bool done = fsync(fd) == 0 || errno == EINVAL || errno == EROFS || FailWithErrno(err);
    close(fd);
    return done;
  }

  // flock on a lock file of the folder that only this user can open: anyone may open the
  // folder itself, and a lock on it would let any user stop the run. The system lets go of
  // a killed run's lock; the file stays, since removing it would race with the next run.
  // Its name is no catalogue's and no temporary file's, so the catalogue set leaves it be.
  LockOutcome TryLockFolder(const std::string& folder, std::unique_ptr<FolderLock>* lock,
                            OsError* err) override {
    const int dir = open(ListedFolder(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
      FailWithErrno(err);
      return LockOutcome::Unsupported;
    }
    const int fd = openat(dir, kLockFileName,
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    const int saved = errno;
    close(dir);
    errno = saved;
    if (fd < 0) {
      if (errno == ELOOP) errno = EPERM;  // a link planted under the name
      FailWithErrno(err);
      err->text = "'" + std::string(kLockFileName) + "': " + err->text;
      return LockOutcome::Unsupported;
    }
    // Someone else's file, or one others may open, is no lock of this run's.
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
        ((status.st_mode & 0077) != 0 && fchmod(fd, 0600) != 0)) {
      close(fd);
      if (err != nullptr) {
        *err = OsError{};
        err->code = EPERM;
        err->text = "'" + std::string(kLockFileName) + "' is not a plain file of this user";
      }
      return LockOutcome::Unsupported;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      *lock = std::make_unique<PosixFolderLock>(fd);
      return LockOutcome::Held;
    }
    const bool busy = errno == EWOULDBLOCK || errno == EINTR;
    FailWithErrno(err);
    close(fd);
    return busy ? LockOutcome::Busy : LockOutcome::Unsupported;
  }

  // A root run must not create files among devices or in the kernel's own folders.
  bool EnterWorkingFolder(const std::string& folder, std::string* why) override {
    // Opened once and entered through the descriptor: a folder renamed away after this, or
    // a link put in its place, changes nothing for the run.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool entered = fd >= 0 && fchdir(fd) == 0;
    const int cause = errno;
    if (fd >= 0) close(fd);
    if (!entered) {
      *why = "cannot open the folder '" + EscapeControls(folder) + "': " + std::strerror(cause);
      return false;
    }
    // What was entered is judged by where it really is, which the current folder tells
    // ('/dev/shm' behind a link to it is still below '/dev').
    std::string real;
    if (!CurrentFolder(&real)) {
      *why = "cannot tell where the folder '" + EscapeControls(folder) +
             "' is: " + std::strerror(errno);
      return false;
    }
    for (const char* system : {"/dev", "/proc", "/sys"}) {
      for (const std::string& path : {folder, real}) {
        const size_t n = std::strlen(system);
        if (path.compare(0, n, system) == 0 && (path.size() == n || path[n] == '/')) {
          *why =
              std::string("catalogues are never written into the system folder '") + system + "'";
          return false;
        }
      }
    }
    return true;
  }

  int32_t Now() override { return ClampTime(static_cast<int64_t>(time(nullptr))); }

  void Pause(int milliseconds) override {
    struct timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
  }

  bool ErrorStreamIsTerminal(int* columns) override {
    if (isatty(STDERR_FILENO) == 0) return false;
    struct winsize size = {};
    *columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    return true;
  }

  bool OutputStreamIsTerminal() override { return isatty(STDOUT_FILENO) != 0; }

  std::unique_ptr<StandardOutput> OpenStandardOutput() override { return NewStdioOutput(); }

  std::unique_ptr<NameDecoder> NewCodePageDecoder(const std::string& codePage,
                                                  std::string* error) override {
    return NewSystemCodePageDecoder(codePage, error);
  }

  bool FactsOf(const std::string& path, FileFacts* facts, OsError* err) override {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return FailWithErrno(err);
    if (!S_ISREG(status.st_mode)) {
      if (err != nullptr) {
        *err = OsError();
        err->notRegular = true;
        err->text = "not a plain file";
      }
      return false;
    }
    facts->identity.volume = static_cast<uint64_t>(status.st_dev);
    facts->identity.file = static_cast<uint64_t>(status.st_ino);
    facts->size = static_cast<uint64_t>(status.st_size);
    facts->modifiedNanoseconds =
        static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return true;
  }

  bool MakeFolder(const std::string& path, OsError* err) override {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    const int code = errno;
    struct stat status;
    if (code == EEXIST && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return true;
    errno = code;
    return FailWithErrno(err);
  }

  bool EnvironmentValue(const std::string& name, std::string* value) override {
    const char* text = std::getenv(name.c_str());
    if (text == nullptr) return false;
    *value = text;
    return true;
  }

  bool UserCacheFolder(std::string* folder) override {
    std::string value;
    if (EnvironmentValue("XDG_CACHE_HOME", &value) && !value.empty() && value[0] == '/') {
      *folder = value;
      return true;
    }
    if (!EnvironmentValue("HOME", &value) || value.empty()) return false;
    *folder = WithoutTrailingSeparator(value) + "/.cache";
    return true;
  }

  PathKind KindOf(const std::string& path, bool followLinks) override {
    struct stat status;
    if ((followLinks ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0) {
      return PathKind::Missing;
    }
    if (S_ISREG(status.st_mode)) return PathKind::File;
    if (S_ISDIR(status.st_mode)) return PathKind::Folder;
    return PathKind::Other;
  }

 private:
  std::unique_ptr<VolumeProbe> volumes_;
};

}  // namespace

std::unique_ptr<Platform> NewPosixPlatform(MessageSink& errors,
                                           std::unique_ptr<VolumeProbe> volumes) {
  return std::make_unique<PosixPlatform>(errors, std::move(volumes));
}

std::unique_ptr<Platform> NewReaderPlatform(MessageSink& errors) {
  return NewPosixPlatform(errors, nullptr);
}

}  // namespace ledra
