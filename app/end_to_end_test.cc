// Whole runs of the program on real folders, as a scheduler would start it: a parameter
// file in a catalogue folder, trees elsewhere, and every catalogue written read back in
// full and held against the tree on disk. Only plain folders are used here, so these
// cases hold natively and under Wine alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "catalog/tree_check_testing.h"
#include "platform/byte_text.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

namespace fs = std::filesystem;
using e2e::LoadCatalog;
using e2e::MatchesTree;
using e2e::NamesIn;
using e2e::ReadBytes;
using e2e::RunInProcess;
using e2e::WriteWholeFile;

// The test's own reading of "#IGN *.tmp;\skip".
bool IgnoredByTmpAndSkip(const std::string& name, bool isFolder) {
  const std::string lower = ToLowerAscii(name);
  if (isFolder) return lower == "skip";
  return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".tmp") == 0;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.MakeFile("a.txt", std::string(10, 'a'));
    tree_.MakeFile("b.TMP", std::string(20, 'b'));  // ignored whatever its case
    tree_.MakeFile("sub/c", std::string(5, 'c'));
    tree_.MakeFile("sub/deeper/d", std::string(7, 'd'));
    tree_.MakeFile("sub/deeper/e.tmp", std::string(9, 'e'));
    tree_.MakeFile("Skip/x", std::string(100, 'x'));  // left out with its subtree
    tree_.MakeFile("sub/skip/y", std::string(50, 'y'));
    tree_.MakeFolder("empty");
    tree_.MakeFile("sub/deeper/deepest/f", "");
    tree_.MakeSparseFile("big.bin", 3ull << 30);
  }

  std::string Params() const { return cats_.Path("params.txt"); }
  std::string Cat(const std::string& name) const { return cats_.Path(name); }
  // One run on `parameters`, which must end with status 0 in the folder it began in.
  e2e::RunResult Run(const std::string& parameters) {
    WriteWholeFile(Params(), parameters);
    e2e::RunResult r = RunInProcess(Params());
    EXPECT_TRUE(r.folderRestored) << "the run left the process in " << r.folderAfter;
    EXPECT_EQ(r.status, 0);
    return r;
  }
  static TreeCheckOptions Options() {
    TreeCheckOptions options;
    options.ignored = IgnoredByTmpAndSkip;
    return options;
  }

  TempTree tree_;
  TempTree cats_;
};

TEST_F(EndToEndTest, WholeTreeAsOnDisk) {
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  const e2e::RunResult r = Run("#IGN *.tmp;\\skip\n#DEV " + tree_.root() + ",Tree\n");
  const int64_t after = static_cast<int64_t>(std::time(nullptr));
  EXPECT_EQ(r.out, "Add: " + tree_.root() + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(NamesIn(cats_.root()), (std::vector<std::string>{"Tree.kvl", "params.txt"}));

  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(Cat("Tree.kvl"), &c));
  EXPECT_TRUE(MatchesTree(c, tree_.root(), Options()));
  const CatalogHeader& h = c.header;
  EXPECT_EQ(h.alias, "Tree");
  EXPECT_EQ(h.comment, "");
  EXPECT_GE(h.timestamp, before);
  EXPECT_LE(h.timestamp, after);
  EXPECT_GE(h.freeSpaceMB, 0.0f);
  // A tree below its volume root is known by its path from there, and the stored root
  // followed by folder 0's path names the tree again.
  const std::string below(c.folders.at(0).path);
  ASSERT_FALSE(below.empty());
  EXPECT_EQ(below.front(), NativeSeparator());
  EXPECT_EQ(h.volumeName, "[" + below + "]");
  ASSERT_FALSE(h.root.empty());
  EXPECT_EQ(h.root.back(), NativeSeparator());
  const std::string named = h.root.substr(0, h.root.size() - 1) + below;
  EXPECT_TRUE(named == tree_.root() || fs::path(named) == fs::canonical(tree_.root()))
      << named << " does not name " << tree_.root();

  // Figures worked out by hand, so that the checker and the program cannot agree on a
  // wrong rule: 10 + 5 + 7 + 0 + 2147483647 (3 GiB stored clamped) in five files.
  EXPECT_EQ(c.folders[0].fileCount, 5);
  EXPECT_EQ(c.folders[0].totalSize, 10.0 + 5 + 7 + 0 + 2147483647.0);
  ASSERT_EQ(c.folders.size(), 5u);  // root, sub, empty, deeper, deepest
  EXPECT_EQ(c.entries.size(), 9u);
}

TEST_F(EndToEndTest, SecondRunKeepsTheFirstAsBackupWithItsComment) {
  const std::string params = "#DEV " + tree_.root() + ",Tree\n";
  Run(params);
  std::string patched;
  std::string why;
  ASSERT_TRUE(ReplaceComment(ReadBytes(Cat("Tree.kvl")), "kept: x", &patched, &why)) << why;
  WriteWholeFile(Cat("Tree.kvl"), patched);
  tree_.MakeFile("sub/new", "12345678");

  const e2e::RunResult r = Run(params);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(NamesIn(cats_.root()),
            (std::vector<std::string>{"Tree.kvl", "Tree.kvl.bak", "params.txt"}));
  EXPECT_EQ(ReadBytes(Cat("Tree.kvl.bak")), patched);
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(Cat("Tree.kvl"), &c));
  EXPECT_EQ(c.header.comment, "kept: x");
  EXPECT_EQ(c.header.alias, "Tree");
  EXPECT_TRUE(MatchesTree(c, tree_.root(), TreeCheckOptions()));
}

TEST_F(EndToEndTest, SameVolumeTwiceInOneRun) {
  // The second line recognises the catalogue the first line stored in this same run.
  Run("#DEV " + tree_.root() + ",A\n#IGN *.tmp;\\skip\n#DEV " + tree_.root() + ",A\n");
  EXPECT_EQ(NamesIn(cats_.root()), (std::vector<std::string>{"A.kvl", "A.kvl.bak", "params.txt"}));
  CatalogContents first;
  CatalogContents second;
  ASSERT_TRUE(LoadCatalog(Cat("A.kvl.bak"), &first));
  ASSERT_TRUE(LoadCatalog(Cat("A.kvl"), &second));
  EXPECT_TRUE(MatchesTree(first, tree_.root(), TreeCheckOptions()));
  EXPECT_TRUE(MatchesTree(second, tree_.root(), Options()));
  EXPECT_GE(second.header.timestamp, first.header.timestamp);
}

// Device lines that cannot be catalogued, among good ones: each failure writes its message
// without line end, the run goes on, and only the good devices leave catalogues.
TEST_F(EndToEndTest, FailingDevicesAmongGoodOnes) {
  TempTree other;
  other.MakeFile("o", "ooo");
  TempTree empty;
  TempTree allIgnored;
  allIgnored.MakeFile("only.tmp", "t");
  allIgnored.MakeFile("skip/z", "z");
  const std::string missing = tree_.Path("missing");
  struct Case {
    std::string name;
    std::string lines;
    std::string err;
    std::vector<std::string> files;
  };
  const std::vector<Case> cases = {
      {"missing root between two good ones",
       "#DEV " + tree_.root() + ",A\n#DEV " + missing + "\n#DEV " + other.root() + ",B\n",
       e2e::DeviceFailure(missing, e2e::kNoRoot),
       {"A.kvl", "B.kvl"}},
      {"two failures in a row, each with its reason",
       "#DEV " + missing + "\n#DEV " + empty.root() + ",E\n#DEV " + other.root() + ",B\n",
       e2e::DeviceFailure(missing, e2e::kNoRoot) +
           e2e::DeviceFailure(empty.root(), e2e::kNothingRecorded),
       {"B.kvl"}},
      {"a root that is a file",
       "#DEV " + other.Path("o") + ",F\n#DEV " + other.root() + ",B\n",
       e2e::DeviceFailure(other.Path("o"), "the root is a file, not a folder"),
       {"B.kvl"}},
      {"a root whose names are all ignored",
       "#IGN *.tmp;\\skip\n#DEV " + allIgnored.root() + ",I\n#IGN\n#DEV " + other.root() + ",B\n",
       e2e::DeviceFailure(allIgnored.root(), e2e::kNothingRecorded),
       {"B.kvl"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempTree cats;
    WriteWholeFile(cats.Path("params.txt"), c.lines);
    const e2e::RunResult r = RunInProcess(cats.Path("params.txt"));
    EXPECT_EQ(r.status, 5);
    EXPECT_TRUE(r.folderRestored);
    EXPECT_EQ(r.err, c.err);
    std::vector<std::string> expected = c.files;
    expected.push_back("params.txt");
    EXPECT_EQ(NamesIn(cats.root()), expected);
    for (const std::string& file : c.files) {
      CatalogContents catalog;
      ASSERT_TRUE(LoadCatalog(cats.Path(file), &catalog));
      // A line after a failed one starts from an empty catalogue: its own tree only.
      const std::string root = file == "A.kvl" ? tree_.root() : other.root();
      EXPECT_TRUE(MatchesTree(catalog, root, TreeCheckOptions())) << file;
      EXPECT_EQ(catalog.header.comment, "");
    }
  }
}

// Whatever else lies in the catalogue folder under a catalogue's name is passed over
// without harm, and a folder holding the name makes the next number be taken.
TEST_F(EndToEndTest, ThingsNamedLikeCataloguesArePassedOver) {
  fs::create_directory(Cat("X.kvl"));
  WriteWholeFile(Cat("junk.kvl"), "not a catalogue at all");
  WriteWholeFile(Cat("empty.KVL"), "");
  Run("#DEV " + tree_.root() + ",Tree\n");
  WriteWholeFile(Cat("cut.kvl"), ReadBytes(Cat("Tree.kvl")).substr(0, 20));
  fs::remove(Cat("Tree.kvl"));

  const e2e::RunResult r = Run("#DEV " + tree_.root() + ",X\n");
  EXPECT_EQ(NamesIn(cats_.root()),
            (std::vector<std::string>{"X.kvl", "X1.kvl", "cut.kvl", "empty.KVL", "junk.kvl",
                                      "params.txt"}));
  EXPECT_TRUE(fs::is_directory(Cat("X.kvl")));
  EXPECT_EQ(r.err, "");  // a folder is no catalogue file
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(Cat("X1.kvl"), &c));
  EXPECT_EQ(c.header.alias, "X");
  EXPECT_TRUE(MatchesTree(c, tree_.root(), TreeCheckOptions()));
}

// A walk that fails keeps the volume's last good catalogue in place: no backup is made.
TEST_F(EndToEndTest, FailedWalkKeepsTheEarlierCatalogue) {
  struct Case {
    std::string name;
    std::function<void(TempTree&)> spoil;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"root removed", [](TempTree& t) { fs::remove_all(t.root()); }, e2e::kNoRoot},
      {"root emptied",
       [](TempTree& t) {
         for (const fs::directory_entry& e : fs::directory_iterator(t.root())) {
           fs::remove_all(e.path());
         }
       },
       e2e::kNothingRecorded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempTree tree;
    tree.MakeFile("kept/file", "content");
    TempTree cats;
    const std::string params = cats.Path("params.txt");
    WriteWholeFile(params, "#DEV " + tree.root() + ",Kept\n");
    ASSERT_EQ(RunInProcess(params).err, "");
    const std::string earlier = ReadBytes(cats.Path("Kept.kvl"));
    ASSERT_NE(earlier, "<missing>");
    c.spoil(tree);

    const e2e::RunResult r = RunInProcess(params);
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.err, e2e::DeviceFailure(tree.root(), c.reason));
    EXPECT_EQ(NamesIn(cats.root()), (std::vector<std::string>{"Kept.kvl", "params.txt"}));
    EXPECT_EQ(ReadBytes(cats.Path("Kept.kvl")), earlier);
  }
}

}  // namespace
}  // namespace ledra
