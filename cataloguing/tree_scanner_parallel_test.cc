// Walks that read folders ahead on several threads must write, byte for byte, the
// catalogue of the walk that reads one folder at a time: through the fake with listings
// that wait a random while, and on real folders.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cataloguing/tree_scanner.h"
#include "platform/fake_platform.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

// What one walk gave: its result, failure text, reports, and the catalogue file written
// from its tables (the walk's tables even when it failed), the timestamp blanked.
struct Outcome {
  int32_t result = 0;
  std::string failure;
  std::string reports;
  std::string bytes;
};

constexpr size_t kTimestampOffset = 6;

Outcome Walk(Platform& platform, std::ostringstream& reports, const std::string& root,
             const std::string& ignore, int recursive, int threads, size_t recordLimit,
             const std::string& file) {
  reports.str("");
  VolumeCatalog catalog;
  TreeScanner scanner(platform, catalog, recordLimit);
  scanner.SetThreads(threads);
  Outcome outcome;
  outcome.result = scanner.Scan(root, ignore, recursive);
  outcome.failure = scanner.failure();
  outcome.reports = reports.str();
  OsError err;
  platform.Remove(file, &err);
  catalog.filePath = file;
  if (catalog.WriteCatalog(platform) != 1) return outcome;
  std::unique_ptr<File> in = platform.OpenForReading(file, &err);
  char buffer[1 << 16];
  size_t got = 0;
  while (in && in->Read(buffer, sizeof buffer, &got, &err) && got > 0) {
    outcome.bytes.append(buffer, got);
  }
  if (outcome.bytes.size() >= kTimestampOffset + 4) {
    outcome.bytes.replace(kTimestampOffset, 4, 4, '\0');
  }
  return outcome;
}

void ExpectSameWalk(const Outcome& parallel, const Outcome& single) {
  EXPECT_EQ(parallel.result, single.result);
  EXPECT_EQ(parallel.failure, single.failure);
  EXPECT_EQ(parallel.reports, single.reports);
  EXPECT_FALSE(single.bytes.empty());
  EXPECT_TRUE(parallel.bytes == single.bytes) << "the catalogues differ";
}

class FakeParallelWalkTest : public ::testing::Test {
 protected:
  FakeParallelWalkTest() : errors_(reports_), fake_(errors_) { fake_.AddFolder("C:\\out"); }

  // A random tree below R:\t: folders of folders and files, some named for the ignore
  // list, some that cannot be listed (denied: silent), some replaced since their parent
  // was listed (reported), some not entered.
  void GrowTree(uint32_t seed, int items) {
    std::mt19937 random(seed);
    std::vector<std::string> folders{"R:\\t"};
    fake_.AddFolder("R:\\t");
    for (int i = 0; i < items; ++i) {
      const std::string parent = folders[random() % folders.size()];
      const std::string path = parent + "\\n" + std::to_string(i);
      const unsigned kind = random() % 24;
      if (kind < 8) {
        fake_.AddFolder(path + (kind == 0 ? "skip" : ""));
        folders.push_back(path + (kind == 0 ? "skip" : ""));
        if (kind == 1) fake_.Fail(FakePlatform::Op::List, path);
        if (kind == 2 && i % 2 == 0) fake_.Fail(FakePlatform::Op::Swap, path);
        if (kind == 3 && i % 3 == 0) fake_.SetEnterable(path, false);
      } else {
        fake_.AddFile(path + (kind % 5 == 0 ? ".tmp" : ""), random() % 100000, random());
      }
    }
  }

  Outcome WalkR(const std::string& ignore, int recursive, int threads,
                size_t recordLimit = kMaxRecords) {
    return Walk(fake_, reports_, "R:\\t", ignore, recursive, threads, recordLimit,
                "C:\\out\\w.kvl");
  }

  std::ostringstream reports_;
  MessageSink errors_;
  FakePlatform fake_;
};

TEST_F(FakeParallelWalkTest, SameCatalogueWhateverTheThreadsAndDelays) {
  GrowTree(13, 2500);
  fake_.SetListingDelays(300, 5);
  struct Case {
    const char* what;
    const char* ignore;
    int recursive;
    size_t recordLimit;
    int32_t result;  // 1: any count above 0
  };
  const size_t all = static_cast<size_t>(WalkR("", 1, 1).result);
  ASSERT_GT(all, 500u);
  const Case cases[] = {
      {"whole tree", "", 1, kMaxRecords, 1},
      {"ignore list", "*.tmp \\*skip n1*", 1, kMaxRecords, 1},
      {"root only", "", 0, kMaxRecords, 1},
      {"record limit reached early", "", 1, 50, -1},
      {"record limit reached late", "", 1, all - 100, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome single = WalkR(c.ignore, c.recursive, 1, c.recordLimit);
    EXPECT_EQ(single.result > 0 ? 1 : single.result, c.result);
    if (c.recursive == 1 && c.result > 0) {
      // Denied folders keep their silence; replaced ones are each told once.
      EXPECT_NE(single.reports.find("was replaced during the walk"), std::string::npos);
    }
    for (int threads : {2, 4, 8}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      ExpectSameWalk(WalkR(c.ignore, c.recursive, threads, c.recordLimit), single);
    }
  }
}

// Past 65,535 folders the catalogue switches to version 6 at the same folder, whatever
// the threads.
TEST_F(FakeParallelWalkTest, SameVersionSwitch) {
  fake_.AddFile("R:\\t\\first", 5);
  for (int i = 0; i < 65536; ++i) fake_.AddFolder("R:\\t\\" + std::to_string(i));
  fake_.AddFile("R:\\t\\65535\\deep", 7);
  const Outcome single = WalkR("", 1, 1);
  ASSERT_GT(single.bytes.size(), 6u);
  EXPECT_EQ(single.bytes[4], 6);
  ExpectSameWalk(WalkR("", 1, 4), single);
}

// The comparison sees a change of order: two files of one listing, or two folders of
// the root (which renumbers them), swapped after the one-thread walk.
TEST_F(FakeParallelWalkTest, ComparisonSeesAnyChangeOfOrder) {
  fake_.AddFile("R:\\t\\a\\x1", 1);
  fake_.AddFile("R:\\t\\a\\x2", 2);
  fake_.AddFile("R:\\t\\b\\y", 3);
  fake_.AddFolder("R:\\t\\b\\z");
  const Outcome single = WalkR("", 1, 1);
  struct Swap {
    const char* folder;
    std::vector<std::string> order;
  };
  const Swap swaps[] = {{"R:\\t\\a", {"x2", "x1"}}, {"R:\\t", {"b", "a"}}};
  for (const Swap& swap : swaps) {
    SCOPED_TRACE(swap.folder);
    const std::vector<std::string> order = fake_.List(swap.folder);
    fake_.SetListingOrder(swap.folder, swap.order);
    const Outcome perturbed = WalkR("", 1, 4);
    EXPECT_EQ(perturbed.result, single.result);
    EXPECT_FALSE(perturbed.bytes == single.bytes);
    fake_.SetListingOrder(swap.folder, order);
    ExpectSameWalk(WalkR("", 1, 4), single);
  }
}

TEST(RealParallelWalkTest, SameCatalogueOnRealFolders) {
  std::ostringstream reports;
  MessageSink errors(reports);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  TempTree tree;
  TempTree out;
  std::mt19937 random(3);
  std::vector<std::string> folders{""};
  for (int i = 0; i < 600; ++i) {
    const std::string parent = folders[random() % folders.size()];
    const std::string path = parent + (parent.empty() ? "" : "/") + "n" + std::to_string(i);
    if (random() % 3 == 0) {
      tree.MakeFolder(path);
      folders.push_back(path);
    } else {
      tree.MakeFile(path + (random() % 5 == 0 ? ".tmp" : ""), std::string(random() % 64, 'x'));
    }
  }
  const std::string file = out.Path("w.kvl");
  for (const char* ignore : {"", "*.tmp \\n1*"}) {
    SCOPED_TRACE(ignore);
    const Outcome single = Walk(*platform, reports, tree.root(), ignore, 1, 1, kMaxRecords, file);
    ASSERT_GT(single.result, 0);
    for (int threads : {2, 8}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      ExpectSameWalk(Walk(*platform, reports, tree.root(), ignore, 1, threads, kMaxRecords, file),
                     single);
    }
  }
}

}  // namespace
}  // namespace ledra
