// The end-to-end tests judge whole runs by reading catalogues back in full with the one
// reader and walking the tree on their own. These cases show that the checker notices
// each kind of wrong catalogue, so that a passing run means something.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "catalog/tree_check_testing.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

std::string FromHex(const std::string& pairs) {
  std::istringstream in(pairs);
  std::string bytes;
  std::string pair;
  while (in >> pair) bytes += static_cast<char>(std::stoul(pair, nullptr, 16));
  return bytes;
}

// The 66-byte file of a whole volume 'C:\' named 'DATA' with one file 'a.txt'.
const std::string kHeaderHex =
    "27 06 A4 D0 05 00 00 00 00 40 43 3A 5C 00 44 41 54 41 00 00 CD AB 34 12 00 00 00 80 44";
const std::string kExampleHex = kHeaderHex +
                                " 01 00 00 00 00 01 00 00 00 00 00 00 00 00 40 8F 40"
                                " 01 00 00 00 00 00 F0 3F E8 03 00 00 00 00 61 2E 74 78 74 00";

TEST(EndToEndCatalogReaderTest, ReplaceCommentKeepsEverythingElse) {
  const std::string bytes = FromHex(kExampleHex);
  std::string patched;
  std::string why;
  ASSERT_TRUE(ReplaceComment(bytes, "note", &patched, &why)) << why;
  EXPECT_EQ(patched.size(), bytes.size() + 4);
  EXPECT_EQ(patched.substr(0, 24), bytes.substr(0, 24));
  EXPECT_EQ(patched.substr(24, 5), std::string("note\0", 5));
  EXPECT_EQ(patched.substr(29), bytes.substr(25));
  std::string again;
  ASSERT_TRUE(ReplaceComment(patched, "", &again, &why)) << why;
  EXPECT_EQ(again, bytes);
  EXPECT_FALSE(ReplaceComment(bytes.substr(0, 30), "x", &patched, &why));
}

// Each way a catalogue can be wrong, applied to a correct one made by a real run.
TEST(EndToEndCatalogReaderTest, CheckerNoticesEveryKindOfWrongCatalogue) {
  TempTree tree;
  tree.MakeFile("a.txt", std::string(10, 'a'));
  tree.MakeFile("sub/c", std::string(5, 'c'));
  tree.MakeFile("sub/deeper/d", std::string(7, 'd'));
  tree.MakeFile("other/e", std::string(3, 'e'));
  tree.MakeFolder("empty");
  TempTree cats;
  e2e::WriteWholeFile(cats.Path("params.txt"), "#DEV " + tree.root() + ",T\n");
  ASSERT_EQ(e2e::RunInProcess(cats.Path("params.txt")).err, "");
  CatalogContents good;
  ASSERT_TRUE(e2e::LoadCatalog(cats.Path("T.kvl"), &good));
  TreeCheckOptions plain;
  plain.folder0Path = std::string(good.folders[0].path);
  ASSERT_TRUE(CheckCatalogAgainstTree(good, tree.root(), plain).empty())
      << JoinProblems(CheckCatalogAgainstTree(good, tree.root(), plain));

  auto entry = [](CatalogContents& c, const std::string& name) -> CatalogEntry& {
    for (CatalogEntry& e : c.entries) {
      if (e.name == name) return e;
    }
    ADD_FAILURE() << "no entry " << name;
    return c.entries.front();
  };
  auto indexOf = [](const CatalogContents& c, const std::string& name) {
    size_t i = 0;
    while (i < c.entries.size() && c.entries[i].name != name) ++i;
    return i;
  };
  struct Case {
    const char* name;
    std::function<void(CatalogContents&, TreeCheckOptions&)> spoil;
  };
  const std::vector<Case> cases = {
      {"file size off by one",
       [&](CatalogContents& c, TreeCheckOptions&) { ++entry(c, "c").size; }},
      {"file renamed",
       [&](CatalogContents& c, TreeCheckOptions&) { entry(c, "a.txt").name = "A.txt"; }},
      {"file dropped",
       [&](CatalogContents& c, TreeCheckOptions&) {
         c.entries.erase(c.entries.begin() + indexOf(c, "e"));
       }},
      {"file added",
       [&](CatalogContents& c, TreeCheckOptions&) {
         CatalogEntry extra = entry(c, "d");
         extra.name = "ghost";
         c.entries.push_back(extra);
       }},
      {"folder recorded as a file",
       [&](CatalogContents& c, TreeCheckOptions&) { entry(c, "empty").size = 0; }},
      {"folder numbers swapped",
       [&](CatalogContents& c, TreeCheckOptions&) {
         std::swap(entry(c, "sub").size, entry(c, "other").size);
       }},
      {"not breadth-first",
       [&](CatalogContents& c, TreeCheckOptions&) {
         std::swap(c.entries[indexOf(c, "a.txt")], c.entries[indexOf(c, "d")]);
       }},
      {"file in the wrong folder",
       [&](CatalogContents& c, TreeCheckOptions&) {
         entry(c, "e").folderIndex = entry(c, "c").folderIndex;
       }},
      {"root file count", [](CatalogContents& c, TreeCheckOptions&) { ++c.folders[0].fileCount; }},
      {"subtree total",
       [&](CatalogContents& c, TreeCheckOptions&) {
         c.folders[-entry(c, "sub").size].totalSize += 1;
       }},
      {"folder 0 path", [](CatalogContents& c, TreeCheckOptions&) { c.folders[0].path = "/x"; }},
      {"version 6 for a tree that fits version 5",
       [](CatalogContents& c, TreeCheckOptions&) { c.header.version = 6; }},
      {"folder record missing",
       [](CatalogContents& c, TreeCheckOptions&) { c.folders.pop_back(); }},
      {"ignored file recorded",
       [](CatalogContents&, TreeCheckOptions& o) {
         o.ignored = [](const std::string& name, bool isFolder) {
           return !isFolder && name == "c";
         };
       }},
      {"folder on another filesystem entered",
       [](CatalogContents&, TreeCheckOptions& o) {
         o.deviceOf = [](const std::string& path, uint64_t* device) {
           *device = path.size() >= 4 && path.compare(path.size() - 4, 4, "/sub") == 0 ? 2 : 1;
           if (path.size() >= 4 && path.compare(path.size() - 4, 4, "\\sub") == 0) *device = 2;
           return true;
         };
       }},
      {"modified time",
       [&](CatalogContents& c, TreeCheckOptions& o) {
         const int32_t stored = entry(c, "a.txt").modified;
         o.modifiedOf = [stored](const std::string& path, int64_t* seconds) {
           *seconds = path.find("a.txt") != std::string::npos ? stored + 1 : stored;
           return true;
         };
         for (CatalogEntry& e : c.entries) e.modified = stored;
       }},
  };
  for (const Case& k : cases) {
    CatalogContents spoiled = good;
    TreeCheckOptions options = plain;
    k.spoil(spoiled, options);
    EXPECT_FALSE(CheckCatalogAgainstTree(spoiled, tree.root(), options).empty()) << k.name;
  }
}

}  // namespace
}  // namespace ledra
