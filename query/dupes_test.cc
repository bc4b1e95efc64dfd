#include "query/dupes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/query_test_support.h"

namespace ledra {
namespace {

using test::TreeItem;

// Each group as "wasted: volume:path volume:path ...".
std::vector<std::string> Describe(const std::vector<const CatalogContents*>& catalogs,
                                  const DupesResult& result) {
  std::vector<std::string> rows;
  for (const DupeGroup& g : result.groups) {
    std::string row = std::to_string(static_cast<int64_t>(g.Wasted())) + ":";
    for (size_t k = g.first; k < g.first + g.count; ++k) {
      const FileRef& f = result.copies[k];
      const CatalogContents& c = *catalogs[f.catalog];
      row += " " + c.header.volumeName + ":" + test::RelativeEntryPath(FolderLinks(c), c, f.entry);
    }
    rows.push_back(row);
  }
  rows.push_back("total " + std::to_string(static_cast<int64_t>(result.totalWasted)));
  return rows;
}

struct DupesCase {
  const char* what;
  DupesOptions options;
  std::vector<std::string> expected;
};

TEST(DupesTest, GroupsAcrossVolumes) {
  const test::LaidCatalog a = test::Volume("A");
  const test::LaidCatalog b = test::Volume("B");
  const CatalogContents first = test::LoadBuilt(a, {{"Movie.MKV", 3000, 1},
                                                    {"x/movie.mkv", 3000, 2},
                                                    {"x/small", 10, 1},
                                                    {"big", 500, 1},
                                                    {"Été.jpg", 40, 1},
                                                    {"y/", 0, 0}});
  const CatalogContents second = test::LoadBuilt(b, {{"films/movie.mkv", 3000, 1},
                                                     {"other", 500, 9},
                                                     {"small", 10, 1},
                                                     {"été.jpg", 40, 1},
                                                     {"y/éTé.jpg", 40, 1},
                                                     {"y/", 0, 0}});
  const std::vector<const CatalogContents*> both = {&first, &second};

  const std::vector<DupesCase> cases = {
      {"name without regard to case (Unicode simple folding), and size",
       {false, false, 0},
       {"6000: A:Movie.MKV A:x/movie.mkv B:films/movie.mkv", "80: A:Été.jpg B:été.jpg B:y/éTé.jpg",
        "10: A:x/small B:small", "total 6090"}},
      {"size alone",
       {true, false, 0},
       {"6000: A:Movie.MKV A:x/movie.mkv B:films/movie.mkv", "500: A:big B:other",
        "80: A:Été.jpg B:été.jpg B:y/éTé.jpg", "10: A:x/small B:small", "total 6590"}},
      {"the same time too",
       {false, true, 0},
       {"3000: A:Movie.MKV B:films/movie.mkv", "80: A:Été.jpg B:été.jpg B:y/éTé.jpg",
        "10: A:x/small B:small", "total 3090"}},
      {"smaller files left out",
       {false, false, 1000},
       {"6000: A:Movie.MKV A:x/movie.mkv B:films/movie.mkv", "total 6000"}},
      {"nothing that large", {false, false, 5000}, {"total 0"}},
  };
  for (const DupesCase& c : cases) {
    // With every name hashing alike, only the names themselves tell the groups apart.
    for (const bool sameHash : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (sameHash ? ", names colliding" : ""));
      HeldCatalogs passes(both);
      EXPECT_EQ(Describe(both, FindDupes(passes, c.options, sameHash)), c.expected);
    }
  }
}

TEST(DupesTest, EmptyCatalogueAndLargeVersion6Sizes) {
  const test::LaidCatalog wide = test::Volume("DATA", 6);
  const CatalogContents empty = test::LoadBuilt(test::Volume("EMPTY"), {});
  const int64_t huge = int64_t{5} << 30;  // beyond what version 5 can store
  const CatalogContents big =
      test::LoadBuilt(wide, {{"a/disk.img", huge, 1}, {"disk.img", huge, 1}});
  const std::vector<const CatalogContents*> both = {&empty, &big};
  HeldCatalogs passes(both);
  EXPECT_EQ(
      Describe(both, FindDupes(passes, DupesOptions())),
      (std::vector<std::string>{"5368709120: DATA:disk.img DATA:a/disk.img", "total 5368709120"}));
}

}  // namespace
}  // namespace ledra
