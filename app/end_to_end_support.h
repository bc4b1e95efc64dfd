// What the end-to-end tests share on every platform: one whole run of the program inside
// the test process, on the real machine, with its messages caught in strings, and plain
// file helpers that go through std::filesystem rather than the code under test.
#ifndef LEDRA_APP_END_TO_END_SUPPORT_H_
#define LEDRA_APP_END_TO_END_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/driver.h"
#include "catalog/catalog_reader_testing.h"
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
inline ::testing::AssertionResult LoadCatalog(const std::string& path, ParsedCatalog* catalog) {
  std::string why;
  if (ReadCatalogFile(path, catalog, &why)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << why;
}

// A check of a catalogue against its tree, as an assertion that lists every problem.
inline ::testing::AssertionResult MatchesTree(const ParsedCatalog& catalog,
                                              const std::string& treeRoot,
                                              const TreeCheckOptions& options) {
  const std::vector<std::string> problems = CheckCatalogAgainstTree(catalog, treeRoot, options);
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the catalogue does not describe " << treeRoot << ":\n"
                                       << JoinProblems(problems);
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
