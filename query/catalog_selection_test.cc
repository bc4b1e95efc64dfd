#include "query/catalog_selection.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "catalog/laid_catalog_testing.h"
#include "platform/fake_platform.h"

namespace ledra {
namespace {

using test::LaidCatalog;

TEST(CatalogSelectionTest, FoldersComeFromInThenTheVariableThenHere) {
  struct Case {
    std::vector<std::string> in;
    const char* variable;
    std::vector<std::string> folders;
  };
  const Case cases[] = {
      {{"/a", "/b"}, "/ignored", {"/a", "/b"}},
      {{}, "/x:/y", {"/x", "/y"}},
      {{}, "::/x::/y:", {"/x", "/y"}},  // empty entries are left out
      {{}, "", {"."}},
      {{}, ":", {"."}},
      {{}, nullptr, {"."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variable == nullptr ? "(unset)" : c.variable);
    EXPECT_EQ(CatalogFolders(c.in, c.variable, ':'), c.folders);
  }
  EXPECT_EQ(CatalogFolders({}, "C:\\cats;D:\\more", ';'),
            (std::vector<std::string>{"C:\\cats", "D:\\more"}));
}

TEST(CatalogSelectionTest, SelectorsAndPaths) {
  EXPECT_EQ(SerialText(0x1234ABCD), "1234-ABCD");
  EXPECT_EQ(SerialText(0), "0000-0000");
  struct Split {
    const char* argument;
    const char* selector;
    const char* path;
  };
  const Split splits[] = {
      {"DATA", "DATA", ""},
      {"DATA:", "DATA", ""},
      {"DATA:/a/b", "DATA", "/a/b"},
      {"DATA:C:\\x", "DATA", "C:\\x"},  // only the first ':' separates
      {":x", "", "x"},
  };
  for (const Split& s : splits) {
    std::string selector;
    std::string path;
    SplitSelector(s.argument, &selector, &path);
    EXPECT_EQ(selector, s.selector) << s.argument;
    EXPECT_EQ(path, s.path) << s.argument;
  }
}

CatalogFile File(const std::string& fileName, const std::string& volumeName,
                 const std::string& alias, uint32_t serial, bool headerRead = true) {
  CatalogFile file;
  file.fileName = fileName;
  file.path = "/cats/" + fileName;
  file.headerRead = headerRead;
  file.header.volumeName = volumeName;
  file.header.alias = alias;
  file.header.displayName = alias.empty() ? volumeName : alias;
  file.header.serial = serial;
  return file;
}

TEST(CatalogSelectionTest, AVolumeIsNamedByAnyOfItsNamesIgnoringCase) {
  const std::vector<CatalogFile> files = {
      File("Photos.kvl", "DRAWER1", "Photos", 0x7B772594),
      File("Backup.kvl", "BACKUP", "", 0x00000001),
      File("Backup.kvl.bak", "BACKUP", "", 0x00000001),
      File("Broken.kvl", "", "", 0, /*headerRead=*/false),
  };
  struct Case {
    const char* selector;
    std::vector<size_t> found;
  };
  const Case cases[] = {
      {"Photos", {0}},     {"photos", {0}},    {"drawer1", {0}},
      {"7B77-2594", {0}},  {"7b77-2594", {0}}, {"Photos.kvl", {0}},
      {"PHOTOS.KVL", {0}}, {"BACKUP", {1, 2}}, {"Backup.kvl.bak", {2}},
      {"Broken", {}},      {"Broken.kvl", {}}, {"Phot", {}},
      {"7B772594", {}},    {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector);
    EXPECT_EQ(MatchingCatalogs(files, c.selector), c.found);
    size_t chosen = 99;
    std::string error;
    const bool one = SelectCatalog(files, c.selector, &chosen, &error);
    EXPECT_EQ(one, c.found.size() == 1) << error;
    if (one) {
      EXPECT_EQ(chosen, c.found[0]);
    }
  }

  std::string error;
  size_t chosen = 0;
  EXPECT_FALSE(SelectCatalog(files, "Nobody", &chosen, &error));
  EXPECT_EQ(error, "no catalogue of a volume 'Nobody'");
  EXPECT_FALSE(SelectCatalog(files, "backup", &chosen, &error));
  EXPECT_EQ(error,
            "volume 'backup' is ambiguous:\n  Backup.kvl (BACKUP, 0000-0001)\n"
            "  Backup.kvl.bak (BACKUP, 0000-0001)");
}

TEST(CatalogSelectionTest, PathsAreTakenBelowTheScanRoot) {
  CatalogHeader windows;
  windows.root = "D:\\";
  windows.folder0Path = "\\Data";
  CatalogHeader linux;
  linux.root = "/";
  struct Case {
    const CatalogHeader* header;
    const char* path;
    std::vector<std::string> components;
  };
  const Case cases[] = {
      {&windows, "", {}},
      {&windows, "\\", {}},
      {&windows, "a\\b", {"a", "b"}},
      {&windows, "/a/b/", {"a", "b"}},
      {&windows, "a//b", {"a", "b"}},
      {&windows, "D:\\Data\\a", {"a"}},  // a path as find prints it
      {&windows, "d:\\data\\a", {"a"}},
      {&windows, "D:\\Data", {}},
      {&windows, "D:\\Database\\a", {"D:", "Database", "a"}},  // not below the root
      {&linux, "/home/ann", {"home", "ann"}},
      {&linux, "home", {"home"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(PathComponents(c.path, *c.header), c.components);
  }
}

class CatalogListingTest : public ::testing::Test {
 protected:
  CatalogListingTest() : errors_(errorText_), fake_(errors_) {}
  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
};

TEST_F(CatalogListingTest, ListsCatalogueFilesInNameOrderAndReadsTheirHeaders) {
  LaidCatalog volume;
  volume.volumeName = "DATA";
  const std::string good = volume.Bytes();
  fake_.AddFileWithContent("C:\\cats\\b.kvl", good);
  fake_.AddFileWithContent("C:\\cats\\A.KVL", good);
  fake_.AddFileWithContent("C:\\cats\\b.kvl.bak", good);
  fake_.AddFileWithContent("C:\\cats\\junk.kvl", "not a catalogue");
  fake_.AddFileWithContent("C:\\cats\\notes.txt", good);
  fake_.AddFolder("C:\\cats\\folder.kvl");
  fake_.AddFolder("C:\\empty");

  struct Case {
    std::vector<std::string> folders;
    bool backups;
    std::vector<std::string> paths;
    std::vector<std::string> unreadable;
  };
  const Case cases[] = {
      {{"C:\\cats"}, false, {"C:\\cats\\A.KVL", "C:\\cats\\b.kvl", "C:\\cats\\junk.kvl"}, {}},
      {{"C:\\cats\\\\"},
       true,
       {"C:\\cats\\A.KVL", "C:\\cats\\b.kvl", "C:\\cats\\b.kvl.bak", "C:\\cats\\junk.kvl"},
       {}},
      {{"C:\\empty", "C:\\missing", "C:\\cats"},
       false,
       {"C:\\cats\\A.KVL", "C:\\cats\\b.kvl", "C:\\cats\\junk.kvl"},
       {"C:\\missing"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folders.front());
    std::vector<std::string> unreadable;
    std::vector<CatalogFile> files = ListCatalogFiles(fake_, c.folders, c.backups, &unreadable);
    std::vector<std::string> paths;
    for (const CatalogFile& f : files) paths.push_back(f.path);
    EXPECT_EQ(paths, c.paths);
    EXPECT_EQ(unreadable, c.unreadable);

    std::vector<std::string> problems;
    ReadHeaders(fake_, &files, &problems);
    for (const CatalogFile& f : files) {
      const bool junk = f.fileName == "junk.kvl";
      EXPECT_EQ(f.headerRead, !junk) << f.path;
      if (!junk) {
        EXPECT_EQ(f.header.volumeName, "DATA");
      }
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind("C:\\cats\\junk.kvl: not a catalogue file: signature ", 0), 0u)
        << problems[0];
  }
}

}  // namespace
}  // namespace ledra
