#include "app/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_platform.h"

namespace ledra {
namespace {

// One run of the driver on a fake machine with a labelled drive C: and a tree below
// C:\data, the parameter file at C:\cats\params.txt.
class DriverTest : public ::testing::Test {
 protected:
  DriverTest() : out_(outText_), errors_(errorText_), fake_(errors_) {
    FakePlatform::Volume volume;
    volume.label = "DATA";
    volume.serial = 0x1234ABCD;
    fake_.AddVolume("C:\\", volume);
    fake_.AddFolder("C:\\cats");
    fake_.AddFile("C:\\data\\a.txt", 10);
    fake_.AddFile("C:\\data\\b.tmp", 20);
    fake_.AddFile("C:\\data\\sub\\c.txt", 5);
  }

  int Run(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"LedraCmd"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return RunDriver(static_cast<int>(argv.size()), argv.data(), fake_, out_, errors_);
  }

  int RunWith(const std::string& parameters) {
    fake_.AddFileWithContent("C:\\cats\\params.txt", parameters);
    return Run({"-f", "C:\\cats\\params.txt"});
  }

  // The catalogue files the run left in C:\cats.
  std::vector<std::string> Catalogues() {
    std::vector<std::string> names;
    for (const std::string& name : fake_.List("C:\\cats")) {
      if (name != "params.txt") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::ostringstream outText_;
  std::ostringstream errorText_;
  MessageSink out_;
  MessageSink errors_;
  FakePlatform fake_;
};

TEST(FindOptionTest, MatchesDashOrSlashWithoutCaseAndNeverTheLastArgument) {
  struct Case {
    std::vector<const char*> argv;
    int result;
    std::string value;
  };
  const std::vector<Case> cases = {
      {{"x", "-f", "p.txt"}, 1, "p.txt"},
      {{"x", "/F", "p.txt"}, 1, "p.txt"},
      {{"x", "-f"}, 0, "dflt"},
      {{"x", "p.txt", "-f"}, 0, "dflt"},
      {{"x", "-fx", "p.txt"}, 0, "dflt"},
      {{"x", "f", "p.txt"}, 0, "dflt"},
      {{"x", "-f", "one", "-f", "two"}, 1, "one"},
      {{"x", "-g", "-f", "p"}, 1, "p"},
      {{"x", "-", "f"}, 0, "dflt"},
  };
  for (const Case& c : cases) {
    std::string value = "junk";
    EXPECT_EQ(FindOption(static_cast<int>(c.argv.size()), c.argv.data(), "f", &value, "dflt"),
              c.result);
    EXPECT_EQ(value, c.value);
  }
}

TEST_F(DriverTest, UsageWithoutParameterFile) {
  const std::string usage =
      "*** LedraCmd 1.0 *** Ledra, 7 December 2026\n"
      "to catalogize fixed disks by System Agent/Task Scheduler/At. Use\n"
      ">LedraCmd -f parameter_file\n"
      "Parameter file directives:\n"
      "#IGN list         - (opt) list of file names and/or directories (see Ledra)\n"
      "#DEV root[,alias] - root and (opt) alias (See Ledra)\n"
      "...\n"
      "#IGN list         - (opt) list of file names and/or directories (see Ledra)\n"
      "#DEV root[,alias] - root and (opt) alias (See Ledra)\n"
      "...\n";
  // Bare, the program shows its usage; with arguments it cannot use, it also fails.
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{}, 0}, {{"-f"}, 2}, {{"params.txt"}, 2}, {{"params.txt", "-f"}, 2}, {{"-x", "p"}, 2},
  };
  for (const auto& c : cases) {
    errorText_.str("");
    EXPECT_EQ(Run(c.first), c.second);
    EXPECT_EQ(errorText_.str(), usage);
  }
  EXPECT_EQ(outText_.str(), "");

  errorText_.str("");
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(outText_.str(), "LedraCmd 1.0\n");
  EXPECT_EQ(errorText_.str(), "");
}

TEST_F(DriverTest, FatalMessages) {
  EXPECT_EQ(Run({"-f", "C:\\cats\\missing.txt"}), 3);
  EXPECT_EQ(errorText_.str(),
            "Fatal Error: Cannot read the parameter file 'C:\\cats\\missing.txt'\n");

  // A folder is no parameter file, whether the system refuses to open it or to read it.
  errorText_.str("");
  EXPECT_EQ(Run({"-f", "C:\\cats"}), 3);
  EXPECT_EQ(errorText_.str(), "Fatal Error: Cannot read the parameter file 'C:\\cats'\n");

  // An empty parameter file is read, and does nothing.
  errorText_.str("");
  fake_.AddFileWithContent("C:\\cats\\empty.txt", "");
  EXPECT_EQ(Run({"-f", "C:\\cats\\empty.txt"}), 0);
  EXPECT_EQ(errorText_.str(), "");

  errorText_.str("");
  fake_.startSucceeds = false;
  EXPECT_EQ(Run({"-f", "C:\\cats\\missing.txt"}), 1);
  EXPECT_EQ(errorText_.str(), "Fatal Error: MFC initialization failed\n");
}

TEST_F(DriverTest, EchoesDeviceLinesAndWritesIntoTheParameterFilesFolder) {
  fake_.AddFolder("C:\\elsewhere");
  fake_.ChangeFolder("C:\\elsewhere");
  EXPECT_EQ(RunWith("#DEV C:\\data , System disk \n"), 0);
  EXPECT_EQ(outText_.str(), "Add: C:\\data \n");
  EXPECT_EQ(errorText_.str(), "");
  // The alias keeps its trailing blank; the file name replaces it by '-'.
  EXPECT_EQ(Catalogues(), std::vector<std::string>{"System-disk-.kvl"});
  std::string current;
  fake_.CurrentFolder(&current);
  EXPECT_EQ(current, "C:\\elsewhere");
}

TEST_F(DriverTest, DirectivesAndLineSyntax) {
  struct Case {
    std::string parameters;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"#DEV C:\\data\n", "Add: C:\\data\n"},
      {"#dev C:\\data\n", "Add: C:\\data\n"},
      {"#DEVICE C:\\data\n", "Add: C:\\data\n"},
      {"#DEV\tC:\\data,,, x\n", "Add: C:\\data\n"},
      {"#DEV ,X\n", ""},
      {"#DEV \f,X\n", "Add: \f\n"},  // echoed, then nothing to walk
      {"#DEV\n", ""},
      {" #DEV C:\\data\n", ""},
      {"\n\n#REM #DEV C:\\data\n", ""},
      {"#DEV C:\\data", "Add: C:\\data\n"},
      {"#DEV C:\\data\r\n", "Add: C:\\data\n"},
      {"#DEV C:\\data\n\x1a#DEV C:\\data\n", "Add: C:\\data\n"},
      {std::string("#DEV C:\\da\0ta\n", 14), "Add: C:\\da\n"},
      {"\xff\xfe\x01\x02#DEV\n\x80\x81", ""},
  };
  for (const Case& c : cases) {
    outText_.str("");
    RunWith(c.parameters);
    EXPECT_EQ(outText_.str(), c.out) << c.parameters;
  }
}

// One run per working folder: a run waits for the one that holds the folder, says so
// once, and gives up with status 4 when the wait runs out; where the folder offers no
// lock it says so and goes on.
TEST_F(DriverTest, WorkingFolderLock) {
  struct Case {
    const char* name;
    int busyAttempts;
    bool unsupported;
    int status;
    std::string err;
  };
  const std::string waiting =
      "LedraCmd: waiting for the lock of the folder 'C:\\cats' (at most 5 minutes)\n";
  const Case cases[] = {
      {"free", 0, false, 0, ""},
      {"held for a while", 20, false, 0, waiting},
      {"held too long", 1000000, false, 4,
       waiting + "Fatal Error: the lock of the folder 'C:\\cats' was held for 5 minutes\n"},
      {"no lock here", 0, true, 0,
       "LedraCmd: the folder 'C:\\cats' cannot be locked (Incorrect function.); going on "
       "without the lock\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    errorText_.str("");
    fake_.lockBusyAttempts = c.busyAttempts;
    fake_.lockUnsupported = c.unsupported;
    const int32_t start = fake_.now;
    OsError err;
    fake_.Remove("C:\\cats\\Disk.kvl", &err);
    EXPECT_EQ(RunWith("#DEV C:\\data,Disk\n"), c.status);
    EXPECT_EQ(errorText_.str(), c.err);
    EXPECT_EQ(fake_.Exists("C:\\cats\\Disk.kvl"), c.status == 0);
    EXPECT_LE(fake_.now - start, kLockWaitSeconds + 1);
  }
}

// An ignore list cut at the piece limit loses its tail: the user is told once.
TEST_F(DriverTest, IgnoreListCutAtThePieceLimitIsReported) {
  const std::string cut =
      "LedraCmd: the ignore list is longer than 254 characters; the rest "
      "was read as a line of its own\n";
  RunWith("#IGN " + std::string(249, 'x') + "\n#DEV C:\\data,A\n");
  EXPECT_EQ(errorText_.str(), "");
  RunWith("#IGN " + std::string(600, 'x') + " *.txt\n#DEV C:\\data,B\n");
  EXPECT_EQ(errorText_.str(), cut);
}

TEST_F(DriverTest, LongLinesAreReadInPiecesOf255Characters) {
  // A comment of exactly 255 characters fills one piece; the rest of its line starts with
  // "#DEV" and so counts as a device line of its own.
  RunWith("#REM" + std::string(251, 'x') + "#DEV C:\\data\n");
  EXPECT_EQ(outText_.str(), "Add: C:\\data\n");

  // One character less and the directive is inside the first piece's argument.
  outText_.str("");
  RunWith("#REM" + std::string(250, 'x') + "#DEV C:\\data\n");
  EXPECT_EQ(outText_.str(), "");
}

// A device line cut at the piece limit would catalogue a root or alias cut short, which may
// name another folder: it is told with its line number and passed over, and the rest of the
// line is read as a line of its own.
TEST_F(DriverTest, DeviceLineCutAtThePieceLimitIsNotCatalogued) {
  fake_.AddFile("C:\\data\\photos 2023\\a.jpg", 1);
  fake_.AddFile("C:\\data\\photos 2023" + std::string(300, 'x') + "\\b.jpg", 1);
  struct Case {
    std::string parameters;
    std::string out;
    std::string err;
  };
  const std::string longRoot = "C:\\data\\photos 2023" + std::string(300, 'x');
  const Case cases[] = {
      {"#DEV " + longRoot + ",Summer\n#DEV C:\\data,Whole\n", "Add: C:\\data\n",
       "LedraCmd: line 1 is longer than 254 characters and is not catalogued: '#DEV "
       "C:\\data\\photos 2023" +
           std::string(60 - 24, 'x') + "...'\n"},
      {"rem\n#DEV C:\\data," + std::string(400, 'a') + "\n", "",
       "LedraCmd: line 2 is longer than 254 characters and is not catalogued: '#DEV "
       "C:\\data," +
           std::string(60 - 13, 'a') + "...'\n"},
      // The rest of a cut line that starts with a directive is one.
      {"#DEV C:\\data," + std::string(255 - 13, 'a') + "#DEV C:\\data\\photos 2023\n",
       "Add: C:\\data\\photos 2023\n",
       "LedraCmd: line 1 is longer than 254 characters and is not catalogued: '#DEV "
       "C:\\data," +
           std::string(60 - 13, 'a') + "...'\n"},
      // 254 characters and the line feed still fit.
      {"#DEV C:\\data," + std::string(254 - 13, 'b') + "\n", "Add: C:\\data\n", ""},
  };
  for (const Case& c : cases) {
    outText_.str("");
    errorText_.str("");
    // A line left out is a device the run did not catalogue.
    EXPECT_EQ(RunWith(c.parameters), c.err.empty() ? 0 : 5);
    EXPECT_EQ(outText_.str(), c.out);
    EXPECT_EQ(errorText_.str(), c.err);
  }
  EXPECT_FALSE(fake_.Exists("C:\\cats\\Summer.kvl"));
  EXPECT_FALSE(fake_.Exists("C:\\cats\\" + std::string(16, 'a') + ".kvl"));
  EXPECT_TRUE(fake_.Exists("C:\\cats\\" + std::string(16, 'b') + ".kvl"));
}

// A parameter file saved with a byte-order mark or in UTF-16 is read by its characters: the
// mark hides no directive, and a line's 255-character pieces count characters, not the bytes
// their UTF-8 takes.
TEST_F(DriverTest, UnicodeParameterFilesAreReadByTheirCharacters) {
  std::string eAcute240;
  for (int i = 0; i < 240; ++i) eAcute240 += "\xC3\xA9";
  std::string interleaved = "\xFF\xFE";
  for (const char c : std::string("#DEV C:\\data,")) interleaved += std::string{c, '\0'};
  for (int i = 0; i < 240; ++i) interleaved += std::string("\xE9\0", 2);
  interleaved += std::string("\n\0", 2);
  struct Case {
    const char* what;
    std::string parameters;
    std::string catalogue;
  };
  const std::vector<Case> cases = {
      {"UTF-8 mark", "\xEF\xBB\xBF#DEV C:\\data,Data\n", "Data.kvl"},
      {"UTF-8, 253 characters in 493 bytes", "#DEV C:\\data," + eAcute240 + "\n",
       std::string(16, '-') + ".kvl"},
      {"UTF-16LE, 253 characters", interleaved, std::string(16, '-') + ".kvl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    outText_.str("");
    errorText_.str("");
    EXPECT_EQ(RunWith(c.parameters), 0);
    EXPECT_EQ(outText_.str(), "Add: C:\\data\n");
    EXPECT_EQ(errorText_.str(), "");
    EXPECT_TRUE(fake_.Exists("C:\\cats\\" + c.catalogue));
  }
}

TEST_F(DriverTest, IgnoreTextIsReplacedNotExtended) {
  RunWith(
      "#IGN *.tmp\n#DEV C:\\data,First\n#IGN *.txt\n#DEV C:\\data,Second\n#IGN\n"
      "#DEV C:\\data,Third\n");
  // The three lines name one volume: each replaces the catalogue of the line before,
  // which stays as its backup.
  EXPECT_EQ(Catalogues(),
            (std::vector<std::string>{"First.kvl.bak", "Second.kvl.bak", "Third.kvl"}));
  const std::string first = fake_.Content("C:\\cats\\First.kvl.bak");
  const std::string second = fake_.Content("C:\\cats\\Second.kvl.bak");
  const std::string third = fake_.Content("C:\\cats\\Third.kvl");
  EXPECT_EQ(first.find("b.tmp"), std::string::npos);
  EXPECT_NE(first.find("c.txt"), std::string::npos);
  EXPECT_EQ(second.find("a.txt"), std::string::npos);
  EXPECT_EQ(second.find("c.txt"), std::string::npos);
  EXPECT_NE(second.find("b.tmp"), std::string::npos);
  EXPECT_NE(third.find("a.txt"), std::string::npos);
  EXPECT_NE(third.find("b.tmp"), std::string::npos);
}

TEST_F(DriverTest, FailedDevicesRunTogetherAndTheRunGoesOn) {
  EXPECT_EQ(RunWith("#DEV X:\\data\n#DEV C:\\nothing\n#DEV C:\\data,Good\n"), 5);
  EXPECT_EQ(
      errorText_.str(),
      "Error occured while cataloging X:\\data.\n"
      "LedraCmd: cannot catalogue 'X:\\data': the root does not exist or cannot be read\n"
      "Error occured while cataloging C:\\nothing.\n"
      "LedraCmd: cannot catalogue 'C:\\nothing': the root does not exist or cannot be read\n");
  EXPECT_EQ(Catalogues(), std::vector<std::string>{"Good.kvl"});
}

// The status tells a scheduler whether every device was catalogued: 0 only then, 5 when
// any failed, however it failed and wherever its line stands; every device is still tried.
TEST_F(DriverTest, StatusFiveWhenAnyDeviceFailed) {
  enum class Failure { None, MissingRoot, Walk, Create, Write, Rename };
  struct Case {
    Failure failure;
    std::string parameters;
    int status;
    std::vector<std::string> catalogues;
  };
  const std::vector<Case> cases = {
      {Failure::None, "#DEV C:\\data,A\n#DEV C:\\data\\sub,B\n", 0, {"A.kvl", "B.kvl"}},
      {Failure::MissingRoot, "#DEV C:\\gone,A\n#DEV C:\\data,B\n", 5, {"B.kvl"}},
      {Failure::MissingRoot, "#DEV C:\\data,B\n#DEV C:\\gone,A\n", 5, {"B.kvl"}},
      {Failure::Walk, "#DEV C:\\data,A\n#DEV C:\\data\\sub,B\n", 5, {"B.kvl"}},
      {Failure::Create, "#DEV C:\\data,A\n#DEV C:\\data\\sub,B\n", 5, {"B.kvl"}},
      {Failure::Write, "#DEV C:\\data,A\n#DEV C:\\data\\sub,B\n", 5, {"B.kvl"}},
      {Failure::Rename, "#DEV C:\\data,A\n#DEV C:\\data\\sub,B\n", 5, {"B.kvl"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameters + " failure " + std::to_string(static_cast<int>(c.failure)));
    FakePlatform& fake = fake_;
    fake.ClearFailures();
    OsError err;
    for (const std::string& name : Catalogues()) fake.Remove("C:\\cats\\" + name, &err);
    switch (c.failure) {
      case Failure::None:
      case Failure::MissingRoot:
        break;
      case Failure::Walk:
        fake.Fail(FakePlatform::Op::List, "C:\\data\\");
        break;
      case Failure::Create:
        fake.Fail(FakePlatform::Op::Create, "C:\\cats\\A.kvl.tmp*");
        break;
      case Failure::Write:
        fake.Fail(FakePlatform::Op::Write, "C:\\cats\\A.kvl.tmp*");
        break;
      case Failure::Rename:
        fake.Fail(FakePlatform::Op::Rename, "C:\\cats\\A.kvl.tmp*");
        break;
    }
    errorText_.str("");
    EXPECT_EQ(RunWith(c.parameters), c.status);
    EXPECT_EQ(errorText_.str().find("Error occured while cataloging") != std::string::npos,
              c.status != 0);
    EXPECT_EQ(Catalogues(), c.catalogues);
  }
}

// A folder that takes no new file is found out before the first walk: the run stops with
// status 3 and catalogues nothing, instead of walking every device to fail at its end.
// Where it does take one, the file made to find out is gone again.
TEST_F(DriverTest, FolderThatTakesNoNewFileStopsTheRunBeforeAnyWalk) {
  EXPECT_EQ(RunWith("#DEV C:\\data,A\n"), 0);
  EXPECT_EQ(Catalogues(), std::vector<std::string>{"A.kvl"});
  const std::vector<std::string>& log = fake_.log();
  const auto probe = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("create C:\\cats\\.kvl.tmp.", 0) == 0;
  });
  ASSERT_NE(probe, log.end());
  const std::string probed = probe->substr(std::string("create ").size());
  EXPECT_EQ(probed.size(), std::string("C:\\cats\\.kvl.tmp.").size() + 8);
  EXPECT_NE(std::find(probe, log.end(), "remove " + probed), log.end());
  const auto walkStored = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("create C:\\cats\\A.kvl.tmp.", 0) == 0;
  });
  EXPECT_LT(probe, walkStored);

  outText_.str("");
  errorText_.str("");
  fake_.Fail(FakePlatform::Op::Create, "C:\\cats\\*");
  EXPECT_EQ(RunWith("#DEV C:\\data,B\n#DEV C:\\data\\sub,C\n"), 3);
  EXPECT_EQ(outText_.str(), "") << "no device line is read";
  EXPECT_EQ(errorText_.str(),
            "Fatal Error: Cannot create files in the folder 'C:\\cats': Access is denied.\n");
  EXPECT_EQ(Catalogues(), std::vector<std::string>{"A.kvl"});
}

TEST_F(DriverTest, ParameterFileInADriveRootWritesIntoThatRoot) {
  // Drive C: keeps another current folder; the catalogues must still land in C:\.
  fake_.AddFolder("C:\\Windows");
  fake_.ChangeFolder("C:\\Windows");
  fake_.AddFileWithContent("C:\\params.txt", "#DEV C:\\data,Root\n");
  EXPECT_EQ(Run({"-f", "C:\\params.txt"}), 0);
  EXPECT_TRUE(fake_.Exists("C:\\Root.kvl"));
  EXPECT_FALSE(fake_.Exists("C:\\Windows\\Root.kvl"));
}

TEST_F(DriverTest, RelativeParameterFileIsTakenFromTheCurrentFolder) {
  fake_.ChangeFolder("C:\\cats");
  fake_.AddFileWithContent("C:\\cats\\params.txt", "#DEV C:\\data,Rel\n");
  EXPECT_EQ(Run({"/f", "params.txt"}), 0);
  EXPECT_TRUE(fake_.Exists("C:\\cats\\Rel.kvl"));
}

}  // namespace
}  // namespace ledra
