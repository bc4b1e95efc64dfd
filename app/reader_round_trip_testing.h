// For the Windows tests: runs of ledra on the real platform, as ledra.exe makes them
// (paths and arguments in UTF-8), and the check that a catalogue LedraCmd wrote is read
// whole: listed by `volumes`, every entry found by `find ''`, its root listed by `ls` and
// summed by `du`, both by the catalogue's file and through `--in` with its folder.
#ifndef LEDRA_APP_READER_ROUND_TRIP_TESTING_H_
#define LEDRA_APP_READER_ROUND_TRIP_TESTING_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/ledra_cli.h"
#include "platform/output_sink.h"
#include "platform/platform.h"

namespace ledra {
namespace e2e {

struct ReaderRun {
  int status = 0;
  std::string out;
  std::string err;
};

// `ledra args...` in this process on the real platform, with paths in UTF-8 (as ledra.exe
// takes them) or in the ANSI code page, searching with `threads` threads.
inline ReaderRun RunReaderWith(std::vector<std::string> args, bool utf8Paths, int threads) {
  args.insert(args.begin(), "ledra");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream errorText;
  MessageSink errors(errorText);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  if (utf8Paths) platform->UseUtf8Paths();
  StringSink out;
  ReaderContext context{*platform, out, errors, nullptr, 1800000000, threads};
  ReaderRun run;
  run.status = RunReader(static_cast<int>(argv.size()), argv.data(), context);
  run.out = out.text;
  run.err = errorText.str();
  return run;
}

// `ledra args...` as ledra.exe runs it: paths in UTF-8.
inline ReaderRun RunReaderUtf8(std::vector<std::string> args) {
  return RunReaderWith(std::move(args), true, 1);
}

// The catalogue `file` (UTF-8) named `name` in the folder `folder` (UTF-8), which holds
// `entries` entries, is read whole by its file and through --in with its folder.
inline ::testing::AssertionResult ReadsWhole(const std::string& folder, const std::string& file,
                                             const std::string& name, size_t entries) {
  std::ostringstream problems;
  const auto check = [&problems](const std::string& what, const ReaderRun& run) {
    if (run.status != 0) problems << what << ": status " << run.status << ", " << run.err << "\n";
  };
  for (const std::string& in : {file, folder}) {
    const std::string where = " --in " + in;
    const ReaderRun volumes = RunReaderUtf8({"volumes", "--in", in});
    check("volumes" + where, volumes);
    if (volumes.out.empty()) problems << "volumes" << where << ": nothing listed\n";
    const ReaderRun found = RunReaderUtf8({"find", "--in", in, "-0", ""});
    check("find ''" + where, found);
    // A folder may hold other catalogues too.
    const size_t names = static_cast<size_t>(std::count(found.out.begin(), found.out.end(), '\0'));
    if (in == file ? names != entries : names < entries) {
      problems << "find ''" << where << ": " << names << " names for " << entries << " entries\n";
    }
    const ReaderRun listed = RunReaderUtf8({"ls", "--in", in, name});
    check("ls" + where + " " + name, listed);
    if (entries > 0 && listed.out.empty()) problems << "ls" << where << ": nothing listed\n";
    check("du" + where + " " + name, RunReaderUtf8({"du", "--in", in, name}));
  }
  if (problems.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << problems.str();
}

}  // namespace e2e
}  // namespace ledra

#endif  // LEDRA_APP_READER_ROUND_TRIP_TESTING_H_
