// `ledra` on an in-memory machine holding hand-laid catalogues: find's patterns, filters
// and volume selection in tables, ls and du against a known tree, the exit statuses and
// the one-line reports of damaged catalogues.
#include "app/ledra_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/laid_catalog_testing.h"
#include "platform/fake_platform.h"
#include "query/entry_output.h"

namespace ledra {
namespace {

using test::LaidCatalog;
using test::LaidFolder;

constexpr int32_t k2001 = 978350400;   // 2001-01-01 12:00 UTC
constexpr int32_t k2020 = 1577880000;  // 2020-01-01 12:00 UTC

// C:\Data on the volume DATA:
//   Photos\ (1): Sea.JPG 5000, wave.png (2 GiB or more), Summer\ (3): sea-side.jpg 700
//   Docs\ (2): Café.txt 10, report[1].pdf 2048
//   readme.TXT 100
LaidCatalog DataCatalog() {
  LaidCatalog c;
  c.folder0Path = "\\Data";
  c.folders = {{6, 2147491495.0}, {3, 2147489347.0}, {2, 2058.0}, {1, 700.0}};
  c.entries = {{-1, 0, "Photos", k2020},           {-2, 0, "Docs", k2001},
               {100, 0, "readme.TXT", k2001},      {5000, 1, "Sea.JPG", k2020},
               {2147483647, 1, "wave.png", k2020}, {-3, 1, "Summer", k2020},
               {10, 2, "Caf\xC3\xA9.txt", k2001},  {2048, 2, "report[1].pdf", k2001},
               {700, 3, "sea-side.jpg", k2020}};
  return c;
}

// /mnt/usb/ with the alias Photos: sea.jpg 300, Sea/ (1): x.txt 1.
LaidCatalog UsbCatalog() {
  LaidCatalog c;
  c.root = "/mnt/usb/";
  c.volumeName = "USB";
  c.alias = "Photos";
  c.serial = 0xABCD0001;
  c.folders = {{2, 301.0}, {1, 1.0}};
  c.entries = {{300, 0, "sea.jpg", k2020}, {-1, 0, "Sea", k2020}, {1, 1, "x.txt", k2020}};
  return c;
}

class LedraCliTest : public ::testing::Test {
 protected:
  LedraCliTest() : errors_(errorText_), platform_(errors_) {
    platform_.AddFileWithContent("C:\\cats\\DATA.kvl", DataCatalog().Bytes());
    platform_.AddFileWithContent("C:\\cats\\Photos.kvl", UsbCatalog().Bytes());
    // A version-3 catalogue: a header and nothing the reader could search.
    platform_.AddFileWithContent("C:\\cats\\Old.kvl", test::Bytes()
                                                          .Hex("27 06 A4 D0 03 00")
                                                          .U32(0)
                                                          .Counted("D:\\")
                                                          .Counted("OLD")
                                                          .Counted("")
                                                          .U32(7)
                                                          .U32(0)
                                                          .str());
  }

  // Runs ledra with `args` (after the program name) over C:\cats, or with `catalogs` as
  // LEDRA_CATALOGS and no --in.
  int Run(std::vector<std::string> args, const char* catalogs = nullptr) {
    if (catalogs == nullptr) args.insert(args.begin() + 1, {"--in", "C:\\cats"});
    args.insert(args.begin(), "ledra");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    out_.text.clear();
    errorText_.str("");
    ReaderContext context{platform_, out_, errors_, catalogs, k2020, 2};
    context.textHoldingBytes = holdingBytes_;
    return RunReader(static_cast<int>(argv.size()), argv.data(), context);
  }
  // The full paths find prints with -0, in order.
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    std::string rest = out_.text;
    for (size_t nul; (nul = rest.find('\0')) != std::string::npos; rest.erase(0, nul + 1)) {
      paths.push_back(rest.substr(0, nul));
    }
    return paths;
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform platform_;
  StringSink out_;
  size_t holdingBytes_ = kTextHoldingBytes;
};

TEST_F(LedraCliTest, FindMatchesNamesAndFilters) {
  const std::string photos = "C:\\Data\\Photos\\";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> paths;
  };
  const std::vector<Case> cases = {
      // Substrings, ASCII letters without regard to case, across volumes in file-name order.
      {{"sea"},
       {photos + "Sea.JPG", photos + "Summer\\sea-side.jpg", "/mnt/usb/sea.jpg", "/mnt/usb/Sea"}},
      {{"README.txt"}, {"C:\\Data\\readme.TXT"}},
      // Case folds beyond ASCII too (Unicode simple case folding of UTF-8 names).
      {{"caf\xC3\xA9"}, {"C:\\Data\\Docs\\Caf\xC3\xA9.txt"}},
      {{"CAF\xC3\x89"}, {"C:\\Data\\Docs\\Caf\xC3\xA9.txt"}},
      // Wildcards match the whole name with the "#IGN" rules; '[' opens a set.
      {{"*.jpg"}, {photos + "Sea.JPG", photos + "Summer\\sea-side.jpg", "/mnt/usb/sea.jpg"}},
      {{"s?a"}, {"/mnt/usb/Sea"}},
      {{"report[[]1]*"}, {"C:\\Data\\Docs\\report[1].pdf"}},
      // ... or '\\' makes '[' plain.
      {{"report\\[1]*"}, {"C:\\Data\\Docs\\report[1].pdf"}},
      {{"\\[1\\]"}, {"C:\\Data\\Docs\\report[1].pdf"}},
      // Regular expressions: unanchored, without regard to case, UTF-8 aware.
      {{"--regex", "^s.a\\.(jpg|png)$"}, {photos + "Sea.JPG", "/mnt/usb/sea.jpg"}},
      {{"--regex", "^caf.\\.txt$"}, {"C:\\Data\\Docs\\Caf\xC3\xA9.txt"}},
      // --path matches the full path, folders separated by '/' on every catalogue.
      {{"--path", "photos/summer"}, {photos + "Summer", photos + "Summer\\sea-side.jpg"}},
      // Filters.
      {{"--limit", "2", "e"}, {"C:\\Data\\readme.TXT", photos + "Sea.JPG"}},
      {{"--type", "d", "s"},
       {"C:\\Data\\Photos", "C:\\Data\\Docs", photos + "Summer", "/mnt/usb/Sea"}},
      {{"--type", "f", "--volume", "photos"}, {"/mnt/usb/sea.jpg", "/mnt/usb/Sea/x.txt"}},
      {{"--size", "+4K", "--type", "f"}, {photos + "Sea.JPG", photos + "wave.png"}},
      {{"--size=-101", "--volume", "1234-abcd"},
       {"C:\\Data\\readme.TXT", "C:\\Data\\Docs\\Caf\xC3\xA9.txt"}},
      {{"--size", "2K"}, {"C:\\Data\\Docs\\report[1].pdf"}},
      // A clamped size counts as 2 GiB or more; a folder's size is its subtree's total.
      {{"--size", "+2G"}, {"C:\\Data\\Photos", photos + "wave.png"}},
      {{"--size", "+1G", "--volume", "DATA.kvl", "--type", "f"}, {photos + "wave.png"}},
      {{"--newer", "2010-01-01", "--volume", "data"},
       {"C:\\Data\\Photos", photos + "Sea.JPG", photos + "wave.png", photos + "Summer",
        photos + "Summer\\sea-side.jpg"}},
      {{"--older", "2010-01-01T00:00:00"},
       {"C:\\Data\\Docs", "C:\\Data\\readme.TXT", "C:\\Data\\Docs\\Caf\xC3\xA9.txt",
        "C:\\Data\\Docs\\report[1].pdf"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"find", "-0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const int status = Run(args);
    EXPECT_EQ(status, c.paths.empty() ? 1 : 0)
        << ::testing::PrintToString(c.args) << errorText_.str();
    EXPECT_EQ(Paths(), c.paths) << ::testing::PrintToString(c.args);
  }
  // The version-3 catalogue is passed over with a notice that leaves the status alone
  // (the last case reads every catalogue).
  EXPECT_NE(errorText_.str().find("Old.kvl: version 3"), std::string::npos) << errorText_.str();
}

// Parses CSV as RFC 4180 reads it: CRLF ends records, quoted cells may hold anything.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string cell;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        cell.push_back(c);
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        cell.push_back('"'), ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(cell), cell.clear();
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      record.push_back(cell), cell.clear();
      records.push_back(record), record.clear();
      if (c == '\r') ++i;
    } else {
      cell.push_back(c);
    }
  }
  EXPECT_TRUE(cell.empty() && record.empty() && !quoted) << "unended record in " << text;
  return records;
}

TEST_F(LedraCliTest, FindCsvHasOneHeaderForAllCatalogues) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> paths;
  };
  const std::vector<Case> cases = {
      {{"sea"},
       {"C:\\Data\\Photos\\Sea.JPG", "C:\\Data\\Photos\\Summer\\sea-side.jpg", "/mnt/usb/sea.jpg",
        "/mnt/usb/Sea"}},
      // The first catalogue has no match: the header still comes first, once.
      {{"x.txt"}, {"/mnt/usb/Sea/x.txt"}},
      {{"nothing-at-all"}, {}},
  };
  for (const Case& c : cases) {
    for (const char* threads : {"1", "2"}) {
      std::vector<std::string> args = {"find", "--csv", "--threads", threads};
      args.insert(args.end(), c.args.begin(), c.args.end());
      const std::string label = ::testing::PrintToString(args);
      EXPECT_EQ(Run(args), c.paths.empty() ? 1 : 0) << label << errorText_.str();
      const std::vector<std::vector<std::string>> records = ParseCsv(out_.text);
      if (c.paths.empty()) {
        EXPECT_TRUE(records.empty()) << label << out_.text;
        continue;
      }
      ASSERT_FALSE(records.empty()) << label;
      const std::vector<std::string>& header = records[0];
      const auto pathColumn = std::find(header.begin(), header.end(), "path") - header.begin();
      ASSERT_LT(static_cast<size_t>(pathColumn), header.size()) << label << out_.text;
      std::vector<std::string> paths;
      for (size_t r = 1; r < records.size(); ++r) {
        EXPECT_NE(records[r], header) << label << ": a second header in\n" << out_.text;
        ASSERT_EQ(records[r].size(), header.size()) << label << out_.text;
        paths.push_back(records[r][static_cast<size_t>(pathColumn)]);
      }
      EXPECT_EQ(paths, c.paths) << label;
    }
  }
}

TEST_F(LedraCliTest, CountsTextLinesAndStatuses) {
  EXPECT_EQ(Run({"find", "--count", "sea"}), 0);
  EXPECT_EQ(out_.text, "4\n");
  EXPECT_EQ(Run({"find", "--count", "nothing-like-this"}), 1);
  EXPECT_EQ(out_.text, "0\n");
  // Backups are read only when asked for; LEDRA_CATALOGS stands in for --in.
  platform_.AddFileWithContent("C:\\cats\\DATA.kvl.bak", DataCatalog().Bytes());
  EXPECT_EQ(Run({"find", "--count", "sea"}, ";C:\\nowhere;;C:\\cats"), 2);
  EXPECT_EQ(out_.text, "4\n");
  EXPECT_NE(errorText_.str().find("C:\\nowhere"), std::string::npos);
  EXPECT_EQ(Run({"find", "--count", "--backups", "sea"}), 0);
  EXPECT_EQ(out_.text, "6\n");

  EXPECT_EQ(Run({"find", "--bytes", "x.txt"}), 0);
  EXPECT_EQ(out_.text.substr(0, out_.text.find('\t', out_.text.find('\t') + 1)),
            "Photos:/mnt/usb/Sea/x.txt\t1");
  EXPECT_EQ(Run({"find", "wave"}), 0);
  EXPECT_NE(out_.text.find("\t>=2.0G\t"), std::string::npos) << out_.text;

  // Usage errors and bad expressions end with status 2 and a message.
  const std::vector<std::vector<std::string>> wrong = {
      {"find", "--regex", "("}, {"find", "--size", "+3X"},    {"find", "--newer", "2020-13-01"},
      {"find", "--type", "x"},  {"find", "--volume", "nope"}, {"frobnicate"},
      {"ls", "nope:/x"},        {"ls", "DATA:/Photos/absent"}};
  for (const auto& args : wrong) {
    EXPECT_EQ(Run(args), 2) << ::testing::PrintToString(args);
    EXPECT_FALSE(errorText_.str().empty()) << ::testing::PrintToString(args);
  }
}

TEST_F(LedraCliTest, AmbiguousSelectorListsTheCandidates) {
  LaidCatalog twin = UsbCatalog();
  twin.alias = "DATA";
  platform_.AddFileWithContent("C:\\cats\\Twin.kvl", twin.Bytes());
  EXPECT_EQ(Run({"ls", "data"}), 2);
  EXPECT_NE(errorText_.str().find("ambiguous"), std::string::npos);
  EXPECT_NE(errorText_.str().find("DATA.kvl"), std::string::npos);
  EXPECT_NE(errorText_.str().find("Twin.kvl"), std::string::npos);
  // The file name still tells them apart.
  EXPECT_EQ(Run({"ls", "twin.kvl"}), 0);
}

TEST_F(LedraCliTest, DamagedCataloguesAreReportedAndTheOthersRead) {
  std::string cut = DataCatalog().Bytes();
  cut.pop_back();
  platform_.AddFileWithContent("C:\\cats\\Worn.kvl", cut);
  // A file name that would otherwise clear the screen and forge a line of its own.
  platform_.AddFileWithContent("C:\\cats\\Zz\x1b[2J\nledra: fine.kvl", cut);
  EXPECT_EQ(Run({"find", "-0", "x.txt"}), 2);
  EXPECT_EQ(Paths(), std::vector<std::string>{"/mnt/usb/Sea/x.txt"});
  // What is wrong in words first, then where.
  EXPECT_NE(errorText_.str().find("Worn.kvl: cut short: an entry's name has no NUL before the "
                                  "end of the file (offset "),
            std::string::npos)
      << errorText_.str();
  EXPECT_NE(errorText_.str().find("Zz\\x1b[2J\\nledra: fine.kvl: cut short: "), std::string::npos)
      << errorText_.str();
  EXPECT_EQ(errorText_.str().find('\x1b'), std::string::npos);
  // With --limit, reading stops at the last result: neither the damaged catalogue after
  // it nor the damaged end of its own catalogue is reached.
  EXPECT_EQ(Run({"find", "-0", "--limit", "1", "x.txt"}), 0);
  EXPECT_EQ(Paths(), std::vector<std::string>{"/mnt/usb/Sea/x.txt"});
  EXPECT_EQ(Run({"find", "-0", "--limit", "1", "--volume", "worn", "sea"}), 0);
  EXPECT_EQ(Paths(), std::vector<std::string>{"C:\\Data\\Photos\\Sea.JPG"});
  EXPECT_EQ(errorText_.str(), "");
}

TEST_F(LedraCliTest, AnalysesReadEachHeaderOnce) {
  // (find with --volume too.) A catalogue cut short in its header is reported once, by the reading
  // of the headers, not again when the analysis opens its catalogues; and a catalogue the analysis
  // reads is opened once: a second opening of DATA.kvl would fail.
  platform_.AddFileWithContent("C:\\cats\\Worn.kvl", DataCatalog().Bytes().substr(0, 20));
  platform_.Fail(FakePlatform::Op::Open, "C:\\cats\\DATA.kvl", 2);
  struct Case {
    std::vector<std::string> args;
    int status;
    size_t wornLines;  // lines naming Worn.kvl on standard error
  };
  const Case cases[] = {
      {{"dupes", "--min-size", "0"}, 2, 1},
      {{"dupes", "--min-size", "0", "--volume", "DATA", "--volume", "Photos"}, 1, 1},
      {{"unique", "Photos"}, 2, 1},
      {{"unique", "--json", "DATA"}, 2, 1},
      {{"diff", "DATA", "Photos"}, 0, 1},
      {{"diff", "--json", "Photos", "DATA"}, 0, 1},
      {{"find", "--volume", "DATA", "--count", "--no-index", ""}, 0, 1},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& a : c.args) label += a + " ";
    platform_.ClearFailures();
    platform_.Fail(FakePlatform::Op::Open, "C:\\cats\\DATA.kvl", 2);
    EXPECT_EQ(Run(c.args), c.status) << label << errorText_.str();
    const std::string errors = errorText_.str();
    size_t worn = 0;
    for (size_t at = 0; (at = errors.find("Worn.kvl", at)) != std::string::npos; ++at) ++worn;
    EXPECT_EQ(worn, c.wornLines) << label << errors;
    EXPECT_EQ(errors.find("DATA.kvl"), std::string::npos) << label << errors;
  }
}

TEST_F(LedraCliTest, ColumnsSetAsideInAScratchFileReadTheSameOrFailTheRun) {
  // Every command that aligns columns writes the same bytes when its blocks go through a
  // scratch file; when that file cannot be written, the run fails with the reason, once,
  // and no block is written out of line.
  const std::vector<std::vector<std::string>> commands = {
      {"diff", "DATA", "Photos"},
      {"diff", "--bytes", "Photos", "DATA"},
      {"volumes"},
      {"du", "-d", "3", "DATA"},
      {"ls", "DATA:\\Photos"},
  };
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    platform_.ClearFailures();
    holdingBytes_ = kTextHoldingBytes;
    int made = platform_.scratchFilesMade;
    const int status = Run(command);
    const std::string inMemory = out_.text;
    const std::string errors = errorText_.str();
    ASSERT_NE(inMemory.find("  "), std::string::npos) << inMemory;
    EXPECT_EQ(platform_.scratchFilesMade, made);
    holdingBytes_ = 0;
    made = platform_.scratchFilesMade;
    EXPECT_EQ(Run(command), status);
    EXPECT_EQ(out_.text, inMemory);
    EXPECT_EQ(errorText_.str(), errors);
    EXPECT_GT(platform_.scratchFilesMade, made);
    platform_.Fail(FakePlatform::Op::Write, FakePlatform::kScratchFile);
    EXPECT_EQ(Run(command), 2);
    EXPECT_EQ(errorText_.str(), errors +
                                    "ledra: cannot write the temporary file that holds the rows "
                                    "to align: There is not enough space on the disk.\n");
    EXPECT_EQ(inMemory.compare(0, out_.text.size(), out_.text), 0) << out_.text;
    EXPECT_EQ(out_.text.find("  "), std::string::npos) << out_.text;
    EXPECT_EQ(platform_.scratchFilesOpen, 0);
  }
}

TEST_F(LedraCliTest, FolderFiguresBeyondAnySizeAreDamage) {
  // A total that is not a number, or too large for any sum of sizes, or a negative file
  // count, in folder 0 (read with the header) or in a folder below it. Every command that
  // reads the figures reports the catalogue as damaged, and none prints a made-up figure.
  struct Case {
    const char* name;
    uint32_t folder;
    LaidFolder figures;
    const char* what;
  };
  const Case cases[] = {
      {"root total NaN", 0, {6, std::nan("")}, "folder 0 total size is not a number"},
      {"root total 1e300", 0, {6, 1e300}, "folder 0 total size 1e+300 is beyond 2^63"},
      {"root count negative", 0, {-6, 2147491495.0}, "folder 0 file count -6 is negative"},
      {"photos total NaN", 1, {3, std::nan("")}, "folder 1 total size is not a number"},
      {"summer total 1e300", 3, {1, 1e300}, "folder 3 total size 1e+300 is beyond 2^63"},
      {"docs count negative", 2, {-1, 2058.0}, "folder 2 file count -1 is negative"},
  };
  const std::vector<std::vector<std::string>> commands = {
      {"volumes", "--json"},
      {"du", "--json", "-d", "3", "DATA"},
      {"ls", "--json", "DATA:\\Photos"},
      {"find", "--json", "*"},
      {"diff", "--json", "Bad.kvl", "DATA.kvl"},
      {"dupes", "--json", "--min-size", "0"},
      {"unique", "--json", "Bad.kvl"},
  };
  for (const Case& c : cases) {
    LaidCatalog bad = DataCatalog();
    bad.volumeName = "BAD";
    bad.folders[c.folder] = c.figures;
    platform_.AddFileWithContent("C:\\cats\\Bad.kvl", bad.Bytes());
    for (const std::vector<std::string>& command : commands) {
      std::vector<std::string> args = command;
      for (std::string& a : args) {
        if (a == "DATA:\\Photos" || a == "DATA") a.replace(0, 4, "BAD");
      }
      const std::string label = std::string(c.name) + ", " + command[0];
      const int status = Run(args);
      // volumes reads folder 0 only; a damaged folder below it is found by the others.
      if (command[0] == "volumes" && c.folder != 0) {
        EXPECT_EQ(status, 0) << label << ": " << errorText_.str();
        continue;
      }
      EXPECT_EQ(status, 2) << label << ": " << out_.text;
      EXPECT_NE(errorText_.str().find("Bad.kvl: "), std::string::npos)
          << label << ": " << errorText_.str();
      EXPECT_NE(errorText_.str().find(c.what), std::string::npos)
          << label << ": " << errorText_.str();
      for (const char* made : {"nan", "e+300", "-922337"}) {
        EXPECT_EQ(out_.text.find(made), std::string::npos) << label << ": " << out_.text;
      }
    }
  }
}

TEST_F(LedraCliTest, ListsFoldersAndTotals) {
  // Folders show their subtree total and file count; a full path as find prints it works.
  ASSERT_EQ(Run({"ls", "--bytes", "--sort", "size", "DATA:C:\\Data\\Photos"}), 0)
      << errorText_.str();
  const std::string t = LocalTimeText(k2020);
  EXPECT_EQ(out_.text, "-  >=2147483648     " + t + "  wave.png\n" + "-          5000     " + t +
                           "  Sea.JPG\n" + "d           700  1  " + t + "  Summer\\\n");
  ASSERT_EQ(Run({"du", "--bytes", "-d", "1", "data"}), 0);
  EXPECT_EQ(out_.text,
            "2147491495  6  C:\\Data\n"
            "2147489347  3  C:\\Data\\Photos\n"
            "      2058  2  C:\\Data\\Docs\n");
  ASSERT_EQ(Run({"du", "--bytes", "-d", "5", "Photos:/Sea"}), 0);
  EXPECT_EQ(out_.text, "1  1  /mnt/usb/Sea\n");
}

}  // namespace
}  // namespace ledra
