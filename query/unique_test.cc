#include "query/unique.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/query_test_support.h"

namespace ledra {
namespace {

std::vector<std::string> Describe(const CatalogContents& c, const UniqueResult& result) {
  std::vector<std::string> rows;
  const FolderLinks links(c);
  for (uint32_t e : result.entries) rows.push_back(test::RelativeEntryPath(links, c, e));
  rows.push_back("total " + std::to_string(static_cast<int64_t>(result.totalSize)));
  return rows;
}

TEST(UniqueTest, FilesWithoutACopyOnAnotherVolume) {
  test::LaidCatalog disk = test::Volume("PHOTOS");
  test::LaidCatalog older = disk;  // the same disk catalogued before: no copy
  test::LaidCatalog relabelled = disk;
  relabelled.serial = 0x99;  // another disk that happens to carry the same label
  const test::LaidCatalog backup = test::Volume("BACKUP");

  const CatalogContents mine = test::LoadBuilt(disk, {{"2019/Sea.JPG", 300, 1},
                                                      {"2019/sand.jpg", 200, 1},
                                                      {"2020/sea.jpg", 300, 5},
                                                      {"notes.txt", 0, 1},
                                                      {"x/y/deep.raw", 7000, 1},
                                                      {"empty/", 0, 0}});
  const CatalogContents before = test::LoadBuilt(older, {{"2019/sand.jpg", 200, 1}});
  const CatalogContents same = test::LoadBuilt(relabelled, {{"deep.raw", 7000, 1}});
  const CatalogContents copies =
      test::LoadBuilt(backup, {{"old/SEA.jpg", 300, 9}, {"sand.jpg", 201, 1}, {"notes.TXT", 0, 1}});
  const std::vector<const CatalogContents*> all = {&before, &mine, &same, &copies};

  struct Case {
    const char* what;
    std::vector<const CatalogContents*> catalogs;
    size_t target;
    int64_t minSize;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"copies by folded name and size on other volumes only",
       all,
       1,
       0,
       {"2019/sand.jpg", "total 200"}},
      {"a minimum size", all, 1, 250, {"total 0"}},
      {"alone",
       {&mine},
       0,
       0,
       {"notes.txt", "2019/Sea.JPG", "2019/sand.jpg", "2020/sea.jpg", "x/y/deep.raw",
        "total 7800"}},
      {"the backup's own", all, 3, 0, {"sand.jpg", "total 201"}},
  };
  for (const Case& c : cases) {
    // With every name hashing alike, only the names themselves tell copies apart.
    for (const bool sameHash : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (sameHash ? ", names colliding" : ""));
      HeldCatalogs passes(c.catalogs);
      EXPECT_EQ(Describe(*c.catalogs[c.target], FindUnique(passes, c.target, c.minSize, sameHash)),
                c.expected);
    }
  }
}

}  // namespace
}  // namespace ledra
