// Whole runs on real Linux volumes: a loop-mounted ext4 image with a known label and
// UUID, tmpfs mounts inside trees, links. Every catalogue is read back in full and held
// against the tree on disk. Mounting needs root; where it is refused the test is skipped
// and says why.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/end_to_end_posix_support.h"
#include "app/end_to_end_support.h"
#include "catalog/tree_check_testing.h"
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

using Names = std::vector<std::string>;

// A file of `size` bytes, its folders made on the way.
void Put(const std::string& path, size_t size) {
  fs::create_directories(fs::path(path).parent_path());
  WriteWholeFile(path, std::string(size, 'x'));
}

// Free space as the catalogue must state it: free blocks times their size, in MiB.
float FreeMiB(const std::string& path) {
  struct statvfs v;
  if (statvfs(path.c_str(), &v) != 0) return -2.0f;
  return static_cast<float>(static_cast<double>(v.f_bfree) * v.f_frsize / (1 << 20));
}

TreeCheckOptions OptionsWithFolder0(const std::string& folder0) {
  TreeCheckOptions options = e2e::NativeCheckOptions();
  options.folder0Path = folder0;
  return options;
}

// Runs the program on a parameter file written into the catalogue folder `cats`, expecting a
// clean run: status 0, back in its folder, nothing on standard error.
e2e::RunResult CleanRun(const std::string& cats, const std::string& parameters) {
  WriteWholeFile(cats + "/params.txt", parameters);
  e2e::RunResult r = RunInProcess(cats + "/params.txt");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.folderRestored) << "left in " << r.folderAfter;
  EXPECT_EQ(r.err, "");
  return r;
}

class EndToEndExt4Test : public ::testing::Test {
 protected:
  static constexpr uint32_t kSerial = 0x1234ABCD;

  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    // A space in the mount point: the mount table escapes it, the catalogue must not.
    volume_ = scratch_.Folder("data volume");
    std::string why;
    if (!mounts_.LoopExt4(scratch_ / "data.img", volume_, "DATA",
                          "1234abcd-5678-4def-8123-456789abcdef", 16, &why)) {
      GTEST_SKIP() << "no ext4 volume to catalogue: " << why;
    }
    Put(volume_ + "/photos/a.jpg", 1000);
    Put(volume_ + "/photos/b.jpg", 2000);
    Put(volume_ + "/photos/summer/c.jpg", 3000);
    Put(volume_ + "/music/song.ogg", 4000);
    Put(volume_ + "/top.txt", 12);
    fs::create_directory(volume_ + "/empty");
  }

  e2e::ScratchFolder scratch_;
  e2e::MountStack mounts_;  // unmounted before the scratch folder goes
  std::string volume_;
};

TEST_F(EndToEndExt4Test, WholeVolumeAndItsSecondRun) {
  const std::string cats = scratch_.Folder("cats");
  const e2e::RunResult first = CleanRun(cats, "#DEV " + volume_ + "\n");
  EXPECT_EQ(first.out, "Add: " + volume_ + "\n");
  EXPECT_EQ(NamesIn(cats), (Names{"DATA.kvl", "params.txt"}));
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(cats + "/DATA.kvl", &c));
  EXPECT_EQ(c.header.volumeName, "DATA");
  EXPECT_EQ(c.header.serial, kSerial);
  EXPECT_EQ(c.header.root, volume_ + "/");
  EXPECT_EQ(c.header.alias, "");
  EXPECT_EQ(c.header.comment, "");
  EXPECT_EQ(c.header.freeSpaceMB, FreeMiB(volume_));
  EXPECT_TRUE(MatchesTree(c, volume_, OptionsWithFolder0("")));
  EXPECT_EQ(c.folders[0].fileCount, 5);
  EXPECT_EQ(c.folders[0].totalSize, 10012.0);

  // The earlier catalogue carries a comment; the second run keeps it and the first file.
  std::string patched;
  std::string why;
  ASSERT_TRUE(ReplaceComment(ReadBytes(cats + "/DATA.kvl"), "x", &patched, &why)) << why;
  WriteWholeFile(cats + "/DATA.kvl", patched);
  Put(volume_ + "/music/new.ogg", 77);
  CleanRun(cats, "#DEV " + volume_ + "\n");
  EXPECT_EQ(NamesIn(cats), (Names{"DATA.kvl", "DATA.kvl.bak", "params.txt"}));
  EXPECT_EQ(ReadBytes(cats + "/DATA.kvl.bak"), patched);
  ASSERT_TRUE(LoadCatalog(cats + "/DATA.kvl", &c));
  EXPECT_EQ(c.header.comment, "x");
  EXPECT_EQ(c.header.alias, "");
  EXPECT_EQ(c.header.volumeName, "DATA");
  EXPECT_EQ(c.header.serial, kSerial);
  EXPECT_TRUE(MatchesTree(c, volume_, OptionsWithFolder0("")));
  EXPECT_EQ(c.folders[0].fileCount, 6);
}

// A disk unplugged from its mount point leaves a bare folder of the filesystem above it
// (with a stray file in it). Known by its alias, that folder would replace the disk's
// catalogue: the device fails as not mounted, the catalogue and its backup stay as they
// are, and the run's status says so. Another disk mounted there takes the alias over,
// with one line that names both volumes.
TEST_F(EndToEndExt4Test, UnpluggedDiskKeepsItsCatalogue) {
  const std::string cats = scratch_.Folder("cats");
  CleanRun(cats, "#DEV " + volume_ + ",Archive\n");
  const std::string stored = ReadBytes(cats + "/Archive.kvl");
  std::string why;
  ASSERT_TRUE(mounts_.Unmount(volume_, &why)) << why;
  Put(volume_ + "/stray.txt", 5);
  for (int run = 0; run < 2; ++run) {
    const e2e::RunResult r = RunInProcess(cats + "/params.txt");
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, "Add: " + volume_ + "\n");
    EXPECT_EQ(r.err, "Error occured while cataloging " + volume_ +
                         ".\nLedraCmd: cannot catalogue '" + volume_ + "': not mounted\n");
    EXPECT_EQ(NamesIn(cats), (Names{"Archive.kvl", "params.txt"}));
    EXPECT_EQ(ReadBytes(cats + "/Archive.kvl"), stored);
  }

  if (!mounts_.LoopExt4(scratch_ / "other.img", volume_, "OTHER",
                        "0badcafe-5678-4def-8123-456789abcdef", 16, &why)) {
    GTEST_SKIP() << "no second ext4 volume: " << why;
  }
  Put(volume_ + "/new.txt", 3);
  const e2e::RunResult r = RunInProcess(cats + "/params.txt");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "LedraCmd: the alias 'Archive' passes from the volume 'DATA' (1234-ABCD) to 'OTHER' "
            "(0BAD-CAFE)\n");
  EXPECT_EQ(NamesIn(cats), (Names{"Archive.kvl", "Archive.kvl.bak", "params.txt"}));
  EXPECT_EQ(ReadBytes(cats + "/Archive.kvl.bak"), stored);
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(cats + "/Archive.kvl", &c));
  EXPECT_EQ(c.header.volumeName, "OTHER");
  EXPECT_EQ(c.header.alias, "Archive");
}

// The same disk must be known by the same name and serial whoever runs the program.
TEST_F(EndToEndExt4Test, AnotherUserSeesTheSameVolume) {
  const std::string cats = scratch_.Folder("cats", 0777);
  WriteWholeFile(cats + "/params.txt", "#DEV " + volume_ + "\n");
  const e2e::ProcessResult p = e2e::RunLedraCmd(cats + "/params.txt", e2e::kAsNobody);
  ASSERT_TRUE(p.exited) << p.err;
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, "Add: " + volume_ + "\n");
  EXPECT_EQ(p.err, "");
  struct stat s;
  ASSERT_EQ(stat((cats + "/DATA.kvl").c_str(), &s), 0)
      << "the run as another user wrote no DATA.kvl; " << NamesIn(cats).size() << " names there";
  EXPECT_EQ(s.st_uid, 65534u) << "the run did not drop to another user";
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(cats + "/DATA.kvl", &c));
  EXPECT_EQ(c.header.volumeName, "DATA");
  EXPECT_EQ(c.header.serial, kSerial);
  EXPECT_EQ(c.header.root, volume_ + "/");
  EXPECT_TRUE(MatchesTree(c, volume_, OptionsWithFolder0("")));
}

// A device below its volume root is known by its path from the root; without alias its
// file name has no base at all.
TEST_F(EndToEndExt4Test, SubFolderDevices) {
  const std::string link = scratch_ / "to-photos";
  ASSERT_TRUE(e2e::MakeSymlink(volume_ + "/photos", link));
  struct Expected {
    std::string file;
    std::string volumeName;
    std::string alias;
    std::string below;  // folder 0's path, also the tree's place on the volume
  };
  struct Case {
    std::string name;
    std::string lines;
    std::vector<Expected> files;
  };
  const std::vector<Case> cases = {
      {"with alias",
       "#DEV " + volume_ + "/photos,Photos\n",
       {{"Photos.kvl", "[/photos]", "Photos", "/photos"}}},
      {"without alias, two of them",
       "#DEV " + volume_ + "/photos\n#DEV " + volume_ + "/music\n",
       {{".kvl", "[/photos]", "", "/photos"}, {"1.kvl", "[/music]", "", "/music"}}},
      {"deeper, with a trailing separator",
       "#DEV " + volume_ + "/photos/summer/,Summer\n",
       {{"Summer.kvl", "[/photos/summer]", "Summer", "/photos/summer"}}},
      {"named through a link",
       "#DEV " + link + ",Linked\n",
       {{"Linked.kvl", "[/photos]", "Linked", "/photos"}}},
      {"named with '..'",
       "#DEV " + volume_ + "/photos/../music,Music\n",
       {{"Music.kvl", "[/music]", "Music", "/music"}}},
      {"the volume root with a trailing separator is the whole volume",
       "#DEV " + volume_ + "/,Whole\n",
       {{"Whole.kvl", "DATA", "Whole", ""}}},
  };
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string cats = scratch_.Folder("cats" + std::to_string(++n));
    CleanRun(cats, k.lines);
    Names expectedNames{"params.txt"};
    for (const Expected& e : k.files) expectedNames.push_back(e.file);
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(NamesIn(cats), expectedNames);
    for (const Expected& e : k.files) {
      CatalogContents c;
      ASSERT_TRUE(LoadCatalog(cats + "/" + e.file, &c));
      EXPECT_EQ(c.header.volumeName, e.volumeName);
      EXPECT_EQ(c.header.alias, e.alias);
      EXPECT_EQ(c.header.root, volume_ + "/");
      EXPECT_EQ(c.header.serial, kSerial);
      EXPECT_TRUE(MatchesTree(c, volume_ + e.below, OptionsWithFolder0(e.below))) << e.file;
    }
  }
}

// A catalogue named '.kvl' is hidden, yet a later run finds it like any other.
TEST_F(EndToEndExt4Test, HiddenCatalogueIsFoundAgain) {
  const std::string cats = scratch_.Folder("cats");
  CleanRun(cats, "#DEV " + volume_ + "/photos\n");
  const std::string first = ReadBytes(cats + "/.kvl");
  ASSERT_NE(first, "<missing>");
  CleanRun(cats, "#DEV " + volume_ + "/photos\n");
  EXPECT_EQ(NamesIn(cats), (Names{".kvl", ".kvl.bak", "params.txt"}));
  EXPECT_EQ(ReadBytes(cats + "/.kvl.bak"), first);
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(cats + "/.kvl", &c));
  EXPECT_EQ(c.header.volumeName, "[/photos]");
  // The earlier catalogue had no alias: identification takes its volume name as the alias,
  // and the match hands over its empty alias again.
  EXPECT_EQ(c.header.alias, "");
  EXPECT_TRUE(MatchesTree(c, volume_ + "/photos", OptionsWithFolder0("/photos")));
}

// An earlier catalogue of the volume, alias 'Old' and comment 'x', meets each kind of
// device line; a different volume whose line gives the alias 'Old' takes its place too.
TEST_F(EndToEndExt4Test, AliasOfAnEarlierCatalogue) {
  const std::string seed = scratch_.Folder("seed");
  CleanRun(seed, "#DEV " + volume_ + ",Old\n");
  std::string earlier;
  std::string why;
  ASSERT_TRUE(ReplaceComment(ReadBytes(seed + "/Old.kvl"), "x", &earlier, &why)) << why;

  const std::string ram = scratch_.Folder("ram");
  if (!mounts_.Tmpfs(ram, "size=1m", &why)) GTEST_SKIP() << why;
  Put(ram + "/r.txt", 3);

  struct Case {
    std::string line;
    std::string file;
    std::string alias;
    std::string volumeName;
    std::string tree;
  };
  const std::vector<Case> cases = {
      {"#DEV " + volume_ + ",System", "System.kvl", "System", "DATA", volume_},
      {"#DEV " + volume_, "Old.kvl", "Old", "DATA", volume_},
      {"#DEV " + volume_ + ",DATA", "Old.kvl", "Old", "DATA", volume_},
      {"#DEV " + ram + ",Old", "Old.kvl", "Old", "[" + ram + "/]", ram},
  };
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line);
    const std::string cats = scratch_.Folder("cats" + std::to_string(++n));
    WriteWholeFile(cats + "/Old.kvl", earlier);
    WriteWholeFile(cats + "/params.txt", k.line + "\n");
    const e2e::RunResult r = RunInProcess(cats + "/params.txt");
    EXPECT_EQ(r.status, 0);
    // Another volume taking the alias over is told, with both volumes named.
    if (k.volumeName == "DATA") {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_EQ(r.err.rfind("LedraCmd: the alias 'Old' passes from the volume 'DATA' (1234-ABCD) "
                            "to '" +
                                k.volumeName + "' (",
                            0),
                0u)
          << r.err;
    }
    Names expectedNames{k.file, "Old.kvl.bak", "params.txt"};
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(NamesIn(cats), expectedNames);
    EXPECT_EQ(ReadBytes(cats + "/Old.kvl.bak"), earlier);
    CatalogContents c;
    ASSERT_TRUE(LoadCatalog(cats + "/" + k.file, &c));
    EXPECT_EQ(c.header.alias, k.alias);
    EXPECT_EQ(c.header.comment, "x");
    EXPECT_EQ(c.header.volumeName, k.volumeName);
    EXPECT_TRUE(MatchesTree(c, k.tree, OptionsWithFolder0("")));
  }
}

// Trees on the root filesystem with other volumes and links inside them.
class EndToEndPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    tree_ = scratch_.Folder("tree");
    cats_ = scratch_.Folder("cats");
  }

  e2e::ScratchFolder scratch_;
  e2e::MountStack mounts_;
  std::string tree_;
  std::string cats_;
};

TEST_F(EndToEndPosixTest, MountBelowTheTreeIsRecordedNotEntered) {
  Put(tree_ + "/before.txt", 10);
  fs::create_directory(tree_ + "/mnt");
  Put(tree_ + "/zafter/deep/z.txt", 20);
  std::string why;
  if (!mounts_.Tmpfs(tree_ + "/mnt", "size=1m", &why)) GTEST_SKIP() << why;
  Put(tree_ + "/mnt/inside.txt", 5000);
  Put(tree_ + "/mnt/folder/more.txt", 6000);

  CleanRun(cats_, "#DEV " + tree_ + ",T\n");
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(cats_ + "/T.kvl", &c));
  EXPECT_TRUE(MatchesTree(c, tree_, e2e::NativeCheckOptions()));
  int32_t mountFolder = 0;
  for (const CatalogEntry& e : c.entries) {
    EXPECT_NE(e.name, "inside.txt");
    if (e.name == "mnt") mountFolder = -e.size;
  }
  ASSERT_GT(mountFolder, 0) << "the mount point is not recorded as a folder";
  ASSERT_LT(static_cast<size_t>(mountFolder), c.folders.size());
  EXPECT_EQ(c.folders[mountFolder].fileCount, 0);
  EXPECT_EQ(c.folders[mountFolder].totalSize, 0.0);
  for (const CatalogEntry& e : c.entries) EXPECT_NE(e.folderIndex, mountFolder) << e.name;
  // root, mnt, zafter, deep; files before.txt and z.txt.
  EXPECT_EQ(c.folders.size(), 4u);
  EXPECT_EQ(c.folders[0].fileCount, 2);
  EXPECT_EQ(c.folders[0].totalSize, 30.0);
}

TEST_F(EndToEndPosixTest, LinksAreRecordedAsFilesOfTheirOwnSize) {
  Put(tree_ + "/real/f", 100);
  const std::string absolute = tree_ + "/real";
  ASSERT_TRUE(e2e::MakeSymlink("real", tree_ + "/to-real"));
  ASSERT_TRUE(e2e::MakeSymlink(absolute, tree_ + "/to-real-absolute"));
  ASSERT_TRUE(e2e::MakeSymlink("real/f", tree_ + "/to-file"));
  ASSERT_TRUE(e2e::MakeSymlink("nowhere/at/all", tree_ + "/dangling"));
  ASSERT_TRUE(e2e::MakeSymlink("loop", tree_ + "/loop"));
  ASSERT_TRUE(e2e::MakeSymlink("..", tree_ + "/real/up"));

  CleanRun(cats_, "#DEV " + tree_ + ",L\n");
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(cats_ + "/L.kvl", &c));
  EXPECT_TRUE(MatchesTree(c, tree_, e2e::NativeCheckOptions()));
  std::map<std::string, int32_t> sizes;
  for (const CatalogEntry& e : c.entries) sizes[std::string(e.name)] = static_cast<int>(e.size);
  const std::map<std::string, int32_t> expected = {
      {"real", -1},   {"f", 100},
      {"to-real", 4}, {"to-real-absolute", static_cast<int32_t>(absolute.size())},
      {"to-file", 6}, {"dangling", 14},
      {"loop", 4},    {"up", 2}};
  EXPECT_EQ(sizes, expected);
  ASSERT_EQ(c.folders.size(), 2u) << "a link to a folder was followed";
  EXPECT_EQ(c.folders[0].fileCount, 7);
  EXPECT_EQ(c.folders[0].totalSize, 100.0 + 4 + absolute.size() + 6 + 14 + 4 + 2);
}

TEST_F(EndToEndPosixTest, FreeSpaceOfATmpfsOfKnownSize) {
  const std::string ram = scratch_.Folder("ram");
  std::string why;
  if (!mounts_.Tmpfs(ram, "size=4m", &why)) GTEST_SKIP() << why;
  Put(ram + "/one-mib-and-more", (1 << 20) + 12345);

  CleanRun(cats_, "#DEV " + ram + ",Ram\n");
  CatalogContents c;
  ASSERT_TRUE(LoadCatalog(cats_ + "/Ram.kvl", &c));
  // 4 MiB less the whole pages the file takes: not a whole number of MiB.
  const long page = sysconf(_SC_PAGESIZE);
  const long used = ((1 << 20) + 12345 + page - 1) / page * page;
  EXPECT_EQ(c.header.freeSpaceMB, FreeMiB(ram));
  EXPECT_EQ(c.header.freeSpaceMB, static_cast<float>((4 << 20) - used) / (1 << 20));
  EXPECT_EQ(c.header.volumeName, "[" + ram + "/]");  // a tmpfs has no label
  EXPECT_EQ(c.header.root, ram + "/");
  EXPECT_TRUE(MatchesTree(c, ram, OptionsWithFolder0("")));
}

// A whole modern disk in small, on a tmpfs so that its 65,537 folders take seconds to make.
// A folder's place below the root of the volume it lies on ("" for the root itself).
std::string PathBelowMountPoint(const std::string& folder) {
  struct stat own, above;
  fs::path top = folder;
  if (stat(folder.c_str(), &own) != 0) return folder;
  while (top.has_relative_path() && stat(top.parent_path().c_str(), &above) == 0 &&
         above.st_dev == own.st_dev) {
    top = top.parent_path();
  }
  return folder.substr(top.string().size());
}

// In memory, for anyone: /dev/shm, else a tmpfs of its own (root only).
TEST_F(EndToEndPosixTest, BeyondSixtyFiveThousandFoldersAndTwoGibibytes) {
  TempTree tree(TempTreeStorage::Memory);
  if (!tree.inMemory()) {
    GTEST_SKIP() << "no /dev/shm, and a tmpfs of its own needs root: 65,537 folders on the "
                    "disk would take minutes";
  }
  const std::string& many = tree.root();
  for (const uint64_t size : e2e::kLargeFiles) {
    const std::string path = many + "/" + e2e::kLargeFolder + "/" + e2e::LargeFileName(size);
    Put(path, 0);
    fs::resize_file(path, size);
  }
  Put(many + "/" + e2e::kDeepestFile, 10);
  for (int i = 1; i <= e2e::kNumberedFolders; ++i) {
    fs::create_directory(many + "/" + std::to_string(i));
  }
  e2e::RunsBeyondVersion5(many, PathBelowMountPoint(many), cats_, /*atTheLimit=*/true,
                          e2e::NativeCheckOptions());
}

}  // namespace
}  // namespace ledra
