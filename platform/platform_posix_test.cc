// Tests of the POSIX back end on the real machine: real trees, real mounts, real files.
// Tests that mount need root; where a mount is refused they are skipped with the reason.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_testing.h"
#include "platform/volume_linux.h"

namespace ledra {
namespace {

using test::MountStack;
using test::ScratchFolder;

constexpr uint64_t kMiB = 1024 * 1024;

// Puts the process back into the folder it was in when the guard was made.
class FolderGuard {
 public:
  FolderGuard() {
    char* cwd = getcwd(nullptr, 0);
    if (cwd != nullptr) saved_ = cwd;
    std::free(cwd);
  }
  ~FolderGuard() {
    if (!saved_.empty() && chdir(saved_.c_str()) != 0) ADD_FAILURE() << "cannot go back";
  }
  FolderGuard(const FolderGuard&) = delete;
  FolderGuard& operator=(const FolderGuard&) = delete;

 private:
  std::string saved_;
};

void WriteFile(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(fd);
}

std::string ReadWholeFile(const std::string& path) {
  std::string content;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "<missing>";
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, n);
  close(fd);
  return content;
}

void MakeSparse(const std::string& path, uint64_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0) << std::strerror(errno);
  close(fd);
}

void SetModified(const std::string& path, int64_t seconds) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0},
                                    {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
      << path << ": " << std::strerror(errno);
}

// Every item of one listing by name; a name delivered twice fails the test.
std::map<std::string, DirItem> ListAll(DirSearch& search) {
  std::map<std::string, DirItem> items;
  DirItem item;
  while (search.Next(item)) {
    EXPECT_TRUE(items.emplace(item.name, item).second) << "listed twice: " << item.name;
  }
  return items;
}

class PosixPlatformTest : public ::testing::Test {
 protected:
  std::ostringstream errorText_;
  MessageSink errors_{errorText_};
  std::unique_ptr<Platform> platform_ = NewRealPlatform(errors_);
  ScratchFolder temp_;

  void SetUp() override { ASSERT_FALSE(temp_.path().empty()) << "no temporary folder"; }
};

// --- Directory search -------------------------------------------------------------------

// A folder below the walk's root is listed only when it is the object its parent's
// listing saw: swapped for a link, a file or another folder, it is refused as replaced;
// gone or denied, it says so. The root itself may be a link.
TEST_F(PosixPlatformTest, FoldersBelowTheRootAreTheOnesListed) {
  const std::string real = temp_ / "real";
  const std::string secret = temp_ / "secret";
  ASSERT_EQ(mkdir(real.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(secret.c_str(), 0700), 0);
  WriteFile(secret + "/names", "root only");
  ASSERT_EQ(symlink(real.c_str(), (temp_ / "root-link").c_str()), 0);
  const std::string root = temp_ / "root-link";
  struct Case {
    const char* name;
    std::function<void(const std::string& sub)> swap;
    bool listed;
    bool replaced;
  };
  const Case cases[] = {
      {"untouched", [](const std::string&) {}, true, false},
      {"a link to another folder",
       [&](const std::string& sub) {
         rmdir(sub.c_str());
         ASSERT_EQ(symlink(secret.c_str(), sub.c_str()), 0);
       },
       false, true},
      {"another folder",
       [&](const std::string& sub) {
         ASSERT_EQ(mkdir((temp_ / "other").c_str(), 0755), 0);
         rmdir(sub.c_str());
         ASSERT_EQ(rename((temp_ / "other").c_str(), sub.c_str()), 0);
       },
       false, true},
      {"a file",
       [&](const std::string& sub) {
         rmdir(sub.c_str());
         WriteFile(sub, "");
       },
       false, true},
      {"gone", [](const std::string& sub) { rmdir(sub.c_str()); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sub = root + "/sub";
    std::filesystem::remove_all(real + "/sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    std::unique_ptr<DirSearch> search = platform_->NewDirSearch();
    ASSERT_TRUE(search->Start(root));
    FileIdentity seen;
    DirItem item;
    while (search->Next(item)) {
      if (item.name == "sub") seen = item.identity;
    }
    c.swap(sub);
    OsError err;
    EXPECT_EQ(search->StartBelow(root, sub, seen, &err), c.listed);
    EXPECT_EQ(err.text == "it was replaced during the walk", c.replaced) << err.text;
    if (c.listed) {
      EXPECT_TRUE(search->Next(item));
    } else {
      EXPECT_FALSE(search->Next(item));
      EXPECT_EQ(err.notFound, !c.replaced);
    }
  }
}

TEST_F(PosixPlatformTest, DirSearchReportsEveryItemAsItIs) {
  const std::string tree = temp_ / "tree";
  ASSERT_EQ(mkdir(tree.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((tree + "/sub").c_str(), 0755), 0);
  WriteFile(tree + "/plain.txt", "hello");
  WriteFile(tree + "/Mixed Case.TXT", "");
  WriteFile(tree + "/.hidden", std::string(1000, 'x'));
  WriteFile(tree + "/ancient", "a");
  WriteFile(tree + "/far future", "ab");
  MakeSparse(tree + "/three-gib", 3ull << 30);
  MakeSparse(tree + "/four-gib-and-100", (4ull << 30) + 100);
  ASSERT_EQ(symlink("sub", (tree + "/link-to-sub").c_str()), 0);
  ASSERT_EQ(symlink("nowhere/at/all", (tree + "/dangling").c_str()), 0);
  SetModified(tree + "/plain.txt", 1000000000);
  SetModified(tree + "/Mixed Case.TXT", 1234567890);
  SetModified(tree + "/.hidden", 0);
  SetModified(tree + "/ancient", -100000);       // before 1970
  SetModified(tree + "/far future", 1ll << 33);  // beyond the 32-bit range
  SetModified(tree + "/three-gib", 1500000000);
  SetModified(tree + "/four-gib-and-100", 1500000001);
  SetModified(tree + "/link-to-sub", 1600000000);  // the link's own time
  SetModified(tree + "/dangling", 1600000001);
  SetModified(tree + "/sub", 1700000000);

  constexpr int64_t kAny = -1;  // the size and time of '.' and '..' are not ours to set
  struct Expected {
    const char* name;
    bool isFolder;
    int64_t size;
    int64_t modified;
  };
  const Expected expected[] = {
      {".", true, kAny, kAny},
      {"..", true, kAny, kAny},
      {"sub", true, kAny, 1700000000},
      {"plain.txt", false, 5, 1000000000},
      {"Mixed Case.TXT", false, 0, 1234567890},
      {".hidden", false, 1000, 0},
      {"ancient", false, 1, -100000},
      {"far future", false, 2, 2147483647},
      {"three-gib", false, 0xC0000000u, 1500000000},
      {"four-gib-and-100", false, (4LL << 30) + 100, 1500000001},
      // Links are recorded as files of their own size and never followed.
      {"link-to-sub", false, 3, 1600000000},
      {"dangling", false, 14, 1600000001},
  };

  std::unique_ptr<DirSearch> search = platform_->NewDirSearch();
  ASSERT_TRUE(search->Start(tree));
  const std::map<std::string, DirItem> items = ListAll(*search);
  EXPECT_EQ(items.size(), std::size(expected));
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    auto it = items.find(e.name);
    ASSERT_NE(it, items.end());
    EXPECT_EQ(it->second.isFolder, e.isFolder);
    EXPECT_TRUE(it->second.enterable);
    if (e.size != kAny) {
      EXPECT_EQ(it->second.size, e.size);
    }
    if (e.modified != kAny) {
      EXPECT_EQ(it->second.modified, e.modified);
    }
  }
  DirItem item;
  EXPECT_FALSE(search->Next(item)) << "an ended listing stays ended";

  // A listing of names gives the same names and kinds, links again not followed; the
  // search then started again reads every fact as before.
  OsError err;
  ASSERT_TRUE(search->StartOrExplain(tree, &err)) << err.text;
  const std::map<std::string, DirItem> names = ListAll(*search);
  EXPECT_EQ(names.size(), items.size());
  for (const auto& [name, listed] : names) {
    auto it = items.find(name);
    ASSERT_NE(it, items.end()) << name;
    EXPECT_EQ(listed.isFolder, it->second.isFolder) << name;
  }
  ASSERT_TRUE(search->Start(tree));
  EXPECT_EQ(ListAll(*search).at("plain.txt").size, 5u);
}

TEST_F(PosixPlatformTest, DirSearchStartsOnlyOnFoldersItCanList) {
  WriteFile(temp_ / "file", "x");
  ASSERT_EQ(mkdir((temp_ / "a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((temp_ / "b").c_str(), 0755), 0);
  WriteFile(temp_ / "a/in-a-1", "");
  WriteFile(temp_ / "a/in-a-2", "");
  WriteFile(temp_ / "b/in-b", "");

  std::unique_ptr<DirSearch> search = platform_->NewDirSearch();
  DirItem item;
  EXPECT_FALSE(search->Next(item)) << "nothing before a start";
  EXPECT_FALSE(search->Start(temp_ / "missing"));
  EXPECT_FALSE(search->Next(item));
  EXPECT_FALSE(search->Start(temp_ / "file"));
  EXPECT_FALSE(search->Start(temp_ / "file/below"));

  // A new start ends a listing left half-way; the next one shows only its own items.
  ASSERT_TRUE(search->Start(temp_ / "a"));
  ASSERT_TRUE(search->Next(item));
  ASSERT_TRUE(search->Start(temp_ / "b"));
  const std::map<std::string, DirItem> items = ListAll(*search);
  EXPECT_EQ(items.size(), 3u);
  EXPECT_EQ(items.count("in-b"), 1u);
  EXPECT_EQ(items.count("in-a-1") + items.count("in-a-2"), 0u);

  // A removed folder still open as the current one opens, but yields nothing at all.
  {
    FolderGuard back;
    ASSERT_EQ(mkdir((temp_ / "gone").c_str(), 0755), 0);
    ASSERT_EQ(chdir((temp_ / "gone").c_str()), 0);
    ASSERT_EQ(rmdir((temp_ / "gone").c_str()), 0);
    EXPECT_FALSE(search->Start("."));
    EXPECT_FALSE(search->Next(item));
  }

  // The walk root '/' arrives normalised to nothing.
  ASSERT_TRUE(search->Start(""));
  const std::map<std::string, DirItem> root = ListAll(*search);
  ASSERT_EQ(root.count("tmp"), 1u);
  EXPECT_TRUE(root.at("tmp").isFolder);
  EXPECT_EQ(root.count("."), 1u);
  EXPECT_EQ(root.count(".."), 1u);
}

TEST_F(PosixPlatformTest, DirSearchDoesNotEnterAnotherFilesystem) {
  ASSERT_EQ(mkdir((temp_ / "mounted").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((temp_ / "local").c_str(), 0755), 0);
  MountStack mounts;
  std::string why;
  if (!mounts.Tmpfs(temp_ / "mounted", "size=1m", &why)) GTEST_SKIP() << why;
  WriteFile(temp_ / "mounted/inside", "1234");

  std::unique_ptr<DirSearch> search = platform_->NewDirSearch();
  ASSERT_TRUE(search->Start(temp_.path()));
  std::map<std::string, DirItem> items = ListAll(*search);
  ASSERT_EQ(items.count("mounted"), 1u);
  EXPECT_TRUE(items["mounted"].isFolder);
  EXPECT_FALSE(items["mounted"].enterable);
  EXPECT_TRUE(items["local"].enterable);
  EXPECT_TRUE(items["."].enterable);

  // Listed by itself, the mount is an ordinary folder.
  ASSERT_TRUE(search->Start(temp_ / "mounted"));
  items = ListAll(*search);
  EXPECT_EQ(items["inside"].size, 4u);
  // The dots come without a status call: the walk never records them.
  EXPECT_TRUE(items[".."].isFolder);
}

// --- Catalogue files and names ----------------------------------------------------------

TEST_F(PosixPlatformTest, FindCatalogFilesByTheirLastFourBytes) {
  for (const char* name : {"DATA.kvl", "Music.KVL", ".kvl", ".Hidden.kVl", "notes.kvl.bak", "kvl",
                           "a.kv", "akvl", "DATA.kvl.tmp", "x.kvlx"}) {
    WriteFile(temp_ / name, "");
  }
  ASSERT_EQ(mkdir((temp_ / "folder.kvl").c_str(), 0755), 0);

  const std::vector<std::string> found = platform_->FindCatalogFiles(temp_.path());
  const std::set<std::string> paths(found.begin(), found.end());
  EXPECT_EQ(found.size(), paths.size());
  const std::set<std::string> expected = {temp_ / "DATA.kvl", temp_ / "Music.KVL", temp_ / ".kvl",
                                          temp_ / ".Hidden.kVl", temp_ / "folder.kvl"};
  EXPECT_EQ(paths, expected);

  EXPECT_EQ(platform_->FindCatalogFiles(temp_.path() + "/"), found) << "no doubled '/'";
  EXPECT_TRUE(platform_->FindCatalogFiles(temp_ / "missing").empty());
}

TEST_F(PosixPlatformTest, FindCatalogFilesInTheRootFolder) {
  // The working folder '/' gives '/name', whether named '/' or normalised to ''.
  const std::string name = "ledra-posix-test-" + std::to_string(getpid()) + ".KVL";
  const std::string path = "/" + name;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) GTEST_SKIP() << "cannot create " << path << ": " << std::strerror(errno);
  close(fd);
  struct Remover {
    std::string path;
    ~Remover() { unlink(path.c_str()); }
  } remover{path};

  for (const std::string& folder : {std::string("/"), std::string()}) {
    const std::vector<std::string> found = platform_->FindCatalogFiles(folder);
    EXPECT_EQ(std::count(found.begin(), found.end(), path), 1) << "folder '" << folder << "'";
  }
}

TEST_F(PosixPlatformTest, NameExistsIgnoresAsciiCase) {
  WriteFile(temp_ / "Data.KVL", "");
  ASSERT_EQ(mkdir((temp_ / "Sub Folder").c_str(), 0755), 0);
  WriteFile(temp_ / "\xC3\xA9t\xC3\xA9.kvl", "");  // 'été' in UTF-8
  FolderGuard back;
  ASSERT_EQ(chdir(temp_.path().c_str()), 0);

  const struct {
    const char* name;
    bool exists;
  } cases[] = {
      {"Data.KVL", true},
      {"data.kvl", true},
      {"DATA.KVL", true},
      {"sub folder", true},
      {"SUB FOLDER", true},
      {"Data.KV", false},
      {"Data.KVLx", false},
      {"Other.kvl", false},
      {"", false},
      {"\xC3\xA9t\xC3\xA9.KVL", true},
      {"\xC3\x89T\xC3\x89.kvl", false},  // only ASCII letters fold
      {"./Data.KVL", false},             // a name, not a path
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform_->NameExists(c.name), c.exists) << "'" << c.name << "'";
  }
}

// --- Folders and paths ------------------------------------------------------------------

TEST_F(PosixPlatformTest, CurrentAndChangeFolder) {
  FolderGuard back;
  ASSERT_TRUE(platform_->ChangeFolder(temp_.path()));
  std::string folder;
  ASSERT_TRUE(platform_->CurrentFolder(&folder));
  EXPECT_EQ(folder, temp_.path());
  EXPECT_FALSE(platform_->ChangeFolder(temp_ / "missing"));
  EXPECT_FALSE(platform_->ChangeFolder(""));
  ASSERT_TRUE(platform_->CurrentFolder(&folder));
  EXPECT_EQ(folder, temp_.path()) << "a failed change stays where it was";
  ASSERT_TRUE(platform_->ChangeFolder("/"));
  ASSERT_TRUE(platform_->CurrentFolder(&folder));
  EXPECT_EQ(folder, "/");
}

TEST_F(PosixPlatformTest, CurrentFolderLongerThanAPage) {
  // 25 levels of 200 characters: longer than PATH_MAX, which the kernel's getcwd refuses.
  FolderGuard back;
  ASSERT_EQ(chdir(temp_.path().c_str()), 0);
  const std::string level(200, 'd');
  struct Climber {
    int depth = 0;
    std::string level;
    ~Climber() {
      for (; depth > 0; --depth) {
        if (chdir("..") != 0 || rmdir(level.c_str()) != 0) return;
      }
    }
  } climber{0, level};
  std::string expected = temp_.path();
  for (int i = 0; i < 25; ++i) {
    ASSERT_EQ(mkdir(level.c_str(), 0755), 0) << std::strerror(errno);
    ASSERT_EQ(chdir(level.c_str()), 0);
    ++climber.depth;
    expected += "/" + level;
  }
  std::string folder;
  ASSERT_TRUE(platform_->CurrentFolder(&folder));
  EXPECT_EQ(folder.size(), expected.size());
  EXPECT_EQ(folder, expected);
}

TEST_F(PosixPlatformTest, AbsolutePathAsNamed) {
  FolderGuard back;
  ASSERT_EQ(mkdir((temp_ / "real").c_str(), 0755), 0);
  ASSERT_EQ(symlink("real", (temp_ / "link").c_str()), 0);
  ASSERT_EQ(chdir((temp_ / "link").c_str()), 0);  // the kernel knows it as .../real
  std::string cwd;
  ASSERT_TRUE(platform_->CurrentFolder(&cwd));

  const struct {
    const char* path;
    std::string absolute;
  } cases[] = {
      {"params.txt", cwd + "/params.txt"},
      {"sub/params.txt", cwd + "/sub/params.txt"},
      {"./params.txt", cwd + "/./params.txt"},
      {"../x/params.txt", cwd + "/../x/params.txt"},
      {"sub//params.txt", cwd + "/sub/params.txt"},
      {"/etc/params.txt", "/etc/params.txt"},
      {"//etc///params.txt", "/etc/params.txt"},
      {"/", "/"},
      {"/params.txt", "/params.txt"},
  };
  for (const auto& c : cases) {
    std::string absolute;
    ASSERT_TRUE(platform_->AbsolutePath(c.path, &absolute)) << c.path;
    EXPECT_EQ(absolute, c.absolute) << c.path;
  }
  std::string absolute = "untouched";
  EXPECT_FALSE(platform_->AbsolutePath("", &absolute));

  ASSERT_EQ(chdir("/"), 0);
  ASSERT_TRUE(platform_->AbsolutePath("params.txt", &absolute));
  EXPECT_EQ(absolute, "/params.txt");
}

TEST_F(PosixPlatformTest, SplitVolumeRootAtTheMountPoint) {
  const std::string point = temp_ / "my disk";  // mountinfo writes the space as \040
  ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
  MountStack mounts;
  std::string why;
  if (!mounts.Tmpfs(point, "size=1m", &why)) GTEST_SKIP() << why;
  ASSERT_EQ(mkdir((point + "/Photos").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((point + "/Photos/Summer 2024").c_str(), 0755), 0);
  ASSERT_EQ(symlink((point + "/Photos").c_str(), (temp_ / "photos-link").c_str()), 0);
  ASSERT_EQ(symlink(point.c_str(), (temp_ / "disk-link").c_str()), 0);
  ASSERT_EQ(symlink("missing", (temp_ / "dangling").c_str()), 0);

  const struct {
    std::string devicePath;
    std::string root;
    std::string remainder;
  } cases[] = {
      {"/", "/", ""},
      {point, point + "/", ""},
      {point + "/", point + "/", ""},
      {point + "/Photos", point + "/", "/Photos"},
      {point + "/Photos/Summer 2024/", point + "/", "/Photos/Summer 2024"},
      {point + "/Photos/../Photos/./Summer 2024", point + "/", "/Photos/Summer 2024"},
      {temp_ / "photos-link", point + "/", "/Photos"},  // a linked root is followed
      {temp_ / "disk-link", point + "/", ""},
      {temp_ / "photos-link/Summer 2024", point + "/", "/Photos/Summer 2024"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.devicePath);
    std::string root;
    std::string remainder;
    ASSERT_TRUE(platform_->SplitVolumeRoot(c.devicePath, &root, &remainder));
    EXPECT_EQ(root, c.root);
    EXPECT_EQ(remainder, c.remainder);
  }

  for (const std::string& unresolvable :
       {temp_ / "missing", temp_ / "dangling", point + "/Photos/missing", std::string()}) {
    std::string root = "untouched";
    std::string remainder = "untouched";
    EXPECT_FALSE(platform_->SplitVolumeRoot(unresolvable, &root, &remainder)) << unresolvable;
  }
}

TEST_F(PosixPlatformTest, PathBelowVolumeRoot) {
  const std::string point = temp_ / "my disk";
  ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
  MountStack mounts;
  std::string why;
  if (!mounts.Tmpfs(point, "size=1m", &why)) GTEST_SKIP() << why;
  ASSERT_EQ(mkdir((point + "/Photos").c_str(), 0755), 0);
  ASSERT_EQ(symlink((point + "/Photos").c_str(), (temp_ / "photos-link").c_str()), 0);

  const struct {
    std::string normalisedRoot;
    std::string below;
  } cases[] = {
      {"", ""},  // the walk root '/'
      {point, ""},
      {point + "/Photos", "/Photos"},
      {temp_ / "photos-link", "/Photos"},
      {temp_ / "missing", temp_ / "missing"},  // unresolvable: taken as it stands
      {"relative/missing", "relative/missing"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform_->PathBelowVolumeRoot(c.normalisedRoot), c.below) << c.normalisedRoot;
  }
}

TEST(VolumeLinuxTest, SplitAtMountPoint) {
  const struct {
    const char* resolved;
    const char* mountPoint;
    const char* root;
    const char* remainder;
  } cases[] = {
      {"/", "/", "/", ""},
      {"/home/user", "/", "/", "/home/user"},
      {"/mnt/data", "/mnt/data", "/mnt/data/", ""},
      {"/mnt/data/a/b", "/mnt/data", "/mnt/data/", "/a/b"},
      {"/mnt/data/a", "/mnt/data/", "/mnt/data/", "/a"},
  };
  for (const auto& c : cases) {
    std::string root;
    std::string remainder;
    SplitAtMountPoint(c.resolved, c.mountPoint, &root, &remainder);
    EXPECT_EQ(root, c.root) << c.resolved;
    EXPECT_EQ(remainder, c.remainder) << c.resolved;
  }
}

// A list of filesystems to mount, in the form of /etc/fstab, with swap, comments, an
// escaped space and a mount point below another.
TEST(VolumeLinuxTest, FindListedMountPoint) {
  test::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string table = scratch / "fstab";
  {
    std::FILE* f = std::fopen(table.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(
        "# <file system> <mount point> <type> <options> <dump> <pass>\n"
        "UUID=1111 / ext4 errors=remount-ro 0 1\n"
        "UUID=2222 none swap sw 0 0\n"
        "LABEL=DRAWEREX /mnt/archive ext4 noauto,nofail 0 2\n"
        "/dev/sdc1 /mnt/archive/inner vfat noauto 0 0\n"
        "srv:/export /media/my\\040disk nfs noauto 0 0\n",
        f);
    std::fclose(f);
  }
  const struct {
    const char* path;
    const char* listed;
  } cases[] = {
      {"/mnt/archive", "/mnt/archive"},
      {"/mnt/archive/photos/2023", "/mnt/archive"},
      {"/mnt/archive/inner/x", "/mnt/archive/inner"},
      {"/mnt/archive2", "/"},
      {"/media/my disk/a", "/media/my disk"},
      {"/home", "/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindListedMountPoint(table, c.path), c.listed) << c.path;
  }
  EXPECT_EQ(FindListedMountPoint(scratch / "missing", "/mnt/archive"), "");
}

// --- Volumes ----------------------------------------------------------------------------

TEST(VolumeLinuxTest, DriveTypeForFsType) {
  const struct {
    const char* fsType;
    DriveType type;
  } cases[] = {
      {"nfs", DriveType::Remote},
      {"nfs4", DriveType::Remote},
      {"cifs", DriveType::Remote},
      {"smb3", DriveType::Remote},
      {"fuse.sshfs", DriveType::Remote},
      {"9p", DriveType::Remote},
      {"afs", DriveType::Remote},
      {"ceph", DriveType::Remote},
      {"glusterfs", DriveType::Remote},
      {"iso9660", DriveType::CdRom},
      {"udf", DriveType::CdRom},
      {"tmpfs", DriveType::RamDisk},
      {"ramfs", DriveType::RamDisk},
      {"ext4", DriveType::Fixed},
      {"btrfs", DriveType::Fixed},
      {"xfs", DriveType::Fixed},
      {"vfat", DriveType::Fixed},
      {"fuse", DriveType::Fixed},
      {"fuse.sshfsx", DriveType::Fixed},
      {"NFS", DriveType::Fixed},
      {"", DriveType::Fixed},
      {"nfs ", DriveType::Fixed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DriveTypeForFsType(c.fsType), c.type) << "'" << c.fsType << "'";
  }
}

// Local folders are not waited on; every network or FUSE mount of this machine is.
TEST(VolumeLinuxTest, WaitingFilesystems) {
  ScratchFolder scratch;
  EXPECT_FALSE(IsWaitingFilesystem(scratch.path()));
  EXPECT_FALSE(IsWaitingFilesystem(scratch / "missing"));
  std::ifstream mounts("/proc/self/mounts");
  std::string source, target, type, rest;
  while (mounts >> source >> target >> type && std::getline(mounts, rest)) {
    const bool waiting = type == "fuse" || type == "fuseblk" || type.rfind("fuse.", 0) == 0 ||
                         type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" ||
                         type == "9p";
    if (waiting && access(target.c_str(), R_OK) == 0) {
      EXPECT_TRUE(IsWaitingFilesystem(target)) << target << " " << type;
    }
  }
}

TEST(VolumeLinuxTest, DecodeUdevName) {
  const struct {
    const char* name;
    const char* decoded;
  } cases[] = {
      {"DATA", "DATA"},
      {"My\\x20Disk", "My Disk"},
      {"a\\x2fb\\x5C", "a/b\\"},
      {"\\x20\\x20", "  "},
      {"end\\x2", "end\\x2"},  // cut short: kept as it stands
      {"bad\\xZZ", "bad\\xZZ"},
      {"\\", "\\"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeUdevName(c.name), c.decoded) << c.name;
}

TEST_F(PosixPlatformTest, FindDiskLinkNameByDevice) {
  // Device nodes of our own stand in for /dev, which has no /dev/disk on these machines.
  ASSERT_EQ(mkdir((temp_ / "nodes").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((temp_ / "by-label").c_str(), 0755), 0);
  const dev_t wanted = makedev(7, 201);
  const dev_t other = makedev(7, 202);
  if (mknod((temp_ / "nodes/wanted").c_str(), S_IFBLK | 0600, wanted) != 0) {
    GTEST_SKIP() << "cannot make a device node: " << std::strerror(errno);
  }
  ASSERT_EQ(mknod((temp_ / "nodes/other").c_str(), S_IFBLK | 0600, other), 0);
  ASSERT_EQ(mknod((temp_ / "nodes/char").c_str(), S_IFCHR | 0600, wanted), 0);
  for (const auto& [name, target] : std::vector<std::pair<std::string, std::string>>{
           {"Other\\x20Disk", "../nodes/other"},
           {"Char", "../nodes/char"},  // a character device of the same number
           {"Gone", "../nodes/gone"},
           {"My\\x20Disk", "../nodes/wanted"}}) {
    ASSERT_EQ(symlink(target.c_str(), (temp_ / "by-label/" + name).c_str()), 0);
  }

  std::string name;
  ASSERT_TRUE(FindDiskLinkName(temp_ / "by-label", wanted, &name));
  EXPECT_EQ(name, "My Disk");
  ASSERT_TRUE(FindDiskLinkName(temp_ / "by-label", other, &name));
  EXPECT_EQ(name, "Other Disk");
  EXPECT_FALSE(FindDiskLinkName(temp_ / "by-label", makedev(7, 203), &name));
  EXPECT_FALSE(FindDiskLinkName(temp_ / "missing", wanted, &name));
}

TEST_F(PosixPlatformTest, TmpfsVolume) {
  const std::string point = temp_ / "ram";
  ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
  MountStack mounts;
  std::string why;
  if (!mounts.Tmpfs(point, "size=4m", &why)) GTEST_SKIP() << why;
  ASSERT_EQ(mkdir((point + "/sub").c_str(), 0755), 0);

  EXPECT_EQ(platform_->DriveTypeOf(point + "/"), DriveType::RamDisk);
  std::string label = "untouched";
  uint32_t serial = 0;
  ASSERT_TRUE(platform_->VolumeInformation(point + "/", point + "/sub", &label, &serial));
  EXPECT_EQ(label, "");
  uint32_t again = 0;
  ASSERT_TRUE(platform_->VolumeInformation(point + "/", point, &label, &again));
  EXPECT_EQ(again, serial) << "one volume, one serial, whichever path asks";
}

TEST_F(PosixPlatformTest, VolumesThatDoNotExist) {
  std::string label = "untouched";
  uint32_t serial = 7;
  EXPECT_FALSE(
      platform_->VolumeInformation(temp_ / "missing/", temp_ / "missing", &label, &serial));
  EXPECT_FALSE(platform_->VolumeInformation("", "", &label, &serial));
  EXPECT_EQ(platform_->DriveTypeOf(temp_ / "missing/"), DriveType::NoRootFolder);
  FreeBytes bytes;
  EXPECT_FALSE(platform_->FreeSpaceExtended(temp_ / "missing", &bytes));
  FreeClusters clusters;
  EXPECT_FALSE(platform_->FreeSpaceClassic(temp_ / "missing", &clusters));
}

TEST_F(PosixPlatformTest, FreeSpaceOfATmpfsOfKnownSize) {
  const std::string point = temp_ / "ram";
  ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
  MountStack mounts;
  std::string why;
  if (!mounts.Tmpfs(point, "size=4m", &why)) GTEST_SKIP() << why;

  FreeBytes before;
  ASSERT_TRUE(platform_->FreeSpaceExtended(point, &before));
  EXPECT_EQ(before.total, 4 * kMiB);
  EXPECT_EQ(before.totalFree, 4 * kMiB);
  EXPECT_EQ(before.availableToCaller, 4 * kMiB);

  WriteFile(point + "/one-mib", std::string(kMiB, 'x'));
  FreeBytes after;
  ASSERT_TRUE(platform_->FreeSpaceExtended(point + "/", &after));
  EXPECT_EQ(after.total, 4 * kMiB);
  EXPECT_EQ(after.totalFree, 3 * kMiB);

  FreeClusters clusters;
  ASSERT_TRUE(platform_->FreeSpaceClassic(point, &clusters));
  EXPECT_EQ(uint64_t{clusters.sectorsPerCluster} * clusters.bytesPerSector * clusters.freeClusters,
            3 * kMiB);
  EXPECT_EQ(uint64_t{clusters.sectorsPerCluster} * clusters.bytesPerSector * clusters.totalClusters,
            4 * kMiB);
}

// A loop-mounted ext4 volume with a known label and UUID.
class LoopExt4Test : public PosixPlatformTest {
 protected:
  static constexpr const char* kUuid = "1234abcd-5678-4def-8123-456789abcdef";

  void SetUp() override {
    PosixPlatformTest::SetUp();
    if (HasFatalFailure()) return;
    if (geteuid() != 0) GTEST_SKIP() << "loop mounts need root";
    image_ = temp_ / "disk.img";
    point_ = temp_ / "ext4 disk";
    ASSERT_EQ(mkdir(point_.c_str(), 0755), 0);
    std::string why;
    if (!mounts_.LoopExt4(image_, point_, "DATA", kUuid, 16, &why)) {
      GTEST_SKIP() << "cannot loop-mount an ext4 image: " << why;
    }
    ASSERT_EQ(mkdir((point_ + "/Photos").c_str(), 0755), 0);
  }

  std::string image_;
  std::string point_;
  MountStack mounts_;
};

TEST_F(LoopExt4Test, LabelSerialAndDriveType) {
  std::string root;
  std::string remainder;
  ASSERT_TRUE(platform_->SplitVolumeRoot(point_ + "/Photos", &root, &remainder));
  EXPECT_EQ(root, point_ + "/");
  EXPECT_EQ(remainder, "/Photos");

  for (const std::string& devicePath : {point_ + "/Photos", point_, std::string()}) {
    SCOPED_TRACE(devicePath);
    std::string label;
    uint32_t serial = 0;
    ASSERT_TRUE(platform_->VolumeInformation(root, devicePath, &label, &serial));
    EXPECT_EQ(label, "DATA");
    EXPECT_EQ(serial, 0x1234ABCDu);
  }
  EXPECT_EQ(platform_->DriveTypeOf(root), DriveType::Fixed) << "loop devices are not removable";

  // What libblkid reads from the superblock is the same, for root.
  MountInfo mount;
  ASSERT_TRUE(FindMount(point_, &mount));
  EXPECT_EQ(mount.target, point_);
  EXPECT_EQ(mount.fsType, "ext4");
  ASSERT_EQ(mount.source.rfind("/dev/loop", 0), 0u) << mount.source;
  std::string value;
  ASSERT_TRUE(ProbeBlockDevice(mount.source, "LABEL", &value));
  EXPECT_EQ(value, "DATA");
  ASSERT_TRUE(ProbeBlockDevice(mount.source, "UUID", &value));
  EXPECT_EQ(value, kUuid);
  EXPECT_FALSE(ProbeBlockDevice(mount.source, "NO_SUCH_TAG", &value));
  EXPECT_FALSE(ProbeBlockDevice(image_ + ".missing", "LABEL", &value));
}

TEST_F(LoopExt4Test, SameIdentityForAnotherUser) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    std::string report = "no privilege drop";
    if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
        setresuid(65534, 65534, 65534) == 0) {
      std::ostringstream sink;
      MessageSink errors(sink);
      std::unique_ptr<Platform> platform = NewRealPlatform(errors);
      std::string label;
      uint32_t serial = 0;
      const bool ok =
          platform->VolumeInformation(point_ + "/", point_ + "/Photos", &label, &serial);
      MountInfo mount;
      std::string probed;
      const bool probeRefused =
          FindMount(point_, &mount) && !ProbeBlockDevice(mount.source, "UUID", &probed);
      std::ostringstream out;
      out << ok << " " << label << " " << std::hex << serial << " " << probeRefused;
      report = out.str();
    }
    const ssize_t written = write(fds[1], report.data(), report.size());
    _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string report;
  char buffer[256];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) report.append(buffer, n);
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
  // The last field shows the child really could not read the disk itself.
  EXPECT_EQ(report, "1 DATA 1234abcd 1");
}

TEST_F(LoopExt4Test, LastOfStackedMountsWins) {
  // A tmpfs below and the ext4 volume on top, then another tmpfs on top of that.
  const std::string point = temp_ / "stack";
  ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
  MountStack stack;
  std::string why;
  if (!stack.Tmpfs(point, "size=1m", &why)) GTEST_SKIP() << why;
  ASSERT_TRUE(stack.Bind(point_, point, &why)) << why;
  std::string label;
  uint32_t serial = 0;
  ASSERT_TRUE(platform_->VolumeInformation(point + "/", point, &label, &serial));
  EXPECT_EQ(label, "DATA");
  EXPECT_EQ(platform_->DriveTypeOf(point + "/"), DriveType::Fixed);
  ASSERT_TRUE(stack.Tmpfs(point, "size=1m", &why)) << why;
  EXPECT_EQ(platform_->DriveTypeOf(point + "/"), DriveType::RamDisk);
}

// --- Files ------------------------------------------------------------------------------

TEST_F(PosixPlatformTest, FilesWriteReadAndReplace) {
  const std::string path = temp_ / "DATA.kvl";
  OsError err;
  std::unique_ptr<File> file = platform_->CreateForWriting(path, &err);
  ASSERT_NE(file, nullptr) << err.text;
  const std::string content(200000, 'k');
  ASSERT_TRUE(file->Write(content.data(), content.size(), &err)) << err.text;
  ASSERT_TRUE(file->Sync(&err)) << err.text;
  ASSERT_TRUE(file->Close(&err)) << err.text;
  EXPECT_TRUE(file->Close(&err)) << "closing twice is harmless";
  size_t got = 99;
  EXPECT_FALSE(file->Read(nullptr, 0, &got, &err));
  EXPECT_EQ(ReadWholeFile(path), content);

  file = platform_->OpenForReading(path, &err);
  ASSERT_NE(file, nullptr) << err.text;
  std::string back;
  char buffer[65536];
  do {
    ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got, &err)) << err.text;
    back.append(buffer, got);
  } while (got > 0);
  EXPECT_EQ(back, content);
  ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got, &err));
  EXPECT_EQ(got, 0u) << "the end stays the end";
  file.reset();

  // Creating never opens an existing name.
  EXPECT_EQ(platform_->CreateForWriting(path, &err), nullptr);
  EXPECT_EQ(err.code, EEXIST);
  EXPECT_EQ(ReadWholeFile(path), content);

  // Rename replaces; the source goes away.
  WriteFile(temp_ / "new", "new");
  ASSERT_TRUE(platform_->Rename(temp_ / "new", path, &err)) << err.text;
  EXPECT_EQ(ReadWholeFile(path), "new");
  EXPECT_EQ(ReadWholeFile(temp_ / "new"), "<missing>");
  ASSERT_TRUE(platform_->Remove(path, &err)) << err.text;
  EXPECT_EQ(ReadWholeFile(path), "<missing>");
}

TEST_F(PosixPlatformTest, FileErrors) {
  WriteFile(temp_ / "file", "x");
  ASSERT_EQ(mkdir((temp_ / "folder.kvl").c_str(), 0755), 0);

  struct Case {
    const char* what;
    std::function<bool(OsError*)> call;
    bool notFound;
    long code;
  };
  Platform& p = *platform_;
  const Case cases[] = {
      {"open missing",
       [&](OsError* e) { return p.OpenForReading(temp_ / "missing", e) != nullptr; }, true, ENOENT},
      {"open below a file",
       [&](OsError* e) { return p.OpenForReading(temp_ / "file/x", e) != nullptr; }, true, ENOTDIR},
      {"create in a missing folder",
       [&](OsError* e) { return p.CreateForWriting(temp_ / "no/x", e) != nullptr; }, true, ENOENT},
      {"create over a folder",
       [&](OsError* e) { return p.CreateForWriting(temp_ / "folder.kvl", e) != nullptr; }, false,
       EEXIST},
      {"remove missing", [&](OsError* e) { return p.Remove(temp_ / "missing", e); }, true, ENOENT},
      {"rename missing",
       [&](OsError* e) { return p.Rename(temp_ / "missing", temp_ / "other", e); }, true, ENOENT},
      {"rename into a missing folder",
       [&](OsError* e) { return p.Rename(temp_ / "file", temp_ / "no/file", e); }, true, ENOENT},
      {"read a parameter file that is a folder",
       [&](OsError* e) {
         // A folder opens on POSIX; reading it fails, which counts as a read error.
         std::unique_ptr<File> f = p.OpenParameterFile(temp_ / "folder.kvl", e);
         if (f == nullptr) return true;
         char b[16];
         size_t got = 0;
         return f->Read(b, sizeof b, &got, e);
       },
       false, EISDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OsError err;
    EXPECT_FALSE(c.call(&err));
    EXPECT_EQ(err.notFound, c.notFound);
    EXPECT_EQ(err.code, c.code);
    EXPECT_EQ(err.text, std::strerror(static_cast<int>(c.code)));
  }
  EXPECT_EQ(ReadWholeFile(temp_ / "file"), "x") << "the failed rename left it";
}

// Whatever another user plants under a catalogue's name or a temporary name: catalogue
// files are read only when they are plain files reached without a link, and creating
// never follows, truncates or waits on anything already there.
TEST_F(PosixPlatformTest, PlantedNamesAreNeitherReadNorWrittenThrough) {
  const std::string victim = temp_ / "victim";
  WriteFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), (temp_ / "link.kvl").c_str()), 0);
  ASSERT_EQ(symlink((temp_ / "nowhere").c_str(), (temp_ / "dangling.kvl").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", (temp_ / "device.kvl").c_str()), 0);
  ASSERT_EQ(mkfifo((temp_ / "pipe.kvl").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((temp_ / "folder.kvl").c_str(), 0755), 0);
  for (const char* name : {"link.kvl", "dangling.kvl", "device.kvl", "pipe.kvl", "folder.kvl"}) {
    SCOPED_TRACE(name);
    OsError err;
    EXPECT_EQ(platform_->OpenForReading(temp_ / name, &err), nullptr);
    EXPECT_EQ(err.notRegular || err.notFound, true) << err.text;
    EXPECT_EQ(platform_->CreateForWriting(temp_ / name, &err), nullptr);
    EXPECT_EQ(err.code, EEXIST);
  }
  EXPECT_EQ(ReadWholeFile(victim), "precious");
  EXPECT_EQ(ReadWholeFile(temp_ / "nowhere"), "<missing>");
}

// Index files are opened without a status call: the facts come on asking, and are those
// of the file opened; a FIFO or a folder under an index's name neither blocks nor reads.
TEST_F(PosixPlatformTest, PositionalReadsOfAFileOpenedWithoutItsFacts) {
  const std::string path = temp_ / "a.lix";
  WriteFile(path, "0123456789");
  OsError err;
  std::unique_ptr<MappedFile> file = platform_->OpenForPositionalReads(path, &err);
  ASSERT_NE(file, nullptr) << err.text;
  WriteFile(temp_ / "b.lix", "replaced");
  ASSERT_EQ(rename((temp_ / "b.lix").c_str(), path.c_str()), 0);
  char buffer[16];
  size_t got = 0;
  std::string error;
  ASSERT_TRUE(file->ReadUpTo(4, sizeof buffer, buffer, &got, &error)) << error;
  EXPECT_EQ(std::string(buffer, got), "456789") << "the file opened, to its end";
  ASSERT_TRUE(file->ReadUpTo(12, 4, buffer, &got, &error)) << error;
  EXPECT_EQ(got, 0u);
  FileFacts facts;
  ASSERT_TRUE(file->Facts(&facts));
  EXPECT_EQ(facts.size, 10u);
  EXPECT_EQ(file->Size(), 10u);
  EXPECT_EQ(file->Bytes(), "0123456789");
  EXPECT_EQ(platform_->OpenForPositionalReads(temp_ / "none.lix", &err), nullptr);
  EXPECT_TRUE(err.notFound);

  ASSERT_EQ(mkfifo((temp_ / "pipe.lix").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((temp_ / "folder.lix").c_str(), 0755), 0);
  for (const char* name : {"pipe.lix", "folder.lix"}) {
    SCOPED_TRACE(name);
    std::unique_ptr<MappedFile> odd = platform_->OpenForPositionalReads(temp_ / name, &err);
    ASSERT_NE(odd, nullptr) << err.text;
    EXPECT_FALSE(odd->ReadUpTo(0, sizeof buffer, buffer, &got, &error));
    EXPECT_FALSE(error.empty());
  }
}

// The parameter file may be a pipe whose writer is slow: it is read to its real end.
TEST_F(PosixPlatformTest, ParameterFileFromASlowFifo) {
  const std::string path = temp_ / "params.fifo";
  ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    const int fd = open(path.c_str(), O_WRONLY);
    if (write(fd, "#DEV a\n", 7) != 7) _exit(1);
    usleep(300000);
    if (write(fd, "#DEV b\n", 7) != 7) _exit(1);
    _exit(0);
  }
  OsError err;
  std::unique_ptr<File> file = platform_->OpenParameterFile(path, &err);
  ASSERT_NE(file, nullptr) << err.text;
  std::string text;
  char buffer[64];
  size_t got = 0;
  while (file->Read(buffer, sizeof buffer, &got, &err) && got > 0) text.append(buffer, got);
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_EQ(text, "#DEV a\n#DEV b\n");
}

// --- What stands in for the Windows calls -----------------------------------------------

TEST_F(PosixPlatformTest, AnswersOfTheWindowsStandIns) {
  EXPECT_TRUE(platform_->Start());
  EXPECT_EQ(platform_->Separator(), '/');
  EXPECT_FALSE(platform_->HasDriveLetters());
  VersionInfo version;
  version.build = 77;
  ASSERT_TRUE(platform_->Version(&version));
  EXPECT_EQ(version.platformId, 2u);
  EXPECT_EQ(version.build, 0u);

  const struct {
    const char* module;
    const char* procedure;
    bool loads;
    bool has;
  } cases[] = {
      {"KERNEL32.DLL", "GetDiskFreeSpaceExA", true, true},
      {"kernel32.dll", "GetDiskFreeSpaceExA", true, true},
      {"KERNEL32.DLL", "GetDiskFreeSpaceEx", true, false},
      {"KERNEL32.DLL", "getdiskfreespaceexa", true, false},
      {"KERNEL32.DLL", "GetDiskFreeSpaceA", true, false},
      {"USER32.DLL", "GetDiskFreeSpaceExA", false, false},
      {"", "GetDiskFreeSpaceExA", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.module) + " " + c.procedure);
    EXPECT_EQ(platform_->LoadSystemModule(c.module), c.loads);
    EXPECT_EQ(platform_->HasProcedure(c.module, c.procedure), c.has);
  }

  const int64_t before = time(nullptr);
  const int32_t now = platform_->Now();
  const int64_t after = time(nullptr);
  EXPECT_GE(now, before);
  EXPECT_LE(now, after);
}

// A scratch file is made in $TMPDIR without a name anyone could open there: it reads back
// what was written, from the start after a rewind, and leaves the folder as it was. A
// $TMPDIR that does not exist gives the system's reason, not a file elsewhere.
TEST(ScratchFilePosixTest, ReadsBackUnseenAndFailsWithTheReason) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  const char* before = std::getenv("TMPDIR");
  const std::string saved = before != nullptr ? before : "";
  setenv("TMPDIR", scratch.path().c_str(), 1);
  std::string written;
  for (int i = 0; i < 70000; ++i) written += static_cast<char>('a' + i % 26);
  {
    OsError err;
    std::unique_ptr<ScratchFile> file = OpenSystemScratchFile(&err);
    ASSERT_NE(file, nullptr) << err.text;
    ASSERT_TRUE(file->Write(written.data(), 5, &err)) << err.text;
    ASSERT_TRUE(file->Write(written.data() + 5, written.size() - 5, &err)) << err.text;
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
    ASSERT_TRUE(file->Rewind(&err)) << err.text;
    std::string read(written.size() + 10, '\0');
    size_t total = 0;
    for (size_t got = 1; got != 0; total += got) {
      ASSERT_TRUE(file->Read(&read[total], read.size() - total, &got, &err)) << err.text;
    }
    read.resize(total);
    EXPECT_EQ(read, written);
  }
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
  setenv("TMPDIR", (scratch / "missing").c_str(), 1);
  OsError err;
  EXPECT_EQ(OpenSystemScratchFile(&err), nullptr);
  EXPECT_TRUE(err.notFound);
  EXPECT_EQ(err.text, std::strerror(ENOENT));
  if (before != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

}  // namespace
}  // namespace ledra
