// How the back end finds out about volumes on Linux: the mount that holds a path (through
// libmount), the label and serial number of its filesystem (filesystem ioctls, libblkid,
// udev's /dev/disk links) and its drive type (/sys/dev/block). Private to
// platform_posix.cc and its tests; another POSIX system replaces the first group of
// functions below with its own.
#ifndef LEDRA_PLATFORM_VOLUME_LINUX_H_
#define LEDRA_PLATFORM_VOLUME_LINUX_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ledra {

// --- What platform_posix.cc asks ----------------------------------------------------------

// The path with every link followed, as realpath gives it. False when it cannot be
// resolved (missing, unreadable on the way, a loop of links).
bool ResolvePath(const std::string& path, std::string* resolved);

// One line of the process's mount table.
struct MountInfo {
  std::string target;  // the mount point, escapes such as \040 decoded
  std::string fsType;  // with a FUSE subtype: 'fuse.sshfs'
  std::string source;  // '/dev/sdb1', 'tmpfs', 'server:/export', ...
  dev_t device = 0;    // the st_dev of the files on it
};

// The mount that holds a resolved path: the longest mount point above it, the last
// mounted where mounts are stacked. False when the mount table cannot be read.
bool FindMount(const std::string& resolvedPath, MountInfo* mount);

// The deepest mount point of the filesystem list `tableFile` (in the form of /etc/fstab)
// at or above the resolved path; empty when none is, or the list cannot be read.
std::string FindListedMountPoint(const std::string& tableFile, const std::string& resolvedPath);

// Splits a resolved path at its mount point: root is the mount point with a trailing
// '/' ('/' for the root filesystem) and remainder the rest, beginning with '/' (empty for
// the mount point itself).
void SplitAtMountPoint(const std::string& resolvedPath, const std::string& mountPoint,
                       std::string* root, std::string* remainder);

// Label and serial number of the volume mounted at `root`, asked on `devicePath` first
// (the path the user named; empty means the root). False only when the root cannot be
// examined at all.
bool ReadVolumeIdentity(const std::string& root, const std::string& devicePath, std::string* label,
                        uint32_t* serial);

// The drive type of the volume mounted at `root`: NoRootFolder when the root does not
// exist, Unknown when no mount holds it.
DriveType VolumeDriveType(const std::string& root);

// Whether the filesystem that holds `path` answers a folder listing over a network or
// through another process (NFS, SMB, FUSE, 9P, AFS, Ceph, ...), by its statfs magic.
bool IsWaitingFilesystem(const std::string& path);

// --- The steps of ReadVolumeIdentity and VolumeDriveType, for their tests -----------------

// The drive type a filesystem type implies on its own: Remote, CdRom or RamDisk for the
// types known to be such, Fixed for everything else (a local disk that may still turn out
// to be removable).
DriveType DriveTypeForFsType(std::string_view fsType);

// A name of /dev/disk/by-label or /dev/disk/by-uuid with udev's '\xHH' escapes decoded:
// 'My\x20Disk' -> 'My Disk'.
std::string DecodeUdevName(std::string_view name);

// The decoded name of the first link in `folder` that resolves to the block device
// `device`. False when there is none or the folder cannot be read.
bool FindDiskLinkName(const std::string& folder, dev_t device, std::string* name);

// A value ("LABEL", "UUID") that libblkid reads from the superblock of a block device.
// False when the device cannot be read (it needs privilege) or has no such value.
bool ProbeBlockDevice(const std::string& devicePath, const char* tag, std::string* value);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_VOLUME_LINUX_H_
