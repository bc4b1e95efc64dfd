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
#include "catalog/catalog_test_support.h"
#include "catalog/tree_check_testing.h"
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
  // UTF-8: on Windows the folder's name need not fit the ANSI code page.
  result.folderAfter = after.u8string();
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

// The lines of `text`, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The names in a folder, sorted, hidden ones included.
inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    // The lock file that LedraCmd leaves in its working folder on POSIX; the lock tests
    // look at it on their own.
    if (it->path().filename() == ".ledra.lock") continue;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Reads a catalogue file whole: ASSERT_TRUE(LoadCatalog(path, &catalog)) names the
// fault of a file that does not parse.
inline ::testing::AssertionResult LoadCatalog(const std::string& path, CatalogContents* catalog) {
  std::string why;
  if (ReadCatalogFile(path, catalog, &why)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << why;
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

// A whole modern disk in small: kLargeFolder holding files of 3 GiB, 4 GiB + 100 bytes and
// 5 GiB, kDeepestFile (10 bytes) three folders down, and folders 1 to kNumberedFolders, all
// in the root: 65,537 folders with the root, two more than version 5 numbers.
inline const uint64_t kLargeFiles[] = {3ull << 30, (4ull << 30) + 100, 5ull << 30};
inline std::string LargeFileName(uint64_t size) { return "large-" + std::to_string(size); }
constexpr const char* kLargeFolder = "Large";
constexpr const char* kDeepestFile = "nest/inner/innermost/deepest.txt";
constexpr int kNumberedFolders = 65532;

// The catalogue `file` read in full: its version, the stored sizes of the large files, the
// root's byte total and the folder number of the last entry.
inline void ExpectWholeDisk(const std::string& file, int16_t version, double otherBytes,
                            uint32_t lastFolder, CatalogContents* c) {
  SCOPED_TRACE(file);
  ASSERT_TRUE(LoadCatalog(file, c));
  EXPECT_EQ(c->header.version, version);
  double total = otherBytes;
  for (const uint64_t size : kLargeFiles) {
    const int64_t stored = version == 5 ? 2147483647 : static_cast<int64_t>(size);
    total += static_cast<double>(stored);
    const auto large =
        std::find_if(c->entries.begin(), c->entries.end(),
                     [&](const CatalogEntry& e) { return e.name == LargeFileName(size); });
    ASSERT_NE(large, c->entries.end()) << size;
    EXPECT_EQ(large->size, stored);
  }
  EXPECT_EQ(c->folders[0].totalSize, total);
  ASSERT_FALSE(c->entries.empty());
  EXPECT_EQ(c->entries.back().folderIndex, lastFolder);
}

// Catalogues such a tree at `tree` (a volume root) with the catalogue folder `cats`:
// - its large folder alone (version 5: sizes clamped to 2147483647 from the whole size) and
//   the whole tree (version 6: true sizes, the deepest folder numbered past 16 bits), both
//   read back in full and held against the tree;
// - the large folder again under the whole tree's alias: the run recognises the version-6
//   catalogue, takes over its comment and keeps it as the backup;
// - with `atTheLimit`, the tree less two folders, 65,535: version 5 once more.
// `folder0` is the whole tree's folder-0 path: its place below its volume's root.
inline void RunsBeyondVersion5(const std::string& tree, const std::string& folder0,
                               const std::string& cats, bool atTheLimit, TreeCheckOptions options) {
  const char separator = tree.find('\\') != std::string::npos ? '\\' : '/';
  const std::string base = tree.back() == separator ? tree.substr(0, tree.size() - 1) : tree;
  const std::string large = base + separator + kLargeFolder;
  const std::string params = cats + separator + "params.txt";
  // `handover`: the line's alias passes from another volume's catalogue, which is told.
  auto run = [&](const std::string& lines, const std::string& handover = std::string()) {
    WriteWholeFile(params, lines);
    const RunResult r = RunInProcess(params);
    EXPECT_EQ(r.status, 0);
    if (handover.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_EQ(r.err.rfind("LedraCmd: the alias '" + handover + "' passes from the volume '", 0),
                0u)
          << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  };
  auto file = [&](const std::string& name) { return cats + separator + name; };

  run("#DEV " + large + ",Small\n#DEV " + tree + ",Many\n");
  CatalogContents c;
  ExpectWholeDisk(file("Small.kvl"), 5, 0, 0, &c);
  EXPECT_TRUE(MatchesTree(c, large, options));
  options.folder0Path = folder0;
  ExpectWholeDisk(file("Many.kvl"), 6, 10, 65536, &c);
  EXPECT_EQ(c.entries.back().name, "deepest.txt");
  EXPECT_TRUE(MatchesTree(c, tree, options));

  std::string patched;
  std::string why;
  ASSERT_TRUE(ReplaceComment(ReadBytes(file("Many.kvl")), "six", &patched, &why)) << why;
  WriteWholeFile(file("Many.kvl"), patched);
  run("#DEV " + large + ",Many\n", "Many");
  EXPECT_EQ(ReadBytes(file("Many.kvl.bak")), patched);
  ExpectWholeDisk(file("Many.kvl"), 5, 0, 0, &c);
  EXPECT_EQ(c.header.comment, "six");

  if (!atTheLimit) return;
  for (const char* gone : {"1", "2"}) std::filesystem::remove(base + separator + gone);
  run("#DEV " + tree + ",Limit\n");
  ExpectWholeDisk(file("Limit.kvl"), 5, 10, 65534, &c);
  EXPECT_TRUE(MatchesTree(c, tree, options));
}

// What a device that cannot be catalogued leaves on standard error: the failure message
// without line end, a line end, and the reason.
inline std::string DeviceFailure(const std::string& root, const std::string& reason) {
  return "Error occured while cataloging " + root + ".\nLedraCmd: cannot catalogue '" + root +
         "': " + reason + "\n";
}
inline const char kNoRoot[] = "the root does not exist or cannot be read";
inline const char kNothingRecorded[] = "the walk recorded nothing";
inline const char kNotWritten[] = "the catalogue could not be written";

}  // namespace e2e
}  // namespace ledra

#endif  // LEDRA_APP_END_TO_END_SUPPORT_H_
