// What the tests of the queries share: hand-made catalogues read back through the reader,
// and paths below the scan root to describe results with.
#ifndef LEDRA_QUERY_QUERY_TEST_SUPPORT_H_
#define LEDRA_QUERY_QUERY_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "query/folder_links.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace test {

// A volume as the tests here describe it: a Linux disk by default.
inline LaidCatalog Volume(const std::string& volumeName, int16_t version = 5) {
  LaidCatalog volume;
  volume.root = "/mnt/usb/";
  volume.volumeName = volumeName;
  volume.version = version;
  return volume;
}

inline CatalogContents LoadBuilt(const LaidCatalog& volume, const std::vector<TreeItem>& items) {
  CatalogContents tables;
  ReadProblem problem;
  EXPECT_TRUE(LoadCatalog(TreeCatalog(volume, items), &tables, &problem)) << problem.Text();
  return tables;
}

// "a/b/name", or "name" for an entry of the scan root.
inline std::string RelativeEntryPath(const FolderLinks& links, const CatalogContents& c,
                                     uint32_t entry) {
  const std::string folder = links.RelativePath(c.entries[entry].folderIndex);
  return folder.empty() ? std::string(c.entries[entry].name)
                        : folder + "/" + std::string(c.entries[entry].name);
}

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_QUERY_QUERY_TEST_SUPPORT_H_
