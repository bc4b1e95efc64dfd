// What the tests on a real Linux machine share: a scratch folder that other users may
// enter, shell commands whose output becomes the reason of a failure, and the volumes a
// test mounts (tmpfs, bind mounts, a loop-mounted ext4 image with a chosen label and UUID),
// which are always unmounted and their loop devices detached again.
#ifndef LEDRA_PLATFORM_POSIX_TESTING_H_
#define LEDRA_PLATFORM_POSIX_TESTING_H_

#include <fcntl.h>
#include <ftw.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace ledra {
namespace test {

// A fresh folder under /tmp, removed with everything in it at the end. Other users may
// enter it, so that a child process without privilege can reach mounts below it.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/ledra-scratch-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      path_ = pattern;
      chmod(path_.c_str(), 0755);
    }
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    // FTW_MOUNT: a mount left behind by a failed unmount is never emptied.
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
// in sbin); its output, standard error included, is kept as the reason of a failure.
// Returns the exit status, or -1 when the command could not run or did not exit.
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
// loop devices detached when the test ends, also when it fails half-way. Each operation
// returns false with the reason in `why` when the mount is refused (tests then skip).
class MountStack {
 public:
  MountStack() = default;
  MountStack(const MountStack&) = delete;
  MountStack& operator=(const MountStack&) = delete;
  ~MountStack() {
    for (auto it = targets_.rbegin(); it != targets_.rend(); ++it) {
      if (umount2(it->c_str(), 0) != 0) umount2(it->c_str(), MNT_DETACH);
    }
    // A device still held by a lazily unmounted volume is let go when that ends.
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

  bool Bind(const std::string& source, const std::string& target, std::string* why) {
    if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      *why = "mount --bind " + source + " " + target + ": " + std::strerror(errno);
      return false;
    }
    targets_.push_back(target);
    return true;
  }

  // Unmounts the last mount made on `target` (as a disk is unplugged); its loop device
  // stays until the test ends.
  bool Unmount(const std::string& target, std::string* why) {
    for (auto it = targets_.rbegin(); it != targets_.rend(); ++it) {
      if (*it != target) continue;
      if (umount2(target.c_str(), 0) != 0) {
        *why = "umount " + target + ": " + std::strerror(errno);
        return false;
      }
      targets_.erase(std::next(it).base());
      return true;
    }
    *why = target + " was not mounted by this test";
    return false;
  }

  // Makes an ext4 image of `mib` MiB (sparse) with the label and UUID, attaches it to a
  // free loop device and mounts it on `target`.
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

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_PLATFORM_POSIX_TESTING_H_
