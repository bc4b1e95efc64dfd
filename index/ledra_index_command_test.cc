// `ledra index` and `ledra find` on real files of this machine (natively and under Wine):
// indexes built, listed with their state, used by find with the scan's output, found
// stale once a catalogue is replaced, and pruned once it is gone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/ledra_cli.h"
#include "index/index_store.h"
#include "platform/platform.h"
#include "platform/temp_tree_testing.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

void SetVariable(const char* name, const std::string& value) {
#if defined(_WIN32)
  // The C runtime copies the text; "NAME=" with nothing after it removes the variable.
  _putenv((std::string(name) + "=" + value).c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// A catalogue as the Linux build writes it (a root below /mnt) or as the Windows build
// does (a drive root, backslashes).
std::string Catalogue(const std::string& word, int16_t version, bool windows) {
  test::LaidCatalog volume;
  volume.version = version;
  volume.root = windows ? "D:\\" : "/mnt/" + word + "/";
  volume.volumeName = word;
  std::vector<test::TreeItem> items;
  for (int f = 0; f < 5; ++f) {
    const std::string folder = "Folder" + std::to_string(f) + "/";
    items.push_back({folder, 0, 1600000000});
    for (int i = 0; i < 40; ++i) {
      items.push_back(
          {folder + word + "-" + std::to_string(i) + (i % 2 ? ".txt" : ".JPG"), i, 1600000000 + i});
    }
  }
  return test::TreeCatalog(volume, items);
}

class LedraIndexCommandTest : public ::testing::Test {
 protected:
  LedraIndexCommandTest()
      : errors_(errorText_), platform_(NewRealPlatform(errors_)), tree_(TempTreeStorage::Memory) {
    tree_.MakeFolder("cats");
    tree_.MakeFolder("cache");
    tree_.MakeFile("cats/Five.kvl", Catalogue("alpha", 5, false));
    tree_.MakeFile("cats/Seven.kvl", Catalogue("delta", 5, true));
    tree_.MakeFile("cats/Six.kvl", Catalogue("beta", 6, true));
    SetVariable("LEDRA_INDEX_DIR", tree_.Path("cache/index"));
  }
  ~LedraIndexCommandTest() override { SetVariable("LEDRA_INDEX_DIR", ""); }

  struct Outcome {
    int status;
    std::string out;
    std::string errors;
  };
  Outcome Run(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--in", tree_.Path("cats")});
    args.insert(args.begin(), "ledra");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    StringSink out;
    errorText_.str("");
    ReaderContext context{*platform_, out, errors_, nullptr, 1700000000, 2};
    const int status = RunReader(static_cast<int>(argv.size()), argv.data(), context);
    return {status, out.text, errorText_.str()};
  }
  // find through the indexes and with --no-index: the same in every respect.
  void ExpectFindAsScan(const std::vector<std::string>& args) {
    std::vector<std::string> scan = args;
    scan.push_back("--no-index");
    const Outcome indexed = Run(args);
    const Outcome scanned = Run(scan);
    EXPECT_EQ(indexed.status, scanned.status) << args[1];
    EXPECT_EQ(indexed.out, scanned.out) << args[1];
    EXPECT_EQ(indexed.errors, scanned.errors) << args[1];
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  std::unique_ptr<Platform> platform_;
  TempTree tree_;
};

TEST_F(LedraIndexCommandTest, BuildListUseReplaceAndPrune) {
  const std::string five = tree_.Path("cats/Five.kvl");
  const std::string six = tree_.Path("cats/Six.kvl");
  const std::string seven = tree_.Path("cats/Seven.kvl");
  Outcome status = Run({"index", "--status"});
  EXPECT_EQ(status.out,
            "missing\t-\t" + five + "\nmissing\t-\t" + seven + "\nmissing\t-\t" + six + "\n");
  EXPECT_EQ(Run({"index"}).status, 0);
  status = Run({"index", "--status"});
  EXPECT_EQ(status.out.find("current\t"), 0u) << status.out;
  EXPECT_NE(status.out.find("\ncurrent\t"), std::string::npos) << status.out;

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"find", "alpha-1"},
                                             {"find", "BETA-3", "--json"},
                                             {"find", "delta-2", "-0"},
                                             {"find", "*ta-2?.txt", "--csv"},
                                             {"find", "--regex", "a-1[0-9]\\.jpg$"},
                                             {"find", "alpha", "--count"},
                                             {"find", "nothing-like-it"},
                                             {"find", "Folder", "--type", "d", "--limit", "3"}}) {
    ExpectFindAsScan(args);
  }

  // Replaced as LedraCmd replaces a catalogue: a new file renamed over the old one.
  tree_.MakeFile("cats/Six.kvl.new", Catalogue("gamma", 6, false));
  OsError err;
  ASSERT_TRUE(platform_->Rename(tree_.Path("cats/Six.kvl.new"), six, &err)) << err.text;
  status = Run({"index", "--status"});
  EXPECT_NE(status.out.find("stale\t"), std::string::npos) << status.out;
  ExpectFindAsScan({"find", "gamma-1"});
  EXPECT_EQ(Run({"index"}).status, 0);
  EXPECT_EQ(Run({"index", "--status"}).out.find("stale"), std::string::npos);
  ExpectFindAsScan({"find", "gamma-1"});

  // A catalogue gone: its index goes with --prune, the other stays.
  ASSERT_TRUE(platform_->Remove(five, &err)) << err.text;
  const Outcome pruned = Run({"index", "--prune"});
  EXPECT_EQ(pruned.status, 0);
  EXPECT_EQ(pruned.out.find("removed "), 0u) << pruned.out;
  EXPECT_EQ(pruned.out.find('\n'), pruned.out.size() - 1) << pruned.out;
  EXPECT_EQ(Run({"index", "--status"}).out.find("current\t"), 0u);
}

TEST_F(LedraIndexCommandTest, AnUnwritableIndexFolderFailsIndexButNotFind) {
  tree_.MakeFile("blocker", "a file where the folder of indexes would be");
  SetVariable("LEDRA_INDEX_DIR", tree_.Path("blocker") + NativeSeparator() + "index");
  const Outcome index = Run({"index"});
  EXPECT_EQ(index.status, 2);
  EXPECT_EQ(index.errors.find("ledra: cannot create the folder"), 0u) << index.errors;
  EXPECT_EQ(index.errors.find('\n'), index.errors.size() - 1) << "one line: " << index.errors;
  ExpectFindAsScan({"find", "alpha-1"});
}

TEST_F(LedraIndexCommandTest, WithoutTheVariableIndexesLiveInTheUsersCacheFolder) {
  // Found, never made: nothing is written into the real home here.
  SetVariable("LEDRA_INDEX_DIR", "");
  std::string cache;
  ASSERT_TRUE(platform_->UserCacheFolder(&cache));
  std::string expected;
#if defined(_WIN32)
  ASSERT_TRUE(platform_->EnvironmentValue("LOCALAPPDATA", &expected));
#else
  std::string xdg;
  if (platform_->EnvironmentValue("XDG_CACHE_HOME", &xdg) && !xdg.empty() && xdg[0] == '/') {
    expected = xdg;
  } else {
    ASSERT_TRUE(platform_->EnvironmentValue("HOME", &expected));
    expected = platform_->WithoutTrailingSeparator(expected) + "/.cache";
  }
#endif
  EXPECT_EQ(cache, platform_->WithoutTrailingSeparator(expected));
  IndexStore store(*platform_);
  std::string why;
  ASSERT_TRUE(store.Locate(&why)) << why;
  const char sep = NativeSeparator();
  EXPECT_EQ(store.folder(), cache + sep + "ledra" + sep + "index");
  SetVariable("LEDRA_INDEX_DIR", tree_.Path("elsewhere") + sep);
  ASSERT_TRUE(store.Locate(&why)) << why;
  EXPECT_EQ(store.folder(), tree_.Path("elsewhere"));
}

}  // namespace
}  // namespace ledra
