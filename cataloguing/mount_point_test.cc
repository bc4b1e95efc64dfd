#include "cataloguing/mount_point.h"

#include <gtest/gtest.h>

#include <string>

namespace ledra {
namespace {

TEST(MountPointLeftBareTest, BareMountPointsAndEverythingElse) {
  struct Case {
    const char* name;
    std::string currentRoot, location, mountPoint;
    char separator;
    bool bare;
  };
  const Case cases[] = {
      {"unplugged: the mount point is a folder of /", "/", "/mnt/archive", "/mnt/archive/", '/',
       true},
      {"a folder below the unplugged mount point", "/", "/mnt/archive/photos", "/mnt/archive", '/',
       true},
      {"a mount point nested in another mount", "/mnt/", "/mnt/archive", "/mnt/archive/", '/',
       true},
      {"mounted: the roots agree", "/mnt/archive/", "/mnt/archive", "/mnt/archive/", '/', false},
      {"the device is elsewhere", "/", "/srv/data", "/mnt/archive/", '/', false},
      {"a sibling whose name starts alike", "/", "/mnt/archive2", "/mnt/archive", '/', false},
      {"the mount point lies above the current root", "/mnt/archive/", "/mnt/archive/x", "/", '/',
       false},
      {"nothing known", "/", "/mnt/archive", "", '/', false},
      {"a Windows folder mount left bare", "C:\\", "C:\\mnt\\disk", "C:\\mnt\\disk\\", '\\', true},
      {"a drive root", "D:\\", "D:\\", "D:\\", '\\', false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MountPointLeftBare(c.currentRoot, c.location, c.mountPoint, c.separator), c.bare)
        << c.name;
  }
}

}  // namespace
}  // namespace ledra
