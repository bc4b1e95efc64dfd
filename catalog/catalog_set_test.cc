#include "catalog/catalog_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_test_support.h"
#include "catalog/volume_catalog.h"
#include "platform/fake_platform.h"

namespace ledra {
namespace {

using test::Bytes;
using test::CurrentFolderGuard;
using test::LineCount;
using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;

const char kFolder[] = "C:\\cats";

// A version-5 catalogue header made by hand, so that the set's tests do not depend on
// the writer.
std::string HeaderFile(const std::string& volumeName, uint32_t serial, const std::string& alias,
                       const std::string& comment = "") {
  return Bytes()
      .Hex("27 06 A4 D0 05 00 00 00 00 40")
      .Terminated("C:\\")
      .Terminated(volumeName)
      .Terminated(alias)
      .U32(serial)
      .Terminated(comment)
      .Hex("00 00 80 BF")
      .str();
}

// A finished catalogue as the Cataloger hands it to the set.
VolumeCatalog NewCatalogue(const std::string& volumeName, uint32_t serial, const std::string& alias,
                           int entries, const std::string& comment = "") {
  VolumeCatalog c;
  c.root = "C:\\";
  c.volumeName = volumeName;
  c.serial = serial;
  c.alias = alias;
  c.comment = comment;
  FolderRecord root;
  root.fileCount = entries;
  c.folders.push_back(root);
  for (int i = 0; i < entries; ++i) {
    c.AddEntry("file number " + std::to_string(i), i, i, 0);
  }
  return c;
}

std::vector<std::string> Paths(const CatalogSet& set) {
  std::vector<std::string> paths;
  for (const auto& c : set.catalogs()) paths.push_back(c->filePath);
  return paths;
}

// Every catalogue of the set still names a file of its own, and the counts add up.
void ExpectSetMatchesDisk(const FakePlatform& fake, const CatalogSet& set) {
  EXPECT_EQ(set.count(), static_cast<int32_t>(set.catalogs().size()));
  int32_t entries = 0;
  for (const auto& c : set.catalogs()) {
    EXPECT_TRUE(fake.Exists(c->filePath)) << c->filePath;
    entries += static_cast<int32_t>(c->entries.size());
  }
  EXPECT_EQ(set.totalEntries(), entries);
}

// The log with each temporary name's random digits shown as '*'.
std::vector<std::string> MaskedLog(const FakePlatform& fake, size_t from = 0) {
  static const std::regex kToken("\\.tmp\\.[0-9a-f]{8}");
  std::vector<std::string> log;
  for (size_t i = from; i < fake.log().size(); ++i) {
    log.push_back(std::regex_replace(fake.log()[i], kToken, ".tmp.*"));
  }
  return log;
}

// The temporary file the last catalogue was written to.
std::string LastCreated(const FakePlatform& fake) {
  for (auto it = fake.log().rbegin(); it != fake.log().rend(); ++it) {
    if (it->rfind("create ", 0) == 0) return it->substr(7);
  }
  return std::string();
}

class CatalogSetFakeTest : public ::testing::Test {
 protected:
  CatalogSetFakeTest() : errors_(errorText_), fake_(errors_) {
    fake_.AddFolder(kFolder);
    fake_.ChangeFolder(kFolder);
  }

  std::string In(const std::string& name) const { return std::string(kFolder) + "\\" + name; }

  // The names of the working folder that do not end in ".kvl" or ".kvl.bak".
  std::vector<std::string> Strays() const {
    std::vector<std::string> strays;
    for (const std::string& name : fake_.List(kFolder)) {
      const auto endsWith = [&](const std::string& tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
      };
      if (!endsWith(".kvl") && !endsWith(".kvl.bak")) strays.push_back(name);
    }
    return strays;
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
};

TEST_F(CatalogSetFakeTest, ChooseFileName) {
  struct Case {
    std::string displayName;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    std::string expected;
  };
  const Case cases[] = {
      {"DATA", {}, {}, "DATA.kvl"},
      {"My Photos", {}, {}, "My-Photos.kvl"},
      {"ABCDEFGHIJKLMNOPQRS", {}, {}, "ABCDEFGHIJKLMNOP.kvl"},
      {"ABCDEFGHIJKLMNOP", {}, {}, "ABCDEFGHIJKLMNOP.kvl"},
      {"ABCDEFGHIJKLMNO[P", {}, {}, "ABCDEFGHIJKLMNO.kvl"},
      {"ABCDEFGHIJKLMNOP[", {}, {}, "ABCDEFGHIJKLMNOP.kvl"},
      {"ABCDEFGHIJKLMNOPQ", {"ABCDEFGHIJKLMNOP.kvl"}, {}, "ABCDEFGHIJKLMNOP1.kvl"},
      {"Backup[2]", {}, {}, "Backup.kvl"},
      {"[\\Photos\\Summer]", {}, {}, ".kvl"},
      {"[\\Photos\\Summer]", {".kvl"}, {}, "1.kvl"},
      {"[\\Photos\\Summer]", {".kvl", "1.kvl"}, {}, "2.kvl"},
      {"", {}, {}, ".kvl"},
      {"DATA-Z", {}, {}, "DATA-Z.kvl"},
      {"C$ 1.2_x", {}, {}, "C$-1-2_x.kvl"},
      {"a.b:c\\d/e*f?g", {}, {}, "a-b-c-d-e-f-g.kvl"},
      {"Caf\xE9 \xC4rger", {}, {}, "Caf---rger.kvl"},
      {"\x80\xFF\x7F~", {}, {}, "----.kvl"},
      {"09azAZ$_@`{[", {}, {}, "09azAZ$_---.kvl"},
      // The lowest free number is taken.
      {"DATA", {"DATA.kvl", "DATA2.kvl"}, {}, "DATA1.kvl"},
      {"DATA",
       {"DATA.kvl", "DATA1.kvl", "DATA2.kvl", "DATA3.kvl", "DATA4.kvl", "DATA5.kvl", "DATA6.kvl",
        "DATA7.kvl", "DATA8.kvl", "DATA9.kvl", "DATA10.kvl"},
       {},
       "DATA11.kvl"},
      // Any item of the name counts, a folder as well, and case does not matter.
      {"DATA", {}, {"DATA.kvl"}, "DATA1.kvl"},
      {"DATA", {"data.KVL"}, {}, "DATA1.kvl"},
      {"data", {"DATA.kvl", "Data1.Kvl"}, {}, "data2.kvl"},
      // Backups and unfinished files do not take a name.
      {"DATA", {"DATA.kvl.bak", "DATA.kvl.tmp", "DATA1"}, {}, "DATA.kvl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.displayName);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder(kFolder);
    fake.ChangeFolder(kFolder);
    for (const std::string& name : c.files) fake.AddFile(In(name), 1);
    for (const std::string& name : c.folders) fake.AddFolder(In(name));
    CatalogSet set(fake);
    std::string fileName = "junk";
    set.ChooseFileName(&fileName, c.displayName);
    EXPECT_EQ(fileName, c.expected);
  }
}

TEST_F(CatalogSetFakeTest, FolderComesFromTheCurrentFolder) {
  struct Case {
    std::string current;
    std::string folder;
    std::vector<std::string> loaded;
  };
  const Case cases[] = {
      // The run's own set names its files relative to the folder it entered.
      {"C:\\", "C:", {"x.kvl"}},
      {"C:\\cats", "C:\\cats", {"in cats.kvl"}},
      {"D:\\deep\\er", "D:\\deep\\er", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.current);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFileWithContent("C:\\x.kvl", HeaderFile("ROOT", 1, ""));
    fake.AddFileWithContent("C:\\cats\\in cats.kvl", HeaderFile("CATS", 2, ""));
    fake.AddFolder("D:\\deep\\er");
    ASSERT_TRUE(fake.ChangeFolder(c.current));
    CatalogSet set(fake);
    EXPECT_EQ(set.folder(), c.folder);
    set.LoadHeaders();
    EXPECT_EQ(Paths(set), c.loaded);
  }
  CatalogSet given(fake_, "D:\\Cat\\");
  EXPECT_EQ(given.folder(), "D:\\Cat\\") << "a folder handed in is taken as it stands";
  EXPECT_EQ(given.count(), 0);
  EXPECT_EQ(given.totalEntries(), 0);
}

TEST_F(CatalogSetFakeTest, LoadHeaders) {
  enum class Kind { ValidFile, JunkFile, EmptyFile, FolderItem, Version7File };
  struct Item {
    std::string name;
    Kind kind;
  };
  struct Case {
    const char* name;
    std::vector<Item> items;
    std::vector<std::string> order;  // listing order; items not named come after
    std::vector<std::string> loaded;
  };
  const Case cases[] = {
      {"a catalogue, junk and a text file",
       {{"A.kvl", Kind::ValidFile}, {"B.kvl", Kind::JunkFile}, {"notes.txt", Kind::ValidFile}},
       {},
       {"A.kvl"}},
      {"listing order, not sorted",
       {{"Z.kvl", Kind::ValidFile}, {"M.kvl", Kind::ValidFile}, {"A.kvl", Kind::ValidFile}},
       {"M.kvl", "Z.kvl", "A.kvl"},
       {"M.kvl", "Z.kvl", "A.kvl"}},
      {"any case of the extension, and a bare '.kvl'",
       {{"UP.KVL", Kind::ValidFile}, {".kvl", Kind::ValidFile}, {"mixed.kVl", Kind::ValidFile}},
       {"UP.KVL", ".kvl", "mixed.kVl"},
       {"UP.KVL", ".kvl", "mixed.kVl"}},
      {"nothing that fails the header test",
       {{"E.kvl", Kind::EmptyFile},
        {"F.kvl", Kind::FolderItem},
        {"V.kvl", Kind::Version7File},
        {"G.kvl", Kind::ValidFile}},
       {"E.kvl", "F.kvl", "V.kvl", "G.kvl"},
       {"G.kvl"}},
      {"backups and unfinished files are no catalogues",
       {{"A.kvl.bak", Kind::ValidFile},
        {"A.kvl.tmp", Kind::ValidFile},
        {"A.kvlx", Kind::ValidFile},
        {"Akvl", Kind::ValidFile}},
       {},
       {}},
      {"an empty folder", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder(kFolder);
    fake.ChangeFolder(kFolder);
    uint32_t serial = 100;
    for (const Item& item : c.items) {
      switch (item.kind) {
        case Kind::ValidFile:
          fake.AddFileWithContent(In(item.name), HeaderFile(item.name, serial++, "al"));
          break;
        case Kind::JunkFile:
          fake.AddFileWithContent(In(item.name), "this is no catalogue at all");
          break;
        case Kind::EmptyFile:
          fake.AddFileWithContent(In(item.name), "");
          break;
        case Kind::FolderItem:
          fake.AddFolder(In(item.name));
          break;
        case Kind::Version7File:
          fake.AddFileWithContent(In(item.name), Bytes().Hex("27 06 A4 D0 07 00").str() +
                                                     HeaderFile("seven", 7, "").substr(6));
          break;
      }
    }
    fake.SetListingOrder(kFolder, c.order);
    CatalogSet set(fake);
    set.LoadHeaders();
    EXPECT_EQ(Paths(set), c.loaded);
    EXPECT_EQ(set.count(), static_cast<int32_t>(c.loaded.size()));
    EXPECT_EQ(set.totalEntries(), 0);
    for (const auto& catalog : set.catalogs()) {
      // The header is the file's own: each valid file carries its name as volume name.
      EXPECT_EQ(catalog->volumeName, catalog->filePath);
      EXPECT_EQ(catalog->displayName, "al");
    }
    EXPECT_EQ(text.str(), "") << "files that are no catalogues are passed over silently";
  }
}

TEST_F(CatalogSetFakeTest, LoadHeadersReportsAFileItCannotOpen) {
  fake_.AddFileWithContent(In("A.kvl"), HeaderFile("A", 1, ""));
  fake_.AddFileWithContent(In("B.kvl"), HeaderFile("B", 2, ""));
  fake_.Fail(FakePlatform::Op::Open, In("A.kvl"));
  CatalogSet set(fake_);
  set.LoadHeaders();
  EXPECT_EQ(Paths(set), std::vector<std::string>{"B.kvl"});
  EXPECT_EQ(LineCount(errorText_.str()), 1u) << errorText_.str();
  EXPECT_NE(errorText_.str().find("A.kvl"), std::string::npos) << errorText_.str();
}

// Catalogues of the set given as (volume name, serial, alias), in set order.
struct Known {
  std::string volumeName;
  uint32_t serial;
  std::string alias;
};

class CatalogSetLoadedTest : public CatalogSetFakeTest {
 protected:
  void Load(const std::vector<Known>& known) {
    std::vector<std::string> order;
    for (size_t i = 0; i < known.size(); ++i) {
      const std::string name = "c" + std::to_string(i) + ".kvl";
      fake_.AddFileWithContent(In(name),
                               HeaderFile(known[i].volumeName, known[i].serial, known[i].alias));
      order.push_back(name);
    }
    fake_.SetListingOrder(kFolder, order);
    set_ = std::make_unique<CatalogSet>(fake_);
    set_->LoadHeaders();
    ASSERT_EQ(set_->count(), static_cast<int32_t>(known.size()));
  }

  std::unique_ptr<CatalogSet> set_;
};

TEST_F(CatalogSetLoadedTest, FindMatch) {
  struct Case {
    const char* name;
    std::vector<Known> set;
    Known cur;
    MatchScore score;
    int32_t index;
  };
  const Case cases[] = {
      {"the first that scores wins",
       {{"Other", 1, "Music"}, {"DATA", 7, "Music"}},
       {"DATA", 7, "Music"},
       MatchScore::Alias,
       0},
      {"name, serial and alias", {{"DATA", 7, "Music"}}, {"DATA", 7, "Music"}, MatchScore::Both, 0},
      {"name and serial, no alias on either side",
       {{"DATA", 7, ""}},
       {"DATA", 7, ""},
       MatchScore::NameAndSerial,
       0},
      {"name and serial, other alias",
       {{"DATA", 7, "Old"}},
       {"DATA", 7, "New"},
       MatchScore::NameAndSerial,
       0},
      {"other serial", {{"DATA", 7, ""}}, {"DATA", 8, ""}, MatchScore::None, -1},
      {"names compare byte for byte", {{"DATA", 7, ""}}, {"data", 7, ""}, MatchScore::None, -1},
      {"alias compares byte for byte",
       {{"A", 1, "Music"}},
       {"B", 2, "music"},
       MatchScore::None,
       -1},
      {"alias alone", {{"A", 1, "M"}}, {"Z", 9, "M"}, MatchScore::Alias, 0},
      {"an empty alias never matches", {{"A", 1, ""}}, {"Z", 9, ""}, MatchScore::None, -1},
      {"empty name and serial 0 never match by name",
       {{"", 0, ""}},
       {"", 0, ""},
       MatchScore::None,
       -1},
      {"empty name and serial 0, but an alias", {{"", 0, "M"}}, {"", 0, "M"}, MatchScore::Alias, 0},
      {"an empty name with a serial matches",
       {{"", 5, ""}},
       {"", 5, ""},
       MatchScore::NameAndSerial,
       0},
      {"a name with serial 0 matches",
       {{"DATA", 0, ""}},
       {"DATA", 0, ""},
       MatchScore::NameAndSerial,
       0},
      {"a later catalogue",
       {{"A", 1, ""}, {"B", 2, ""}, {"C", 3, ""}},
       {"C", 3, ""},
       MatchScore::NameAndSerial,
       2},
      {"bytes above 0x7F",
       {{"\xC4rger", 0x80000000, ""}},
       {"\xC4rger", 0x80000000, ""},
       MatchScore::NameAndSerial,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder(kFolder);
    fake.ChangeFolder(kFolder);
    std::vector<std::string> order;
    for (size_t i = 0; i < c.set.size(); ++i) {
      const std::string name = "c" + std::to_string(i) + ".kvl";
      fake.AddFileWithContent(In(name),
                              HeaderFile(c.set[i].volumeName, c.set[i].serial, c.set[i].alias));
      order.push_back(name);
    }
    fake.SetListingOrder(kFolder, order);
    CatalogSet set(fake);
    set.LoadHeaders();
    ASSERT_EQ(set.count(), static_cast<int32_t>(c.set.size()));
    VolumeCatalog cur;
    cur.volumeName = c.cur.volumeName;
    cur.serial = c.cur.serial;
    cur.alias = c.cur.alias;
    const CatalogMatch match = set.FindMatch(cur);
    EXPECT_EQ(match.score, c.score);
    if (c.index >= 0) {
      EXPECT_EQ(match.index, static_cast<size_t>(c.index));
      EXPECT_EQ(match.catalog, set.catalogs()[c.index].get());
    } else {
      EXPECT_EQ(match.catalog, nullptr);
    }
  }
}

TEST_F(CatalogSetLoadedTest, LookupAlias) {
  Load({{"DATA", 7, "Music"},
        {"DATA", 8, ""},
        {"", 0, "Nameless"},
        {"TWICE", 1, "One"},
        {"TWICE", 1, "Two"}});
  struct Case {
    std::string volumeName;
    uint32_t serial;
    std::string alias;
  };
  const Case cases[] = {
      {"DATA", 7, "Music"}, {"DATA", 8, "DATA"}, {"DATA", 9, ""},  {"data", 7, ""},
      {"", 0, "Nameless"},  {"TWICE", 1, "One"}, {"Music", 7, ""}, {"", 7, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.volumeName + "/" + std::to_string(c.serial));
    EXPECT_EQ(set_->LookupAlias(c.volumeName, c.serial), c.alias);
  }
}

TEST_F(CatalogSetLoadedTest, RemoveTheFirstOfThree) {
  Load({{"A", 1, ""}, {"B", 2, ""}, {"C", 3, ""}});
  VolumeCatalog a;
  a.volumeName = "A";
  a.serial = 1;
  const CatalogMatch match = set_->FindMatch(a);
  ASSERT_EQ(match.score, MatchScore::NameAndSerial);
  const VolumeCatalog* b = set_->catalogs()[1].get();
  const VolumeCatalog* c = set_->catalogs()[2].get();
  EXPECT_EQ(set_->RemoveCatalog(true, match), 1);
  EXPECT_EQ(set_->count(), 2);
  ASSERT_EQ(set_->catalogs().size(), 2u);
  EXPECT_EQ(set_->catalogs()[0].get(), b);
  EXPECT_EQ(set_->catalogs()[1].get(), c);
  EXPECT_EQ(set_->RemoveCatalog(true, match), 0) << "the match no longer names its place";
  EXPECT_EQ(set_->count(), 2);
  EXPECT_FALSE(fake_.Exists(In("c0.kvl")));
  EXPECT_EQ(fake_.Content(In("c0.kvl.bak")), HeaderFile("A", 1, ""));
  EXPECT_EQ(errorText_.str(), "");
  ExpectSetMatchesDisk(fake_, *set_);
}

TEST_F(CatalogSetLoadedTest, RemoveByIdentity) {
  Load({{"A", 1, ""}, {"B", 2, ""}, {"C", 3, ""}});
  const VolumeCatalog* a = set_->catalogs()[0].get();
  const VolumeCatalog* b = set_->catalogs()[1].get();
  VolumeCatalog c;
  c.volumeName = "C";
  c.serial = 3;
  const CatalogMatch matchOfC = set_->FindMatch(c);
  ASSERT_EQ(matchOfC.index, 2u);

  // A catalogue of equal content that is not in the set is refused and touches nothing,
  // and so is no match at all.
  VolumeCatalog twin;
  twin.filePath = set_->catalogs()[2]->filePath;
  twin.volumeName = "C";
  twin.serial = 3;
  const size_t logBefore = fake_.log().size();
  EXPECT_EQ(set_->RemoveCatalog(false, CatalogMatch{MatchScore::NameAndSerial, &twin, 2}), 0);
  EXPECT_EQ(set_->RemoveCatalog(true, CatalogMatch{}), 0);
  EXPECT_EQ(set_->count(), 3);
  EXPECT_EQ(fake_.log().size(), logBefore);

  EXPECT_EQ(set_->RemoveCatalog(false, matchOfC), 1);
  EXPECT_FALSE(fake_.Exists(In("c2.kvl")));
  EXPECT_FALSE(fake_.Exists(In("c2.kvl.bak")));
  EXPECT_EQ(set_->count(), 2);
  EXPECT_EQ(set_->RemoveCatalog(true, matchOfC), 0) << "the match lies past the end";
  EXPECT_EQ(set_->count(), 2);

  // A delete that fails leaves the set as it was.
  fake_.Fail(FakePlatform::Op::Remove, In("c0.kvl"));
  EXPECT_EQ(set_->RemoveCatalog(false, CatalogMatch{MatchScore::NameAndSerial, a, 0}), 0);
  EXPECT_EQ(set_->count(), 2);
  EXPECT_EQ(LineCount(errorText_.str()), 1u) << errorText_.str();
  EXPECT_TRUE(fake_.Exists(In("c0.kvl")));
  EXPECT_EQ(set_->catalogs()[0].get(), a);
  EXPECT_EQ(set_->catalogs()[1].get(), b);
  ExpectSetMatchesDisk(fake_, *set_);
}

TEST_F(CatalogSetFakeTest, StoresTwoVolumesOfOneNameUnderTwoNames) {
  struct Case {
    std::string displayName;
    std::string first;
    std::string second;
  };
  const Case cases[] = {
      {"DATA", "DATA.kvl", "DATA1.kvl"},
      {"[\\Photos]", ".kvl", "1.kvl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.displayName);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder(kFolder);
    fake.ChangeFolder(kFolder);
    CatalogSet set(fake);
    set.LoadHeaders();
    EXPECT_EQ(set.StoreCatalog(NewCatalogue(c.displayName, 1, "", 3), {}), 1);
    ASSERT_EQ(set.catalogs().size(), 1u);
    const VolumeCatalog* first = set.catalogs()[0].get();
    EXPECT_EQ(first->serial, 1u);

    EXPECT_EQ(set.StoreCatalog(NewCatalogue(c.displayName, 2, "", 5), {}), 1);
    EXPECT_EQ(set.count(), 2);
    EXPECT_EQ(set.totalEntries(), 8);
    ASSERT_EQ(set.catalogs().size(), 2u);
    EXPECT_EQ(set.catalogs()[0].get(), first);
    const VolumeCatalog* second = set.catalogs()[1].get();
    EXPECT_EQ(second->serial, 2u);
    EXPECT_EQ(first->filePath, c.first);
    EXPECT_EQ(second->filePath, c.second);
    EXPECT_EQ(first->displayName, c.displayName);

    VolumeCatalog check;
    check.filePath = In(c.second);
    ASSERT_EQ(check.ReadHeader(fake), 1);
    EXPECT_EQ(check.serial, 2u);
    EXPECT_EQ(text.str(), "");
    std::vector<std::string> names = fake.List(kFolder);
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {c.first, c.second};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected) << "no temporary file is left";
  }
}

// A name is chosen from one reading of the folder, however many names are taken: one
// reading per candidate cost a minute for 20,000 of them.
TEST_F(CatalogSetFakeTest, ChoosingANameReadsTheFolderOnce) {
  fake_.AddFile(In("DATA.kvl"), 1);
  for (int i = 1; i < 20000; ++i) fake_.AddFile(In("data" + std::to_string(i) + ".KVL"), 1);
  CatalogSet set(fake_);
  std::string name;
  fake_.folderReads = 0;
  set.ChooseFileName(&name, "DATA");
  EXPECT_EQ(name, "DATA20000.kvl");
  EXPECT_EQ(fake_.folderReads, 1);
  set.ChooseFileName(&name, "DATA", "Data7.kvl");  // the replaced file's own name is free
  EXPECT_EQ(name, "DATA7.kvl");
}

// The same volume stored again in one run replaces its catalogue: the earlier file
// becomes the backup, the new one takes the name.
TEST_F(CatalogSetFakeTest, ReplacesAVolumeStoredEarlierInTheRun) {
  CatalogSet set(fake_);
  set.LoadHeaders();
  std::vector<std::string> contents;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    VolumeCatalog cur =
        NewCatalogue("DATA", 0x1234, "", 10 + round, "round " + std::to_string(round));
    const size_t logBefore = fake_.log().size();
    const CatalogMatch replaced = set.FindMatch(cur);
    ASSERT_EQ(replaced.score, round > 0 ? MatchScore::NameAndSerial : MatchScore::None);
    ASSERT_EQ(set.StoreCatalog(std::move(cur), replaced), 1);
    contents.push_back(fake_.Content(In("DATA.kvl")));
    EXPECT_EQ(set.count(), 1);
    EXPECT_EQ(set.totalEntries(), 10 + round);
    EXPECT_EQ(set.catalogs()[0]->comment, "round " + std::to_string(round));
    const std::string tmp = In("DATA.kvl.tmp.*");
    const std::string bakTmp = In("DATA.kvl.bak.tmp.*");
    const std::vector<std::string> log = MaskedLog(fake_, logBefore);
    if (round == 0) {
      EXPECT_EQ(log, (std::vector<std::string>{"create " + tmp, "close " + tmp,
                                               "rename " + tmp + " -> " + In("DATA.kvl")}));
      EXPECT_FALSE(fake_.Exists(In("DATA.kvl.bak")));
    } else {
      // The new file is complete before anything moves, and the name never goes empty:
      // the backup is a second link, and the new file replaces the old in one step. It
      // takes the earlier file's permissions while still open, never again by its name.
      EXPECT_EQ(log, (std::vector<std::string>{
                         "create " + tmp, "access " + tmp + " from " + In("DATA.kvl"),
                         "close " + tmp, "link " + In("DATA.kvl") + " -> " + bakTmp,
                         "rename " + bakTmp + " -> " + In("DATA.kvl.bak"),
                         "rename " + tmp + " -> " + In("DATA.kvl")}));
      EXPECT_EQ(fake_.Content(In("DATA.kvl.bak")), contents[round - 1]);
    }
    EXPECT_NE(contents[round].find("round " + std::to_string(round)), std::string::npos);
    ExpectSetMatchesDisk(fake_, set);
  }
  EXPECT_EQ(errorText_.str(), "");
}

TEST_F(CatalogSetFakeTest, NamesAReplacedCatalogueAfresh) {
  struct Case {
    const char* name;
    std::string earlierName;
    bool earlierMissing;  // the earlier file went away after it was loaded
    std::string alias;
    std::string stored;
  };
  const Case cases[] = {
      {"another name", "Old.kvl", false, "", "DATA.kvl"},
      {"same name", "DATA.kvl", false, "", "DATA.kvl"},
      {"an alias now", "DATA.kvl", false, "Music", "Music.kvl"},
      {"the earlier file is gone", "DATA.kvl", true, "", "DATA.kvl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder(kFolder);
    fake.ChangeFolder(kFolder);
    fake.AddFileWithContent(In(c.earlierName), HeaderFile("DATA", 7, ""));
    fake.AddFileWithContent(In(c.earlierName + ".bak"), "older backup");
    CatalogSet set(fake);
    set.LoadHeaders();
    ASSERT_EQ(set.count(), 1);
    if (c.earlierMissing) {
      OsError err;
      ASSERT_TRUE(fake.Remove(In(c.earlierName), &err));
    }
    VolumeCatalog cur = NewCatalogue("DATA", 7, c.alias, 2);
    const CatalogMatch replaced = set.FindMatch(cur);
    ASSERT_NE(replaced.score, MatchScore::None);
    EXPECT_EQ(set.StoreCatalog(std::move(cur), replaced), 1);
    EXPECT_EQ(Paths(set), std::vector<std::string>{c.stored});
    EXPECT_EQ(set.totalEntries(), 2);
    VolumeCatalog check;
    check.filePath = In(c.stored);
    ASSERT_EQ(check.ReadHeader(fake), 1);
    EXPECT_EQ(check.alias, c.alias);
    if (c.earlierMissing) {
      EXPECT_EQ(fake.Content(In(c.earlierName + ".bak")), "older backup")
          << "a missing file leaves an existing backup alone";
    } else {
      EXPECT_EQ(fake.Content(In(c.earlierName + ".bak")), HeaderFile("DATA", 7, ""));
      if (c.earlierName != c.stored) {
        EXPECT_FALSE(fake.Exists(In(c.earlierName)));
      }
    }
    EXPECT_EQ(text.str(), "");
  }
}

// A catalogue that cannot be written completely never costs the earlier one.
TEST_F(CatalogSetFakeTest, FailedStoreKeepsTheEarlierCatalogue) {
  struct Case {
    const char* name;
    FakePlatform::Op op;  // List stands for nothing made to fail
    int fromCall;
    bool diskFull;
    std::vector<size_t> tmpWrites;  // empty: not checked
  };
  constexpr size_t kBlock = 131072;
  const Case cases[] = {
      {"a block write fails midway", FakePlatform::Op::Write, 2, false, {kBlock, kBlock}},
      {"the disk is full", FakePlatform::Op::List, 1, true, {}},
      {"the file cannot be created", FakePlatform::Op::Create, 1, false, {}},
      {"the last bytes cannot be written", FakePlatform::Op::Write, 5, false, {}},
      {"the file cannot be synced", FakePlatform::Op::Sync, 1, false, {}},
      {"the file cannot be closed", FakePlatform::Op::Close, 1, false, {}},
  };
  const std::string earlier = HeaderFile("DATA", 7, "", "keep this comment");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder(kFolder);
    fake.ChangeFolder(kFolder);
    fake.AddFileWithContent(In("DATA.kvl"), earlier);
    fake.AddFileWithContent(In("DATA.kvl.bak"), "older backup");
    CatalogSet set(fake);
    set.LoadHeaders();
    ASSERT_EQ(set.count(), 1);
    const VolumeCatalog* loaded = set.catalogs()[0].get();

    // About 550 KB: four whole blocks and the rest.
    VolumeCatalog cur = NewCatalogue("DATA", 7, "", 20000);
    const CatalogMatch replaced = set.FindMatch(cur);
    ASSERT_EQ(replaced.score, MatchScore::NameAndSerial);
    fake.Fail(c.op, In("DATA.kvl.tmp*"), c.fromCall);
    if (c.diskFull) fake.SetDiskCapacity(earlier.size() + 12 + 200000);

    EXPECT_EQ(set.StoreCatalog(std::move(cur), replaced), 0);
    const std::string tmp = LastCreated(fake);  // empty when it could not be created
    EXPECT_EQ(fake.Content(In("DATA.kvl")), earlier);
    EXPECT_EQ(fake.Content(In("DATA.kvl.bak")), "older backup");
    for (const std::string& name : fake.List(kFolder)) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left " << name;
    }
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.catalogs()[0].get(), loaded);
    EXPECT_EQ(loaded->filePath, "DATA.kvl");
    EXPECT_EQ(set.totalEntries(), 0);
    EXPECT_EQ(LineCount(text.str()), 1u) << text.str();
    if (!c.tmpWrites.empty()) {
      EXPECT_EQ(fake.Writes(tmp), c.tmpWrites);
    }
    for (const std::string& entry : fake.log()) {
      EXPECT_EQ(entry.rfind("rename", 0), std::string::npos) << entry;
    }
    ExpectSetMatchesDisk(fake, set);

    // The next device line finds the earlier catalogue as before.
    VolumeCatalog again;
    again.volumeName = "DATA";
    again.serial = 7;
    const CatalogMatch found = set.FindMatch(again);
    ASSERT_EQ(found.score, MatchScore::NameAndSerial);
    EXPECT_EQ(found.catalog->comment, "keep this comment");
  }
}

// The backup is made, but the new file cannot take its name.
TEST_F(CatalogSetFakeTest, FailedFinalRename) {
  const std::string earlier = HeaderFile("DATA", 7, "", "keep this comment");
  fake_.AddFileWithContent(In("DATA.kvl"), earlier);
  CatalogSet set(fake_);
  set.LoadHeaders();
  VolumeCatalog cur = NewCatalogue("DATA", 7, "", 5);
  const CatalogMatch replaced = set.FindMatch(cur);
  ASSERT_EQ(replaced.score, MatchScore::NameAndSerial);
  fake_.Fail(FakePlatform::Op::Rename, In("DATA.kvl.tmp*"));
  EXPECT_EQ(set.StoreCatalog(std::move(cur), replaced), 0);
  EXPECT_EQ(LineCount(errorText_.str()), 1u) << errorText_.str();
  EXPECT_NE(errorText_.str().find("DATA.kvl.tmp."), std::string::npos) << errorText_.str();
  EXPECT_FALSE(fake_.Exists(LastCreated(fake_)));
  EXPECT_EQ(Strays(), std::vector<std::string>{});
  // The earlier catalogue never left its name; its backup is a copy of it.
  EXPECT_EQ(fake_.Content(In("DATA.kvl")), earlier);
  EXPECT_EQ(fake_.Content(In("DATA.kvl.bak")), earlier);
  ASSERT_EQ(set.count(), 1);
  EXPECT_EQ(set.catalogs()[0]->comment, "keep this comment");
  EXPECT_EQ(set.totalEntries(), 0);
  ExpectSetMatchesDisk(fake_, set);
}

// A backup that cannot be made is reported in one line and given up; the new catalogue
// still replaces the earlier one under its name, so no duplicate piles up run by run.
TEST_F(CatalogSetFakeTest, FailedBackupIsGivenUp) {
  struct Case {
    const char* name;
    bool bakIsFolder;
    bool linkFails;
    bool copyFails;
  };
  const Case cases[] = {
      {"a folder holds the backup name", true, false, false},
      {"no link and no copy can be made", false, true, true},
      {"no link: a copy serves", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder(kFolder);
    fake.ChangeFolder(kFolder);
    const std::string earlier = HeaderFile("DATA", 7, "");
    fake.AddFileWithContent(In("DATA.kvl"), earlier);
    if (c.bakIsFolder) fake.AddFolder(In("DATA.kvl.bak"));
    if (c.linkFails) fake.Fail(FakePlatform::Op::Link, In("DATA.kvl"));
    if (c.copyFails) fake.Fail(FakePlatform::Op::Create, In("DATA.kvl.bak.tmp*"));
    CatalogSet set(fake);
    set.LoadHeaders();
    VolumeCatalog cur = NewCatalogue("DATA", 7, "", 5);
    const CatalogMatch replaced = set.FindMatch(cur);
    ASSERT_EQ(replaced.score, MatchScore::NameAndSerial);
    EXPECT_EQ(set.StoreCatalog(std::move(cur), replaced), 1);
    const bool backedUp = !c.bakIsFolder && !c.copyFails;
    EXPECT_EQ(LineCount(text.str()), backedUp ? 0u : 1u) << text.str();
    EXPECT_NE(fake.Content(In("DATA.kvl")), earlier);
    EXPECT_EQ(fake.IsFolder(In("DATA.kvl.bak")), c.bakIsFolder);
    if (backedUp) {
      EXPECT_EQ(fake.Content(In("DATA.kvl.bak")), earlier);
    }
    EXPECT_EQ(Paths(set), std::vector<std::string>{"DATA.kvl"});
    EXPECT_EQ(set.totalEntries(), 5);
    std::vector<std::string> names = fake.List(kFolder);
    std::sort(names.begin(), names.end());
    const std::vector<std::string> left = backedUp || c.bakIsFolder
                                              ? std::vector<std::string>{"DATA.kvl", "DATA.kvl.bak"}
                                              : std::vector<std::string>{"DATA.kvl"};
    EXPECT_EQ(names, left) << "no temporary file is left";
  }
}

TEST_F(CatalogSetFakeTest, RemovesAStoredCatalogueLikeALoadedOne) {
  CatalogSet set(fake_);
  fake_.AddFileWithContent(In("LOADED.kvl"), HeaderFile("LOADED", 1, ""));
  set.LoadHeaders();
  ASSERT_EQ(set.StoreCatalog(NewCatalogue("DATA", 7, "", 4), {}), 1);
  EXPECT_EQ(set.totalEntries(), 4);
  const CatalogMatch stored = set.FindMatch(NewCatalogue("DATA", 7, "", 0));
  ASSERT_EQ(stored.score, MatchScore::NameAndSerial);
  EXPECT_EQ(stored.index, 1u);
  EXPECT_EQ(set.RemoveCatalog(true, stored), 1);
  EXPECT_EQ(set.totalEntries(), 0);
  EXPECT_EQ(set.count(), 1);
  EXPECT_TRUE(fake_.Exists(In("DATA.kvl.bak")));
  EXPECT_FALSE(fake_.Exists(In("DATA.kvl")));
  ExpectSetMatchesDisk(fake_, set);
}

// --- The machine the tests run on -------------------------------------------------------

class CatalogSetRealTest : public test::RealPlatformTest {};

// The set keeps the platform's listing order: it neither sorts nor reverses it.
TEST_F(CatalogSetRealTest, LoadsInTheListingOrder) {
  for (int i = 0; i < 40; ++i) {
    const std::string name = "c" + std::to_string(i * 37 % 41) + ".kvl";
    WriteWholeFile(folder_ / name, HeaderFile(name, static_cast<uint32_t>(i), ""));
  }
  WriteWholeFile(folder_ / "junk.kvl", "not a catalogue");
  WriteWholeFile(folder_ / "c99.txt", HeaderFile("c99.txt", 99, ""));
  WriteWholeFile(folder_ / "UPPER.KVL", HeaderFile("UPPER.KVL", 100, ""));

  CatalogSet set(*platform_, folder_.str());
  set.LoadHeaders();

  std::vector<std::string> loaded;
  for (const auto& c : set.catalogs()) {
    EXPECT_EQ(c->filePath, folder_ / c->volumeName) << "the full path of the file";
    loaded.push_back(c->volumeName);
  }
  std::vector<std::string> listed;
  for (const std::string& path : platform_->FindCatalogFiles(folder_.str())) {
    const std::string name = std::filesystem::path(path).filename().string();
    if (name != "junk.kvl") listed.push_back(name);
  }
  std::vector<std::string> iterated;
  for (const auto& item : std::filesystem::directory_iterator(folder_.path())) {
    const std::string name = item.path().filename().string();
    if (name != "junk.kvl" && name != "c99.txt") iterated.push_back(name);
  }
  EXPECT_EQ(loaded.size(), 41u);
  EXPECT_EQ(loaded, listed);
  EXPECT_EQ(loaded, iterated);
  EXPECT_EQ(set.count(), 41);
  EXPECT_EQ(set.totalEntries(), 0);
  EXPECT_EQ(errorText_.str(), "");
}

TEST_F(CatalogSetRealTest, StoresAndReplacesInTheCurrentFolder) {
  CurrentFolderGuard inFolder(*platform_, folder_.str());
  ASSERT_TRUE(inFolder.changed());
  CatalogSet set(*platform_);
  EXPECT_TRUE(std::filesystem::equivalent(set.folder(), folder_.path())) << set.folder();
  set.LoadHeaders();
  EXPECT_EQ(set.count(), 0);

  ASSERT_EQ(set.StoreCatalog(NewCatalogue("DATA", 7, "", 3, "first"), {}), 1);
  const std::string first = ReadWholeFile(folder_ / "DATA.kvl");
  EXPECT_NE(first.find("first"), std::string::npos);

  VolumeCatalog second = NewCatalogue("DATA", 7, "", 4, "second");
  const CatalogMatch replaced = set.FindMatch(second);
  ASSERT_EQ(replaced.score, MatchScore::NameAndSerial);
  ASSERT_EQ(set.StoreCatalog(std::move(second), replaced), 1);
  EXPECT_EQ(ReadWholeFile(folder_ / "DATA.kvl.bak"), first);
  EXPECT_NE(ReadWholeFile(folder_ / "DATA.kvl").find("second"), std::string::npos);
  EXPECT_EQ(set.count(), 1);
  EXPECT_EQ(set.totalEntries(), 4);

  // Existence ignores case, and a folder takes a name as well as a file.
  std::filesystem::create_directory(folder_.path() / "data1.KVL");
  std::string name;
  set.ChooseFileName(&name, "Data");
  EXPECT_EQ(name, "Data2.kvl");

  ASSERT_EQ(set.StoreCatalog(NewCatalogue("DATA", 8, "", 1, "third"), {}), 1);
  EXPECT_EQ(set.catalogs().back()->filePath, "DATA2.kvl");

  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder_.path())) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"DATA.kvl", "DATA.kvl.bak", "DATA2.kvl", "data1.KVL"}));
  EXPECT_EQ(errorText_.str(), "");

  // A set built afresh on the folder finds what this one stored.
  CatalogSet reloaded(*platform_);
  reloaded.LoadHeaders();
  EXPECT_EQ(reloaded.count(), 2);
}

TEST_F(CatalogSetRealTest, OnAFilesystemRoot) {
  const bool win32 = platform_->Separator() == '\\';
  CurrentFolderGuard atRoot(*platform_, win32 ? "C:\\" : "/");
  ASSERT_TRUE(atRoot.changed());
  CatalogSet set(*platform_);
  EXPECT_EQ(set.folder(), win32 ? "C:" : "");
}

}  // namespace
}  // namespace ledra
