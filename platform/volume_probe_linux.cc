// The cataloguer's platform on Linux: volumes found in the mount table and named by their
// block devices, through volume_linux.cc. Kept out of the reader's link, so that `ledra`
// starts without libmount and libblkid.
#include <memory>
#include <string>

#include "platform/volume_linux.h"
#include "platform/volume_probe_posix.h"

namespace ledra {
namespace {

class LinuxVolumeProbe final : public VolumeProbe {
 public:
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

  std::string ListedMountPoint(const std::string& devicePath) override {
    std::string resolved;
    if (!ResolvePath(devicePath, &resolved)) return std::string();
    return FindListedMountPoint("/etc/fstab", resolved);
  }

  bool VolumeInformation(const std::string& root, const std::string& devicePath, std::string* label,
                         uint32_t* serial) override {
    return ReadVolumeIdentity(root, devicePath, label, serial);
  }

  DriveType DriveTypeOf(const std::string& root) override { return VolumeDriveType(root); }
  bool ListingsWait(const std::string& root) override { return IsWaitingFilesystem(root); }
};

}  // namespace

std::unique_ptr<Platform> NewRealPlatform(MessageSink& errors) {
  return NewPosixPlatform(errors, std::make_unique<LinuxVolumeProbe>());
}

}  // namespace ledra
