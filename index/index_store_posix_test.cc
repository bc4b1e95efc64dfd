// The index store on a real POSIX file system: two processes writing the same index at
// once while a third reads it, a catalogue replaced while it is read, and a file system
// that fills up while an index is written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "index/index_builder.h"
#include "index/index_store.h"
#include "index/indexed_candidates.h"
#include "index/name_trigrams.h"
#include "index/pattern_literals.h"
#include "platform/platform.h"
#include "platform/temp_tree_testing.h"
#include "query/find_query.h"
#include "query/record_writer.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

std::string Catalogue(int files) {
  test::LaidCatalog volume;
  volume.root = "/mnt/big/";
  std::vector<test::TreeItem> items;
  for (int i = 0; i < files; ++i) {
    items.push_back({"f" + std::to_string(i % 50) + "/report-" + std::to_string(i * 7919) + ".pdf",
                     i, 1600000000});
  }
  return test::TreeCatalog(volume, items);
}

class IndexStorePosixTest : public ::testing::Test {
 protected:
  IndexStorePosixTest() : errors_(errorText_), platform_(NewRealPlatform(errors_)) {}

  // Opens the catalogue at `path` and builds its index bytes and identity.
  std::string Build(IndexStore& store, const std::string& path, CatalogIdentity* identity) {
    CatalogReader reader;
    ReadProblem problem;
    EXPECT_TRUE(reader.Open(*platform_, path, &problem)) << problem.Text();
    std::string why;
    EXPECT_TRUE(store.Identify(path, reader, identity, &why)) << why;
    return BuildIndex(reader, *identity);
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  std::unique_ptr<Platform> platform_;
};

TEST_F(IndexStorePosixTest, TwoWritersAtOnceNeverShowAHalfWrittenIndex) {
  TempTree tree(TempTreeStorage::Memory);
  tree.MakeFile("A.kvl", Catalogue(4000));
  setenv("LEDRA_INDEX_DIR", tree.Path("index").c_str(), 1);
  IndexStore store(*platform_);
  std::string why;
  ASSERT_TRUE(store.Locate(&why)) << why;
  CatalogIdentity identity;
  const std::string bytes = Build(store, tree.Path("A.kvl"), &identity);
  ASSERT_GT(bytes.size(), 50000u);
  std::vector<pid_t> writers;
  for (int w = 0; w < 2; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0) << std::strerror(errno);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < 150; ++i) {
        std::string what;
        OsError err;
        failures += !store.Write(identity, bytes, &what, &err);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    writers.push_back(pid);
  }
  int seen = 0;
  int missing = 0;
  for (int running = 2; running > 0;) {
    std::unique_ptr<IndexFile> index;
    const IndexState state = store.Open(identity, &index, nullptr, &why);
    ASSERT_TRUE(state == IndexState::Current || state == IndexState::Missing)
        << IndexStateName(state) << ": " << why;
    (state == IndexState::Current ? seen : missing) += 1;
    running = 0;
    for (pid_t pid : writers) running += waitpid(pid, nullptr, WNOHANG) == 0;
  }
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every write succeeded";
  }
  EXPECT_GT(seen + missing, 10) << "the index was read while it was written";
  std::unique_ptr<IndexFile> index;
  EXPECT_EQ(store.Open(identity, &index, nullptr, &why), IndexState::Current) << why;
  std::vector<FolderName> names;
  ASSERT_TRUE(platform_->ListFolder(tree.Path("index"), &names));
  ASSERT_EQ(names.size(), 1u) << "no temporary file is left: " << names[0].name;
  unsetenv("LEDRA_INDEX_DIR");
}

// A catalogue replaced between opening and identifying by one of the same size, time, header
// and last bytes: the identity is the opened file's, so that an index built from what was
// read is never taken for the new file's.
TEST_F(IndexStorePosixTest, TheIdentityIsOfTheFileOpenedNotOfItsSuccessor) {
  TempTree tree(TempTreeStorage::Disk);
  std::string old = Catalogue(4000);
  std::string successor = old;
  const size_t middle = successor.find("report-", successor.size() / 2);
  ASSERT_NE(middle, std::string::npos);
  successor[middle] = 'R';
  tree.MakeFile("A.kvl", old);
  tree.MakeFile("B.kvl", successor);
  struct stat status;
  ASSERT_EQ(stat(tree.Path("A.kvl").c_str(), &status), 0);
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("B.kvl").c_str(), times, 0), 0);
  IndexStore store(*platform_);
  CatalogReader reader;
  ReadProblem problem;
  ASSERT_TRUE(reader.Open(*platform_, tree.Path("A.kvl"), &problem)) << problem.Text();
  ASSERT_EQ(rename(tree.Path("B.kvl").c_str(), tree.Path("A.kvl").c_str()), 0);
  CatalogIdentity opened;
  CatalogIdentity now;
  std::string why;
  ASSERT_TRUE(store.Identify(tree.Path("A.kvl"), reader, &opened, &why)) << why;
  Build(store, tree.Path("A.kvl"), &now);
  EXPECT_EQ(opened.size, now.size);
  EXPECT_EQ(opened.modifiedNanoseconds, now.modifiedNanoseconds);
  EXPECT_EQ(opened.contentSum, now.contentSum) << "the bytes compared are alike";
  EXPECT_FALSE(opened == now);
}

TEST_F(IndexStorePosixTest, AFullFileSystemLeavesFindWithTheScanAndOneNotice) {
  TempTree tree(TempTreeStorage::Disk);
  tree.MakeFolder("cats");
  tree.MakeFolder("small");
  tree.MakeFile("cats/A.kvl", Catalogue(3000));
  tree.MakeFile("cats/B.kvl", Catalogue(2000));
  const std::string small = tree.Path("small");
  if (geteuid() != 0 || mount("tmpfs", small.c_str(), "tmpfs", 0, "size=24k") != 0) {
    GTEST_SKIP() << "a small tmpfs needs root and the right to mount: " << std::strerror(errno);
  }
  setenv("LEDRA_INDEX_DIR", small.c_str(), 1);
  IndexStore store(*platform_);
  std::string why;
  ASSERT_TRUE(store.Locate(&why)) << why;
  FindOptions options;
  options.pattern = "report-7";
  std::vector<std::string> unreadable;
  const std::vector<CatalogFile> files =
      ListCatalogFiles(*platform_, {tree.Path("cats")}, false, &unreadable);
  auto find = [&](CandidateSource* candidates) {
    StringSink out;
    FindOutcome outcome;
    std::string error;
    EXPECT_TRUE(RunFind(*platform_, files, options, {OutputFormat::Text, false}, out, &outcome,
                        &error, candidates));
    return out.text + "|" + std::to_string(outcome.matches);
  };
  IndexedCandidates candidates(*platform_, store, RequiredTrigrams(PatternRuns(options.pattern)),
                               1000000, 0);
  const std::string indexed = find(&candidates);
  const std::vector<std::string> notices = candidates.Notices();
  std::vector<FolderName> left;
  platform_->ListFolder(small, &left);
  umount2(small.c_str(), MNT_DETACH);
  unsetenv("LEDRA_INDEX_DIR");
  EXPECT_EQ(indexed, find(nullptr));
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("No space left"), std::string::npos) << notices[0];
  EXPECT_TRUE(left.empty()) << left[0].name;
}

}  // namespace
}  // namespace ledra
