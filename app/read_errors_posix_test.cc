// Whole runs on Linux over a disk that fails to be read: a FUSE mirror (tools/
// fault_mirror.cc) answers chosen listings, statuses and reads with EIO. Every error is
// told with its cause, what was read is stored, a catalogue that cannot be read is never
// given a second one beside it, and the run's status shows that a device failed.
#include <gtest/gtest.h>
#include <sys/mount.h>
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
using e2e::NamesIn;
using e2e::ReadBytes;
using e2e::WriteWholeFile;
using Names = std::vector<std::string>;

// The mirror of `source` at `target`, unmounted when the test ends however it ends.
class FaultMirror {
 public:
  FaultMirror(const std::string& source, const std::string& target, const std::string& options)
      : target_(target) {
#ifdef LEDRA_FAULT_MIRROR_PATH
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
      why_ = "no usable /dev/fuse";
      return;
    }
    std::string command = std::string(LEDRA_FAULT_MIRROR_PATH) + " ";
    if (!options.empty()) command += "-o " + options + " ";
    command += "'" + source + "' '" + target + "' 2>&1";
    std::string output;
    if (test::RunCommand(command, &output) != 0) {
      why_ = "the mirror could not be mounted: " + output;
      return;
    }
    mounted_ = true;
#else
    (void)source;
    (void)options;
    why_ = "fault_mirror was not built (libfuse3-dev missing)";
#endif
  }
  ~FaultMirror() {
    if (mounted_) umount2(target_.c_str(), MNT_DETACH);
  }
  FaultMirror(const FaultMirror&) = delete;
  FaultMirror& operator=(const FaultMirror&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }

 private:
  std::string target_;
  bool mounted_ = false;
  std::string why_;
};

class ReadErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    if (geteuid() != 0) GTEST_SKIP() << "the mirror is mounted for all users, which needs root";
  }
  e2e::ScratchFolder scratch_;
};

TEST_F(ReadErrorsTest, ListingAndStatusErrorsAreToldAndTheDeviceFails) {
  const std::string source = scratch_.Folder("source");
  WriteWholeFile(source + "/ok.txt", "fine");
  WriteWholeFile(source + "/eio-stat", "hidden");
  fs::create_directory(source + "/eio-list");
  WriteWholeFile(source + "/eio-list/lost.txt", "lost");
  fs::create_directory(source + "/eio-after-98");
  for (int i = 0; i < 1000; ++i) {
    WriteWholeFile(source + "/eio-after-98/f" + std::to_string(i), "");
  }
  const std::string disk = scratch_.Folder("disk");
  FaultMirror mirror(source, disk, "");
  if (!mirror.mounted()) GTEST_SKIP() << mirror.why();

  const std::string cats = scratch_.Folder("cats");
  WriteWholeFile(cats + "/params.txt", "#DEV " + disk + ",Faulty\n");
  const e2e::ProcessResult p = e2e::RunLedraCmd(cats + "/params.txt");
  EXPECT_EQ(p.status, 5);
  // One line an error, in the order the folders were listed, then the summary.
  std::vector<std::string> lines = e2e::Lines(p.err);
  ASSERT_EQ(lines.size(), 4u) << p.err;
  EXPECT_EQ(lines.back(), "LedraCmd: the catalogue of '" + disk +
                              "' was stored without what could not be read (3 read errors)");
  lines.pop_back();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(
      lines,
      (Names{
          "LedraCmd: cannot list the folder '" + disk + "/eio-list': Input/output error",
          "LedraCmd: cannot list the whole folder '" + disk + "/eio-after-98': Input/output error",
          "LedraCmd: cannot read the status of '" + disk + "/eio-stat': Input/output error",
      }));

  CatalogContents c;
  ASSERT_TRUE(e2e::LoadCatalog(cats + "/Faulty.kvl", &c));
  std::vector<std::string> top;
  uint32_t cutFolder = 0;
  for (const auto& e : c.entries) {
    if (e.folderIndex != 0) continue;
    top.push_back(std::string(e.name));
    if (e.name == "eio-after-98") cutFolder = e.FolderNumber();
  }
  size_t inCut = 0;
  for (const auto& e : c.entries) inCut += cutFolder != 0 && e.folderIndex == cutFolder;
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (Names{"eio-after-98", "eio-list", "ok.txt"}));
  EXPECT_EQ(inCut, 98u) << "the names listed before the error are kept";
}

TEST_F(ReadErrorsTest, CatalogueUnreadableForAnErrorIsNotGivenASecondOne) {
  const std::string tree = scratch_.Folder("tree");
  WriteWholeFile(tree + "/a.txt", "a");
  const std::string kept = scratch_.Folder("kept");
  WriteWholeFile(kept + "/params.txt", "#DEV " + tree + ",DATA\n");
  ASSERT_EQ(e2e::RunLedraCmd(kept + "/params.txt").status, 0);
  const std::string stored = ReadBytes(kept + "/DATA.kvl");

  const std::string cats = scratch_.Folder("cats");
  FaultMirror mirror(kept, cats, "eio_read=DATA.kvl");
  if (!mirror.mounted()) GTEST_SKIP() << mirror.why();
  const e2e::ProcessResult p = e2e::RunLedraCmd(cats + "/params.txt");
  EXPECT_EQ(p.status, 5);
  EXPECT_EQ(p.err,
            "LedraCmd: cannot read 'DATA.kvl': Input/output error\n"
            "Error occured while cataloging " +
                tree +
                ".\n"
                "LedraCmd: cannot catalogue '" +
                tree + "': the catalogue 'DATA.kvl' could not be read and may be this volume's\n");
  EXPECT_EQ(NamesIn(kept), (Names{"DATA.kvl", "params.txt"}));
  EXPECT_EQ(ReadBytes(kept + "/DATA.kvl"), stored);
}

}  // namespace
}  // namespace ledra
