#include "cataloguing/tree_scanner.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_platform.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

struct Entry {
  std::string name;
  int64_t size;
  uint32_t folderIndex;
  bool operator==(const Entry& o) const {
    return name == o.name && size == o.size && folderIndex == o.folderIndex;
  }
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
  return out << "{" << e.name << ", " << e.size << ", " << e.folderIndex << "}";
}

std::vector<Entry> EntriesOf(const VolumeCatalog& catalog) {
  std::vector<Entry> entries;
  for (const EntryRecord& e : catalog.entries) {
    entries.push_back(Entry{std::string(e.Name()), e.size, e.folderIndex});
  }
  return entries;
}

// Checks what holds after every successful walk: folders in entry order, the k-th folder
// entry pointing at FolderRecord k, folderIndex never decreasing, and every FolderRecord
// holding the sums of its whole subtree, recomputed here from the entry table with sizes
// as the catalogue's version stores them.
void ExpectWalkInvariants(const VolumeCatalog& catalog) {
  const size_t folders = catalog.folders.size();
  const int16_t version = catalog.VersionToWrite();
  std::vector<int32_t> ownFiles(folders, 0);
  std::vector<double> ownBytes(folders, 0.0);
  std::vector<size_t> parentOf(folders, 0);
  int64_t k = 0;
  uint32_t lastIndex = 0;
  for (const EntryRecord& e : catalog.entries) {
    EXPECT_GE(e.folderIndex, lastIndex);
    lastIndex = e.folderIndex;
    ASSERT_LT(e.folderIndex, folders);
    if (e.size < 0) {
      ++k;
      EXPECT_EQ(e.size, -k);
      ASSERT_LT(static_cast<size_t>(k), folders);
      EXPECT_GT(k, e.folderIndex);
      parentOf[k] = e.folderIndex;
    } else {
      ++ownFiles[e.folderIndex];
      ownBytes[e.folderIndex] += static_cast<double>(StoredSize(e.size, version));
    }
  }
  EXPECT_EQ(static_cast<size_t>(k) + 1, folders);
  for (size_t f = folders; f-- > 1;) {
    ownFiles[parentOf[f]] += ownFiles[f];
    ownBytes[parentOf[f]] += ownBytes[f];
  }
  for (size_t f = 0; f < folders; ++f) {
    EXPECT_EQ(catalog.folders[f].fileCount, ownFiles[f]) << "folder " << f;
    EXPECT_EQ(catalog.folders[f].totalSize, ownBytes[f]) << "folder " << f;
  }
}

class FakeScanTest : public ::testing::Test {
 protected:
  FakeScanTest() : errors_(errorText_), fake_(errors_) {}

  int32_t Scan(const std::string& root, const std::string& ignore = "", int recursive = 1) {
    catalog_ = std::make_unique<VolumeCatalog>();
    TreeScanner scanner(fake_, *catalog_);
    return scanner.Scan(root, ignore, recursive);
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
  std::unique_ptr<VolumeCatalog> catalog_;
};

TEST_F(FakeScanTest, WorkedExample) {
  fake_.AddFile("D:\\Data\\a", 10);
  fake_.AddFolder("D:\\Data\\X");
  fake_.AddFile("D:\\Data\\X\\c", 5);
  fake_.AddFile("D:\\Data\\b", 20);
  fake_.AddFolder("D:\\Data\\Y");
  fake_.SetListingOrder("D:\\Data", {"a", "X", "b", "Y"});

  for (const std::string root : {"D:\\Data", "D:\\Data\\"}) {
    ASSERT_EQ(Scan(root), 5);
    EXPECT_EQ(
        EntriesOf(*catalog_),
        (std::vector<Entry>{{"a", 10, 0}, {"X", -1, 0}, {"b", 20, 0}, {"Y", -2, 0}, {"c", 5, 1}}));
    ASSERT_EQ(catalog_->folders.size(), 3u);
    EXPECT_EQ(catalog_->folders[0].path, "\\Data");
    EXPECT_EQ(catalog_->folders[0].fileCount, 3);
    EXPECT_EQ(catalog_->folders[0].totalSize, 35.0);
    EXPECT_EQ(catalog_->folders[1].fileCount, 1);
    EXPECT_EQ(catalog_->folders[1].totalSize, 5.0);
    EXPECT_EQ(catalog_->folders[2].fileCount, 0);
    EXPECT_EQ(catalog_->folders[2].path, "");
  }
}

TEST_F(FakeScanTest, RootPathOfFolderZero) {
  fake_.AddFile("C:\\f", 1);
  fake_.AddFile("D:\\Data\\f", 1);
  fake_.AddFile("\\\\srv\\share\\dir\\f", 1);
  fake_.AddFile("\\\\srv\\other\\f", 1);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\", ""},
      {"C:", ""},
      {"D:\\Data", "\\Data"},
      {"D:\\Data\\", "\\Data"},
      {"\\\\srv\\share\\dir\\", "\\dir"},
      {"\\\\srv\\other", ""},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Scan(c.first), 1) << c.first;
    EXPECT_EQ(catalog_->folders[0].path, c.second) << c.first;
  }
}

// Entries keep every size whole; the totals take the sizes as the version stores them:
// version 5 clamps 2 GiB and more to 2147483647 from the full size, version 6 keeps it.
TEST_F(FakeScanTest, FullSizesKeptAndTotalsAsTheVersionStoresThem) {
  const std::vector<std::pair<uint64_t, int64_t>> cases = {
      {0u, 0},
      {0x7FFFFFFFu, 2147483647},
      {0x80000000u, 2147483647},
      {3ull << 30, 2147483647},
      {(4ull << 30) + 100, 2147483647},  // not the low 32 bits, 100
      {5ull << 30, 2147483647},
      {1ull << 62, 2147483647},
  };
  double clamped = 0;
  double whole = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    fake_.AddFile("E:\\s\\f" + std::to_string(i), cases[i].first);
    clamped += static_cast<double>(cases[i].second);
    whole += static_cast<double>(cases[i].first);
  }
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "version 6" : "version 5");
    // 65,534 more folders beside 's' make 65,536 with the root: past version 5.
    if (wide) {
      for (int i = 1; i < 65535; ++i) fake_.AddFolder("E:\\" + std::to_string(i));
    }
    ASSERT_GT(Scan("E:\\"), 0);
    ASSERT_EQ(catalog_->VersionToWrite(), wide ? 6 : 5);
    const auto files = EntriesOf(*catalog_);
    for (size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(files[files.size() - cases.size() + i].size, static_cast<int64_t>(cases[i].first));
    }
    EXPECT_EQ(catalog_->folders[0].totalSize, wide ? whole : clamped);
  }
}

// Denied folders keep their silence; a folder replaced since its parent was listed is
// not entered and is reported.
TEST_F(FakeScanTest, FoldersThatCannotBeListedKeepAnEmptyRecord) {
  fake_.AddFile("C:\\t\\a\\in-a", 7);
  fake_.AddFile("C:\\t\\locked\\secret", 99);
  fake_.AddFile("C:\\t\\mount\\other", 99);
  fake_.AddFile("C:\\t\\swapped\\elsewhere", 99);
  fake_.AddFile("C:\\t\\z\\in-z", 3);
  fake_.SetListingOrder("C:\\t", {"a", "locked", "mount", "swapped", "z"});
  fake_.Fail(FakePlatform::Op::List, "C:\\t\\locked");
  fake_.Fail(FakePlatform::Op::Swap, "C:\\t\\swapped");
  fake_.SetEnterable("C:\\t\\mount", false);

  ASSERT_EQ(Scan("C:\\t"), 7);
  EXPECT_EQ(EntriesOf(*catalog_), (std::vector<Entry>{{"a", -1, 0},
                                                      {"locked", -2, 0},
                                                      {"mount", -3, 0},
                                                      {"swapped", -4, 0},
                                                      {"z", -5, 0},
                                                      {"in-a", 7, 1},
                                                      {"in-z", 3, 5}}));
  ASSERT_EQ(catalog_->folders.size(), 6u);
  EXPECT_EQ(errorText_.str(),
            "LedraCmd: cannot list the folder 'C:\\t\\swapped': it was replaced during the walk\n");
  EXPECT_EQ(catalog_->folders[2].fileCount, 0);
  EXPECT_EQ(catalog_->folders[3].fileCount, 0);
  EXPECT_EQ(catalog_->folders[4].fileCount, 0);
  EXPECT_EQ(catalog_->folders[0].fileCount, 2);
  EXPECT_EQ(catalog_->folders[0].totalSize, 10.0);
}

TEST_F(FakeScanTest, IgnoreListLeavesOutFilesAndWholeSubtrees) {
  fake_.AddFile("C:\\Temp\\keep.txt", 1);
  fake_.AddFile("C:\\Temp\\x.tmp", 50);
  fake_.AddFile("C:\\Temp\\deep\\Temp\\gone.txt", 5);
  fake_.AddFile("C:\\Temp\\deep\\TEMP.tmp", 5);
  fake_.AddFile("C:\\Temp\\temp", 6);  // a file: a folder pattern never hits it
  fake_.AddFile("C:\\Temp\\Thumbs.DB", 8);
  fake_.AddFolder("C:\\Temp\\folder.tmp");  // a folder: a file pattern never hits it

  // The root itself is never tested against the list.
  ASSERT_EQ(Scan("C:\\Temp", "*.TMP; \\temp thumbs.db"), 4);
  std::vector<std::string> names;
  for (const Entry& e : EntriesOf(*catalog_)) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"keep.txt", "deep", "temp", "folder.tmp"}));
  EXPECT_EQ(catalog_->folders[0].fileCount, 2);
  EXPECT_EQ(catalog_->folders[0].totalSize, 7.0);
  ExpectWalkInvariants(*catalog_);
}

TEST_F(FakeScanTest, NothingRecordedIsAFailedWalk) {
  fake_.AddFolder("C:\\empty");
  fake_.AddFile("C:\\ignored\\a.tmp", 1);
  EXPECT_EQ(Scan("C:\\missing"), 0);
  EXPECT_TRUE(catalog_->folders.empty());
  fake_.AddFile("C:\\f", 1);
  EXPECT_EQ(Scan(""), 0);
  EXPECT_TRUE(catalog_->folders.empty());
  EXPECT_EQ(Scan("C:\\empty"), 0);
  EXPECT_EQ(catalog_->folders.size(), 1u);
  EXPECT_EQ(Scan("C:\\ignored", "*.tmp"), 0);
  EXPECT_EQ(catalog_->folders.size(), 1u);
  // An empty drive root lists nothing at all, not even the dots.
  fake_.AddVolume("F:\\", FakePlatform::Volume{});
  EXPECT_EQ(Scan("F:\\"), 0);
  EXPECT_TRUE(catalog_->folders.empty());
}

TEST_F(FakeScanTest, SingleListingGivesQueuedFoldersEmptyRecords) {
  fake_.AddFile("C:\\r\\a\\deep", 4);
  fake_.AddFile("C:\\r\\f", 2);
  fake_.AddFolder("C:\\r\\b");
  fake_.SetListingOrder("C:\\r", {"a", "f", "b"});
  ASSERT_EQ(Scan("C:\\r", "", 0), 3);
  ASSERT_EQ(catalog_->folders.size(), 3u);
  EXPECT_EQ(EntriesOf(*catalog_), (std::vector<Entry>{{"a", -1, 0}, {"f", 2, 0}, {"b", -2, 0}}));
  EXPECT_EQ(catalog_->folders[0].fileCount, 1);
}

TEST_F(FakeScanTest, RandomTreesKeepTheWalkInvariants) {
  std::mt19937 random(7);
  std::vector<std::string> folders{"R:\\t"};
  fake_.AddFolder("R:\\t");
  for (int i = 0; i < 3000; ++i) {
    const std::string parent = folders[random() % folders.size()];
    const std::string path = parent + "\\n" + std::to_string(i);
    if (random() % 3 == 0) {
      fake_.AddFolder(path);
      folders.push_back(path);
    } else {
      fake_.AddFile(path + (random() % 5 == 0 ? ".tmp" : ""), random());
    }
  }
  const int32_t all = Scan("R:\\t");
  ASSERT_GT(all, 0);
  ExpectWalkInvariants(*catalog_);
  const int32_t without = Scan("R:\\t", "*.tmp \\n1*");
  ASSERT_GT(without, 0);
  EXPECT_LT(without, all);
  ExpectWalkInvariants(*catalog_);
}

// Past 65,535 folders the walk goes on (the catalogue becomes version 6); only a tree of
// more folders or entries than a catalogue counts fails, with a reason.
TEST_F(FakeScanTest, FolderAndRecordLimits) {
  fake_.AddFolder("L:\\t");
  for (int i = 1; i < 65535; ++i) fake_.AddFolder("L:\\t\\" + std::to_string(i));
  EXPECT_EQ(Scan("L:\\t"), 65534);  // 65535 folders with the root
  EXPECT_EQ(catalog_->folders.size(), 65535u);
  EXPECT_EQ(catalog_->VersionToWrite(), 5);

  fake_.AddFile("L:\\t\\one-more\\f", 1);
  EXPECT_EQ(Scan("L:\\t"), 65536);
  EXPECT_EQ(catalog_->folders.size(), 65536u);
  EXPECT_EQ(catalog_->VersionToWrite(), 6);
  EXPECT_EQ(catalog_->entries.back().folderIndex, 65535u);
  ExpectWalkInvariants(*catalog_);

  struct Limit {
    const char* root;
    size_t records;
    int32_t result;
    const char* failure;
  };
  fake_.AddFolder("M:\\a\\b");  // 3 folders with the root, 2 entries
  fake_.AddFile("N:\\f1", 1);
  fake_.AddFile("N:\\f2", 1);
  fake_.AddFile("N:\\f3", 1);
  const Limit limits[] = {
      {"M:\\", 3, 2, ""},
      {"M:\\", 2, -1, "the tree holds more than 2 folders, more than a catalogue counts"},
      {"N:\\", 3, 3, ""},
      {"N:\\", 2, -1, "the tree holds more than 2 entries, more than a catalogue counts"},
  };
  for (const Limit& limit : limits) {
    SCOPED_TRACE(std::string(limit.root) + " " + std::to_string(limit.records));
    catalog_ = std::make_unique<VolumeCatalog>();
    TreeScanner scanner(fake_, *catalog_, limit.records);
    EXPECT_EQ(scanner.Scan(limit.root, "", 1), limit.result);
    EXPECT_EQ(scanner.failure(), limit.failure);
  }
}

// The same walks on real folders of this machine: Win32 directory searches under Wine,
// readdir and fstatat natively.
class RealScanTest : public ::testing::Test {
 protected:
  RealScanTest() : errors_(errorText_), platform_(NewRealPlatform(errors_)) {}

  int32_t Scan(const std::string& root, const std::string& ignore = "") {
    catalog_ = std::make_unique<VolumeCatalog>();
    TreeScanner scanner(*platform_, *catalog_);
    return scanner.Scan(root, ignore, 1);
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<VolumeCatalog> catalog_;
  TempTree tree_;
};

TEST_F(RealScanTest, WorkedExampleInAnyListingOrder) {
  tree_.MakeFile("a", std::string(10, 'a'));
  tree_.MakeFile("X/c", std::string(5, 'c'));
  tree_.MakeFile("b", std::string(20, 'b'));
  tree_.MakeFolder("Y");
  for (const std::string& root : {tree_.root(), tree_.root() + NativeSeparator()}) {
    ASSERT_EQ(Scan(root), 5);
    ExpectWalkInvariants(*catalog_);
    EXPECT_EQ(catalog_->folders[0].fileCount, 3);
    EXPECT_EQ(catalog_->folders[0].totalSize, 35.0);
    std::map<std::string, Entry> byName;
    for (const Entry& e : EntriesOf(*catalog_)) byName[e.name] = e;
    EXPECT_EQ(byName["c"].folderIndex, -byName["X"].size);
    EXPECT_EQ(byName["a"].size, 10);
    EXPECT_EQ(catalog_->folders[-byName["X"].size].totalSize, 5.0);
    EXPECT_EQ(catalog_->folders[-byName["Y"].size].fileCount, 0);
  }
  const std::string below = platform_->PathBelowVolumeRoot(tree_.root());
  EXPECT_EQ(catalog_->folders[0].path, below);
  EXPECT_EQ(below.front(), NativeSeparator());
}

TEST_F(RealScanTest, SparseFilesOf3And4And5GiB) {
  tree_.MakeSparseFile("three", 3ull << 30);
  tree_.MakeSparseFile("four", (4ull << 30) + 100);
  tree_.MakeSparseFile("five", 5ull << 30);
  ASSERT_EQ(Scan(tree_.root()), 3);
  std::map<std::string, int64_t> sizes;
  for (const Entry& e : EntriesOf(*catalog_)) sizes[e.name] = e.size;
  EXPECT_EQ(sizes["three"], 3ll << 30);
  EXPECT_EQ(sizes["four"], (4ll << 30) + 100);
  EXPECT_EQ(sizes["five"], 5ll << 30);
  EXPECT_EQ(catalog_->folders[0].totalSize, 3 * 2147483647.0);
}

TEST_F(RealScanTest, UnreadableSubfolderIsRecordedEmpty) {
  tree_.MakeFile("a/in-a", "x");
  tree_.MakeFile("locked/secret", "yy");
  tree_.MakeFile("z/in-z", "zzz");
  tree_.MakeUnreadable("locked");
  if (platform_->NewDirSearch()->Start(tree_.Path("locked"))) {
    // This process may read any folder (root with its capabilities).
    const int status = RerunWithoutPermissionOverride(
        ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
        std::string(".") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    if (status == -1)
      GTEST_SKIP() << "permissions do not apply here: run without "
                      "CAP_DAC_OVERRIDE (setpriv, see .ci/run)";
    EXPECT_EQ(status, 0);
    return;
  }
  ASSERT_EQ(Scan(tree_.root()), 5);
  ExpectWalkInvariants(*catalog_);
  std::map<std::string, Entry> byName;
  for (const Entry& e : EntriesOf(*catalog_)) byName[e.name] = e;
  ASSERT_TRUE(byName.count("locked"));
  EXPECT_FALSE(byName.count("secret"));
  EXPECT_EQ(catalog_->folders[-byName["locked"].size].fileCount, 0);
  EXPECT_EQ(catalog_->folders[0].fileCount, 2);
}

}  // namespace
}  // namespace ledra
