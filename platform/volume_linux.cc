#include "platform/volume_linux.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <libmount/libmount.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/byte_text.h"
#include "platform/path_text.h"
#include "platform/volume_serial.h"

#ifndef FSLABEL_MAX
#define FSLABEL_MAX 256
#endif
#ifndef FS_IOC_GETFSLABEL
#define FS_IOC_GETFSLABEL _IOR(0x94, 49, char[FSLABEL_MAX])
#endif

namespace ledra {
namespace {

// The answer of FS_IOC_GETFSUUID (Linux 6.8 on), laid out as the kernel's struct fsuuid2.
// Declared here because older kernel headers lack it; the request number depends only on
// the size, so it matches the kernel's wherever both exist.
struct FsUuidAnswer {
  uint8_t len;
  uint8_t uuid[16];
};
constexpr unsigned long kGetFsUuid = _IOR(0x15, 0, FsUuidAnswer);

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};
struct TableDeleter {
  void operator()(libmnt_table* t) const { mnt_unref_table(t); }
};
struct ProbeDeleter {
  void operator()(blkid_struct_probe* p) const { blkid_free_probe(p); }
};
struct DirDeleter {
  void operator()(DIR* d) const { closedir(d); }
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens a path for the filesystem ioctls. O_NONBLOCK keeps a FIFO or a device named as
// a device path from blocking the run.
int OpenForQuery(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

bool LabelByIoctl(int fd, std::string* label) {
  char buffer[FSLABEL_MAX + 1] = {};
  if (ioctl(fd, FS_IOC_GETFSLABEL, buffer) != 0) return false;
  label->assign(buffer, strnlen(buffer, FSLABEL_MAX));
  return true;
}

// Only a full 16-byte answer is taken: a shorter one is some filesystem's own id, whose
// byte order need not match what libblkid prints for the same disk, and root and other
// users must get the same serial number.
bool UuidByIoctl(int fd, std::string* uuid) {
  FsUuidAnswer answer = {};
  if (ioctl(fd, kGetFsUuid, &answer) != 0 || answer.len != sizeof(answer.uuid)) return false;
  *uuid = UuidTextFromBytes(answer.uuid, answer.len);
  return true;
}

bool ReadFirstByte(const std::string& path, char* byte) {
  Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd.get() >= 0 && read(fd.get(), byte, 1) == 1;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The block device a mount reads from, when its source names one.
bool MountBlockDevice(const MountInfo& mount, std::string* path, dev_t* device) {
  if (mount.source.empty() || mount.source[0] != '/') return false;
  struct stat status;
  if (stat(mount.source.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) return false;
  *path = mount.source;
  *device = status.st_rdev;
  return true;
}

}  // namespace

bool ResolvePath(const std::string& path, std::string* resolved) {
  std::unique_ptr<char, FreeDeleter> result(realpath(path.c_str(), nullptr));
  if (!result) return false;
  *resolved = result.get();
  return true;
}

bool FindMount(const std::string& resolvedPath, MountInfo* mount) {
  // Without a path cache libmount compares mount points as text and never touches the
  // other mounts, so a dead network mount cannot block the lookup.
  std::unique_ptr<libmnt_table, TableDeleter> table(
      mnt_new_table_from_file("/proc/self/mountinfo"));
  if (!table || resolvedPath.empty()) return false;
  libmnt_fs* fs = mnt_table_find_mountpoint(table.get(), resolvedPath.c_str(), MNT_ITER_BACKWARD);
  if (fs == nullptr || mnt_fs_get_target(fs) == nullptr) return false;
  mount->target = mnt_fs_get_target(fs);
  const char* fsType = mnt_fs_get_fstype(fs);
  mount->fsType = fsType ? fsType : "";
  const char* source = mnt_fs_get_source(fs);
  mount->source = source ? source : "";
  mount->device = mnt_fs_get_devno(fs);
  return true;
}

std::string FindListedMountPoint(const std::string& tableFile, const std::string& resolvedPath) {
  std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table_from_file(tableFile.c_str()));
  if (!table || resolvedPath.empty()) return std::string();
  // Up the path one folder at a time, by the text alone: the points of such a list need
  // not exist, nor be mounted, and nothing on the way is touched.
  std::string path = resolvedPath;
  for (;;) {
    libmnt_fs* fs = mnt_table_find_target(table.get(), path.c_str(), MNT_ITER_BACKWARD);
    if (fs != nullptr && mnt_fs_get_target(fs) != nullptr) return mnt_fs_get_target(fs);
    const size_t cut = path.find_last_of('/');
    if (cut == std::string::npos || path == "/") return std::string();
    path = cut == 0 ? "/" : path.substr(0, cut);
  }
}

void SplitAtMountPoint(const std::string& resolvedPath, const std::string& mountPoint,
                       std::string* root, std::string* remainder) {
  std::string point = mountPoint;
  while (point.size() > 1 && point.back() == '/') point.pop_back();
  if (point.empty() || point == "/") {
    *root = "/";
    *remainder = resolvedPath == "/" ? "" : resolvedPath;
    return;
  }
  *root = point + "/";
  *remainder = StartsWith(resolvedPath, point) ? resolvedPath.substr(point.size()) : resolvedPath;
}

DriveType DriveTypeForFsType(std::string_view fsType) {
  static constexpr std::string_view kRemote[] = {
      "nfs",         "nfs4",           "cifs",        "smb3",       "smbfs",
      "smb2",        "ncpfs",          "ncp",         "9p",         "afs",
      "ceph",        "glusterfs",      "lustre",      "coda",       "davfs",
      "orangefs",    "beegfs",         "gpfs",        "fuse.sshfs", "fuse.glusterfs",
      "fuse.ceph",   "fuse.ceph-fuse", "fuse.rclone", "fuse.s3fs",  "fuse.davfs2",
      "fuse.gcsfuse"};
  static constexpr std::string_view kCdRom[] = {"iso9660", "udf"};
  static constexpr std::string_view kRam[] = {"tmpfs", "ramfs", "devtmpfs"};
  for (std::string_view t : kRemote) {
    if (fsType == t) return DriveType::Remote;
  }
  for (std::string_view t : kCdRom) {
    if (fsType == t) return DriveType::CdRom;
  }
  for (std::string_view t : kRam) {
    if (fsType == t) return DriveType::RamDisk;
  }
  return DriveType::Fixed;
}

namespace {

// Whether the kernel calls the block device, or the disk that holds this partition,
// removable.
bool IsRemovableBlockDevice(dev_t device) {
  if (major(device) == 0) return false;  // no block device behind the filesystem
  const std::string base =
      "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
  char flag = 0;
  if (ReadFirstByte(base + "/removable", &flag)) return flag == '1';
  // A partition has no flag of its own; the kernel resolves '..' after the link, which
  // leads to the disk that holds it.
  return ReadFirstByte(base + "/../removable", &flag) && flag == '1';
}

}  // namespace

std::string DecodeUdevName(std::string_view name) {
  std::string decoded;
  decoded.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
        HexDigitValue(name[i + 2]) >= 0 && HexDigitValue(name[i + 3]) >= 0) {
      decoded += static_cast<char>(HexDigitValue(name[i + 2]) * 16 + HexDigitValue(name[i + 3]));
      i += 3;
    } else {
      decoded += name[i];
    }
  }
  return decoded;
}

bool FindDiskLinkName(const std::string& folder, dev_t device, std::string* name) {
  std::unique_ptr<DIR, DirDeleter> dir(opendir(folder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = readdir(dir.get())) {
    struct stat status;
    if (fstatat(dirfd(dir.get()), entry->d_name, &status, 0) == 0 && S_ISBLK(status.st_mode) &&
        status.st_rdev == device) {
      *name = DecodeUdevName(entry->d_name);
      return true;
    }
  }
  return false;
}

bool ProbeBlockDevice(const std::string& devicePath, const char* tag, std::string* value) {
  std::unique_ptr<blkid_struct_probe, ProbeDeleter> probe(
      blkid_new_probe_from_filename(devicePath.c_str()));
  if (!probe) return false;
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
  if (blkid_do_safeprobe(probe.get()) != 0) return false;
  const char* data = nullptr;
  size_t size = 0;
  if (blkid_probe_lookup_value(probe.get(), tag, &data, &size) != 0 || data == nullptr) {
    return false;
  }
  value->assign(data, strnlen(data, size));
  return true;
}

bool ReadVolumeIdentity(const std::string& root, const std::string& devicePath, std::string* label,
                        uint32_t* serial) {
  struct statvfs volume;
  if (root.empty() || statvfs(root.c_str(), &volume) != 0) return false;

  MountInfo mount;
  std::string resolvedRoot;
  std::string blockPath;
  dev_t blockDevice = 0;
  const bool haveBlock = ResolvePath(root, &resolvedRoot) && FindMount(resolvedRoot, &mount) &&
                         MountBlockDevice(mount, &blockPath, &blockDevice);

  // The ioctls need no privilege, but an open: the device path first, since a mount
  // point of mode 700 refuses other users.
  Descriptor query(OpenForQuery(devicePath.empty() ? root : devicePath));
  Descriptor rootQuery(query.get() < 0 && !devicePath.empty() ? OpenForQuery(root) : -1);
  const int fd = query.get() >= 0 ? query.get() : rootQuery.get();

  std::string text;
  const bool haveLabel = (fd >= 0 && LabelByIoctl(fd, &text)) ||
                         (haveBlock && ProbeBlockDevice(blockPath, "LABEL", &text)) ||
                         (haveBlock && FindDiskLinkName("/dev/disk/by-label", blockDevice, &text));
  *label = haveLabel ? CutAtCharacter(text, kLabelLimit, NoLeadBytes) : std::string();

  uint32_t value = 0;
  const bool haveSerial = (fd >= 0 && UuidByIoctl(fd, &text) && SerialFromUuidText(text, &value)) ||
                          (haveBlock && ProbeBlockDevice(blockPath, "UUID", &text) &&
                           SerialFromUuidText(text, &value)) ||
                          (haveBlock && FindDiskLinkName("/dev/disk/by-uuid", blockDevice, &text) &&
                           SerialFromUuidText(text, &value));
  *serial = haveSerial ? value : static_cast<uint32_t>(volume.f_fsid);
  return true;
}

DriveType VolumeDriveType(const std::string& root) {
  std::string resolved;
  if (!ResolvePath(root.empty() ? "/" : root, &resolved)) return DriveType::NoRootFolder;
  MountInfo mount;
  if (!FindMount(resolved, &mount)) return DriveType::Unknown;
  const DriveType type = DriveTypeForFsType(mount.fsType);
  if (type != DriveType::Fixed) return type;
  std::string blockPath;
  dev_t device = mount.device;
  MountBlockDevice(mount, &blockPath, &device);
  return IsRemovableBlockDevice(device) ? DriveType::Removable : DriveType::Fixed;
}

bool IsWaitingFilesystem(const std::string& path) {
  // The magic numbers of linux/magic.h and of filesystems that keep theirs to themselves.
  static constexpr uint32_t kWaiting[] = {
      0x6969,      // NFS
      0x517B,      // SMB
      0xFE534D42,  // SMB2
      0xFF534D42,  // CIFS
      0x65735546,  // FUSE (sshfs, glusterfs, rclone, ...)
      0x01021997,  // 9P
      0x5346414F,  // AFS
      0x6B414653,  // kAFS
      0x73757245,  // Coda
      0x00C36400,  // Ceph
      0x564C,      // NCP
      0x0BD00BD0,  // Lustre
      0x47504653,  // GPFS
      0x20030528,  // OrangeFS
  };
  struct statfs fs;
  if (statfs(path.empty() ? "/" : path.c_str(), &fs) != 0) return false;
  const uint32_t type = static_cast<uint32_t>(fs.f_type);
  for (uint32_t waiting : kWaiting) {
    if (type == waiting) return true;
  }
  return false;
}

}  // namespace ledra
