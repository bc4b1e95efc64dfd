// What the cataloguer asks the system about volumes: which mount holds a path, what the
// volume is called and what kind of drive it is. On Linux the answers come from libmount
// and libblkid (volume_probe_linux.cc), which a program that only reads catalogues should
// not load at every start; it gets a platform without a probe.
#ifndef LEDRA_PLATFORM_VOLUME_PROBE_POSIX_H_
#define LEDRA_PLATFORM_VOLUME_PROBE_POSIX_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace ledra {

// The volume questions of Platform, with the same meaning and answers.
class VolumeProbe {
 public:
  virtual ~VolumeProbe() = default;
  virtual bool SplitVolumeRoot(const std::string& devicePath, std::string* root,
                               std::string* remainder) = 0;
  virtual std::string PathBelowVolumeRoot(const std::string& normalisedRoot) = 0;
  virtual std::string ListedMountPoint(const std::string& devicePath) = 0;
  virtual bool VolumeInformation(const std::string& root, const std::string& devicePath,
                                 std::string* label, uint32_t* serial) = 0;
  virtual DriveType DriveTypeOf(const std::string& root) = 0;
  virtual bool ListingsWait(const std::string& root) = 0;
};

// The POSIX platform; without `volumes` no volume is ever identified (roots split nowhere,
// labels unknown, drive types unknown).
std::unique_ptr<Platform> NewPosixPlatform(MessageSink& errors,
                                           std::unique_ptr<VolumeProbe> volumes);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_VOLUME_PROBE_POSIX_H_
