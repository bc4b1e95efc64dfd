// latency_mirror: a read-only FUSE mirror of a folder that waits a fixed time for every
// folder listing, the way a network share costs one round trip per listing. Looking an
// entry up and asking for its attributes cost nothing extra (and the kernel keeps them for
// an hour), so a walk over the mount spends its time waiting for listings, and walks that
// list several folders at once overlap their waits: requests run on many threads.
//
//   latency_mirror [-o delay_ms=N] [-f] [FUSE options] SOURCE MOUNTPOINT
//
// Sizes, times, types and inode numbers are the source's own (use_ino), so a walk that
// compares a folder it opened with what the listing's lstat saw finds them equal. Unmount
// with `fusermount3 -u MOUNTPOINT`.

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
#include <time.h>
#include <unistd.h>

namespace {

struct Options {
  unsigned delayMs = 5;
  char* source = nullptr;
  int help = 0;
};

Options gOptions;
// The source folder, opened once; every path is looked up below it with the *at calls.
int gSourceFd = -1;

const fuse_opt kOptionSpecs[] = {
    {"delay_ms=%u", offsetof(Options, delayMs), 0},
    {"-h", offsetof(Options, help), 1},
    {"--help", offsetof(Options, help), 1},
    FUSE_OPT_END,
};

// FUSE paths start with '/'; below the source folder they are relative, and the root is ".".
const char* Relative(const char* path) {
  while (*path == '/') ++path;
  return *path == '\0' ? "." : path;
}

int MirrorGetattr(const char* path, struct stat* st, fuse_file_info*) {
  return fstatat(gSourceFd, Relative(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

int MirrorReadlink(const char* path, char* buffer, size_t size) {
  if (size == 0) return -EINVAL;
  ssize_t length = readlinkat(gSourceFd, Relative(path), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

int MirrorOpen(const char* path, fuse_file_info* fi) {
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  int fd = openat(gSourceFd, Relative(path), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -errno;
  fi->fh = static_cast<uint64_t>(fd);
  return 0;
}

int MirrorRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  ssize_t got = pread(static_cast<int>(fi->fh), buffer, size, offset);
  return got < 0 ? -errno : static_cast<int>(got);
}

int MirrorRelease(const char*, fuse_file_info* fi) {
  close(static_cast<int>(fi->fh));
  return 0;
}

int MirrorStatfs(const char*, struct statvfs* st) {
  return fstatvfs(gSourceFd, st) == 0 ? 0 : -errno;
}

// The directory stream lives in fh. Neither keep_cache nor cache_readdir is set: the kernel
// must ask again for every listing, so every walk pays the delay.
int MirrorOpendir(const char* path, fuse_file_info* fi) {
  int fd = openat(gSourceFd, Relative(path), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -errno;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    int error = errno;
    close(fd);
    return -error;
  }
  fi->fh = reinterpret_cast<uintptr_t>(dir);
  return 0;
}

void Wait(unsigned milliseconds) {
  timespec left = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// Hands the whole listing over in one call (the filler's offsets are 0), so the library
// keeps it and answers the kernel's later requests for the same listing from memory: the
// delay is paid once per listing, whatever its length. A rewind asks again, and waits again.
int MirrorReaddir(const char*, void* buffer, fuse_fill_dir_t filler, off_t, fuse_file_info* fi,
                  fuse_readdir_flags) {
  DIR* dir = reinterpret_cast<DIR*>(fi->fh);
  Wait(gOptions.delayMs);
  rewinddir(dir);
  errno = 0;
  while (dirent* item = readdir(dir)) {
    struct stat st;
    memset(&st, 0, sizeof st);
    st.st_ino = item->d_ino;
    st.st_mode = DTTOIF(item->d_type);
    if (filler(buffer, item->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) {
      return -ENOMEM;
    }
    errno = 0;
  }
  return errno == 0 ? 0 : -errno;
}

int MirrorReleasedir(const char*, fuse_file_info* fi) {
  closedir(reinterpret_cast<DIR*>(fi->fh));
  return 0;
}

// The tree does not change while it is mirrored, so the kernel may keep names and attributes
// as long as it likes: only listings cost time, as intended.
void* MirrorInit(fuse_conn_info*, fuse_config* config) {
  config->use_ino = 1;
  config->entry_timeout = 3600;
  config->attr_timeout = 3600;
  config->negative_timeout = 3600;
  return nullptr;
}

fuse_operations MirrorOperations() {
  fuse_operations ops;
  memset(&ops, 0, sizeof ops);
  ops.getattr = MirrorGetattr;
  ops.readlink = MirrorReadlink;
  ops.open = MirrorOpen;
  ops.read = MirrorRead;
  ops.release = MirrorRelease;
  ops.statfs = MirrorStatfs;
  ops.opendir = MirrorOpendir;
  ops.readdir = MirrorReaddir;
  ops.releasedir = MirrorReleasedir;
  ops.init = MirrorInit;
  return ops;
}

// The first word that is not an option names the source; the second is the mount point,
// left for fuse_main.
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
  if (gOptions.help || gOptions.source == nullptr) {
    fprintf(stderr,
            "usage: %s [-o delay_ms=N] [-f] [FUSE options] SOURCE MOUNTPOINT\n"
            "  mirrors SOURCE read-only at MOUNTPOINT, waiting N milliseconds (default 5)\n"
            "  for every folder listing; unmount with fusermount3 -u MOUNTPOINT\n",
            argv[0]);
    return gOptions.help ? 0 : 2;
  }
  gSourceFd = open(gOptions.source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (gSourceFd < 0) {
    fprintf(stderr, "latency_mirror: cannot open '%s': %s\n", gOptions.source, strerror(errno));
    return 1;
  }
  // Before the caller's options, so that they can override these. Up to 64 listings wait at
  // once (the library's default is 10), and idle threads are kept rather than ended and
  // started again (leaving max_idle_threads unset also makes libfuse 3.14 print a warning).
  fuse_opt_insert_arg(&args, 1,
                      "-oro,fsname=latency_mirror,subtype=latency_mirror,max_threads=64,"
                      "max_idle_threads=64");
  fuse_operations ops = MirrorOperations();
  int status = fuse_main(args.argc, args.argv, &ops, nullptr);
  fuse_opt_free_args(&args);
  close(gSourceFd);
  free(gOptions.source);
  return status;
}
