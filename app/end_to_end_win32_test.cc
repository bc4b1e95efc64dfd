// Whole runs on real drive letters under Wine: cmake/wine-drives.sh maps D: (label DATA,
// serial 1234ABCD), E: (no label), N: (a network drive labelled NETLBL), F: (a CD-ROM
// drive on a full tmpfs), G: (the same tmpfs as a fixed drive) and H: (65,537 folders and
// files of 2 GiB and more) before the test program starts, and names the letters it set up
// in LEDRA_WINE_DRIVES. Every catalogue written is read back in full and held against the
// tree on disk. Without those drives (outside cmake/wine-run.sh, or where the tmpfs could
// not be mounted) the cases that need them are skipped and say why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/reader_round_trip_testing.h"
#include "catalog/tree_check_testing.h"
#include "platform/message_sink.h"
#include "platform/platform.h"
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

// What cmake/wine-drives.sh writes into the drives' .windows-serial files.
constexpr uint32_t kDataSerial = 0x1234ABCD;
constexpr uint32_t kBlankSerial = 0x0E0E0E0E;
constexpr uint32_t kNetSerial = 0x2468ACE0;
constexpr uint32_t kDiscSerial = 0xCD00CD00;

// Requires the drive letters in `needed` (upper case) from wine-drives.sh; the test using
// this fixture is skipped when one of them is missing.
class EndToEndWineTest : public ::testing::Test {
 protected:
  explicit EndToEndWineTest(std::string needed) : needed_(std::move(needed)) {}

  void SetUp() override {
    const char* drives = std::getenv("LEDRA_WINE_DRIVES");
    if (drives == nullptr) {
      GTEST_SKIP() << "LEDRA_WINE_DRIVES is not set: these runs need the drive letters that "
                      "cmake/wine-run.sh maps through cmake/wine-drives.sh";
    }
    for (const char letter : needed_) {
      if (std::string(drives).find(letter) == std::string::npos) {
        GTEST_SKIP() << "drive " << letter << ": was not set up (LEDRA_WINE_DRIVES='" << drives
                     << "'; see the messages of cmake/wine-drives.sh)";
      }
    }
  }

  // One run on `parameters` written to params.txt in `cats`: the given status (0: every
  // device catalogued), back in its folder.
  static e2e::RunResult Run(const TempTree& cats, const std::string& parameters, int status = 0) {
    WriteWholeFile(cats.Path("params.txt"), parameters);
    e2e::RunResult r = RunInProcess(cats.Path("params.txt"));
    EXPECT_EQ(r.status, status);
    EXPECT_TRUE(r.folderRestored) << "the run left the process in " << r.folderAfter;
    return r;
  }

  // Reads a catalogue whole and holds it against the tree at `tree`, whose path below
  // its volume root is `below` (folder 0's stored path).
  static ::testing::AssertionResult LoadAndCheck(const std::string& file, const std::string& tree,
                                                 const std::string& below, CatalogContents* c) {
    ::testing::AssertionResult loaded = LoadCatalog(file, c);
    if (!loaded) return loaded << " (" << file << ")";
    TreeCheckOptions options;
    options.folder0Path = below;
    return MatchesTree(*c, tree, options);
  }

  // The catalogue `file` with its comment replaced, written back; returns its new bytes.
  static std::string GiveComment(const std::string& file, const std::string& comment) {
    std::string patched;
    std::string why;
    EXPECT_TRUE(ReplaceComment(ReadBytes(file), comment, &patched, &why)) << file << ": " << why;
    WriteWholeFile(file, patched);
    return patched;
  }

  // What the real platform says about a drive, to tell the set-up apart from the program.
  static DriveType TypeOf(const std::string& root) {
    std::ostringstream sink;
    MessageSink errors(sink);
    return NewRealPlatform(errors)->DriveTypeOf(root);
  }
  // Whether walks below `root` read several folders at a time.
  static bool ListingsWait(const std::string& root) {
    std::ostringstream sink;
    MessageSink errors(sink);
    return NewRealPlatform(errors)->ListingsWait(root);
  }

 private:
  std::string needed_;
};

class EndToEndWineDataTest : public EndToEndWineTest {
 protected:
  EndToEndWineDataTest() : EndToEndWineTest("D") {}
};

class EndToEndWineLongLabelTest : public EndToEndWineTest {
 protected:
  EndToEndWineLongLabelTest() : EndToEndWineTest("L") {}
};

class EndToEndWineBlankTest : public EndToEndWineTest {
 protected:
  EndToEndWineBlankTest() : EndToEndWineTest("E") {}
};

class EndToEndWineTwoVolumesTest : public EndToEndWineTest {
 protected:
  EndToEndWineTwoVolumesTest() : EndToEndWineTest("DE") {}
};

class EndToEndWineNetworkTest : public EndToEndWineTest {
 protected:
  EndToEndWineNetworkTest() : EndToEndWineTest("N") {}
};

class EndToEndWineCdRomTest : public EndToEndWineTest {
 protected:
  EndToEndWineCdRomTest() : EndToEndWineTest("FG") {}
};

class EndToEndWineManyTest : public EndToEndWineTest {
 protected:
  EndToEndWineManyTest() : EndToEndWineTest("H") {}
};

// The whole disk in small that wine-drives.sh made on H:, through its drive letter: sizes of
// 2 GiB and more clamped from all 64 bits in version 5, true in version 6. The walk of
// 65,535 folders is left to the native test: each walk of H: takes minutes under Wine.
TEST_F(EndToEndWineManyTest, BeyondSixtyFiveThousandFoldersAndTwoGibibytes) {
  TempTree cats;
  e2e::RunsBeyondVersion5("H:\\", "", cats.root(), /*atTheLimit=*/false, TreeCheckOptions());
}

TEST_F(EndToEndWineDataTest, WholeDriveThenRecognisedAgain) {
  ASSERT_EQ(TypeOf("D:\\"), DriveType::Fixed);
  TempTree cats;
  const e2e::RunResult first = Run(cats, "#DEV D:\\\n");
  EXPECT_EQ(first.out, "Add: D:\\\n");
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(NamesIn(cats.root()), (Names{"DATA.kvl", "params.txt"}));
  CatalogContents c;
  ASSERT_TRUE(LoadAndCheck(cats.Path("DATA.kvl"), "D:\\", "", &c));
  EXPECT_EQ(c.header.root, "D:\\");
  EXPECT_EQ(c.header.volumeName, "DATA");
  EXPECT_EQ(c.header.serial, kDataSerial);
  EXPECT_EQ(c.header.alias, "");
  EXPECT_EQ(c.header.comment, "");
  // Free space of a fixed drive is measured, in MiB; the disk is shared with whatever else
  // runs, so the figure is only near what the filesystem reports now.
  std::error_code ec;
  const fs::space_info space = fs::space("D:\\", ec);
  ASSERT_FALSE(ec) << ec.message();
  EXPECT_GT(c.header.freeSpaceMB, 0.0f);
  EXPECT_NEAR(c.header.freeSpaceMB, static_cast<double>(space.free) / (1 << 20), 1024.0);

  const std::string earlier = GiveComment(cats.Path("DATA.kvl"), "kept: y");
  const e2e::RunResult second = Run(cats, "#DEV D:\\\n");
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(NamesIn(cats.root()), (Names{"DATA.kvl", "DATA.kvl.bak", "params.txt"}));
  EXPECT_EQ(ReadBytes(cats.Path("DATA.kvl.bak")), earlier);
  ASSERT_TRUE(LoadAndCheck(cats.Path("DATA.kvl"), "D:\\", "", &c));
  EXPECT_EQ(c.header.comment, "kept: y");
  EXPECT_EQ(c.header.volumeName, "DATA");
  EXPECT_EQ(c.header.serial, kDataSerial);
  EXPECT_EQ(c.header.alias, "");
}

// NTFS allows labels of 32 characters; a catalogue keeps 31 bytes of one, so that the
// volume is still named and recognised from run to run.
TEST_F(EndToEndWineLongLabelTest, LongLabelIsCutAndStillRecognised) {
  TempTree cats;
  Run(cats, "#DEV L:\\\n");
  const e2e::RunResult second = Run(cats, "#DEV L:\\\n");
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(NamesIn(cats.root()),
            (Names{"Summer-photograp.kvl", "Summer-photograp.kvl.bak", "params.txt"}));
  CatalogContents c;
  ASSERT_TRUE(LoadAndCheck(cats.Path("Summer-photograp.kvl"), "L:\\", "", &c));
  EXPECT_EQ(c.header.volumeName, "Summer photographs 2023 of us a");  // 31 bytes
  EXPECT_EQ(c.header.serial, 0x10A6BE11u);
}

// A device below its volume root is known by its path from the root, in brackets, whatever
// the label; without alias its file name has no base.
TEST_F(EndToEndWineDataTest, SubFolderDevices) {
  struct Case {
    std::string line;
    std::string file;
    std::string alias;
  };
  const std::vector<Case> cases = {
      {"D:\\Photos\\Summer", ".kvl", ""},
      {"D:\\Photos\\Summer\\", ".kvl", ""},
      {"D:\\Photos\\Summer,Summer", "Summer.kvl", "Summer"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line);
    TempTree cats;
    const e2e::RunResult r = Run(cats, "#DEV " + k.line + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(NamesIn(cats.root()), (Names{k.file, "params.txt"}));
    CatalogContents c;
    ASSERT_TRUE(LoadAndCheck(cats.Path(k.file), "D:\\Photos\\Summer", "\\Photos\\Summer", &c));
    EXPECT_EQ(c.header.root, "D:\\");
    EXPECT_EQ(c.header.volumeName, "[\\Photos\\Summer]");
    EXPECT_EQ(c.header.serial, kDataSerial);
    EXPECT_EQ(c.header.alias, k.alias);
  }
}

TEST_F(EndToEndWineBlankTest, EmptyLabelIsNamedByTheRoot) {
  struct Case {
    std::string root;
    std::string volumeName;
  };
  const std::vector<Case> cases = {
      {"E:\\", "[E:\\]"}, {"e:\\", "[e:\\]"},  // the root as the line writes it
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.root);
    TempTree cats;
    const e2e::RunResult r = Run(cats, "#DEV " + k.root + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(NamesIn(cats.root()), (Names{".kvl", "params.txt"}));
    CatalogContents c;
    ASSERT_TRUE(LoadAndCheck(cats.Path(".kvl"), "E:\\", "", &c));
    EXPECT_EQ(c.header.root, k.root);
    EXPECT_EQ(c.header.volumeName, k.volumeName);
    EXPECT_EQ(c.header.serial, kBlankSerial);
    EXPECT_EQ(c.header.alias, "");
  }
}

// On a network drive the label gets the drive letter as written, so that equal labels on
// two mapped drives stay two volumes; a sub-folder keeps its bracketed name.
TEST_F(EndToEndWineNetworkTest, VolumeNamesCarryTheDriveLetter) {
  ASSERT_EQ(TypeOf("N:\\"), DriveType::Remote);
  // These walks read several folders at a time; every catalogue is still checked whole.
  EXPECT_TRUE(ListingsWait("N:\\Work"));
  EXPECT_FALSE(ListingsWait("D:\\"));
  struct Expected {
    std::string file;
    std::string root;
    std::string volumeName;
    std::string alias;
    std::string tree;
    std::string below;  // folder 0's path
  };
  struct Case {
    std::string lines;
    std::vector<Expected> files;
  };
  const std::vector<Case> cases = {
      {"#DEV N:\\\n", {{"NETLBL-N.kvl", "N:\\", "NETLBL-N", "", "N:\\", ""}}},
      {"#DEV n:\\\n", {{"NETLBL-n.kvl", "n:\\", "NETLBL-n", "", "N:\\", ""}}},
      {"#DEV N:\\Work\n", {{".kvl", "N:\\", "[\\Work]", "", "N:\\Work", "\\Work"}}},
      {"#DEV N:\\Work,Work\n", {{"Work.kvl", "N:\\", "[\\Work]", "Work", "N:\\Work", "\\Work"}}},
      // Two volume names apart by case are two volumes; file names are not told apart by
      // case, so the second one takes the next number.
      {"#DEV N:\\\n#DEV n:\\\n",
       {{"NETLBL-N.kvl", "N:\\", "NETLBL-N", "", "N:\\", ""},
        {"NETLBL-n1.kvl", "n:\\", "NETLBL-n", "", "N:\\", ""}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.lines);
    TempTree cats;
    const e2e::RunResult r = Run(cats, k.lines);
    EXPECT_EQ(r.err, "");
    Names expectedNames{"params.txt"};
    for (const Expected& e : k.files) expectedNames.push_back(e.file);
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(NamesIn(cats.root()), expectedNames);
    for (const Expected& e : k.files) {
      SCOPED_TRACE(e.file);
      CatalogContents c;
      ASSERT_TRUE(LoadAndCheck(cats.Path(e.file), e.tree, e.below, &c));
      EXPECT_EQ(c.header.root, e.root);
      EXPECT_EQ(c.header.volumeName, e.volumeName);
      EXPECT_EQ(c.header.alias, e.alias);
      EXPECT_EQ(c.header.serial, kNetSerial);
      EXPECT_EQ(c.header.comment, "");
    }
  }
}

// A CD-ROM drive without a free byte has no free-space figure (-1.0); the same full
// filesystem as a fixed drive has 0.0.
TEST_F(EndToEndWineCdRomTest, FullDiscHasNoFreeSpaceFigure) {
  struct Case {
    std::string root;
    DriveType type;
    float freeSpaceMB;
  };
  const std::vector<Case> cases = {
      {"F:\\", DriveType::CdRom, -1.0f},
      {"G:\\", DriveType::Fixed, 0.0f},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.root);
    ASSERT_EQ(TypeOf(k.root), k.type);
    TempTree cats;
    const e2e::RunResult r = Run(cats, "#DEV " + k.root + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(NamesIn(cats.root()), (Names{"DISC.kvl", "params.txt"}));
    CatalogContents c;
    ASSERT_TRUE(LoadAndCheck(cats.Path("DISC.kvl"), k.root, "", &c));
    EXPECT_EQ(c.header.freeSpaceMB, k.freeSpaceMB);
    EXPECT_EQ(c.header.root, k.root);
    EXPECT_EQ(c.header.volumeName, "DISC");
    EXPECT_EQ(c.header.serial, kDiscSerial);
  }
}

// An earlier catalogue of D: with alias 'Old' and comment 'x': every line for D: recognises
// it, moves it to its backup and keeps its comment; the alias of the line wins unless it is
// empty or just the volume name.
TEST_F(EndToEndWineDataTest, AliasesAgainstAnEarlierCatalogue) {
  std::string earlier;
  {
    TempTree cats;
    Run(cats, "#DEV D:\\,Old\n");
    ASSERT_EQ(NamesIn(cats.root()), (Names{"Old.kvl", "params.txt"}));
    earlier = GiveComment(cats.Path("Old.kvl"), "x");
    CatalogContents c;
    ASSERT_TRUE(LoadCatalog(cats.Path("Old.kvl"), &c));
    ASSERT_EQ(c.header.volumeName, "DATA");
    ASSERT_EQ(c.header.serial, kDataSerial);
    ASSERT_EQ(c.header.alias, "Old");
  }
  struct Case {
    std::string line;
    std::string file;
    std::string alias;
  };
  const std::vector<Case> cases = {
      {"D:\\,System", "System.kvl", "System"},
      {"D:\\", "Old.kvl", "Old"},
      {"D:\\,DATA", "Old.kvl", "Old"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line);
    TempTree cats;
    WriteWholeFile(cats.Path("Old.kvl"), earlier);
    const e2e::RunResult r = Run(cats, "#DEV " + k.line + "\n");
    EXPECT_EQ(r.err, "");
    Names expectedNames{"Old.kvl.bak", "params.txt", k.file};
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(NamesIn(cats.root()), expectedNames);
    EXPECT_EQ(ReadBytes(cats.Path("Old.kvl.bak")), earlier);
    CatalogContents c;
    ASSERT_TRUE(LoadAndCheck(cats.Path(k.file), "D:\\", "", &c));
    EXPECT_EQ(c.header.alias, k.alias);
    EXPECT_EQ(c.header.comment, "x");
    EXPECT_EQ(c.header.volumeName, "DATA");
    EXPECT_EQ(c.header.serial, kDataSerial);
  }
}

// Another volume named with the alias of D:'s earlier catalogue takes that catalogue's
// place: its file becomes the backup and its comment passes on.
TEST_F(EndToEndWineTwoVolumesTest, AliasTakesOverAnotherVolumesCatalogue) {
  TempTree cats;
  Run(cats, "#DEV D:\\,Old\n");
  const std::string earlier = GiveComment(cats.Path("Old.kvl"), "x");

  const e2e::RunResult r = Run(cats, "#DEV E:\\,Old\n");
  // The takeover is told, with both volumes named.
  EXPECT_EQ(r.err.rfind("LedraCmd: the alias 'Old' passes from the volume 'DATA' (", 0), 0u)
      << r.err;
  EXPECT_EQ(NamesIn(cats.root()), (Names{"Old.kvl", "Old.kvl.bak", "params.txt"}));
  EXPECT_EQ(ReadBytes(cats.Path("Old.kvl.bak")), earlier);
  CatalogContents c;
  ASSERT_TRUE(LoadAndCheck(cats.Path("Old.kvl"), "E:\\", "", &c));
  EXPECT_EQ(c.header.volumeName, "[E:\\]");
  EXPECT_EQ(c.header.serial, kBlankSerial);
  EXPECT_EQ(c.header.alias, "Old");
  EXPECT_EQ(c.header.comment, "x");
}

// The second line recognises the catalogue the first line stored in the same run.
TEST_F(EndToEndWineDataTest, SameVolumeTwiceInOneRun) {
  TempTree cats;
  const e2e::RunResult r = Run(cats, "#DEV D:\\\n#DEV D:\\\n");
  EXPECT_EQ(r.out, "Add: D:\\\nAdd: D:\\\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(NamesIn(cats.root()), (Names{"DATA.kvl", "DATA.kvl.bak", "params.txt"}));
  CatalogContents first;
  CatalogContents second;
  ASSERT_TRUE(LoadAndCheck(cats.Path("DATA.kvl.bak"), "D:\\", "", &first));
  ASSERT_TRUE(LoadAndCheck(cats.Path("DATA.kvl"), "D:\\", "", &second));
  for (const CatalogContents* c : {&first, &second}) {
    EXPECT_EQ(c->header.volumeName, "DATA");
    EXPECT_EQ(c->header.serial, kDataSerial);
  }
  EXPECT_GE(second.header.timestamp, first.header.timestamp);
}

// The program's Windows path, for the command processor (a Unix path names drive Z:).
std::string CommandPath() {
  std::string path = LEDRA_CMD_PATH;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

struct ChildResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs LedraCmd.exe as a process of its own through the command processor, which sends
// its two streams to files in `scratch` and hands back its exit status.
ChildResult RunChild(const std::vector<std::string>& arguments, const TempTree& scratch) {
  std::string command = CommandPath();
  for (const std::string& argument : arguments) command += " " + argument;
  command += " >" + scratch.Path("out.txt") + " 2>" + scratch.Path("err.txt");
  ChildResult result;
  result.status = std::system(command.c_str());
  result.out = ReadBytes(scratch.Path("out.txt"));
  result.err = ReadBytes(scratch.Path("err.txt"));
  return result;
}

// A root on a drive letter nothing is mapped to fails alone: its message has no line end,
// the good devices around it are written and the run ends with status 5, in the process
// and as a program of its own.
TEST_F(EndToEndWineDataTest, FailingRootBetweenGoodOnes) {
  if (TypeOf("Q:\\") != DriveType::NoRootFolder) {
    GTEST_SKIP() << "drive Q: is mapped in this Wine prefix; the failing root needs it unmapped";
  }
  const std::string lines = "#DEV D:\\Photos,Photos\n#DEV Q:\\nothing\n#DEV D:\\Docs,Docs\n";
  const std::string message = e2e::DeviceFailure("Q:\\nothing", e2e::kNoRoot);
  const Names files{"Docs.kvl", "Photos.kvl", "params.txt"};
  const auto checkFiles = [](const TempTree& cats) {
    CatalogContents c;
    EXPECT_TRUE(LoadAndCheck(cats.Path("Photos.kvl"), "D:\\Photos", "\\Photos", &c));
    EXPECT_TRUE(LoadAndCheck(cats.Path("Docs.kvl"), "D:\\Docs", "\\Docs", &c));
    EXPECT_EQ(c.header.volumeName, "[\\Docs]") << "the line after the failure starts afresh";
  };
  {
    SCOPED_TRACE("in the test process");
    TempTree cats;
    const e2e::RunResult r = Run(cats, lines, 5);
    EXPECT_EQ(r.out, "Add: D:\\Photos\nAdd: Q:\\nothing\nAdd: D:\\Docs\n");
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(NamesIn(cats.root()), files);
    checkFiles(cats);
  }
  if (CommandPath().find(' ') != std::string::npos) {
    GTEST_SKIP() << "the program's path holds a blank, which the command line below does not "
                    "quote: "
                 << CommandPath();
  }
  {
    SCOPED_TRACE("as a child process");
    TempTree cats;
    TempTree scratch;
    WriteWholeFile(cats.Path("params.txt"), lines);
    const ChildResult child = RunChild({"-f", cats.Path("params.txt")}, scratch);
    EXPECT_EQ(child.status, 5);
    // Standard output is in text mode: each line ends with CR LF.
    EXPECT_EQ(child.out, "Add: D:\\Photos\r\nAdd: Q:\\nothing\r\nAdd: D:\\Docs\r\n");
    // Standard error is in text mode too.
    EXPECT_EQ(child.err,
              "Error occured while cataloging Q:\\nothing.\r\nLedraCmd: cannot catalogue "
              "'Q:\\nothing': the root does not exist or cannot be read\r\n");
    EXPECT_EQ(NamesIn(cats.root()), files);
    checkFiles(cats);

    // The status seen here is the program's own: a parameter file that cannot be read
    // ends it with 3.
    const std::string missing = cats.Path("missing.txt");
    const ChildResult failed = RunChild({"-f", missing}, scratch);
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "Fatal Error: Cannot read the parameter file '" + missing + "'\r\n");
  }
}

// Removes what a run with its parameter file in D:\ leaves there, and goes back to the
// folder the test started in, whatever the test's outcome.
class DriveRootCleanup {
 public:
  DriveRootCleanup() : folder_(fs::current_path()) {}
  ~DriveRootCleanup() {
    std::error_code ec;
    fs::current_path(folder_, ec);
    for (const char* folder : {"D:\\", "D:\\Photos\\"}) {
      for (const std::string& name : NamesIn(folder)) {
        if (name == "params.txt" || name.find(".kvl") != std::string::npos) {
          fs::remove(std::string(folder) + name, ec);
        }
      }
    }
  }
  DriveRootCleanup(const DriveRootCleanup&) = delete;
  DriveRootCleanup& operator=(const DriveRootCleanup&) = delete;

 private:
  fs::path folder_;
};

// A parameter file directly in a drive root has its catalogues written into that root, not
// into whatever folder of that drive is current.
TEST_F(EndToEndWineDataTest, ParameterFileInTheDriveRoot) {
  const DriveRootCleanup cleanup;
  WriteWholeFile("D:\\params.txt", "#DEV D:\\Photos\\Summer,Summer\n");
  fs::current_path("D:\\Photos");
  // 'D:' alone now names that folder: a catalogue folder cut to 'D:' would be it.
  std::string named = fs::absolute("D:").string();
  while (named.size() > 3 && named.back() == '\\') named.pop_back();
  ASSERT_EQ(named, "D:\\Photos");

  const e2e::RunResult r = RunInProcess("D:\\params.txt");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.folderRestored) << "the run left the process in " << r.folderAfter;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(NamesIn("D:\\Photos"), (Names{"Summer", "winter.jpg"}));
  CatalogContents c;
  ASSERT_TRUE(LoadAndCheck("D:\\Summer.kvl", "D:\\Photos\\Summer", "\\Photos\\Summer", &c));
  EXPECT_EQ(c.header.alias, "Summer");
  EXPECT_EQ(c.header.volumeName, "[\\Photos\\Summer]");
}

// A relative root names the folder the line would name in full, from the parameter file's
// folder: the same root, volume name and folder 0 path, so the second run recognises it.
// Only the "Add: " line keeps the line's own text.
TEST_F(EndToEndWineDataTest, RelativeRootsAreIdentifiedAsTheirFullPath) {
  const DriveRootCleanup cleanup;
  for (const std::string root : {"Summer", ".\\Summer", "\\Photos\\Summer", "D:Summer"}) {
    SCOPED_TRACE(root);
    WriteWholeFile("D:\\Photos\\params.txt", "#DEV " + root + "\n");
    for (const Names& files : {Names{".kvl", "Summer", "params.txt", "winter.jpg"},
                               Names{".kvl", ".kvl.bak", "Summer", "params.txt", "winter.jpg"}}) {
      const e2e::RunResult r = RunInProcess("D:\\Photos\\params.txt");
      EXPECT_EQ(r.out, "Add: " + root + "\n");
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(NamesIn("D:\\Photos"), files);
      CatalogContents c;
      ASSERT_TRUE(LoadAndCheck("D:\\Photos\\.kvl", "D:\\Photos\\Summer", "\\Photos\\Summer", &c));
      EXPECT_EQ(c.header.root, "D:\\");
      EXPECT_EQ(c.header.volumeName, "[\\Photos\\Summer]");
      EXPECT_EQ(c.header.serial, kDataSerial);
    }
    for (const char* name : {".kvl", ".kvl.bak"}) fs::remove(std::string("D:\\Photos\\") + name);
  }
}

// A root in the '\\?\' form lies on the drive it names: named by that drive's label and
// serial, recognised as D:\ on the next run, and below it named by its path from the root.
TEST_F(EndToEndWineDataTest, LongPathRootsAreTheDriveTheyName) {
  TempTree cats;
  const e2e::RunResult first = Run(cats, "#DEV \\\\?\\D:\\\n");
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(NamesIn(cats.root()), (Names{"DATA.kvl", "params.txt"}));
  CatalogContents c;
  ASSERT_TRUE(LoadAndCheck(cats.Path("DATA.kvl"), "D:\\", "", &c));
  EXPECT_EQ(c.header.root, "D:\\");
  EXPECT_EQ(c.header.volumeName, "DATA");
  EXPECT_EQ(c.header.serial, kDataSerial);

  const e2e::RunResult second = Run(cats, "#DEV D:\\\n#DEV \\\\?\\D:\\Photos\\Summer,Summer\n");
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(NamesIn(cats.root()), (Names{"DATA.kvl", "DATA.kvl.bak", "Summer.kvl", "params.txt"}));
  CatalogContents summer;
  ASSERT_TRUE(
      LoadAndCheck(cats.Path("Summer.kvl"), "D:\\Photos\\Summer", "\\Photos\\Summer", &summer));
  EXPECT_EQ(summer.header.root, "D:\\");
  EXPECT_EQ(summer.header.volumeName, "[\\Photos\\Summer]");
  EXPECT_EQ(summer.header.serial, kDataSerial);
  EXPECT_TRUE(e2e::ReadsWhole(cats.root(), cats.Path("DATA.kvl"), "DATA.kvl", c.entries.size()));
  EXPECT_TRUE(
      e2e::ReadsWhole(cats.root(), cats.Path("Summer.kvl"), "Summer.kvl", summer.entries.size()));
}

}  // namespace
}  // namespace ledra
