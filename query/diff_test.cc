#include "query/diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "query/query_test_support.h"

namespace ledra {
namespace {

using test::TreeItem;

// A row as "kind path" with the sizes that tell the change, paths below the scan root.
std::vector<std::string> Describe(const CatalogContents& older, const CatalogContents& newer,
                                  const DiffResult& result) {
  const FolderLinks oldLinks(older);
  const FolderLinks newLinks(newer);
  std::vector<std::string> rows;
  for (const DiffRow& row : result.entries) {
    switch (row.change) {
      case DiffChange::Added:
        rows.push_back("added " + test::RelativeEntryPath(newLinks, newer, row.newEntry));
        break;
      case DiffChange::Removed:
        rows.push_back("removed " + test::RelativeEntryPath(oldLinks, older, row.oldEntry));
        break;
      case DiffChange::Changed:
        rows.push_back("changed " + test::RelativeEntryPath(newLinks, newer, row.newEntry) + " " +
                       std::to_string(older.entries[row.oldEntry].size) + "->" +
                       std::to_string(newer.entries[row.newEntry].size));
        break;
      case DiffChange::Moved:
        rows.push_back("moved " + test::RelativeEntryPath(oldLinks, older, row.oldEntry) + " -> " +
                       test::RelativeEntryPath(newLinks, newer, row.newEntry));
        break;
    }
  }
  for (const TotalRow& t : result.totals) {
    const std::string path = t.newFolder != DiffRow::kNoEntry ? newLinks.RelativePath(t.newFolder)
                                                              : oldLinks.RelativePath(t.oldFolder);
    rows.push_back("total '" + path + "' " + std::to_string(static_cast<int64_t>(t.oldTotal)) +
                   "->" + std::to_string(static_cast<int64_t>(t.newTotal)));
  }
  return rows;
}

struct DiffCase {
  const char* what;
  std::vector<TreeItem> older;
  std::vector<TreeItem> newer;
  size_t top;
  std::vector<std::string> expected;
};

TEST(DiffTest, ChangesBetweenTwoCatalogues) {
  const std::vector<DiffCase> cases = {
      {"identical trees", {{"a/x", 5, 1}, {"b/", 0, 1}}, {{"a/x", 5, 1}, {"b/", 0, 1}}, 20, {}},
      {"both empty", {}, {}, 20, {}},
      {"everything added to an empty tree",
       {},
       {{"a/x", 5, 1}},
       20,
       {"added a", "added a/x", "total '' 0->5", "total 'a' 0->5"}},
      {"resized and touched files; time alone leaves totals alone",
       {{"a/x", 5, 1}, {"a/y", 7, 1}, {"z", 1, 1}},
       {{"a/x", 9, 1}, {"a/y", 7, 2}, {"z", 1, 1}},
       20,
       {"changed a/x 5->9", "changed a/y 7->7", "total '' 13->17", "total 'a' 12->16"}},
      {"same name in several folders matches by path only",
       {{"a/readme", 1, 1}, {"b/readme", 2, 1}},
       {{"a/readme", 2, 1}, {"b/readme", 1, 1}},
       20,
       {"changed a/readme 1->2", "changed b/readme 2->1", "total 'a' 1->2", "total 'b' 2->1"}},
      {"a file moved to another folder, another removed, another added",
       {{"a/photo.jpg", 100, 7}, {"a/old.txt", 3, 1}, {"b/", 0, 0}},
       {{"a/new.txt", 4, 1}, {"b/photo.jpg", 100, 7}},
       20,
       {"added a/new.txt", "removed a/old.txt", "moved a/photo.jpg -> b/photo.jpg",
        "total 'b' 0->100", "total 'a' 103->4", "total '' 103->104"}},
      {"same name and size but another time is no move",
       {{"a/f", 10, 1}},
       {{"b/f", 10, 2}},
       20,
       {"added b", "added b/f", "removed a", "removed a/f", "total 'b' 0->10", "total 'a' 10->0"}},
      {"a file that became a folder is removed and added",
       {{"n", 4, 1}},
       {{"n/inner", 4, 1}},
       20,
       {"added n", "added n/inner", "removed n", "total 'n' 0->4"}},
      {"a renamed folder moves its files and shows both totals",
       {{"old/sub/f1", 10, 3}, {"old/f2", 20, 3}},
       {{"new/sub/f1", 10, 3}, {"new/f2", 20, 3}},
       1,
       {"added new", "added new/sub", "removed old", "removed old/sub", "moved old/f2 -> new/f2",
        "moved old/sub/f1 -> new/sub/f1", "total 'new' 0->30"}},
      {"top keeps the largest changes either way",
       {{"a/f", 1000, 1}, {"b/f", 10, 1}, {"c/f", 100, 1}},
       {{"a/f", 10, 1}, {"b/f", 20, 1}, {"c/f", 150, 1}},
       2,
       {"changed a/f 1000->10", "changed b/f 10->20", "changed c/f 100->150", "total 'a' 1000->10",
        "total '' 1110->180"}},
  };
  for (const DiffCase& c : cases) {
    SCOPED_TRACE(c.what);
    test::LaidCatalog volume = test::Volume("DATA");
    const CatalogContents older = test::LoadBuilt(volume, c.older);
    volume.root = "/media/elsewhere/";  // mounted somewhere else this time
    const CatalogContents newer = test::LoadBuilt(volume, c.newer);
    // With every name hashing alike, only the names themselves tell entries apart.
    for (const bool sameHash : {false, true}) {
      SCOPED_TRACE(sameHash ? "names colliding" : "names hashed");
      HeldCatalogs passes({&older, &newer});
      EXPECT_EQ(Describe(older, newer, DiffCatalogs(passes, c.top, sameHash)), c.expected);
    }
  }
}

// Many entries of one path, as a code page that cannot spell the names leaves them: each is
// matched to the next one of the older catalogue, in table order, and the files left over
// pair into moves one for one. Walking past the entries matched before, for each entry,
// took seconds here, and grew with the square of the entries.
TEST(DiffTest, ManyEntriesOfOnePathPairInTableOrder) {
  // Laid by hand: a tree of paths would merge the entries of one path into one.
  auto laid = [](const std::vector<std::pair<std::string, std::vector<int64_t>>>& folders) {
    test::LaidCatalog c = test::Volume("DATA");
    c.folders.assign(folders.size() + 1, test::LaidFolder());
    for (size_t f = 0; f < folders.size(); ++f) {
      c.entries.push_back({-static_cast<int64_t>(f + 1), 0, folders[f].first, 1});
    }
    for (size_t f = 0; f < folders.size(); ++f) {
      for (const int64_t size : folders[f].second) {
        c.entries.push_back({size, static_cast<uint32_t>(f + 1), "????.jpg", 1});
      }
    }
    CatalogContents tables;
    ReadProblem problem;
    EXPECT_TRUE(LoadCatalog(c.Bytes(), &tables, &problem)) << problem.Text();
    return tables;
  };
  std::vector<int64_t> oldSizes(100000, 8);
  std::fill(oldSizes.begin(), oldSizes.begin() + 60000, 7);
  // 60,000 as they were, 10,000 resized, 30,000 gone from p of which 20,000 turn up in q.
  std::vector<int64_t> newSizes(70000, 9);
  std::fill(newSizes.begin(), newSizes.begin() + 60000, 7);
  const CatalogContents old = laid({{"p", oldSizes}});
  const CatalogContents now = laid({{"p", newSizes}, {"q", std::vector<int64_t>(20000, 8)}});
  HeldCatalogs passes({&old, &now});
  const DiffResult result = DiffCatalogs(passes, 20);
  // The older table holds p, then its files from entry 1; the newer one p and q, then p's
  // files from entry 2 and q's from entry 70002.
  size_t counts[4] = {0, 0, 0, 0};
  for (const DiffRow& row : result.entries) {
    ++counts[static_cast<int>(row.change)];
    switch (row.change) {
      case DiffChange::Changed:
        ASSERT_EQ(row.oldEntry + 1, row.newEntry);
        ASSERT_TRUE(row.newEntry >= 60002 && row.newEntry <= 70001) << row.newEntry;
        break;
      case DiffChange::Removed:
        ASSERT_GE(row.oldEntry, 90001u);
        break;
      case DiffChange::Moved:
        ASSERT_EQ(row.oldEntry - 70001, row.newEntry - 70002) << "pairs keep their order";
        break;
      case DiffChange::Added:
        break;
    }
  }
  EXPECT_EQ(counts[static_cast<int>(DiffChange::Added)], 1u);  // the folder q
  EXPECT_EQ(counts[static_cast<int>(DiffChange::Removed)], 10000u);
  EXPECT_EQ(counts[static_cast<int>(DiffChange::Changed)], 10000u);
  EXPECT_EQ(counts[static_cast<int>(DiffChange::Moved)], 20000u);
}

}  // namespace
}  // namespace ledra
