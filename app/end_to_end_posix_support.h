// What the Linux end-to-end tests need beyond plain folders: private folders that other
// users may enter, real volumes (a loop-mounted ext4 image with a chosen label and UUID,
// tmpfs mounts) that are always unmounted and detached again, the program started as a
// separate process with its two streams caught byte for byte, and the filesystem facts
// the catalogue checker asks of the native system.
#ifndef LEDRA_APP_END_TO_END_POSIX_SUPPORT_H_
#define LEDRA_APP_END_TO_END_POSIX_SUPPORT_H_

#include <fcntl.h>
#include <ftw.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/catalog_reader_testing.h"

namespace ledra {
namespace e2e {

// A fresh folder under /tmp that every user may enter, removed with all it holds; a mount
// left below it by a failed unmount is never emptied.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/ledra-e2e-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      path_ = pattern;
      chmod(path_.c_str(), 0755);
    }
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    if (!path_.empty()) nftw(path_.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
  }
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Makes a folder below (mode 0755 unless given) and returns its path.
  std::string Folder(const std::string& name, mode_t mode = 0755) const {
    const std::string path = *this / name;
    mkdir(path.c_str(), mode);
    chmod(path.c_str(), mode);
    return path;
  }

 private:
  static int RemoveOne(const char* path, const struct stat*, int, FTW*) {
    remove(path);
    return 0;
  }
  std::string path_;
};

// Runs a shell command with the system folders on the path (mkfs, losetup and mount live
// in sbin); its output is kept as the reason of a failure. Returns the exit status.
inline int RunCommand(const std::string& command, std::string* output) {
  const std::string full = "PATH=\"$PATH:/usr/sbin:/sbin\" " + command + " 2>&1";
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe == nullptr) {
    *output = std::strerror(errno);
    return -1;
  }
  char buffer[256];
  output->clear();
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) *output += buffer;
  const int status = pclose(pipe);
  if (output->empty()) *output = command + " failed";
  return status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

// The mounts and loop devices one test made. They are unmounted in reverse order and the
// loop devices detached when the test ends, also when it fails half-way.
class MountStack {
 public:
  MountStack() = default;
  MountStack(const MountStack&) = delete;
  MountStack& operator=(const MountStack&) = delete;
  ~MountStack() {
    for (auto it = targets_.rbegin(); it != targets_.rend(); ++it) {
      if (umount2(it->c_str(), 0) != 0) umount2(it->c_str(), MNT_DETACH);
    }
    for (const std::string& device : loops_) {
      const int fd = open(device.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      ioctl(fd, LOOP_CLR_FD, 0);
      close(fd);
    }
  }

  bool Tmpfs(const std::string& target, const std::string& options, std::string* why) {
    if (mount("tmpfs", target.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      *why = "mount -t tmpfs -o " + options + " " + target + ": " + std::strerror(errno);
      return false;
    }
    targets_.push_back(target);
    return true;
  }

  // Makes an ext4 image of `mib` MiB with the label and UUID, attaches it to a free loop
  // device and mounts it on `target`.
  bool LoopExt4(const std::string& image, const std::string& target, const std::string& label,
                const std::string& uuid, int mib, std::string* why) {
    if (geteuid() != 0) {
      *why = "loop mounts need root";
      return false;
    }
    const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool sized = fd >= 0 && ftruncate(fd, static_cast<off_t>(mib) << 20) == 0;
    if (fd >= 0) close(fd);
    if (!sized) {
      *why = "cannot make the image " + image + ": " + std::strerror(errno);
      return false;
    }
    std::string output;
    if (RunCommand("mkfs.ext4 -q -F -L '" + label + "' -U " + uuid + " '" + image + "'", &output) !=
        0) {
      *why = "mkfs.ext4 refused: " + output;
      return false;
    }
    if (RunCommand("losetup --find --show '" + image + "'", &output) != 0) {
      *why = "losetup refused: " + output;
      return false;
    }
    const std::string device = output.substr(0, output.find('\n'));
    loops_.push_back(device);
    if (mount(device.c_str(), target.c_str(), "ext4", 0, "") != 0) {
      *why = "mount " + device + " " + target + ": " + std::strerror(errno);
      return false;
    }
    targets_.push_back(target);
    return true;
  }

 private:
  std::vector<std::string> targets_;
  std::vector<std::string> loops_;
};

// What a separate process left: how it ended and its two streams, byte for byte.
struct ProcessResult {
  bool exited = false;
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadAllFrom(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Starts `argv` (argv[0] looked up on the path) in `folder`, its standard output and error
// caught in memory files, and waits for it.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& folder) {
  ProcessResult result;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int out = memfd_create("ledra-stdout", MFD_CLOEXEC);
  const int err = memfd_create("ledra-stderr", MFD_CLOEXEC);
  if (out < 0 || err < 0) {
    result.err = std::string("memfd_create: ") + std::strerror(errno);
    return result;
  }
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0) _exit(126);
    execvp(args[0], args.data());
    const std::string why = "exec " + argv[0] + ": " + std::strerror(errno) + "\n";
    if (write(2, why.data(), why.size()) < 0) _exit(127);
    _exit(127);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  }
  result.out = ReadAllFrom(out);
  result.err = ReadAllFrom(err);
  close(out);
  close(err);
  return result;
}

// The program itself, "LedraCmd -f <parameterFile>", after the given command prefix (such
// as setpriv with its options).
inline ProcessResult RunLedraCmd(const std::string& parameterFile,
                                 const std::vector<std::string>& prefix = {}) {
  std::vector<std::string> argv = prefix;
  argv.insert(argv.end(), {LEDRA_CMD_PATH, "-f", parameterFile});
  return RunProcess(argv, "/");
}

// As user and group 65534 (nobody), without supplementary groups.
inline const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=65534", "--regid=65534",
                                                   "--clear-groups"};
// As root without the capabilities that override file and folder permissions.
inline const std::vector<std::string> kWithoutPermissionOverride = {
    "setpriv", "--bounding-set=-dac_override,-dac_read_search",
    "--inh-caps=-dac_override,-dac_read_search"};

// The checker's questions answered by lstat: the filesystem an item lies on, and its
// last-write time.
inline TreeCheckOptions NativeCheckOptions() {
  TreeCheckOptions options;
  options.deviceOf = [](const std::string& path, uint64_t* device) {
    struct stat s;
    if (lstat(path.c_str(), &s) != 0) return false;
    *device = static_cast<uint64_t>(s.st_dev);
    return true;
  };
  options.modifiedOf = [](const std::string& path, int64_t* seconds) {
    struct stat s;
    if (lstat(path.c_str(), &s) != 0) return false;
    *seconds = static_cast<int64_t>(s.st_mtime);
    return true;
  };
  return options;
}

inline bool MakeSymlink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

}  // namespace e2e
}  // namespace ledra

#endif  // LEDRA_APP_END_TO_END_POSIX_SUPPORT_H_
