// Whole runs on Linux that meet trouble: devices that fail, a catalogue folder that cannot
// be written, a catalogue filesystem that fills up. The program runs as a separate process
// where its exit status and the exact bytes of its two streams matter, and in no case may
// a run cost a volume its last good catalogue.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/end_to_end_posix_support.h"
#include "app/end_to_end_support.h"
#include "catalog/tree_check_testing.h"

namespace ledra {
namespace {

namespace fs = std::filesystem;
using e2e::Lines;
using e2e::LoadCatalog;
using e2e::MatchesTree;
using e2e::NamesIn;
using e2e::ReadBytes;
using e2e::WriteWholeFile;

using Names = std::vector<std::string>;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class EndToEndFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    tree_ = scratch_.Folder("tree");
    other_ = scratch_.Folder("other");
    WriteWholeFile(tree_ + "/a.txt", "0123456789");
    fs::create_directories(tree_ + "/sub");
    WriteWholeFile(tree_ + "/sub/b.txt", "01234");
    WriteWholeFile(other_ + "/o.txt", "ooo");
  }

  e2e::ScratchFolder scratch_;
  e2e::MountStack mounts_;
  std::string tree_;
  std::string other_;
};

// The program as a scheduler sees it: exit status, standard output and standard error.
TEST_F(EndToEndFailureTest, ExitStatusAndStreamsOfWholeProcesses) {
  const std::string missing = scratch_ / "missing";
  struct Case {
    std::string name;
    std::string parameters;         // written to <cats>/params.txt unless empty
    std::vector<std::string> args;  // after the program's path; "@" is <cats>/params.txt
    bool runInCats;
    int status;
    std::string out;
    std::string err;  // exact, or a prefix when errIsPrefix
    bool errIsPrefix;
    Names files;
  };
  const std::vector<Case> cases = {
      {"a failing root between two good ones",
       "#DEV " + tree_ + ",A\n#DEV " + missing + "\n#DEV " + other_ + ",B\n",
       {"-f", "@"},
       false,
       5,
       "Add: " + tree_ + "\nAdd: " + missing + "\nAdd: " + other_ + "\n",
       e2e::DeviceFailure(missing, e2e::kNoRoot),
       false,
       {"A.kvl", "B.kvl"}},
      {"a relative parameter file, /F",
       "#DEV " + tree_ + ",A\n",
       {"/F", "params.txt"},
       true,
       0,
       "Add: " + tree_ + "\n",
       "",
       false,
       {"A.kvl"}},
      {"CRLF line ends, and Ctrl-Z ends the text",
       "#DEV " + tree_ + ",A\r\n\x1a#DEV " + other_ + ",B\r\n",
       {"-f", "@"},
       false,
       0,
       "Add: " + tree_ + "\n",
       "",
       false,
       {"A.kvl"}},
      {"no argument", "", {}, false, 0, "", "*** LedraCmd", true, {}},
      {"no parameter file named", "", {"-f"}, false, 2, "", "*** LedraCmd", true, {}},
      {"the file named without -f", "", {"@"}, false, 2, "", "*** LedraCmd", true, {}},
      {"the version", "", {"--version"}, false, 0, "LedraCmd 1.0\n", "", false, {}},
      {"a parameter file that cannot be read",
       "",
       {"-f", missing},
       false,
       3,
       "",
       "Fatal Error: Cannot read the parameter file '" + missing + "'\n",
       false,
       {}},
  };
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string cats = scratch_.Folder("cats" + std::to_string(++n));
    if (!k.parameters.empty()) WriteWholeFile(cats + "/params.txt", k.parameters);
    std::vector<std::string> argv{LEDRA_CMD_PATH};
    for (const std::string& a : k.args) argv.push_back(a == "@" ? cats + "/params.txt" : a);
    const e2e::ProcessResult p = e2e::RunProcess(argv, k.runInCats ? cats : "/");
    ASSERT_TRUE(p.exited) << p.err;
    EXPECT_EQ(p.status, k.status);
    EXPECT_EQ(p.out, k.out);
    if (k.errIsPrefix) {
      EXPECT_TRUE(StartsWith(p.err, k.err)) << p.err;
      EXPECT_NE(p.err.find("LedraCmd -f parameter_file\n"), std::string::npos) << p.err;
    } else {
      EXPECT_EQ(p.err, k.err);
    }
    Names expected = k.files;
    if (!k.parameters.empty()) expected.push_back("params.txt");
    EXPECT_EQ(NamesIn(cats), expected);
    for (const std::string& file : k.files) {
      CatalogContents c;
      ASSERT_TRUE(LoadCatalog(cats + "/" + file, &c));
      EXPECT_TRUE(MatchesTree(c, file == "A.kvl" ? tree_ : other_, e2e::NativeCheckOptions()));
    }
  }
}

// A catalogue folder the run may not write to, as an ordinary user sees root's folder:
// the run stops with status 3 before it walks any device (no device line is even echoed),
// in one line naming the folder and the cause, and the earlier catalogue is untouched.
TEST_F(EndToEndFailureTest, CatalogueFolderThatCannotBeWritten) {
  const std::string cats = scratch_.Folder("cats");
  WriteWholeFile(cats + "/params.txt", "#DEV " + tree_ + ",A\n");
  ASSERT_EQ(e2e::RunInProcess(cats + "/params.txt").err, "");
  const std::string earlier = ReadBytes(cats + "/A.kvl");
  ASSERT_NE(earlier, "<missing>");

  const std::string missing = scratch_ / "missing";
  WriteWholeFile(cats + "/params.txt",
                 "#DEV " + missing + "\n#DEV " + tree_ + ",A\n#DEV " + other_ + ",B\n");
  // Root runs it as user nobody, to whom the folder (mode 0755) is not writable; any
  // other user takes the write permission from its own folder.
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(cats.c_str(), 0555), 0);
  }
  const e2e::ProcessResult p = e2e::RunLedraCmd(
      cats + "/params.txt", geteuid() == 0 ? e2e::kAsNobody : std::vector<std::string>{});
  chmod(cats.c_str(), 0755);
  if (p.out.empty() && (StartsWith(p.err, "setpriv") || StartsWith(p.err, "exec "))) {
    GTEST_SKIP() << "cannot start the program as another user: " << p.err;
  }
  ASSERT_TRUE(p.exited) << p.err;
  EXPECT_EQ(p.status, 3);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err,
            "Fatal Error: Cannot create files in the folder '" + cats + "': Permission denied\n");
  EXPECT_EQ(NamesIn(cats), (Names{"A.kvl", "params.txt"}));
  EXPECT_EQ(ReadBytes(cats + "/A.kvl"), earlier);
}

// The catalogue folder on a filesystem too small for the new catalogue: the write fails,
// is reported once, the earlier catalogue stays as it was and no partial file is left,
// whether the write fails on a full block or on the last bytes.
TEST_F(EndToEndFailureTest, CatalogueFilesystemRunsFull) {
  struct Case {
    const char* name;
    int files;  // ~55 bytes of catalogue each: over the free room, under or over 128 KiB
  };
  const std::vector<Case> cases = {{"fails on the last bytes", 1500},
                                   {"fails on a full block", 3000}};
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string cats = scratch_.Folder("cats" + std::to_string(++n));
    const std::string big = scratch_.Folder("big" + std::to_string(n));
    std::string why;
    if (!mounts_.Tmpfs(cats, "size=64k", &why)) GTEST_SKIP() << why;
    // Thousands of files are made far faster in memory than on the disk.
    if (!mounts_.Tmpfs(big, "size=8m", &why)) GTEST_SKIP() << why;
    WriteWholeFile(big + "/seed.txt", "seed");
    WriteWholeFile(cats + "/params.txt", "#DEV " + big + ",A\n#DEV " + other_ + ",B\n");
    ASSERT_EQ(e2e::RunInProcess(cats + "/params.txt").err, "");
    const std::string earlier = ReadBytes(cats + "/A.kvl");
    ASSERT_NE(earlier, "<missing>");
    fs::remove(cats + "/B.kvl");

    for (int i = 0; i < k.files; ++i) {
      WriteWholeFile(big + "/a-file-with-a-rather-long-name-number-" + std::to_string(100000 + i),
                     "");
    }
    const e2e::RunResult r = e2e::RunInProcess(cats + "/params.txt");
    EXPECT_EQ(r.status, 5);
    EXPECT_TRUE(r.folderRestored);
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_EQ(lines.size(), 3u) << r.err;
    EXPECT_TRUE(StartsWith(lines[0], "LedraCmd: cannot ")) << lines[0];
    EXPECT_NE(lines[0].find("'A.kvl.tmp."), std::string::npos) << lines[0];
    EXPECT_TRUE(EndsWith(lines[0], ": No space left on device")) << lines[0];
    EXPECT_EQ(lines[1] + "\n" + lines[2] + "\n", e2e::DeviceFailure(big, e2e::kNotWritten));
    // The run went on: the next device fits in the room the failed file gave back.
    EXPECT_EQ(NamesIn(cats), (Names{"A.kvl", "B.kvl", "params.txt"}));
    EXPECT_EQ(ReadBytes(cats + "/A.kvl"), earlier);
    CatalogContents c;
    ASSERT_TRUE(LoadCatalog(cats + "/B.kvl", &c));
    EXPECT_TRUE(MatchesTree(c, other_, e2e::NativeCheckOptions()));
  }
}

}  // namespace
}  // namespace ledra
