// fault_mirror: a read-write FUSE mirror of a folder that fails chosen operations with EIO,
// the way a dying disk or a broken network share does, so that tests can see what a walk
// and a run make of input/output errors:
//
//   - listing a folder named "eio-list" fails at once;
//   - listing a folder named "eio-after-N" gives its first N names, then fails;
//   - the status of any item named "eio-stat" cannot be read;
//   - reading a file named as the option eio_read says fails (-o eio_read=DATA.kvl).
//
//   fault_mirror [-o eio_read=NAME] [-f] [FUSE options] SOURCE MOUNTPOINT
//
// Everything else passes through to SOURCE, writes included (creating, renaming, linking,
// removing, modes and owners), so that catalogues can be written into the mirror too.
// Unmount with `fusermount3 -u MOUNTPOINT`.

#define FUSE_USE_VERSION 35

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct Options {
  char* eioRead = nullptr;
  char* source = nullptr;
};

Options gOptions;
int gSourceFd = -1;

const fuse_opt kOptionSpecs[] = {
    {"eio_read=%s", offsetof(Options, eioRead), 0},
    FUSE_OPT_END,
};

const char* Relative(const char* path) {
  while (*path == '/') ++path;
  return *path == '\0' ? "." : path;
}

const char* BaseName(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash == nullptr ? path : slash + 1;
}

int Result(int r) { return r == 0 ? 0 : -errno; }

int FaultGetattr(const char* path, struct stat* st, fuse_file_info*) {
  if (strcmp(BaseName(path), "eio-stat") == 0) return -EIO;
  return Result(fstatat(gSourceFd, Relative(path), st, AT_SYMLINK_NOFOLLOW));
}

int FaultReadlink(const char* path, char* buffer, size_t size) {
  if (size == 0) return -EINVAL;
  const ssize_t length = readlinkat(gSourceFd, Relative(path), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

int FaultMkdir(const char* path, mode_t mode) {
  return Result(mkdirat(gSourceFd, Relative(path), mode));
}
int FaultUnlink(const char* path) { return Result(unlinkat(gSourceFd, Relative(path), 0)); }
int FaultRmdir(const char* path) {
  return Result(unlinkat(gSourceFd, Relative(path), AT_REMOVEDIR));
}
int FaultSymlink(const char* target, const char* path) {
  return Result(symlinkat(target, gSourceFd, Relative(path)));
}
int FaultRename(const char* from, const char* to, unsigned int flags) {
  if (flags != 0) return -EINVAL;
  return Result(renameat(gSourceFd, Relative(from), gSourceFd, Relative(to)));
}
int FaultLink(const char* from, const char* to) {
  return Result(linkat(gSourceFd, Relative(from), gSourceFd, Relative(to), 0));
}
int FaultChmod(const char* path, mode_t mode, fuse_file_info* fi) {
  if (fi != nullptr) return Result(fchmod(static_cast<int>(fi->fh), mode));
  return Result(fchmodat(gSourceFd, Relative(path), mode, 0));
}
int FaultChown(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
  if (fi != nullptr) return Result(fchown(static_cast<int>(fi->fh), uid, gid));
  return Result(fchownat(gSourceFd, Relative(path), uid, gid, AT_SYMLINK_NOFOLLOW));
}
int FaultTruncate(const char* path, off_t size, fuse_file_info* fi) {
  if (fi != nullptr) return Result(ftruncate(static_cast<int>(fi->fh), size));
  const int fd = openat(gSourceFd, Relative(path), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  const int r = Result(ftruncate(fd, size));
  close(fd);
  return r;
}
int FaultUtimens(const char* path, const struct timespec times[2], fuse_file_info* fi) {
  if (fi != nullptr) return Result(futimens(static_cast<int>(fi->fh), times));
  return Result(utimensat(gSourceFd, Relative(path), times, AT_SYMLINK_NOFOLLOW));
}

int FaultOpen(const char* path, fuse_file_info* fi) {
  const int fd = openat(gSourceFd, Relative(path), (fi->flags & ~O_CREAT) | O_CLOEXEC);
  if (fd < 0) return -errno;
  fi->fh = static_cast<uint64_t>(fd);
  return 0;
}
int FaultCreate(const char* path, mode_t mode, fuse_file_info* fi) {
  const int fd = openat(gSourceFd, Relative(path), fi->flags | O_CLOEXEC, mode);
  if (fd < 0) return -errno;
  fi->fh = static_cast<uint64_t>(fd);
  return 0;
}
int FaultRead(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  if (gOptions.eioRead != nullptr && strcmp(BaseName(path), gOptions.eioRead) == 0) return -EIO;
  const ssize_t got = pread(static_cast<int>(fi->fh), buffer, size, offset);
  return got < 0 ? -errno : static_cast<int>(got);
}
int FaultWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  const ssize_t put = pwrite(static_cast<int>(fi->fh), buffer, size, offset);
  return put < 0 ? -errno : static_cast<int>(put);
}
int FaultFsync(const char*, int, fuse_file_info* fi) {
  return Result(fsync(static_cast<int>(fi->fh)));
}
int FaultRelease(const char*, fuse_file_info* fi) {
  close(static_cast<int>(fi->fh));
  return 0;
}
int FaultStatfs(const char*, struct statvfs* st) { return Result(fstatvfs(gSourceFd, st)); }

// A listing is read whole when the folder is opened; readdir then hands it out by offset,
// so that a failure after N names reaches the reader after it has had those N.
struct Listing {
  std::vector<std::string> names;
  size_t failAfter = static_cast<size_t>(-1);
};

int FaultOpendir(const char* path, fuse_file_info* fi) {
  const char* base = BaseName(path);
  if (strcmp(base, "eio-list") == 0) return -EIO;
  const int fd = openat(gSourceFd, Relative(path), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -errno;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    const int error = errno;
    close(fd);
    return -error;
  }
  auto* listing = new Listing;
  while (const dirent* item = readdir(dir)) {
    const char* name = item->d_name;
    if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) listing->names.emplace_back(name);
  }
  closedir(dir);
  if (strncmp(base, "eio-after-", 10) == 0) listing->failAfter = strtoul(base + 10, nullptr, 10);
  fi->fh = reinterpret_cast<uintptr_t>(listing);
  return 0;
}

int FaultReaddir(const char*, void* buffer, fuse_fill_dir_t filler, off_t offset,
                 fuse_file_info* fi, fuse_readdir_flags) {
  const Listing* listing = reinterpret_cast<const Listing*>(fi->fh);
  for (size_t i = static_cast<size_t>(offset); i < listing->names.size(); ++i) {
    if (i >= listing->failAfter) return i == static_cast<size_t>(offset) ? -EIO : 0;
    if (filler(buffer, listing->names[i].c_str(), nullptr, static_cast<off_t>(i + 1),
               static_cast<fuse_fill_dir_flags>(0)) != 0) {
      break;
    }
  }
  return 0;
}

int FaultReleasedir(const char*, fuse_file_info* fi) {
  delete reinterpret_cast<Listing*>(fi->fh);
  return 0;
}

void* FaultInit(fuse_conn_info*, fuse_config* config) {
  config->use_ino = 1;
  // Nothing is cached: every status and listing comes from here, faults included.
  config->entry_timeout = 0;
  config->attr_timeout = 0;
  config->negative_timeout = 0;
  return nullptr;
}

fuse_operations FaultOperations() {
  fuse_operations ops;
  memset(&ops, 0, sizeof ops);
  ops.getattr = FaultGetattr;
  ops.readlink = FaultReadlink;
  ops.mkdir = FaultMkdir;
  ops.unlink = FaultUnlink;
  ops.rmdir = FaultRmdir;
  ops.symlink = FaultSymlink;
  ops.rename = FaultRename;
  ops.link = FaultLink;
  ops.chmod = FaultChmod;
  ops.chown = FaultChown;
  ops.truncate = FaultTruncate;
  ops.utimens = FaultUtimens;
  ops.open = FaultOpen;
  ops.create = FaultCreate;
  ops.read = FaultRead;
  ops.write = FaultWrite;
  ops.fsync = FaultFsync;
  ops.release = FaultRelease;
  ops.statfs = FaultStatfs;
  ops.opendir = FaultOpendir;
  ops.readdir = FaultReaddir;
  ops.releasedir = FaultReleasedir;
  ops.init = FaultInit;
  return ops;
}

int TakeSource(void* data, const char* arg, int key, fuse_args*) {
  Options* options = static_cast<Options*>(data);
  if (key == FUSE_OPT_KEY_NONOPT && options->source == nullptr) {
    options->source = strdup(arg);
    return 0;
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  fuse_args args = FUSE_ARGS_INIT(argc, argv);
  if (fuse_opt_parse(&args, &gOptions, kOptionSpecs, TakeSource) != 0) return 2;
  if (gOptions.source == nullptr) {
    fprintf(stderr, "usage: %s [-o eio_read=NAME] [-f] [FUSE options] SOURCE MOUNTPOINT\n",
            argv[0]);
    return 2;
  }
  gSourceFd = open(gOptions.source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (gSourceFd < 0) {
    fprintf(stderr, "fault_mirror: cannot open '%s': %s\n", gOptions.source, strerror(errno));
    return 1;
  }
  // Other users (the runs of an ordinary user) may use the mirror, with the source's own
  // permissions; the process runs single-threaded, so its answers come in order.
  fuse_opt_insert_arg(&args, 1,
                      "-ofsname=fault_mirror,subtype=fault_mirror,default_permissions,"
                      "allow_other");
  fuse_opt_insert_arg(&args, 1, "-s");
  fuse_operations ops = FaultOperations();
  const int status = fuse_main(args.argc, args.argv, &ops, nullptr);
  fuse_opt_free_args(&args);
  close(gSourceFd);
  return status;
}
