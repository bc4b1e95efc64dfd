// What the end-to-end tests share on every platform: one whole run of the program inside
// the test process, on the real machine, with its messages caught in strings, and plain
// file helpers that go through std::filesystem rather than the code under test.
#ifndef LEDRA_APP_END_TO_END_SUPPORT_H_
#define LEDRA_APP_END_TO_END_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/driver.h"
#include "catalog/tree_check_testing.h"
#include "catalog/catalog_test_support.h"
#include "platform/message_sink.h"
#include "platform/platform.h"

namespace ledra {
namespace e2e {

// What one run left behind on its two streams, its exit status, and whether the process
// was back in the folder it started from (a run changes folder while it works).
struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  bool folderRestored = false;
  std::string folderAfter;
};

// Runs the program as "LedraCmd -f <parameterFile>" on the real platform.
inline RunResult RunInProcess(const std::string& parameterFile) {
  RunResult result;
  std::error_code ec;
  const std::filesystem::path before = std::filesystem::current_path(ec);
  std::ostringstream outText;
  std::ostringstream errorText;
  {
    MessageSink out(outText);
    MessageSink errors(errorText);
    std::unique_ptr<Platform> platform = NewRealPlatform(errors);
    const char* argv[] = {"LedraCmd", "-f", parameterFile.c_str()};
    result.status = RunDriver(3, argv, *platform, out, errors);
  }
  const std::filesystem::path after = std::filesystem::current_path(ec);
  result.folderAfter = after.string();
  result.folderRestored = !ec && after == before;
  result.out = outText.str();
  result.err = errorText.str();
  return result;
}

using test::WriteWholeFile;

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, sorted, hidden ones included.
inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Reads a catalogue file whole: ASSERT_TRUE(LoadCatalog(path, &catalog)) names the
// fault of a file that does not parse.
inline ::testing::AssertionResult LoadCatalog(const std::string& path, CatalogContents* catalog) {
  ReadProblem problem;
  if (ledra::LoadCatalog(ReadBytes(path), catalog, &problem)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "'" << path << "': " << problem.Text();
}

// A check of a catalogue against its tree, as an assertion that lists every problem.
inline ::testing::AssertionResult MatchesTree(const CatalogContents& catalog,
                                              const std::string& treeRoot,
                                              const TreeCheckOptions& options) {
  const std::vector<std::string> problems = CheckCatalogAgainstTree(catalog, treeRoot, options);
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the catalogue does not describe " << treeRoot << ":\n"
                                       << JoinProblems(problems);
}

// A whole modern disk in small: files of 3 GiB, 4 GiB + 100 bytes and 5 GiB in the root,
// kDeepestFile (10 bytes) three folders down, and folders 1 to kNumberedFolders in the root:
// 65,535 folders with the root, the most version 5 numbers.
inline const uint64_t kLargeFiles[] = {3ull << 30, (4ull << 30) + 100, 5ull << 30};
inline std::string LargeFileName(uint64_t size) { return "large-" + std::to_string(size); }
constexpr const char* kDeepestFile = "nest/inner/innermost/deepest.txt";
constexpr int kNumberedFolders = 65531;

// Catalogues such a tree at `tree` three times with `parameters`, into `catalogue`: as it
// is (version 5, the large sizes clamped); with two folders more (version 6, true sizes,
// the deepest folder numbered past 16 bits); once more, when the version-6 catalogue is
// recognised and becomes the backup, its comment carried over. The first two catalogues are
// read back in full and held against the tree.
inline void RunsBeyondVersion5(const std::string& tree, const std::string& parameterFile,
                               const std::string& parameters, const std::string& catalogue,
                               TreeCheckOptions options) {
  struct Run {
    int addFolders;
    int16_t version;
    uint32_t innermost;   // folder number of nest/inner/innermost
    const char* comment;  // given to the catalogue after the run
    bool checkTree;       // the last run walks the tree the one before walked
  };
  const Run runs[] = {
      {0, 5, 65534, "five", true}, {2, 6, 65536, "six", true}, {0, 6, 65536, "", false}};
  options.folder0Path = "";
  const char separator = tree.find('\\') != std::string::npos ? '\\' : '/';
  const std::string base = tree.back() == separator ? tree.substr(0, tree.size() - 1) : tree;
  WriteWholeFile(parameterFile, parameters);
  std::string previous;
  std::string expectedComment;
  for (const Run& run : runs) {
    SCOPED_TRACE("version " + std::to_string(run.version));
    for (int i = 0; i < run.addFolders; ++i) {
      std::filesystem::create_directory(base + separator + "extra" + std::to_string(i));
    }
    const RunResult r = RunInProcess(parameterFile);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    CatalogContents c;
    ASSERT_TRUE(LoadCatalog(catalogue, &c));
    EXPECT_EQ(c.header.version, run.version);
    EXPECT_EQ(c.header.comment, expectedComment);
    if (run.checkTree) {
      EXPECT_TRUE(MatchesTree(c, tree, options));
    }
    if (!previous.empty()) {
      EXPECT_EQ(ReadBytes(catalogue + ".bak"), previous);
    }
    double total = 10;
    for (const uint64_t size : kLargeFiles) {
      const int64_t stored = run.version == 5 ? 2147483647 : static_cast<int64_t>(size);
      total += static_cast<double>(stored);
      const auto large = std::find_if(c.entries.begin(), c.entries.end(), [&](const CatalogEntry& e) {
        return e.name == LargeFileName(size);
      });
      ASSERT_NE(large, c.entries.end()) << size;
      EXPECT_EQ(large->size, stored);
    }
    EXPECT_EQ(c.folders[0].totalSize, total);
    EXPECT_EQ(c.entries.back().name, "deepest.txt");
    EXPECT_EQ(c.entries.back().folderIndex, run.innermost);

    std::string patched;
    std::string why;
    ASSERT_TRUE(ReplaceComment(ReadBytes(catalogue), run.comment, &patched, &why)) << why;
    WriteWholeFile(catalogue, patched);
    previous = patched;
    expectedComment = run.comment;
  }
}

}  // namespace e2e
}  // namespace ledra

#endif  // LEDRA_APP_END_TO_END_SUPPORT_H_
