// The strict reader against hand-laid bytes: headers of every version, the tables of
// versions 5 and 6 with the paths they give, and every kind of damage, each refused with
// the offset where it lies.
#include "catalog/catalog_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_test_support.h"
#include "catalog/laid_catalog_testing.h"
#include "platform/fake_platform.h"

namespace ledra {
namespace {

using test::Bytes;

// A version-5 or 6 catalogue of root `root` with `folderCount` folders (figures k files,
// 10 k bytes for folder k) and the given entries.
std::string Catalogue(int16_t version, const std::string& root, const std::string& folder0Path,
                      uint32_t folderCount, const std::vector<test::LaidEntry>& entries) {
  test::LaidCatalog c;
  c.version = version;
  c.root = root;
  c.folder0Path = folder0Path;
  c.folders.clear();
  for (uint32_t k = 0; k < folderCount; ++k)
    c.folders.push_back({static_cast<int32_t>(k), 10.0 * k});
  c.entries = entries;
  return c.Bytes();
}

// Root 'D:\' below '\Data': a, b/ (folder 1) holding c/ (folder 2) holding d.txt.
std::vector<test::LaidEntry> SmallTree(int64_t fileSize) {
  return {{5, 0, "a"}, {-1, 0, "b"}, {-2, 1, "c"}, {fileSize, 2, "d.txt"}};
}

// The 66-byte file of the format's worked example: a whole volume 'C:\' named 'DATA'
// with one file 'a.txt'.
const std::string kHeaderHex =
    "27 06 A4 D0 05 00 00 00 00 40 43 3A 5C 00 44 41 54 41 00 00 CD AB 34 12 00 00 00 80 44";
const std::string kExampleHex = kHeaderHex +
                                " 01 00 00 00 00 01 00 00 00 00 00 00 00 00 40 8F 40"
                                " 01 00 00 00 00 00 F0 3F E8 03 00 00 00 00 61 2E 74 78 74 00";

std::string FromHex(const std::string& pairs) { return Bytes().Hex(pairs).str(); }

TEST(CatalogReaderTest, ReadsTheWorkedExampleOfBothVersions) {
  const std::string bytes = FromHex(kExampleHex);
  ASSERT_EQ(bytes.size(), 66u);
  CatalogContents c;
  ReadProblem why;
  ASSERT_TRUE(LoadCatalog(bytes, &c, &why)) << why.Text();
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
  ASSERT_TRUE(LoadCatalog(two, &c, &why)) << why.Text();
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
  const std::string wide =
      FromHex("27 06 A4 D0 06 00" + kHeaderHex.substr(17) +
              " 01 00 00 00 00 01 00 00 00 00 00 00 00 00 40 8F 40"
              " 02 00 00 00 00 00 F0 3F E8 03 00 00 00 00 00 00 00 00 00 00 61 2E 74 78 74 00"
              " 01 00 00 00 64 00 00 00 01 00 00 00 00 00 00 00 62 00");
  ASSERT_TRUE(LoadCatalog(wide, &c, &why)) << why.Text();
  EXPECT_EQ(c.header.version, 6);
  EXPECT_EQ(c.header.freeSpaceMB, 1024.0f);
  ASSERT_EQ(c.entries.size(), 2u);
  EXPECT_EQ(c.entries[0].size, 1000);
  EXPECT_EQ(c.entries[0].name, "a.txt");
  EXPECT_EQ(c.entries[1].size, (4ll << 30) + 100);
  EXPECT_EQ(c.entries[1].folderIndex, 0u);
  EXPECT_EQ(c.entries[1].name, "b");
}

TEST(CatalogReaderTest, ReadsTheHeaderOfEveryVersion) {
  struct Case {
    const char* name;
    std::string bytes;
    int16_t version;
    std::string root, volumeName, alias, comment;
    float freeSpaceMB;
  };
  const std::vector<Case> cases = {
      {"generation 0", Bytes().Hex("27 A8 D3 1D").U32(7).Counted("VOL").Counted("al").U32(1).str(),
       0, "", "VOL", "al", "", -1.0f},
      {"generation 1",
       Bytes().Hex("27 72 6E 59").U32(7).Counted("VOL").Counted("").U32(1).U32(0x3F800000).str(), 1,
       "", "VOL", "", "", 1.0f},
      {"generation 2",
       Bytes()
           .Hex("27 3C 09 95")
           .U32(7)
           .Counted("C:\\")
           .Counted("V")
           .Counted("")
           .U32(1)
           .U32(0)
           .str(),
       2, "C:\\", "V", "", "", 0.0f},
      {"version 4, NUL inside a counted string",
       Bytes()
           .Hex("27 06 A4 D0 04 00")
           .U32(7)
           .Counted("C:\\")
           .Counted(std::string("V\0x", 3))
           .Counted("")
           .U32(1)
           .Counted("note")
           .U32(0)
           .str(),
       4, "C:\\", "V", "", "note", 0.0f},
      {"version -1 reads as 0",
       Bytes().Hex("27 06 A4 D0 FF FF").U32(7).Counted("V").Counted("").U32(1).str(), -1, "", "V",
       "", "", -1.0f},
  };
  for (const Case& c : cases) {
    CatalogReader reader;
    ReadProblem problem;
    ASSERT_TRUE(reader.OpenBytes(c.bytes, &problem)) << c.name << ": " << problem.Text();
    const CatalogHeader& h = reader.header();
    EXPECT_EQ(h.version, c.version) << c.name;
    EXPECT_EQ(h.root, c.root) << c.name;
    EXPECT_EQ(h.volumeName, c.volumeName) << c.name;
    EXPECT_EQ(h.displayName, c.alias.empty() ? c.volumeName : c.alias) << c.name;
    EXPECT_EQ(h.comment, c.comment) << c.name;
    EXPECT_EQ(h.freeSpaceMB, c.freeSpaceMB) << c.name;
    EXPECT_FALSE(h.HasTables()) << c.name;
  }
}

TEST(CatalogReaderTest, WalksTheTablesOfVersionsFiveAndSix) {
  for (const int16_t version : {5, 6}) {
    const int64_t big = version == 6 ? 5368709120LL : kClampedSize;
    const std::string bytes = Catalogue(version, "D:\\", "\\Data", 3, SmallTree(big));
    CatalogReader reader;
    ReadProblem problem;
    ASSERT_TRUE(reader.OpenBytes(bytes, &problem)) << problem.Text();
    const CatalogHeader& h = reader.header();
    EXPECT_EQ(h.folderCount, 3u);
    EXPECT_EQ(h.entryCount, 4u);
    EXPECT_EQ(h.ScanRoot(), "D:\\Data");
    CatalogFolder folder;
    ASSERT_TRUE(reader.Folder(2, &folder, &problem)) << problem.Text();
    EXPECT_EQ(folder.fileCount, 2);
    EXPECT_EQ(folder.totalSize, 20.0);
    ASSERT_TRUE(reader.Folder(0, &folder, &problem)) << problem.Text();
    EXPECT_EQ(folder.path, "\\Data");

    EntryCursor cursor = reader.Entries(true);
    CatalogEntry e;
    std::vector<std::string> paths;
    std::vector<int64_t> sizes;
    while (cursor.Next(&e)) {
      std::string path = h.PathPrefix();
      cursor.AppendEntryPath(e, h.Separator(), &path);
      paths.push_back(path);
      sizes.push_back(e.size);
    }
    ASSERT_TRUE(cursor.ok()) << cursor.problem().Text();
    EXPECT_EQ(paths, (std::vector<std::string>{"D:\\Data\\a", "D:\\Data\\b", "D:\\Data\\b\\c",
                                               "D:\\Data\\b\\c\\d.txt"}));
    EXPECT_EQ(sizes, (std::vector<int64_t>{5, -1, -2, big}));
  }
}

TEST(CatalogReaderTest, FullPathsFollowTheRootsSeparator) {
  struct Case {
    std::string root, folder0, expected;
  };
  const std::vector<Case> cases = {
      {"\\\\srv\\share\\", "\\dir", "\\\\srv\\share\\dir\\b\\c\\d.txt"},
      {"/mnt/usb/", "", "/mnt/usb/b/c/d.txt"},
      {"/", "", "/b/c/d.txt"},
  };
  for (const Case& c : cases) {
    CatalogContents contents;
    ReadProblem problem;
    ASSERT_TRUE(LoadCatalog(Catalogue(5, c.root, c.folder0, 3, SmallTree(1)), &contents, &problem));
    CatalogReader reader;
    ASSERT_TRUE(reader.OpenBytes(*contents.bytes, &problem));
    EntryCursor cursor = reader.Entries(true);
    CatalogEntry e;
    std::string path;
    while (cursor.Next(&e)) {
      path = contents.header.PathPrefix();
      cursor.AppendEntryPath(e, contents.header.Separator(), &path);
    }
    EXPECT_EQ(path, c.expected);
  }
}

// A sound catalogue and damaged copies of it, each with the offset and the words of its
// problem.
struct Damage {
  const char* name;
  std::string bytes;
  size_t offset;
  const char* what;
};

std::string GoodCatalogue() { return Catalogue(5, "D:\\", "", 3, SmallTree(1)); }

std::vector<Damage> DamagedCatalogues() {
  const std::string good = GoodCatalogue();
  // Offsets in the good file: header 29 bytes ('D:\'), folder count at 29, folder 0's path
  // at 33, records to 70, entry count at 70, entries from 74 (11 + name each).
  auto patched = [&](size_t at, const std::string& with) {
    std::string b = good;
    b.replace(at, with.size(), with);
    return b;
  };
  // Folder k's record lies at 34 + 12 k: its file count, then its total at 4 bytes on.
  auto total = [&](uint32_t folder, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return patched(38 + 12 * folder, Bytes().U64(bits).str());
  };
  return {
      {"wrong signature", patched(0, Bytes().U32(1000000000).str()), 0, "not a catalogue file"},
      {"version 7", patched(4, Bytes().U16(7).str()), 4, "newer"},
      {"negative folder count", patched(29, Bytes().U32(0xFFFFFFFF).str()), 29, "negative"},
      {"folder count past the file", patched(29, Bytes().U32(0x7FFFFFFF).str()), 29,
       "cut short: 2147483647 folders announced, the file ends after 7"},
      {"no folder 0", Catalogue(5, "D:\\", "", 0, {}), 29, "lacks folder 0"},
      {"negative entry count", patched(70, Bytes().U32(0x80000000).str()), 70, "negative"},
      {"version 4 holds no tables", patched(4, Bytes().U16(4).str()), 4, "no tables"},
      {"entry count past the file", patched(70, Bytes().U32(100).str()), 70,
       "cut short: 100 entries announced, the file ends after 4"},
      {"folder 0 total not a number", total(0, std::nan("")), 38,
       "folder 0 total size is not a number"},
      {"folder 0 file count negative", patched(34, Bytes().U32(0xFFFFFFFF).str()), 34,
       "folder 0 file count -1 is negative"},
      {"folder 0 total of 1e300", total(0, 1e300), 38, "folder 0 total size 1e+300 is beyond"},
      {"folder 1 total infinite", total(1, HUGE_VAL), 50, "folder 1 total size inf is beyond"},
      {"folder 2 total of 2^63", total(2, 0x1p63), 62, "folder 2 total size 9.22337e+18 is beyond"},
      {"folder 2 total negative", total(2, -1.0), 62, "folder 2 total size -1 is negative"},
      {"folder 1 total not a number", total(1, -std::nan("")), 50,
       "folder 1 total size is not a number"},
      {"folder 2 file count negative", patched(58, Bytes().U32(0x80000000).str()), 58,
       "folder 2 file count -2147483648 is negative"},
      {"folder entry of the wrong number",
       Catalogue(5, "D:\\", "", 3, {{-2, 0, "b"}, {-1, 0, "c"}}), 74, "folder entry number 1"},
      {"folder entry past the folder table",
       Catalogue(5, "D:\\", "", 2, {{-1, 0, "b"}, {-2, 1, "c"}}), 74, "folder entry number 2"},
      {"entry in a folder not yet introduced",
       Catalogue(5, "D:\\", "", 3, {{1, 1, "x"}, {-1, 0, "b"}}), 74, "no earlier folder entry"},
      {"entries out of folder order",
       Catalogue(5, "D:\\", "", 3, {{-1, 0, "b"}, {-2, 1, "c"}, {1, 2, "x"}, {1, 1, "y"}}), 110,
       "follows one of folder 2"},
      {"a folder never introduced", Catalogue(5, "D:\\", "", 3, {{-1, 0, "b"}}), 86,
       "introduces 1 folders"},
      {"trailing byte", good + '\0', good.size(), "1 bytes trail"},
      {"name without its NUL", good.substr(0, good.size() - 1), 120, "cut short: an entry's name"},
      // LedraCmd's own header reader holds every header string to the same limit.
      {"root of 2048 bytes", Catalogue(5, std::string(2048, 'r'), "", 3, SmallTree(1)), 10,
       "root is longer than 2047 bytes"},
  };
}

TEST(CatalogReaderTest, RefusesDamageWithItsOffset) {
  const std::string good = GoodCatalogue();
  for (const Damage& c : DamagedCatalogues()) {
    CatalogContents contents;
    ReadProblem problem;
    EXPECT_FALSE(LoadCatalog(c.bytes, &contents, &problem)) << c.name;
    EXPECT_EQ(problem.offset, c.offset) << c.name << ": " << problem.Text();
    EXPECT_NE(problem.what.find(c.what), std::string::npos) << c.name << ": " << problem.Text();
    // The words first, then where.
    const std::string where = " (offset " + std::to_string(c.offset) + ")";
    EXPECT_EQ(problem.Text(), problem.what + where) << c.name;
  }
  // The largest total below 2^63 and the emptiest folder still read.
  for (const double figure : {std::nextafter(0x1p63, 0.0), 0.0}) {
    std::string bytes = good;
    uint64_t bits;
    std::memcpy(&bits, &figure, sizeof bits);
    bytes.replace(62, 8, Bytes().U64(bits).str());
    bytes.replace(58, 4, Bytes().U32(0).str());
    CatalogContents contents;
    ReadProblem problem;
    ASSERT_TRUE(LoadCatalog(bytes, &contents, &problem)) << figure << ": " << problem.Text();
    EXPECT_EQ(contents.folders[2].totalSize, figure);
  }
  // Every cut of a sound file is refused, and none reads past its end (the sanitizer build
  // and the fuzz target watch the latter).
  for (size_t n = 0; n < good.size(); ++n) {
    CatalogContents contents;
    ReadProblem problem;
    EXPECT_FALSE(LoadCatalog(good.substr(0, n), &contents, &problem)) << "cut to " << n;
  }
}

// What a cursor gives: each entry's offset, path, size and time, then how the table ended.
std::string Walk(const std::string& bytes, bool streamed, bool forEach) {
  CatalogReader reader;
  ReadProblem problem;
  if (!reader.OpenBytes(bytes, &problem) || !reader.header().HasTables()) return "no tables";
  EntryCursor cursor = streamed ? reader.StreamEntries(true, 128) : reader.Entries(true);
  std::string log;
  auto add = [&](const CatalogEntry& e) {
    log += std::to_string(e.offset) + " ";
    cursor.AppendEntryPath(e, '/', &log);
    log += " " + std::to_string(e.size) + " " + std::to_string(e.modified) + "\n";
    return true;
  };
  CatalogEntry e;
  if (forEach) {
    EXPECT_TRUE(cursor.ForEach(add));
  } else {
    while (cursor.Next(&e)) add(e);
  }
  return log + (cursor.ok() ? "sound" : cursor.problem().Text());
}

TEST(CatalogReaderTest, StreamedTablesReadAsTheMappedFile) {
  // Four folders of files whose names run from 1 to 400 bytes, three times the smallest
  // buffer, so that records straddle every refill and long names outgrow the buffer.
  std::vector<test::LaidEntry> entries;
  int n = 0;
  auto files = [&](uint32_t folder, int count) {
    for (int i = 0; i < count; ++i, ++n) {
      entries.push_back({n * 1000, folder, std::string(1 + (n * 37) % 400, 'a' + n % 26), n});
    }
  };
  files(0, 50);
  entries.push_back({-1, 0, "one"});
  entries.push_back({-2, 0, "two"});
  files(1, 60);
  entries.push_back({-3, 1, "three"});
  files(2, 40);
  files(3, 30);
  // Damage amid runs of files: a file of a folder not yet introduced, one out of order.
  std::vector<test::LaidEntry> early = entries, late = entries;
  early[20].folder = 3;
  late[entries.size() - 10].folder = 1;
  std::vector<std::string> catalogues = {Catalogue(5, "/", "", 4, early),
                                         Catalogue(6, "/", "", 4, late)};
  for (const int16_t version : {5, 6}) {
    const std::string sound = Catalogue(version, "/", "", 4, entries);
    catalogues.push_back(sound);
    for (size_t cut = 0; cut < sound.size(); cut += 97) catalogues.push_back(sound.substr(0, cut));
  }
  for (const Damage& d : DamagedCatalogues()) catalogues.push_back(d.bytes);
  for (const std::string& bytes : catalogues) {
    const std::string mapped = Walk(bytes, false, false);
    EXPECT_EQ(Walk(bytes, true, false), mapped) << bytes.size() << " bytes";
    EXPECT_EQ(Walk(bytes, true, true), mapped) << bytes.size() << " bytes";
    EXPECT_EQ(Walk(bytes, false, true), mapped) << bytes.size() << " bytes";
  }
  EXPECT_NE(Walk(catalogues[0], true, true).find("no earlier folder entry"), std::string::npos);
  EXPECT_NE(Walk(catalogues[1], true, true).find("follows one of folder 3"), std::string::npos);
  const std::string sound = Walk(catalogues[2], true, true);
  EXPECT_EQ(sound.substr(sound.size() - 5), "sound");
}

TEST(CatalogReaderTest, AFileReadsAsItsBytes) {
  // Open reads a kilobyte first and the rest of the header only when it runs on: headers
  // that end on either side of it, and files cut short there, read as the whole bytes do.
  auto laid = [](size_t stringBytes, const std::string& folder0Path) {
    test::LaidCatalog c;
    c.volumeName = std::string(stringBytes, 'v');
    c.alias = std::string(stringBytes, 'a');
    c.comment = std::string(stringBytes, 'c');
    c.folder0Path = folder0Path;
    c.folders = {{0, 0.0}, {1, 10.0}};
    c.entries = {{-1, 0, "sub"}, {7, 1, "f.txt"}};
    return c.Bytes();
  };
  std::vector<std::string> files = {laid(3, ""), laid(2047, std::string(2040, 'p'))};
  // Strings that end just before the first read's end (or a page's), with folder 0's
  // figures before, across and after it.
  for (size_t n = 320; n < 350; ++n) files.push_back(laid(n, "/p"));
  for (size_t n = 1340; n < 1370; ++n) files.push_back(laid(n, "/p"));
  const std::string longest = files[1];
  for (size_t cut :
       {size_t{1000}, size_t{1024}, size_t{1025}, size_t{4096}, size_t{7000}, longest.size() - 3}) {
    files.push_back(longest.substr(0, cut));
  }
  for (const Damage& d : DamagedCatalogues()) files.push_back(d.bytes);
  // An entry count far past the first read, sound, negative, beyond the file, and cut.
  test::LaidCatalog many;
  many.folders.assign(200, {0, 0.0});
  for (uint32_t f = 1; f < 200; ++f) many.entries.push_back({-static_cast<int64_t>(f), 0, "d"});
  const std::string far = many.Bytes();
  const size_t countAt = far.size() - 199 * (10 + 2) - 4;  // entries of 10 bytes and "d"
  for (uint32_t count : {199u, 0x80000000u, 200u, 100000u}) {
    files.push_back(far);
    files.back().replace(countAt, 4, Bytes().U32(count).str());
  }
  for (size_t cut = countAt - 1; cut <= countAt + 5; ++cut) files.push_back(far.substr(0, cut));
  std::ostringstream messages;
  MessageSink errors(messages);
  FakePlatform fake(errors);
  for (const std::string& bytes : files) {
    fake.AddFileWithContent("C:\\A.kvl", bytes);
    CatalogReader fromBytes;
    ReadProblem bytesProblem;
    const bool sound = fromBytes.OpenBytes(bytes, &bytesProblem);
    // Opened with the entry count read at once, and deferred to a read of its own.
    for (const bool defer : {false, true}) {
      CatalogReader fromFile;
      ReadProblem fileProblem;
      const std::string what =
          std::to_string(bytes.size()) + " bytes, deferred " + std::to_string(defer);
      const bool opened = fromFile.Open(fake, "C:\\A.kvl", &fileProblem, defer) &&
                          fromFile.ReadEntryCount(&fileProblem);
      ASSERT_EQ(opened, sound) << what << ": " << fileProblem.Text();
      if (!opened) {
        EXPECT_EQ(fileProblem.Text(), bytesProblem.Text()) << what;
        continue;
      }
      EXPECT_EQ(fromFile.head(), fromBytes.head()) << what;
      EXPECT_EQ(fromFile.header().comment, fromBytes.header().comment);
      EXPECT_EQ(fromFile.header().folder0Path, fromBytes.header().folder0Path);
      EXPECT_EQ(fromFile.header().entryCountRead, fromFile.header().HasTables()) << what;
      EXPECT_EQ(fromFile.header().entryCount, fromBytes.header().entryCount) << what;
      EXPECT_EQ(fromFile.header().entryTableOffset, fromBytes.header().entryTableOffset);
    }
  }
  // Deferred, a count past the header's bytes is not read until asked for; one within them
  // comes with it.
  CatalogReader deferred;
  ReadProblem problem;
  fake.AddFileWithContent("C:\\A.kvl", far);
  ASSERT_TRUE(deferred.Open(fake, "C:\\A.kvl", &problem, true)) << problem.Text();
  EXPECT_FALSE(deferred.header().entryCountRead);
  fake.AddFileWithContent("C:\\A.kvl", files[0]);
  ASSERT_TRUE(deferred.Open(fake, "C:\\A.kvl", &problem, true)) << problem.Text();
  EXPECT_TRUE(deferred.header().entryCountRead);
  CatalogReader reader;
  fake.AddFileWithContent("C:\\A.kvl", longest);
  ASSERT_TRUE(reader.Open(fake, "C:\\A.kvl", &problem)) << problem.Text();
  EXPECT_GT(reader.head().size(), 4096u) << "a header longer than the first read";
  EXPECT_EQ(reader.header().entryCount, 2u);
}

}  // namespace
}  // namespace ledra
