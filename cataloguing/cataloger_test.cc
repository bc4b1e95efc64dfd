#include "cataloguing/cataloger.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_platform.h"

namespace ledra {
namespace {

// A machine of its own for one case of a table: drive C: labelled DATA with serial 5,
// the catalogues in C:\cats, the current folder.
struct FreshMachine {
  FreshMachine() : errors(errorText), fake(errors) {
    FakePlatform::Volume volume;
    volume.label = "DATA";
    volume.serial = 5;
    fake.AddVolume("C:\\", volume);
    fake.AddFolder("C:\\cats");
    fake.ChangeFolder("C:\\cats");
  }
  // Writes an earlier catalogue of volume DATA, serial 5, into C:\cats.
  void StoreEarlier(const std::string& file, const std::string& alias, const std::string& comment) {
    VolumeCatalog earlier;
    earlier.filePath = file;
    earlier.volumeName = "DATA";
    earlier.serial = 5;
    earlier.alias = alias;
    earlier.comment = comment;
    ASSERT_EQ(earlier.WriteCatalog(fake), 1);
  }

  std::ostringstream errorText;
  MessageSink errors;
  FakePlatform fake;
};

// A fake machine with the catalogues in C:\cats, a fixed drive C: labelled DATA, and
// other drives as each test needs them.
class CatalogerTest : public ::testing::Test {
 protected:
  CatalogerTest() : errors_(errorText_), fake_(errors_) {
    FakePlatform::Volume c;
    c.label = "DATA";
    c.serial = 0x1234ABCD;
    c.bytes.totalFree = 1ull << 30;
    fake_.AddVolume("C:\\", c);
    fake_.AddFolder("C:\\cats");
    fake_.AddFile("C:\\data\\a.txt", 10);
    fake_.AddFile("C:\\data\\sub\\b.txt", 20);
    fake_.ChangeFolder("C:\\cats");
  }

  Cataloger& MakeCataloger() {
    cataloger_ = std::make_unique<Cataloger>(fake_, errors_);
    return *cataloger_;
  }

  // Leaves an earlier catalogue of a volume in C:\cats, written by a run of its own.
  void StoreEarlier(const std::string& file, const std::string& volumeName, uint32_t serial,
                    const std::string& alias, const std::string& comment) {
    VolumeCatalog earlier;
    earlier.filePath = "C:\\cats\\" + file;
    earlier.root = "C:\\";
    earlier.volumeName = volumeName;
    earlier.serial = serial;
    earlier.alias = alias;
    earlier.comment = comment;
    ASSERT_EQ(earlier.WriteCatalog(fake_), 1);
  }

  // Reads the header of a catalogue file.
  VolumeCatalog Header(const std::string& file) {
    VolumeCatalog header;
    header.filePath = "C:\\cats\\" + file;
    EXPECT_EQ(header.ReadHeader(fake_), 1) << file;
    return header;
  }

  std::vector<std::string> Files() { return fake_.List("C:\\cats"); }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
  std::unique_ptr<Cataloger> cataloger_;
};

TEST_F(CatalogerTest, VersionDecidesTheFreeSpaceCallOnce) {
  struct Case {
    uint32_t platformId;
    uint32_t build;
    bool versionFails;
    bool extended;
  };
  const std::vector<Case> cases = {
      {1, 1000, false, false},       {1, 1001, false, true},
      {1, 0xFFFF03E8, false, false},  // high 16 bits ignored: low part is 1000
      {1, 0x000103E9, false, true},  {2, 0, false, true},
      {2, 0xFFFFFFFF, false, true},  {0, 5000, false, false},
      {2, 1381, true, false},
  };
  for (const Case& c : cases) {
    fake_.version = VersionInfo{c.platformId, c.build};
    fake_.versionFails = c.versionFails;
    EXPECT_EQ(MakeCataloger().usesExtendedFreeSpace(), c.extended)
        << c.platformId << " " << c.build;
    cataloger_->CatalogDevice("C:\\data", "", "");
    EXPECT_EQ(fake_.lastFreeSpaceCall, c.extended ? 'E' : 'C');
  }
}

TEST_F(CatalogerTest, ExtendedCallUnderEitherName) {
  struct Case {
    std::set<std::string> procedures;
    bool moduleLoads;
    bool extended;
  };
  const std::vector<Case> cases = {
      {{"GetDiskFreeSpaceEx"}, true, true},    {{"GetDiskFreeSpaceExA"}, true, true},
      {{"GetDiskFreeSpaceExW"}, true, false},  {{}, true, false},
      {{"GetDiskFreeSpaceExA"}, false, false},
  };
  for (const Case& c : cases) {
    fake_.procedures = c.procedures;
    fake_.moduleLoads = c.moduleLoads;
    EXPECT_EQ(MakeCataloger().usesExtendedFreeSpace(), c.extended);
  }
}

TEST_F(CatalogerTest, FreeSpaceFigures) {
  struct Case {
    bool extended;
    DriveType type;
    FreeBytes bytes;
    FreeClusters clusters;
    bool fails;
    float expected;
  };
  const FreeClusters none{};
  const std::vector<Case> cases = {
      // Total free bytes count, not what a quota leaves to the caller.
      {true, DriveType::Fixed, {1ull << 20, 0, 1ull << 31}, none, false, 2048.0f},
      {true, DriveType::Fixed, {0, 0, (1ull << 20) + (1ull << 19)}, none, false, 1.5f},
      {true, DriveType::Fixed, {0, 0, 0}, none, false, 0.0f},
      {true, DriveType::CdRom, {0, 0, 0}, none, false, -1.0f},
      {true, DriveType::CdRom, {0, 0, 1ull << 21}, none, false, 2.0f},
      {true, DriveType::Fixed, {}, none, true, -1.0f},
      // 64 x 512 x 2^17 is 2^32 bytes: no wrap to 0.
      {false, DriveType::Fixed, {}, {64, 512, 1u << 17, 0}, false, 4096.0f},
      {false, DriveType::CdRom, {}, {64, 512, 0, 0}, false, -1.0f},
      {false, DriveType::Fixed, {}, {}, true, -1.0f},
  };
  for (const Case& c : cases) {
    std::ostringstream errorText;
    MessageSink errors(errorText);
    FakePlatform fake(errors);
    FakePlatform::Volume volume;
    volume.label = "V";
    volume.type = c.type;
    volume.bytes = c.bytes;
    volume.clusters = c.clusters;
    fake.AddVolume("V:\\", volume);
    fake.AddFile("V:\\f", 1);
    fake.ChangeFolder("V:\\");
    if (c.fails) fake.Fail(FakePlatform::Op::FreeSpace, "V:");
    fake.procedures =
        c.extended ? std::set<std::string>{"GetDiskFreeSpaceExA"} : std::set<std::string>{};
    Cataloger(fake, errors).CatalogDevice("V:\\", "", "");
    VolumeCatalog header;
    header.filePath = "V:\\V.kvl";
    ASSERT_EQ(header.ReadHeader(fake), 1);
    EXPECT_EQ(header.freeSpaceMB, c.expected) << static_cast<int>(c.type) << " " << c.extended;
  }
}

TEST_F(CatalogerTest, DriveTypeOfAnUnidentifiedVolumeIsThePreviousOne) {
  FakePlatform::Volume cd;
  cd.label = "DISC";
  cd.type = DriveType::CdRom;
  fake_.AddVolume("E:\\", cd);
  fake_.AddFile("E:\\f", 1);
  // Q: has no volume information but a tree and no free space.
  fake_.AddFile("Q:\\f", 1);
  Cataloger& cataloger = MakeCataloger();
  cataloger.CatalogDevice("E:\\", "", "");
  EXPECT_EQ(cataloger.driveType(), DriveType::CdRom);
  cataloger.CatalogDevice("Q:\\", "", "Q");
  EXPECT_EQ(cataloger.driveType(), DriveType::CdRom);
  EXPECT_EQ(Header("Q.kvl").volumeName, "");
  EXPECT_EQ(Header("Q.kvl").root, "");
}

// Network drives are walked on several threads, other drives on one; a number fixed for
// the run holds on every drive.
TEST_F(CatalogerTest, WalkThreadsFollowTheDrive) {
  FakePlatform::Volume remote;
  remote.type = DriveType::Remote;
  fake_.AddVolume("Z:\\", remote);
  struct Case {
    int fixed;
    const char* root;
    int threads;
  };
  const Case cases[] = {
      {0, "C:\\data", 1},
      {0, "Z:\\", Cataloger::kWaitingWalkThreads},
      {0, "Z:\\deep\\er", Cataloger::kWaitingWalkThreads},
      {3, "C:\\data", 3},
      {1, "Z:\\", 1},
  };
  Cataloger& cataloger = MakeCataloger();
  for (const Case& c : cases) {
    cataloger.SetWalkThreads(c.fixed);
    EXPECT_EQ(cataloger.WalkThreadsFor(c.root), c.threads) << c.root << " " << c.fixed;
  }
}

TEST_F(CatalogerTest, VolumeNames) {
  FakePlatform::Volume plain;
  plain.label = "DATA";
  plain.serial = 7;
  FakePlatform::Volume unlabelled;
  unlabelled.serial = 8;
  FakePlatform::Volume remote = plain;
  remote.type = DriveType::Remote;
  FakePlatform::Volume remoteUnlabelled = unlabelled;
  remoteUnlabelled.type = DriveType::Remote;
  fake_.AddVolume("D:\\", plain);
  fake_.AddVolume("E:\\", unlabelled);
  fake_.AddVolume("Z:\\", remote);
  fake_.AddVolume("Y:\\", remoteUnlabelled);
  fake_.AddVolume("\\\\srv\\pub\\", plain);
  fake_.AddVolume("\\\\?\\C:\\", plain);
  struct Case {
    std::string devicePath, root, volumeName;
    DriveType type;
  };
  const std::vector<Case> cases = {
      {"D:\\", "D:\\", "DATA", DriveType::Fixed},
      {"D:", "D:\\", "DATA", DriveType::Fixed},
      {"D:\\\\", "D:\\", "DATA", DriveType::Fixed},
      {"D:\\Photos\\Summer\\", "D:\\", "[\\Photos\\Summer]", DriveType::Fixed},
      // Relative to D:'s current folder, its root here.
      {"D:Photos", "D:\\", "[\\Photos]", DriveType::Fixed},
      {"E:\\", "E:\\", "[E:\\]", DriveType::Fixed},
      {"Z:\\", "Z:\\", "DATA-Z", DriveType::Remote},
      {"z:\\", "z:\\", "DATA-z", DriveType::Remote},
      {"Z:\\Work", "Z:\\", "[\\Work]", DriveType::Remote},
      {"Y:\\", "Y:\\", "[Y:\\]", DriveType::Remote},
      {"\\\\srv\\pub", "\\\\srv\\pub\\", "[pub]", DriveType::Fixed},
      {"\\\\srv\\pub\\docs", "\\\\srv\\pub\\", "[pub\\docs]", DriveType::Fixed},
      {"\\\\?\\C:\\Data", "\\\\?\\C:\\", "[\\Data]", DriveType::Fixed},
  };
  for (const Case& c : cases) {
    Cataloger& cataloger = MakeCataloger();
    VolumeCatalog cur;
    cataloger.IdentifyVolume(c.devicePath, &cur);
    EXPECT_EQ(cur.root, c.root) << c.devicePath;
    EXPECT_EQ(cur.volumeName, c.volumeName) << c.devicePath;
    EXPECT_EQ(cataloger.driveType(), c.type) << c.devicePath;
    EXPECT_EQ(cur.alias, "");
  }
}

TEST_F(CatalogerTest, UnidentifiedVolumesChangeNothing) {
  for (const std::string path : {"", "X:\\", "\\\\nowhere\\share"}) {
    Cataloger& cataloger = MakeCataloger();
    VolumeCatalog cur;
    cataloger.IdentifyVolume("D:\\", &cur);  // nothing there either: no volume D:
    cataloger.IdentifyVolume(path, &cur);
    EXPECT_EQ(cur.root, "") << path;
    EXPECT_EQ(cur.volumeName, "") << path;
    EXPECT_EQ(cataloger.driveType(), DriveType::Unknown) << path;
  }
  fake_.Fail(FakePlatform::Op::Volume, "C:");
  VolumeCatalog cur;
  MakeCataloger().IdentifyVolume("C:\\data", &cur);
  EXPECT_EQ(cur.volumeName, "");
}

TEST_F(CatalogerTest, IdentificationTakesTheAliasOfTheEarlierCatalogue) {
  StoreEarlier("Music.kvl", "DATA", 0x1234ABCD, "Music", "");
  VolumeCatalog withAlias;
  MakeCataloger().IdentifyVolume("C:\\", &withAlias);
  EXPECT_EQ(withAlias.alias, "Music");

  OsError err;
  fake_.Remove("C:\\cats\\Music.kvl", &err);
  StoreEarlier("DATA.kvl", "DATA", 0x1234ABCD, "", "");
  VolumeCatalog noAlias;
  MakeCataloger().IdentifyVolume("C:\\", &noAlias);
  EXPECT_EQ(noAlias.alias, "DATA");

  fake_.Remove("C:\\cats\\DATA.kvl", &err);
  StoreEarlier("DATA.kvl", "DATA", 99, "Other", "");
  VolumeCatalog otherSerial;
  MakeCataloger().IdentifyVolume("C:\\", &otherSerial);
  EXPECT_EQ(otherSerial.alias, "");
}

// Every row of the table of aliases with which a walk starts, with the comment of the
// earlier catalogue carried over.
TEST_F(CatalogerTest, AliasAndCommentOfTheNewCatalogue) {
  struct Case {
    bool earlier;
    std::string lineAlias;
    std::string alias;  // of the new catalogue
    std::string file;   // it is stored under
    std::string comment;
  };
  const std::vector<Case> cases = {
      {false, "", "", "DATA.kvl", ""},
      {true, "", "Old", "Old.kvl", "x"},
      {false, "System", "System", "System.kvl", ""},
      {true, "System", "System", "System.kvl", "x"},
      {false, "DATA", "", "DATA.kvl", ""},
      {true, "DATA", "Old", "Old.kvl", "x"},
  };
  for (const Case& c : cases) {
    FreshMachine machine;
    FakePlatform& fake = machine.fake;
    fake.AddFile("C:\\data\\f", 1);
    if (c.earlier) machine.StoreEarlier("Old.kvl", "Old", "x");
    Cataloger(fake, machine.errors).CatalogDevice("C:\\", "", c.lineAlias);
    VolumeCatalog stored;
    stored.filePath = c.file;
    ASSERT_EQ(stored.ReadHeader(fake), 1) << c.lineAlias << c.earlier;
    EXPECT_EQ(stored.alias, c.alias);
    EXPECT_EQ(stored.comment, c.comment);
    EXPECT_EQ(fake.Exists("C:\\cats\\Old.kvl.bak"), c.earlier);
  }
}

TEST_F(CatalogerTest, MatchByAliasTakesOverAnotherVolumesCatalogue) {
  StoreEarlier("Music.kvl", "OTHER", 1, "Music", "songs");
  Cataloger& cataloger = MakeCataloger();
  cataloger.CatalogDevice("C:\\data", "", "Music");
  EXPECT_EQ(Files(), (std::vector<std::string>{"Music.kvl.bak", "Music.kvl"}));
  EXPECT_EQ(Header("Music.kvl").comment, "songs");
  EXPECT_EQ(Header("Music.kvl").volumeName, "[\\data]");
  EXPECT_EQ(Header("Music.kvl.bak").volumeName, "OTHER");
  ASSERT_EQ(cataloger.catalogSet().count(), 1);
  EXPECT_EQ(cataloger.catalogSet().catalogs()[0]->volumeName, "[\\data]");
}

TEST_F(CatalogerTest, SameVolumeTwiceInOneRun) {
  Cataloger& cataloger = MakeCataloger();
  cataloger.CatalogDevice("C:\\", "", "");
  cataloger.CatalogDevice("C:\\", "*.txt", "");
  EXPECT_EQ(Files(), (std::vector<std::string>{"DATA.kvl.bak", "DATA.kvl"}));
  EXPECT_EQ(cataloger.catalogSet().count(), 1);
  // The second catalogue leaves the .txt files out.
  EXPECT_EQ(cataloger.catalogSet().totalEntries(),
            static_cast<int32_t>(cataloger.catalogSet().catalogs()[0]->entries.size()));
  EXPECT_EQ(fake_.Content("C:\\cats\\DATA.kvl").find("a.txt"), std::string::npos);
  EXPECT_NE(fake_.Content("C:\\cats\\DATA.kvl.bak").find("a.txt"), std::string::npos);
}

TEST_F(CatalogerTest, FailedDeviceBetweenTwoGoodOnes) {
  FakePlatform::Volume d;
  d.label = "TWO";
  d.serial = 2;
  fake_.AddVolume("D:\\", d);
  fake_.AddFile("D:\\x", 3);
  Cataloger& cataloger = MakeCataloger();
  cataloger.CatalogDevice("C:\\data", "", "One");
  cataloger.CatalogDevice("C:\\missing", "", "Bad");
  cataloger.CatalogDevice("D:\\", "", "");
  EXPECT_EQ(
      errorText_.str(),
      "Error occured while cataloging C:\\missing.\n"
      "LedraCmd: cannot catalogue 'C:\\missing': the root does not exist or cannot be read\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"One.kvl", "TWO.kvl"}));
  // The line after the failure starts from an empty catalogue.
  const VolumeCatalog& two = *cataloger.catalogSet().catalogs()[1];
  EXPECT_EQ(two.comment, "");
  EXPECT_EQ(two.entries.size(), 1u);
  EXPECT_EQ(two.folders.size(), 1u);
  EXPECT_EQ(two.folders[0].path, "");
}

// A removable disk absent today, or a disk that fills up while its catalogue is written,
// must not cost the volume its last good catalogue.
TEST_F(CatalogerTest, EveryFailureKeepsTheNewestCompleteCatalogue) {
  enum class Failure { None, Identify, Walk, Write, Sync, Rename, Backup };
  struct Case {
    Failure failure;
    bool newStored;
    bool earlierInPlace;   // still under its own name
    bool earlierBackedUp;  // as the backup
  };
  const std::vector<Case> cases = {
      {Failure::None, true, false, true},
      {Failure::Identify, true, false, true},
      {Failure::Walk, false, true, false},
      {Failure::Write, false, true, false},
      {Failure::Sync, false, true, false},
      {Failure::Rename, false, true, true},
      // A backup that cannot be made is given up, so that no duplicate piles up.
      {Failure::Backup, true, false, false},
  };
  for (const Case& c : cases) {
    FreshMachine machine;
    FakePlatform& fake = machine.fake;
    for (int i = 0; i < 20000; ++i) fake.AddFile("C:\\data\\file" + std::to_string(i), 1);
    machine.StoreEarlier("Disk.kvl", "Disk", "keep me");
    const std::string earlierBytes = fake.Content("C:\\cats\\Disk.kvl");

    const std::string temporary = "C:\\cats\\Disk.kvl.tmp*";
    switch (c.failure) {
      case Failure::None:
        break;
      case Failure::Identify:
        fake.Fail(FakePlatform::Op::Volume, "C:");
        break;
      case Failure::Walk:
        fake.Fail(FakePlatform::Op::List, "C:\\");
        break;
      case Failure::Write:
        fake.Fail(FakePlatform::Op::Write, temporary, 2);
        break;
      case Failure::Sync:
        fake.Fail(FakePlatform::Op::Sync, temporary);
        break;
      case Failure::Rename:
        fake.Fail(FakePlatform::Op::Rename, temporary);
        break;
      case Failure::Backup:
        fake.Fail(FakePlatform::Op::Link, "C:\\cats\\Disk.kvl");
        fake.Fail(FakePlatform::Op::Create, "C:\\cats\\Disk.kvl.bak.tmp*");
        break;
    }
    Cataloger cataloger(fake, machine.errors);
    // Unidentified, the volume is still found by the alias of its line.
    const bool stored =
        cataloger.CatalogDevice("C:\\", "", c.failure == Failure::Identify ? "Disk" : "");

    const int index = static_cast<int>(c.failure);
    EXPECT_EQ(stored, c.newStored) << index;
    for (const std::string& name : fake.List("C:\\cats")) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << index << " left " << name;
    }
    EXPECT_EQ(fake.Content("C:\\cats\\Disk.kvl") == earlierBytes, c.earlierInPlace) << index;
    EXPECT_EQ(fake.Content("C:\\cats\\Disk.kvl.bak") == earlierBytes, c.earlierBackedUp) << index;
    if (c.newStored) {
      bool found = false;
      for (const auto& catalog : cataloger.catalogSet().catalogs()) {
        if (catalog->entries.size() > 20000) {
          found = true;
          EXPECT_EQ(catalog->comment, "keep me") << index;
          EXPECT_EQ(catalog->filePath, "Disk.kvl") << index;
          VolumeCatalog onDisk;
          onDisk.filePath = catalog->filePath;
          EXPECT_EQ(onDisk.ReadHeader(fake), 1) << index;
        }
      }
      EXPECT_TRUE(found) << index;
    } else {
      EXPECT_NE(machine.errorText.str(), "") << index;
      // Nothing replaced it: it still answers later lines of the run.
      ASSERT_EQ(cataloger.catalogSet().count(), 1) << index;
      EXPECT_EQ(cataloger.catalogSet().catalogs()[0]->comment, "keep me");
    }
  }
}

TEST_F(CatalogerTest, TheMatchOfAnIdentifiedVolumeMovesToItsBackup) {
  StoreEarlier("DATA.kvl", "DATA", 0x1234ABCD, "", "");
  Cataloger& cataloger = MakeCataloger();
  VolumeCatalog cur;
  cataloger.IdentifyVolume("C:\\", &cur);
  const CatalogMatch match = cataloger.catalogSet().FindMatch(cur);
  ASSERT_EQ(match.score, MatchScore::NameAndSerial);
  EXPECT_EQ(cataloger.catalogSet().RemoveCatalog(true, match), 1);
  EXPECT_EQ(Files(), std::vector<std::string>{"DATA.kvl.bak"});
  EXPECT_EQ(cataloger.catalogSet().count(), 0);
}

// A disk that fails to be read, part of the way: what was read is stored, every error
// is told with its cause, and the device counts as failed. Whether the folders are read
// ahead by threads or one at a time, the lines are the same and in folder order.
TEST_F(CatalogerTest, ReadErrorsAreToldAndTheDeviceFails) {
  fake_.AddFile("C:\\data\\sub\\c.txt", 30);
  fake_.AddFile("C:\\data\\sub\\d.txt", 40);
  fake_.Fail(FakePlatform::Op::ListBreaks, "C:\\data\\sub\\");
  for (int threads : {1, 4}) {
    SCOPED_TRACE(threads);
    errorText_.str("");
    Cataloger& cataloger = MakeCataloger();
    cataloger.SetWalkThreads(threads);
    EXPECT_FALSE(cataloger.CatalogDevice("C:\\data", "", "Part"));
    EXPECT_EQ(errorText_.str(),
              "LedraCmd: cannot list the whole folder 'C:\\data\\sub': The request could not be "
              "performed because of an I/O device error.\n"
              "LedraCmd: the catalogue of 'C:\\data' was stored without what could not be read "
              "(1 read error)\n");
    ASSERT_EQ(cataloger.catalogSet().count(), 1);
    const VolumeCatalog& stored = *cataloger.catalogSet().catalogs()[0];
    EXPECT_EQ(stored.entries.size(), 3u) << "a.txt, sub and the one file listed in sub";
  }
}

// A catalogue whose header cannot be read for an input/output error may be the volume's
// own: a device without another catalogue fails rather than get a second one, while a
// device whose catalogue was read goes on.
TEST_F(CatalogerTest, CatalogueUnreadableForAnErrorStopsANewCatalogue) {
  StoreEarlier("DATA.kvl", "DATA", 0x1234ABCD, "", "");
  StoreEarlier("Sub.kvl", "[\\data]", 0x1234ABCD, "Sub", "");
  fake_.Fail(FakePlatform::Op::Read, "C:\\cats\\DATA.kvl");
  Cataloger& cataloger = MakeCataloger();
  EXPECT_FALSE(cataloger.CatalogDevice("C:\\", "", ""));
  EXPECT_TRUE(cataloger.CatalogDevice("C:\\data", "", ""));
  EXPECT_EQ(errorText_.str(),
            "LedraCmd: cannot read 'DATA.kvl': The request could not be performed because of an "
            "I/O device error.\n"
            "Error occured while cataloging C:\\.\n"
            "LedraCmd: cannot catalogue 'C:\\': the catalogue 'DATA.kvl' could not be read and "
            "may be this volume's\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"DATA.kvl", "Sub.kvl.bak", "Sub.kvl"}));
}

}  // namespace
}  // namespace ledra
