#include "query/folder_queries.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "catalog/format.h"
#include "platform/fake_platform.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

using test::LaidCatalog;
using test::TreeCatalog;

constexpr int32_t kJan2020 = 1577836800;
constexpr int32_t kHour = 3600;

LaidCatalog Volume(const std::string& name, const std::string& root, const std::string& folder0) {
  LaidCatalog volume;
  volume.volumeName = name;
  volume.root = root;
  volume.folder0Path = folder0;
  return volume;
}

// C:\cats\W.kvl: a Windows disk scanned from D:\Data; L.kvl: a Linux disk scanned from '/'.
class FolderQueriesTest : public ::testing::Test {
 protected:
  FolderQueriesTest() : errors_(errorText_), fake_(errors_) {
    fake_.AddFileWithContent("C:\\cats\\W.kvl",
                             TreeCatalog(Volume("ARCHIVE", "D:\\", "\\Data"),
                                         {{"Photos/2023/", 0, kJan2020 - kHour},
                                          {"Photos/2023/sea.jpg", 2300000, kJan2020 + kHour},
                                          {"Photos/2023/sunset.JPG", 1800000, kJan2020 + kHour},
                                          {"Photos/2023/Beach.png", 2300000, kJan2020 + 2 * kHour},
                                          {"Photos/2024/", 0, kJan2020 + 3 * kHour},
                                          {"Photos/readme.txt", 10, kJan2020},
                                          {"Docs/a.txt", 100, kJan2020},
                                          {"big.iso", kClampedSize, kJan2020},
                                          {"Music/", 0, kJan2020},
                                          {"MUSIC/", 0, kJan2020}}));
    fake_.AddFileWithContent(
        "C:\\cats\\L.kvl", TreeCatalog(Volume("ROOT", "/", ""), {{"home/ann/x.txt", 1, kJan2020}}));
    std::vector<std::string> unreadable;
    files_ = ListCatalogFiles(fake_, {"C:\\cats"}, false, &unreadable);
    std::vector<std::string> problems;
    ReadHeaders(fake_, &files_, &problems);
  }

  const CatalogFile& File(const std::string& fileName) const {
    for (const CatalogFile& f : files_) {
      if (f.fileName == fileName) return f;
    }
    ADD_FAILURE() << "no " << fileName;
    return files_.front();
  }

  FolderQuery Query(const CatalogFile& file, const std::string& path) const {
    FolderQuery query;
    query.components = PathComponents(path, file.header);
    return query;
  }

  // The full paths a listing gives, from its -0 form.
  std::vector<std::string> Paths(bool list, const CatalogFile& file, const FolderQuery& query,
                                 FolderOutcome* outcome) {
    StringSink out;
    const OutputSettings settings{OutputFormat::NulPaths, false};
    const bool ok = list ? RunList(fake_, file, query, settings, out, outcome)
                         : RunDiskUsage(fake_, file, query, settings, out, outcome);
    EXPECT_TRUE(ok) << outcome->error;
    std::vector<std::string> paths;
    for (size_t start = 0, nul; (nul = out.text.find('\0', start)) != std::string::npos;
         start = nul + 1) {
      paths.push_back(out.text.substr(start, nul - start));
    }
    EXPECT_EQ(outcome->rows, paths.size());
    return paths;
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
  std::vector<CatalogFile> files_;
};

TEST_F(FolderQueriesTest, AFolderIsFoundByItsPathInAnySpelling) {
  struct Case {
    const char* file;
    const char* path;
    std::vector<std::string> listed;
  };
  const std::vector<std::string> photos2023 = {"D:\\Data\\Photos\\2023\\sea.jpg",
                                               "D:\\Data\\Photos\\2023\\sunset.JPG",
                                               "D:\\Data\\Photos\\2023\\Beach.png"};
  const std::vector<std::string> dataRoot = {"D:\\Data\\Photos", "D:\\Data\\Docs",
                                             "D:\\Data\\big.iso", "D:\\Data\\Music",
                                             "D:\\Data\\MUSIC"};
  const Case cases[] = {
      {"W.kvl", "Photos/2023", photos2023},
      {"W.kvl", "Photos\\2023", photos2023},
      {"W.kvl", "/Photos/2023/", photos2023},
      {"W.kvl", "\\Photos\\2023\\", photos2023},
      {"W.kvl", "photos/2023", photos2023},             // no other folder spells it so
      {"W.kvl", "D:\\Data\\Photos\\2023", photos2023},  // as find prints it
      {"W.kvl", "d:\\data\\PHOTOS\\2023", photos2023},
      {"W.kvl", "", dataRoot},
      {"W.kvl", "\\", dataRoot},
      {"W.kvl", "D:\\Data", dataRoot},
      {"W.kvl", "Music", {}},  // an exact name wins over another spelling
      {"W.kvl", "MUSIC", {}},
      {"L.kvl", "", {"/home"}},
      {"L.kvl", "/", {"/home"}},
      {"L.kvl", "home", {"/home/ann"}},
      {"L.kvl", "/home/ann", {"/home/ann/x.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.path);
    FolderQuery query = Query(File(c.file), c.path);
    query.sort = SortOrder::Table;
    FolderOutcome outcome;
    EXPECT_EQ(Paths(true, File(c.file), query, &outcome), c.listed);
  }
}

TEST_F(FolderQueriesTest, ListingsInEachSortOrder) {
  struct Case {
    const char* path;
    SortOrder sort;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"Photos/2023", SortOrder::Name, {"Beach.png", "sea.jpg", "sunset.JPG"}},
      // Largest first, newest first; ties keep table order.
      {"Photos/2023", SortOrder::Size, {"sea.jpg", "Beach.png", "sunset.JPG"}},
      {"Photos/2023", SortOrder::Time, {"Beach.png", "sea.jpg", "sunset.JPG"}},
      {"Photos/2023", SortOrder::Table, {"sea.jpg", "sunset.JPG", "Beach.png"}},
      {"Photos", SortOrder::Name, {"2023", "2024", "readme.txt"}},
      // A folder counts with its subtree total; a clamped size as what it stores.
      {"", SortOrder::Size, {"big.iso", "Photos", "Docs", "Music", "MUSIC"}},
      {"", SortOrder::Time, {"big.iso", "Music", "MUSIC", "Photos", "Docs"}},
      {"", SortOrder::Table, {"Photos", "Docs", "big.iso", "Music", "MUSIC"}},
  };
  const CatalogFile& file = File("W.kvl");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + std::to_string(static_cast<int>(c.sort)));
    FolderQuery query = Query(file, c.path);
    query.sort = c.sort;
    FolderOutcome outcome;
    std::vector<std::string> names;
    for (const std::string& path : Paths(true, file, query, &outcome)) {
      names.push_back(path.substr(path.rfind('\\') + 1));
    }
    EXPECT_EQ(names, c.names);
  }
}

TEST_F(FolderQueriesTest, ListingTextAndFields) {
  const CatalogFile& file = File("W.kvl");
  const FolderQuery query = Query(file, "Photos");
  const std::string t0 = LocalTimeText(kJan2020 - kHour);
  const std::string t1 = LocalTimeText(kJan2020);
  const std::string t3 = LocalTimeText(kJan2020 + 3 * kHour);
  struct Case {
    bool exactBytes;
    std::string text;
  };
  const Case cases[] = {
      {false, "d  6.1M  3  " + t0 + "  2023\\\n" +      //
                  "d     0  0  " + t3 + "  2024\\\n" +  //
                  "-    10     " + t1 + "  readme.txt\n"},
      {true, "d  6400000  3  " + t0 + "  2023\\\n" +      //
                 "d        0  0  " + t3 + "  2024\\\n" +  //
                 "-       10     " + t1 + "  readme.txt\n"},
  };
  for (const Case& c : cases) {
    StringSink out;
    FolderOutcome outcome;
    ASSERT_TRUE(RunList(fake_, file, query, {OutputFormat::Text, c.exactBytes}, out, &outcome));
    EXPECT_EQ(out.text, c.text);
    EXPECT_EQ(outcome.rows, 3u);
  }
  StringSink json;
  FolderOutcome outcome;
  ASSERT_TRUE(RunList(fake_, file, Query(file, ""), {OutputFormat::Json, false}, json, &outcome));
  EXPECT_NE(json.text.find("{\"volume\":\"ARCHIVE\",\"catalog\":\"W.kvl\",\"path\":"
                           "\"D:\\\\Data\\\\big.iso\",\"name\":\"big.iso\",\"type\":\"file\","
                           "\"size\":2147483647,\"size_clamped\":true,\"files\":null,"),
            std::string::npos)
      << json.text;
  EXPECT_NE(json.text.find("\"path\":\"D:\\\\Data\\\\Photos\",\"name\":\"Photos\","
                           "\"type\":\"folder\",\"size\":6400010,\"size_clamped\":false,"
                           "\"files\":4,"),
            std::string::npos)
      << json.text;
}

TEST_F(FolderQueriesTest, DiskUsageDownToEachDepth) {
  struct Case {
    const char* file;
    const char* path;
    int depth;
    std::vector<std::string> folders;
  };
  const Case cases[] = {
      {"W.kvl", "", 0, {"D:\\Data"}},
      {"W.kvl",
       "",
       1,
       {"D:\\Data", "D:\\Data\\Photos", "D:\\Data\\Docs", "D:\\Data\\Music", "D:\\Data\\MUSIC"}},
      {"W.kvl",
       "",
       2,
       {"D:\\Data", "D:\\Data\\Photos", "D:\\Data\\Docs", "D:\\Data\\Music", "D:\\Data\\MUSIC",
        "D:\\Data\\Photos\\2023", "D:\\Data\\Photos\\2024"}},
      {"W.kvl",
       "",
       9,
       {"D:\\Data", "D:\\Data\\Photos", "D:\\Data\\Docs", "D:\\Data\\Music", "D:\\Data\\MUSIC",
        "D:\\Data\\Photos\\2023", "D:\\Data\\Photos\\2024"}},
      {"W.kvl",
       "photos",
       1,
       {"D:\\Data\\Photos", "D:\\Data\\Photos\\2023", "D:\\Data\\Photos\\2024"}},
      {"W.kvl", "D:\\Data\\Photos\\2023", 3, {"D:\\Data\\Photos\\2023"}},
      {"L.kvl", "", 1, {"/", "/home"}},
      {"L.kvl", "", 2, {"/", "/home", "/home/ann"}},
      {"L.kvl", "/home/ann", 1, {"/home/ann"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.path + " " + std::to_string(c.depth));
    FolderQuery query = Query(File(c.file), c.path);
    query.depth = c.depth;
    FolderOutcome outcome;
    EXPECT_EQ(Paths(false, File(c.file), query, &outcome), c.folders);
  }

  const CatalogFile& file = File("W.kvl");
  StringSink text;
  FolderOutcome outcome;
  ASSERT_TRUE(RunDiskUsage(fake_, file, Query(file, ""), {}, text, &outcome));
  EXPECT_EQ(text.text,
            "2.0G  6  D:\\Data\n"
            "6.1M  4  D:\\Data\\Photos\n"
            " 100  1  D:\\Data\\Docs\n"
            "   0  0  D:\\Data\\Music\n"
            "   0  0  D:\\Data\\MUSIC\n");
  StringSink json;
  FolderQuery photos = Query(file, "Photos");
  photos.depth = 1;
  ASSERT_TRUE(RunDiskUsage(fake_, file, photos, {OutputFormat::Json, false}, json, &outcome));
  EXPECT_EQ(json.text,
            "{\"volume\":\"ARCHIVE\",\"catalog\":\"W.kvl\",\"path\":\"D:\\\\Data\\\\Photos\","
            "\"depth\":0,\"size\":6400010,\"files\":4}\n"
            "{\"volume\":\"ARCHIVE\",\"catalog\":\"W.kvl\",\"path\":"
            "\"D:\\\\Data\\\\Photos\\\\2023\",\"depth\":1,\"size\":6400000,\"files\":3}\n"
            "{\"volume\":\"ARCHIVE\",\"catalog\":\"W.kvl\",\"path\":"
            "\"D:\\\\Data\\\\Photos\\\\2024\",\"depth\":1,\"size\":0,\"files\":0}\n");
}

// A path that names no folder, or names a file, is an error that says which component and
// where, for ls and du alike; nothing is written.
TEST_F(FolderQueriesTest, APathThatNamesNoFolder) {
  struct Case {
    const char* file;
    const char* path;
    const char* error;
  };
  const Case cases[] = {
      {"W.kvl", "Photos/2025", "no folder '2025' in D:\\Data\\Photos"},
      {"W.kvl", "big.iso", "no folder 'big.iso' in D:\\Data"},
      {"W.kvl", "Photos/readme.txt", "no folder 'readme.txt' in D:\\Data\\Photos"},
      {"W.kvl", "Photos/readme.txt/x", "no folder 'readme.txt' in D:\\Data\\Photos"},
      {"W.kvl", "D:\\Database", "no folder 'D:' in D:\\Data"},  // not below the scan root
      {"L.kvl", "etc", "no folder 'etc' in /"},
      {"L.kvl", "/home/bob", "no folder 'bob' in /home"},
  };
  for (const Case& c : cases) {
    for (const bool list : {true, false}) {
      SCOPED_TRACE(std::string(c.path) + (list ? " ls" : " du"));
      const CatalogFile& file = File(c.file);
      StringSink out;
      FolderOutcome outcome;
      const bool ok = list ? RunList(fake_, file, Query(file, c.path), {}, out, &outcome)
                           : RunDiskUsage(fake_, file, Query(file, c.path), {}, out, &outcome);
      EXPECT_FALSE(ok);
      EXPECT_EQ(outcome.error, c.error);
      EXPECT_FALSE(outcome.damaged);
      EXPECT_EQ(out.text, "");
    }
  }
  // Two folders that differ only in case: a third spelling names neither.
  const CatalogFile& file = File("W.kvl");
  StringSink out;
  FolderOutcome outcome;
  EXPECT_FALSE(RunList(fake_, file, Query(file, "music"), {}, out, &outcome));
  EXPECT_NE(outcome.error.find("'music'"), std::string::npos) << outcome.error;
}

TEST_F(FolderQueriesTest, ADamagedCatalogueIsReportedWithItsOffset) {
  LaidCatalog lost = Volume("LOST", "/", "");
  lost.folders.resize(3);
  lost.entries = {{-1, 0, "a"}, {4, 1, "f"}};
  const std::string bytes = lost.Bytes();
  fake_.AddFileWithContent("C:\\bad\\lost.kvl", bytes);
  const std::string sound = TreeCatalog(Volume("T", "/", ""), {{"a/b", 1}});
  fake_.AddFileWithContent("C:\\bad\\trail.kvl", sound + "xy");
  fake_.AddFileWithContent("C:\\bad\\junk.kvl", "not a catalogue at all");
  std::vector<std::string> unreadable;
  std::vector<CatalogFile> bad = ListCatalogFiles(fake_, {"C:\\bad"}, false, &unreadable);
  std::vector<std::string> problems;
  ReadHeaders(fake_, &bad, &problems);
  ASSERT_EQ(bad.size(), 3u);
  const std::string expected[] = {
      "C:\\bad\\junk.kvl: not a catalogue file: signature ",
      "C:\\bad\\lost.kvl: the entry table introduces 1 folders below folder 0, the folder "
      "table holds 3 folders (offset " +
          std::to_string(bytes.size()) + ")",
      "C:\\bad\\trail.kvl: 2 bytes trail the entry table (offset " + std::to_string(sound.size()) +
          ")",
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    for (const bool list : {true, false}) {
      SCOPED_TRACE(bad[i].path + (list ? " ls" : " du"));
      FolderQuery query;
      StringSink out;
      FolderOutcome outcome;
      const bool ok = list ? RunList(fake_, bad[i], query, {}, out, &outcome)
                           : RunDiskUsage(fake_, bad[i], query, {}, out, &outcome);
      EXPECT_FALSE(ok);
      EXPECT_TRUE(outcome.damaged);
      EXPECT_EQ(outcome.error.rfind(expected[i], 0), 0u) << outcome.error;
      EXPECT_EQ(out.text, "");
    }
  }
}

// With --encoding, names are shown converted; the path given to ls and du is written in
// the same converted form.
// A component is compared with the name as shown, decoded from the code page.
TEST_F(FolderQueriesTest, AFolderIsNamedAsItIsShownUnderAnEncoding) {
  fake_.AddFileWithContent("C:\\old\\OLD.kvl",
                           TreeCatalog(Volume("OLD", "C:\\", ""), {{"Caf\xE9/men\xFC.txt", 7}}));
  std::vector<std::string> unreadable;
  std::vector<CatalogFile> files = ListCatalogFiles(fake_, {"C:\\old"}, false, &unreadable);
  std::vector<std::string> problems;
  ReadHeaders(fake_, &files, &problems);
  ASSERT_EQ(files.size(), 1u);
  FolderQuery query = Query(files[0], "");
  query.encoding = "cp1252";
  FolderOutcome outcome;
  EXPECT_EQ(Paths(true, files[0], query, &outcome), std::vector<std::string>{"C:\\Caf\xC3\xA9"});
  for (const bool list : {true, false}) {
    SCOPED_TRACE(list ? "ls" : "du");
    FolderQuery named = Query(files[0], "Caf\xC3\xA9");
    named.encoding = "cp1252";
    FolderOutcome found;
    EXPECT_EQ(
        Paths(list, files[0], named, &found),
        std::vector<std::string>{list ? "C:\\Caf\xC3\xA9\\men\xC3\xBC.txt" : "C:\\Caf\xC3\xA9"})
        << found.error;
  }
}

}  // namespace
}  // namespace ledra
