// Hand-made catalogues for the tests of the queries: a tree given as a list of paths
// becomes the bytes of a catalogue file laid out as a walk leaves it (breadth-first folder
// numbers, subtree totals), written here field by field rather than by the writer, so that
// the queries can be tried on trees no disk needs to hold.
#ifndef LEDRA_QUERY_CATALOG_BUILDER_TESTING_H_
#define LEDRA_QUERY_CATALOG_BUILDER_TESTING_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ledra {
namespace test {

// One item of a tree: "a/b/c.txt" below the scan root; a path ending in '/' is a folder.
// The folders on the way are made as needed, with time 0.
struct TreeItem {
  std::string path;
  int64_t size = 0;  // files only
  int32_t modified = 0;
};

struct BuiltVolume {
  std::string root = "/mnt/usb/";
  std::string folder0Path;
  std::string volumeName = "DATA";
  std::string alias;
  uint32_t serial = 0x1234ABCD;
  int16_t version = 5;  // 6: 64-bit sizes and 32-bit folder numbers
};

// The catalogue file's bytes. Within a folder, items keep the order they are given in.
std::string BuildCatalog(const BuiltVolume& volume, const std::vector<TreeItem>& items);

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_QUERY_CATALOG_BUILDER_TESTING_H_
