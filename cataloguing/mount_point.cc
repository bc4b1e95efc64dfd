#include "cataloguing/mount_point.h"

namespace ledra {

namespace {

std::string WithSeparator(std::string path, char separator) {
  if (path.empty() || path.back() != separator) path += separator;
  return path;
}

// Whether `above` is `path` or one of the folders that hold it.
bool AtOrAbove(const std::string& above, const std::string& path, char separator) {
  const std::string a = WithSeparator(above, separator);
  const std::string p = WithSeparator(path, separator);
  return p.compare(0, a.size(), a) == 0;
}

}  // namespace

bool MountPointLeftBare(const std::string& currentRoot, const std::string& location,
                        const std::string& mountPoint, char separator) {
  if (currentRoot.empty() || location.empty() || mountPoint.empty()) return false;
  return AtOrAbove(currentRoot, mountPoint, separator) &&
         WithSeparator(currentRoot, separator) != WithSeparator(mountPoint, separator) &&
         AtOrAbove(mountPoint, location, separator);
}

}  // namespace ledra
