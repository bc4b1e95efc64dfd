// diff, dupes, unique and export as a user runs them: real trees catalogued by whole runs of
// LedraCmd before and after known changes, then `ledra` run in-process on the catalogues.
// Only plain folders and files are used, so these cases hold natively and under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/ledra_cli.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

namespace fs = std::filesystem;

struct ReaderRun {
  int status = -1;
  std::string out;
  std::string err;
};

ReaderRun RunLedra(const std::vector<std::string>& args) {
  ReaderRun run;
  std::ostringstream errorText;
  StringSink out;
  {
    MessageSink errors(errorText);
    std::unique_ptr<Platform> platform = NewRealPlatform(errors);
    std::vector<const char*> argv{"ledra"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    ReaderContext context{*platform, out, errors, nullptr, 2000000000, 1};
    run.status = RunReader(static_cast<int>(argv.size()), argv.data(), context);
  }
  run.out = out.text;
  run.err = errorText.str();
  return run;
}

// CSV rows as maps from the header's names; the paths here hold no comma or quote.
std::vector<std::map<std::string, std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> cells;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> row;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) {
      if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
        cell = cell.substr(1, cell.size() - 2);
      }
      row.push_back(cell);
    }
    if (!line.empty() && line.back() == ',') row.push_back("");
    cells.push_back(row);
  }
  std::vector<std::map<std::string, std::string>> rows;
  for (size_t r = 1; r < cells.size(); ++r) {
    std::map<std::string, std::string> row;
    for (size_t c = 0; c < cells[0].size() && c < cells[r].size(); ++c)
      row[cells[0][c]] = cells[r][c];
    rows.push_back(row);
  }
  return rows;
}

class CompareCliTest : public ::testing::Test {
 protected:
  // One LedraCmd run over the device lines; it must succeed.
  void Catalogue(const std::string& devices) {
    e2e::WriteWholeFile(cats_.Path("params.txt"), devices);
    EXPECT_EQ(e2e::RunInProcess(cats_.Path("params.txt")).status, 0);
  }
  ReaderRun Ledra(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--in", cats_.root()});
    return RunLedra(args);
  }

  TempTree disk_;
  TempTree other_;
  TempTree cats_;
};

TEST_F(CompareCliTest, DiffOfATreeBeforeAndAfterKnownChanges) {
  disk_.MakeFile("keep.txt", std::string(10, 'k'));
  disk_.MakeFile("grow.txt", std::string(5, 'g'));
  disk_.MakeFile("touch.txt", std::string(3, 't'));
  disk_.MakeFile("gone.txt", std::string(4, 'x'));
  disk_.MakeFile("photos/sea.jpg", std::string(100, 's'));
  disk_.MakeFile("docs/a.txt", "a");
  disk_.MakeFolder("photos/old");
  const std::string devices = "#DEV " + disk_.root() + ",Disk\n";
  Catalogue(devices);
  Catalogue(devices);
  const ReaderRun same = Ledra({"diff", "Disk"});
  EXPECT_EQ(same.status, 1) << same.err;
  EXPECT_EQ(same.out, "");

  disk_.MakeFile("grow.txt", std::string(50, 'g'));
  const fs::path touched = fs::u8path(disk_.Path("touch.txt"));
  fs::last_write_time(touched, fs::last_write_time(touched) + std::chrono::hours(1));
  fs::remove(fs::u8path(disk_.Path("gone.txt")));
  disk_.MakeFile("new.txt", std::string(7, 'n'));
  fs::rename(fs::u8path(disk_.Path("photos/sea.jpg")), fs::u8path(disk_.Path("docs/sea.jpg")));
  Catalogue(devices);

  const ReaderRun run = Ledra({"diff", "--csv", "Disk"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::set<std::string> rows;
  for (auto& row : CsvRows(run.out)) {
    rows.insert(row["change"] + " " + row["path"] + " " + row["size"] + " " + row["old_path"] +
                " " + row["old_size"] + " " + row["old_total"] + " " + row["new_total"] + " " +
                row["delta"]);
  }
  const std::set<std::string> expected = {
      "added " + disk_.Path("new.txt") + " 7     ",
      "removed " + disk_.Path("gone.txt") + " 4     ",
      "changed " + disk_.Path("grow.txt") + " 50  5   ",
      "changed " + disk_.Path("touch.txt") + " 3  3   ",
      "moved " + disk_.Path("docs/sea.jpg") + " 100 " + disk_.Path("photos/sea.jpg") + "    ",
      "total " + disk_.root() + "    123 171 48",
      "total " + disk_.Path("photos") + "    100 0 -100",
      "total " + disk_.Path("docs") + "    1 101 100",
  };
  EXPECT_EQ(rows, expected) << run.out;

  // Two catalogues named as files: the older one first.
  const ReaderRun files =
      Ledra({"diff", "--json", cats_.Path("Disk.kvl"), cats_.Path("Disk.kvl.bak")});
  EXPECT_EQ(files.status, 0) << files.err;
  std::string newPath;  // as a JSON string: Windows' backslashes doubled
  for (char c : disk_.Path("new.txt")) newPath += c == '\\' ? std::string(2, c) : std::string(1, c);
  EXPECT_NE(files.out.find("\"change\":\"removed\",\"path\":\"" + newPath), std::string::npos)
      << files.out;
}

TEST_F(CompareCliTest, DupesAndUniqueAcrossTwoDisks) {
  disk_.MakeSparseFile("movie.mkv", 2 << 20);
  disk_.MakeSparseFile("Photos/IMG_1.JPG", 3 << 19);
  disk_.MakeFile("notes.txt", "0123456789");
  other_.MakeSparseFile("films/Movie.MKV", 2 << 20);
  other_.MakeSparseFile("img_1.jpg", (3 << 19) + 1);
  other_.MakeFile("notes.txt", "9876543210");
  const std::string devices = "#DEV " + disk_.root() + ",Disk\n#DEV " + other_.root() + ",Other\n";
  Catalogue(devices);
  Catalogue(devices);  // Disk.kvl.bak is the same disk: never a copy

  struct Case {
    std::vector<std::string> args;
    int status;
    std::set<std::string> paths;  // the rows' paths
  };
  const std::vector<Case> cases = {
      {{"dupes", "--csv"}, 0, {disk_.Path("movie.mkv"), other_.Path("films/Movie.MKV")}},
      {{"dupes", "--csv", "--min-size", "0"},
       0,
       {disk_.Path("movie.mkv"), other_.Path("films/Movie.MKV"), disk_.Path("notes.txt"),
        other_.Path("notes.txt")}},
      {{"dupes", "--csv", "--by", "size", "--min-size", "3M"}, 1, {}},
      {{"unique", "--csv", "Disk"}, 0, {disk_.Path("Photos/IMG_1.JPG")}},
      {{"unique", "--csv", "--backups", "Disk.kvl"}, 0, {disk_.Path("Photos/IMG_1.JPG")}},
      {{"unique", "--csv", "--min-size", "2M", "Other"}, 1, {}},
      {{"unique", "--csv", "Nowhere"}, 2, {}},
      {{"diff", "Other", "Nowhere"}, 2, {}},
  };
  for (const Case& c : cases) {
    const ReaderRun run = Ledra(c.args);
    SCOPED_TRACE(c.args[0] + " " + c.args.back() + "\n" + run.out + run.err);
    EXPECT_EQ(run.status, c.status);
    std::set<std::string> paths;
    for (auto& row : CsvRows(run.out)) paths.insert(row["path"]);
    EXPECT_EQ(paths, c.paths);
  }
  const ReaderRun text = Ledra({"dupes"});
  EXPECT_NE(text.out.find("2 copies of 2.0M, 2.0M wasted\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("held more than once: 2.0M in 1 group\n"), std::string::npos);
}

TEST_F(CompareCliTest, ExportsAsFindListsAndRefusesToOverwriteADatabase) {
  disk_.MakeFile("a/b.txt", "bb");
  disk_.MakeFile("c.txt", "c");
  Catalogue("#DEV " + disk_.root() + ",Disk\n");
  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    const ReaderRun exported = Ledra({"export", "Disk", "--format", format});
    const ReaderRun found =
        Ledra({"find", "--volume", "Disk", std::string(format) == "csv" ? "--csv" : "--json"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, found.out);
    // Three entries, and CSV's header row.
    EXPECT_EQ(test::LineCount(found.out), std::string(format) == "csv" ? 4u : 3u);
  }
  const std::string db = cats_.Path("disk.sqlite");
  EXPECT_EQ(Ledra({"export", "Disk", "--format", "sqlite"}).status, 2);  // needs -o
  EXPECT_EQ(Ledra({"export", "Disk", "--format", "sqlite", "-o", db}).status, 0);
  const ReaderRun again = Ledra({"export", "Disk", "--format", "sqlite", "-o", db});
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
  EXPECT_EQ(Ledra({"export", "Disk", "--format", "sqlite", "-o", db, "--append"}).status, 0);
  EXPECT_EQ(Ledra({"export", "Nowhere", "--format", "ncdu"}).status, 2);
}

}  // namespace
}  // namespace ledra
