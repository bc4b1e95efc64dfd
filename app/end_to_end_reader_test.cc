// The end-to-end tests judge whole runs by reading catalogues back in full and walking the
// tree on their own. These cases show that the reader refuses every malformed file and
// that the checker notices each kind of wrong catalogue, so that a passing run means
// something.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "catalog/catalog_reader_testing.h"
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

TEST(EndToEndCatalogReaderTest, ReadsTheWorkedExample) {
  const std::string bytes = FromHex(kExampleHex);
  ASSERT_EQ(bytes.size(), 66u);
  ParsedCatalog c;
  std::string why;
  ASSERT_TRUE(ParseCatalog(bytes, &c, &why)) << why;
  EXPECT_EQ(c.header.signature, 3500410407u);
  EXPECT_EQ(c.header.version, 5);
  EXPECT_EQ(c.header.timestamp, 0x40000000);
  EXPECT_EQ(c.header.root, "C:\\");
  EXPECT_EQ(c.header.volumeName, "DATA");
  EXPECT_EQ(c.header.alias, "");
  EXPECT_EQ(c.header.serial, 0x1234ABCDu);
  EXPECT_EQ(c.header.comment, "");
  EXPECT_EQ(c.header.commentOffset, 24u);
  EXPECT_EQ(c.header.freeSpaceMB, 1024.0f);
  ASSERT_EQ(c.folders.size(), 1u);
  EXPECT_EQ(c.folders[0].path, "");
  EXPECT_EQ(c.folders[0].fileCount, 1);
  EXPECT_EQ(c.folders[0].totalSize, 1000.0);
  ASSERT_EQ(c.entries.size(), 1u);
  EXPECT_EQ(c.entries[0].modified, 0x3FF00000);
  EXPECT_EQ(c.entries[0].size, 1000);
  EXPECT_EQ(c.entries[0].folderIndex, 0);
  EXPECT_EQ(c.entries[0].name, "a.txt");

  // With a folder in the root: two folder records, the folder entry of size -1.
  const std::string two = FromHex(kHeaderHex +
                                  " 02 00 00 00 2F 78 00 01 00 00 00 00 00 00 00 00 00 F0 3F"
                                  " 00 00 00 00 00 00 00 00 00 00 00 00"
                                  " 02 00 00 00 07 00 00 00 FF FF FF FF 00 00 64 00"
                                  " 08 00 00 00 01 00 00 00 01 00 66 00");
  ASSERT_TRUE(ParseCatalog(two, &c, &why)) << why;
  ASSERT_EQ(c.folders.size(), 2u);
  EXPECT_EQ(c.folders[0].path, "/x");
  EXPECT_EQ(c.folders[1].path, "");
  EXPECT_EQ(c.folders[0].totalSize, 1.0);
  ASSERT_EQ(c.entries.size(), 2u);
  EXPECT_TRUE(c.entries[0].IsFolder());
  EXPECT_EQ(c.entries[0].size, -1);
  EXPECT_EQ(c.entries[0].name, "d");
  EXPECT_EQ(c.entries[1].folderIndex, 1);
  EXPECT_EQ(c.entries[1].name, "f");

  // Version 6: the same header and folder table, then 64-bit sizes and 32-bit folder
  // numbers.
  const std::string wide = FromHex(
      "27 06 A4 D0 06 00" + kHeaderHex.substr(17) +
      " 01 00 00 00 00 01 00 00 00 00 00 00 00 00 40 8F 40"
      " 02 00 00 00 00 00 F0 3F E8 03 00 00 00 00 00 00 00 00 00 00 61 2E 74 78 74 00"
      " 01 00 00 00 64 00 00 00 01 00 00 00 FF FF 01 00 62 00");
  ASSERT_TRUE(ParseCatalog(wide, &c, &why)) << why;
  EXPECT_EQ(c.header.version, 6);
  EXPECT_EQ(c.header.freeSpaceMB, 1024.0f);
  ASSERT_EQ(c.entries.size(), 2u);
  EXPECT_EQ(c.entries[0].size, 1000);
  EXPECT_EQ(c.entries[0].name, "a.txt");
  EXPECT_EQ(c.entries[1].size, (4ll << 30) + 100);
  EXPECT_EQ(c.entries[1].folderIndex, 0x1FFFFu);
  EXPECT_EQ(c.entries[1].name, "b");
}

TEST(EndToEndCatalogReaderTest, RefusesEveryCutAndTrailingBytes) {
  const std::string bytes = FromHex(kExampleHex);
  ParsedCatalog c;
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::string why;
    EXPECT_FALSE(ParseCatalog(bytes.substr(0, n), &c, &why)) << "cut to " << n << " bytes";
    EXPECT_FALSE(why.empty());
  }
  std::string why;
  EXPECT_FALSE(ParseCatalog(bytes + '\0', &c, &why));
  EXPECT_NE(why.find("trail"), std::string::npos) << why;
}

TEST(EndToEndCatalogReaderTest, RefusesWrongMarkersAndCounts) {
  const std::string good = FromHex(kExampleHex);
  struct Case {
    const char* name;
    size_t offset;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"generation 2 signature", 0, FromHex("27 3C 09 95")},
      {"version 4", 4, FromHex("04 00")},
      {"version 7", 4, FromHex("07 00")},
      {"negative folder count", 29, FromHex("FF FF FF FF")},
      {"folder count past the file", 29, FromHex("FF FF FF 7F")},
      {"two folders where one is stored", 29, FromHex("02 00 00 00")},
      {"negative entry count", 46, FromHex("FF FF FF FF")},
      {"entry count past the file", 46, FromHex("00 00 00 01")},
      {"name without its NUL", 65, FromHex("21")},
  };
  for (const Case& k : cases) {
    std::string bytes = good;
    bytes.replace(k.offset, k.bytes.size(), k.bytes);
    ParsedCatalog c;
    std::string why;
    EXPECT_FALSE(ParseCatalog(bytes, &c, &why)) << k.name;
  }
}

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
  ParsedCatalog good;
  ASSERT_TRUE(e2e::LoadCatalog(cats.Path("T.kvl"), &good));
  TreeCheckOptions plain;
  plain.folder0Path = good.folders[0].path;
  ASSERT_TRUE(CheckCatalogAgainstTree(good, tree.root(), plain).empty())
      << JoinProblems(CheckCatalogAgainstTree(good, tree.root(), plain));

  auto entry = [](ParsedCatalog& c, const std::string& name) -> ParsedEntry& {
    for (ParsedEntry& e : c.entries) {
      if (e.name == name) return e;
    }
    ADD_FAILURE() << "no entry " << name;
    return c.entries.front();
  };
  auto indexOf = [](const ParsedCatalog& c, const std::string& name) {
    size_t i = 0;
    while (i < c.entries.size() && c.entries[i].name != name) ++i;
    return i;
  };
  struct Case {
    const char* name;
    std::function<void(ParsedCatalog&, TreeCheckOptions&)> spoil;
  };
  const std::vector<Case> cases = {
      {"file size off by one", [&](ParsedCatalog& c, TreeCheckOptions&) { ++entry(c, "c").size; }},
      {"file renamed",
       [&](ParsedCatalog& c, TreeCheckOptions&) { entry(c, "a.txt").name = "A.txt"; }},
      {"file dropped",
       [&](ParsedCatalog& c, TreeCheckOptions&) {
         c.entries.erase(c.entries.begin() + indexOf(c, "e"));
       }},
      {"file added",
       [&](ParsedCatalog& c, TreeCheckOptions&) {
         ParsedEntry extra = entry(c, "d");
         extra.name = "ghost";
         c.entries.push_back(extra);
       }},
      {"folder recorded as a file",
       [&](ParsedCatalog& c, TreeCheckOptions&) { entry(c, "empty").size = 0; }},
      {"folder numbers swapped",
       [&](ParsedCatalog& c, TreeCheckOptions&) {
         std::swap(entry(c, "sub").size, entry(c, "other").size);
       }},
      {"not breadth-first",
       [&](ParsedCatalog& c, TreeCheckOptions&) {
         std::swap(c.entries[indexOf(c, "a.txt")], c.entries[indexOf(c, "d")]);
       }},
      {"file in the wrong folder",
       [&](ParsedCatalog& c, TreeCheckOptions&) {
         entry(c, "e").folderIndex = entry(c, "c").folderIndex;
       }},
      {"root file count", [](ParsedCatalog& c, TreeCheckOptions&) { ++c.folders[0].fileCount; }},
      {"subtree total",
       [&](ParsedCatalog& c, TreeCheckOptions&) {
         c.folders[-entry(c, "sub").size].totalSize += 1;
       }},
      {"folder 0 path", [](ParsedCatalog& c, TreeCheckOptions&) { c.folders[0].path += "x"; }},
      {"version 6 for a tree that fits version 5",
       [](ParsedCatalog& c, TreeCheckOptions&) { c.header.version = 6; }},
      {"folder record missing", [](ParsedCatalog& c, TreeCheckOptions&) { c.folders.pop_back(); }},
      {"ignored file recorded",
       [](ParsedCatalog&, TreeCheckOptions& o) {
         o.ignored = [](const std::string& name, bool isFolder) {
           return !isFolder && name == "c";
         };
       }},
      {"folder on another filesystem entered",
       [](ParsedCatalog&, TreeCheckOptions& o) {
         o.deviceOf = [](const std::string& path, uint64_t* device) {
           *device = path.size() >= 4 && path.compare(path.size() - 4, 4, "/sub") == 0 ? 2 : 1;
           if (path.size() >= 4 && path.compare(path.size() - 4, 4, "\\sub") == 0) *device = 2;
           return true;
         };
       }},
      {"modified time",
       [&](ParsedCatalog& c, TreeCheckOptions& o) {
         const int32_t stored = entry(c, "a.txt").modified;
         o.modifiedOf = [stored](const std::string& path, int64_t* seconds) {
           *seconds = path.find("a.txt") != std::string::npos ? stored + 1 : stored;
           return true;
         };
         for (ParsedEntry& e : c.entries) e.modified = stored;
       }},
  };
  for (const Case& k : cases) {
    ParsedCatalog spoiled = good;
    TreeCheckOptions options = plain;
    k.spoil(spoiled, options);
    EXPECT_FALSE(CheckCatalogAgainstTree(spoiled, tree.root(), options).empty()) << k.name;
  }
}

}  // namespace
}  // namespace ledra
