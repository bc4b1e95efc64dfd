#include "cataloguing/walk_progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "cataloguing/cataloger.h"
#include "platform/fake_platform.h"

namespace ledra {
namespace {

TEST(WalkProgressTest, StatusLineFitsTheTerminal) {
  struct Case {
    size_t columns;
    std::string folder;
    const char* line;
  };
  const std::string deep = "/home/ann/photos/2019/summer";
  const Case cases[] = {
      {80, deep, "12 folders, 345 entries, 1:05  /home/ann/photos/2019/summer"},
      // Cut from the start of the path, to columns - 1 characters.
      {40, deep, "12 folders, 345 entries, 1:05  ...ummer"},
      {20, deep, "12 folders, 345 ent"},
      // Control characters cannot move the cursor.
      {80, "/a\nb\x1b[2J", "12 folders, 345 entries, 1:05  /a\\x0Ab\\x1B[2J"},
      // Never inside a UTF-8 sequence: "\xC3\xA9" is one character.
      {39, "/x/\xC3\xA9t\xC3\xA9", "12 folders, 345 entries, 1:05  ...t\xC3\xA9"},
      {37, "/x/\xC3\xA9t\xC3\xA9", "12 folders, 345 entries, 1:05  ...\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string line = WalkProgress::StatusLine(12, 345, 65.5, c.folder, c.columns);
    EXPECT_EQ(line, c.line);
    EXPECT_LT(line.size(), c.columns);
  }
  EXPECT_EQ(WalkProgress::StatusLine(1, 2, 3723, "/", 80), "1 folders, 2 entries, 1:02:03  /");
}

// What a person at a terminal sees of a run through the Cataloger: a status line while the
// walk goes on (shown at once, then at most every quarter second), the summary of each
// stored catalogue, and nothing of it left before a failure message.
TEST(WalkProgressTest, CatalogerShowsProgressAndSummaryOnATerminal) {
  std::ostringstream text;
  MessageSink errors(text);
  errors.SetTerminal(0);  // a bare pseudo-terminal: 80 columns
  FakePlatform fake(errors);
  fake.AddVolume("D:\\", FakePlatform::Volume{"DATA", 1, DriveType::Fixed, {}, {}});
  fake.AddFile("D:\\t\\a", 10);
  fake.AddFile("D:\\t\\sub\\b", 3ull << 30);
  for (int i = 0; i < 50; ++i) fake.AddFolder("D:\\t\\sub\\" + std::to_string(i));
  fake.AddFolder("C:\\cats");
  fake.ChangeFolder("C:\\cats");
  Cataloger cataloger(fake, errors);
  cataloger.CatalogDevice("D:\\missing", "", "");
  cataloger.CatalogDevice("D:\\t", "", "T");
  const std::string out = text.str();
  EXPECT_EQ(out.substr(0, 45), "Error occured while cataloging D:\\missing.\n\r1")
      << "the status line starts on a line of its own";
  const std::string summary = "\rWrote T.kvl (version 5): 53 entries, 52 folders, 2.0 GiB in 0:00\n";
  ASSERT_GT(out.size(), summary.size());
  EXPECT_EQ(out.substr(out.size() - summary.size()), summary);
  // Shown once and blanked out once: the walk takes less than a quarter second.
  EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), 3) << out;
}

}  // namespace
}  // namespace ledra
