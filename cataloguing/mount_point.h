// Whether a device line names a volume that is not there: a disk unplugged from its mount
// point leaves a folder of the filesystem above, which would be walked and stored as the
// disk's catalogue, pushing the real one out.
#ifndef LEDRA_CATALOGUING_MOUNT_POINT_H_
#define LEDRA_CATALOGUING_MOUNT_POINT_H_

#include <string>

namespace ledra {

// True when `mountPoint` (where a volume is known to be mounted: the root an earlier
// catalogue recorded, or the system's list of filesystems) lies strictly below
// `currentRoot` (the root of the volume that holds the device now) and at or above
// `location` (the device's own path): the device is then a folder of the filesystem
// above its mount point, not the volume. Paths are compared by whole components, with or
// without a trailing separator.
bool MountPointLeftBare(const std::string& currentRoot, const std::string& location,
                        const std::string& mountPoint, char separator);

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_MOUNT_POINT_H_
