#include "query/find_query.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/format.h"
#include "platform/fake_platform.h"
#include "query/record_writer.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

using test::LaidCatalog;
using test::TreeCatalog;
using test::TreeItem;

constexpr int32_t kDay = 86400;
constexpr int32_t kJan2020 = 1577836800;  // 2020-01-01T00:00:00Z
constexpr uint64_t kGiB = uint64_t{1} << 30;

LaidCatalog Volume(const std::string& name, const std::string& root, int16_t version) {
  LaidCatalog volume;
  volume.root = root;
  volume.volumeName = name;
  volume.version = version;
  return volume;
}

// A catalogue whose first entry lies in a folder that nothing introduces, and the offset
// of that entry.
std::string DamagedCatalogue(size_t* offset) {
  LaidCatalog volume = Volume("SPARE", "E:\\", 5);
  *offset = volume.Bytes().size();
  volume.entries = {{5, 9, "summer-lost.txt", kJan2020}};
  return volume.Bytes();
}

// C:\cats holds, in name order, a version-5 Linux disk, a damaged catalogue and a version-6
// Windows disk.
class FindQueryTest : public ::testing::Test {
 protected:
  FindQueryTest() : errors_(errorText_), fake_(errors_) {
    fake_.AddFileWithContent("C:\\cats\\A.kvl",
                             TreeCatalog(Volume("PHOTOS", "/mnt/usb/", 5),
                                         {{"Summer/", 0, kJan2020 + 3 * kDay},
                                          {"Summer/beach.JPG", 3000, kJan2020},
                                          {"Summer/Evening/", 0, kJan2020 + kDay},
                                          {"Summer/Evening/sunset.jpg", 1024, kJan2020 + kDay},
                                          {"Summer/notes.txt", 10, kJan2020 + 2 * kDay},
                                          {"Winter/", 0, kJan2020},
                                          // 2 GiB or more, as version 5 keeps it.
                                          {"big.iso", kClampedSize, kJan2020 - kDay}}));
    fake_.AddFileWithContent("C:\\cats\\B.kvl", DamagedCatalogue(&damageOffset_));
    fake_.AddFileWithContent("C:\\cats\\C.kvl",
                             TreeCatalog(Volume("WORK", "D:\\", 6),
                                         {{"Docs/", 0, kJan2020},
                                          {"Docs/plan.txt", 2048, kJan2020},
                                          {"Docs/summer.doc", 1, kJan2020 + kDay},
                                          {"Docs/huge.vhd", 5 * kGiB, kJan2020 + 2 * kDay},
                                          {"Docs/edge.bin", kClampedSize, kJan2020 - 2 * kDay}}));
    files_ = Files("C:\\cats");
  }

  std::vector<CatalogFile> Files(const std::string& folder) {
    std::vector<std::string> unreadable;
    std::vector<CatalogFile> files = ListCatalogFiles(fake_, {folder}, false, &unreadable);
    std::vector<std::string> problems;
    ReadHeaders(fake_, &files, &problems);
    return files;
  }

  std::string Run(const FindOptions& options, OutputFormat format, FindOutcome* outcome,
                  const std::vector<CatalogFile>* files = nullptr, bool exactBytes = false) {
    StringSink out;
    std::string error;
    EXPECT_TRUE(RunFind(fake_, files ? *files : files_, options, {format, exactBytes}, out, outcome,
                        &error))
        << error;
    return out.text;
  }

  // The full paths find gives, from its -0 output.
  std::vector<std::string> Paths(const FindOptions& options, FindOutcome* outcome,
                                 const std::vector<CatalogFile>* files = nullptr) {
    const std::string text = Run(options, OutputFormat::NulPaths, outcome, files);
    std::vector<std::string> paths;
    for (size_t start = 0, nul; (nul = text.find('\0', start)) != std::string::npos;
         start = nul + 1) {
      paths.push_back(text.substr(start, nul - start));
    }
    return paths;
  }

  std::string DamageLine() const {
    return "C:\\cats\\B.kvl: entry lies in folder 9, which no earlier folder entry introduces "
           "(offset " +
           std::to_string(damageOffset_) + ")";
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
  size_t damageOffset_ = 0;
  std::vector<CatalogFile> files_;
};

FindOptions Options(const std::string& pattern,
                    const std::function<void(FindOptions&)>& change = nullptr) {
  FindOptions o;
  o.pattern = pattern;
  if (change) change(o);
  return o;
}

TEST_F(FindQueryTest, EveryFilterAtItsEdgesInCatalogueThenTableOrder) {
  using Type = FindOptions::Type;
  struct Case {
    const char* name;
    FindOptions options;
    std::vector<std::string> paths;
    bool damageRead = true;
  };
  const std::vector<Case> cases = {
      {"substring, any case", Options("SUMMER"), {"/mnt/usb/Summer", "D:\\Docs\\summer.doc"}},
      {"substring inside",
       Options(".JP"),
       {"/mnt/usb/Summer/beach.JPG", "/mnt/usb/Summer/Evening/sunset.jpg"}},
      {"a wildcard covers the whole name", Options("*.JP"), {}},
      {"wildcard, any case",
       Options("*.jpg"),
       {"/mnt/usb/Summer/beach.JPG", "/mnt/usb/Summer/Evening/sunset.jpg"}},
      {"question mark", Options("s?mmer*"), {"/mnt/usb/Summer", "D:\\Docs\\summer.doc"}},
      {"files only",
       Options("summer", [](FindOptions& o) { o.type = Type::File; }),
       {"D:\\Docs\\summer.doc"}},
      {"folders only",
       Options("", [](FindOptions& o) { o.type = Type::Folder; }),
       {"/mnt/usb/Summer", "/mnt/usb/Winter", "/mnt/usb/Summer/Evening", "D:\\Docs"}},
      // A folder's size is its subtree total; a clamped version-5 size is more than any N
      // and never less than or exactly N; version 6 sizes are whole.
      {"more than 1K",
       Options("",
               [](FindOptions& o) {
                 o.size = SizeFilter{'+', 1024};
               }),
       {"/mnt/usb/Summer", "/mnt/usb/big.iso", "/mnt/usb/Summer/beach.JPG", "D:\\Docs",
        "D:\\Docs\\plan.txt", "D:\\Docs\\huge.vhd", "D:\\Docs\\edge.bin"}},
      {"less than 1K",
       Options("",
               [](FindOptions& o) {
                 o.size = SizeFilter{'-', 1024};
               }),
       {"/mnt/usb/Winter", "/mnt/usb/Summer/notes.txt", "D:\\Docs\\summer.doc"}},
      {"exactly 1K",
       Options("",
               [](FindOptions& o) {
                 o.size = SizeFilter{'=', 1024};
               }),
       {"/mnt/usb/Summer/Evening", "/mnt/usb/Summer/Evening/sunset.jpg"}},
      {"exactly 2147483647 only where whole",
       Options("",
               [](FindOptions& o) {
                 o.size = SizeFilter{'=', 2147483647};
               }),
       {"D:\\Docs\\edge.bin"}},
      {"more than 4T",
       Options("",
               [](FindOptions& o) {
                 o.size = SizeFilter{'+', 4 * kGiB << 10};
               }),
       {"/mnt/usb/big.iso"}},
      {"more than 4G",
       Options("",
               [](FindOptions& o) {
                 o.size = SizeFilter{'+', 4 * kGiB};
               }),
       {"/mnt/usb/big.iso", "D:\\Docs", "D:\\Docs\\huge.vhd"}},
      {"files of less than 4G",
       Options("",
               [](FindOptions& o) {
                 o.type = Type::File;
                 o.size = SizeFilter{'-', 4 * kGiB};
               }),
       {"/mnt/usb/Summer/beach.JPG", "/mnt/usb/Summer/notes.txt",
        "/mnt/usb/Summer/Evening/sunset.jpg", "D:\\Docs\\plan.txt", "D:\\Docs\\summer.doc",
        "D:\\Docs\\edge.bin"}},
      {"exactly 5G",
       Options("",
               [](FindOptions& o) {
                 o.size = SizeFilter{'=', 5 * kGiB};
               }),
       {"D:\\Docs\\huge.vhd"}},
      {"newer is strictly after",
       Options("", [](FindOptions& o) { o.newer = kJan2020 + kDay; }),
       {"/mnt/usb/Summer", "/mnt/usb/Summer/notes.txt", "D:\\Docs\\huge.vhd"}},
      {"older is strictly before",
       Options("", [](FindOptions& o) { o.older = kJan2020; }),
       {"/mnt/usb/big.iso", "D:\\Docs\\edge.bin"}},
      {"between",
       Options("",
               [](FindOptions& o) {
                 o.newer = kJan2020 - kDay;
                 o.older = kJan2020 + kDay;
               }),
       {"/mnt/usb/Winter", "/mnt/usb/Summer/beach.JPG", "D:\\Docs", "D:\\Docs\\plan.txt"}},
      {"path, across the separator",
       Options("summer/e", [](FindOptions& o) { o.matchPath = true; }),
       {"/mnt/usb/Summer/Evening", "/mnt/usb/Summer/Evening/sunset.jpg"}},
      // '\\' in a pattern makes wildcard characters plain, so '/' separates on Windows too.
      {"path of a Windows catalogue, written with '/'",
       Options("docs/s", [](FindOptions& o) { o.matchPath = true; }),
       {"D:\\Docs\\summer.doc"}},
      {"path of a Windows catalogue, not with its own separator",
       Options("docs\\s", [](FindOptions& o) { o.matchPath = true; }),
       {}},
      {"path wildcard on a Windows catalogue",
       Options("d:/*/*.doc", [](FindOptions& o) { o.matchPath = true; }),
       {"D:\\Docs\\summer.doc"}},
      {"path wildcard",
       Options("/mnt/*/s*", [](FindOptions& o) { o.matchPath = true; }),
       {"/mnt/usb/Summer", "/mnt/usb/Summer/beach.JPG", "/mnt/usb/Summer/Evening",
        "/mnt/usb/Summer/notes.txt", "/mnt/usb/Summer/Evening/sunset.jpg"}},
      {"regex",
       Options("^s.*\\.jpe?g$", [](FindOptions& o) { o.regex = true; }),
       {"/mnt/usb/Summer/Evening/sunset.jpg"}},
      {"regex ignores case",
       Options("^SUM", [](FindOptions& o) { o.regex = true; }),
       {"/mnt/usb/Summer", "D:\\Docs\\summer.doc"}},
      {"regex on the path",
       Options("evening/.",
               [](FindOptions& o) {
                 o.regex = true;
                 o.matchPath = true;
               }),
       {"/mnt/usb/Summer/Evening/sunset.jpg"}},
      // Once --limit results are shown nothing more is read, so later damage goes unseen.
      {"limit within a catalogue",
       Options("s", [](FindOptions& o) { o.limit = 2; }),
       {"/mnt/usb/Summer", "/mnt/usb/big.iso"},
       false},
      {"limit across catalogues",
       Options("summer", [](FindOptions& o) { o.limit = 2; }),
       {"/mnt/usb/Summer", "D:\\Docs\\summer.doc"}},
      {"limit reached first",
       Options("summer", [](FindOptions& o) { o.limit = 1; }),
       {"/mnt/usb/Summer"},
       false},
      {"nothing", Options("no such name"), {}},
  };
  for (const Case& c : cases) {
    for (const int threads : {1, 3}) {
      SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads));
      FindOptions options = c.options;
      options.threads = threads;
      FindOutcome outcome;
      EXPECT_EQ(Paths(options, &outcome), c.paths);
      EXPECT_EQ(outcome.matches, c.paths.size());
      // The damaged catalogue is told with its offset, and the others are still searched.
      EXPECT_EQ(outcome.damaged, c.damageRead);
      EXPECT_EQ(outcome.problems,
                c.damageRead ? std::vector<std::string>{DamageLine()} : std::vector<std::string>{});
    }
  }
}

// --count prints the number of matches over all catalogues and nothing else, the same
// number as the results listed, and counts every match whatever --limit says.
TEST_F(FindQueryTest, CountAgreesWithTheResults) {
  const FindOptions cases[] = {
      Options("summer"),
      Options("S"),
      Options(".jp"),
      Options(""),
      Options("*.jpg"),
      Options("summer", [](FindOptions& o) { o.type = FindOptions::Type::File; }),
      Options("e",
              [](FindOptions& o) {
                o.size = SizeFilter{'+', 1024};
              }),
      Options("e", [](FindOptions& o) { o.matchPath = true; }),
      Options("^.u", [](FindOptions& o) { o.regex = true; }),
  };
  for (const FindOptions& listed : cases) {
    SCOPED_TRACE(listed.pattern);
    FindOutcome all;
    const size_t shown = Paths(listed, &all).size();
    FindOptions counted = listed;
    counted.count = true;
    counted.limit = 1;
    FindOutcome outcome;
    EXPECT_EQ(Run(counted, OutputFormat::Text, &outcome), std::to_string(shown) + "\n");
    EXPECT_EQ(outcome.matches, shown);
    EXPECT_EQ(outcome.problems, std::vector<std::string>{DamageLine()});
  }
}

// The size of a clamped version-5 file and a whole version-6 one, and a folder's figures,
// in every output form; in text a folder's path ends in its separator.
TEST_F(FindQueryTest, SizesInEveryForm) {
  const FindOptions options =
      Options("^(big\\.iso|huge\\.vhd|docs)$", [](FindOptions& o) { o.regex = true; });
  FindOutcome outcome;
  EXPECT_EQ(Run(options, OutputFormat::Text, &outcome),
            "PHOTOS:/mnt/usb/big.iso\t>=2.0G\t" + LocalTimeText(kJan2020 - kDay) + "\n" +
                "WORK:D:\\Docs\\\t7.0G\t" + LocalTimeText(kJan2020) + "\n" +
                "WORK:D:\\Docs\\huge.vhd\t5.0G\t" + LocalTimeText(kJan2020 + 2 * kDay) + "\n");
  EXPECT_EQ(Run(options, OutputFormat::Text, &outcome, nullptr, /*exactBytes=*/true),
            "PHOTOS:/mnt/usb/big.iso\t>=2147483648\t" + LocalTimeText(kJan2020 - kDay) + "\n" +
                "WORK:D:\\Docs\\\t7516194816\t" + LocalTimeText(kJan2020) + "\n" +
                "WORK:D:\\Docs\\huge.vhd\t5368709120\t" + LocalTimeText(kJan2020 + 2 * kDay) +
                "\n");
  EXPECT_EQ(Run(options, OutputFormat::Json, &outcome),
            "{\"volume\":\"PHOTOS\",\"catalog\":\"A.kvl\",\"path\":\"/mnt/usb/big.iso\","
            "\"name\":\"big.iso\",\"type\":\"file\",\"size\":2147483647,\"size_clamped\":true,"
            "\"files\":null,\"modified\":\"2019-12-31T00:00:00Z\",\"modified_epoch\":1577750400,"
            "\"name_bytes\":null,\"serial\":\"1234-ABCD\",\"parent\":0,\"folder\":null}\n"
            "{\"volume\":\"WORK\",\"catalog\":\"C.kvl\",\"path\":\"D:\\\\Docs\",\"name\":\"Docs\","
            "\"type\":\"folder\",\"size\":7516194816,\"size_clamped\":false,\"files\":4,"
            "\"modified\":\"2020-01-01T00:00:00Z\",\"modified_epoch\":1577836800,"
            "\"name_bytes\":null,\"serial\":\"1234-ABCD\",\"parent\":0,\"folder\":1}\n"
            "{\"volume\":\"WORK\",\"catalog\":\"C.kvl\",\"path\":\"D:\\\\Docs\\\\huge.vhd\","
            "\"name\":\"huge.vhd\",\"type\":\"file\",\"size\":5368709120,\"size_clamped\":false,"
            "\"files\":null,\"modified\":\"2020-01-03T00:00:00Z\",\"modified_epoch\":1578009600,"
            "\"name_bytes\":null,\"serial\":\"1234-ABCD\",\"parent\":1,\"folder\":null}\n");
  const std::string csv = Run(options, OutputFormat::Csv, &outcome);
  EXPECT_EQ(csv.substr(0, csv.find("\n")),
            "volume,catalog,path,name,type,size,size_clamped,files,modified,modified_epoch,"
            "name_bytes,serial,parent,folder");
  // Text quoted on every row, numbers and booleans bare, a null empty, LF line ends.
  EXPECT_NE(csv.find("\n\"PHOTOS\",\"A.kvl\",\"/mnt/usb/big.iso\",\"big.iso\",\"file\","
                     "2147483647,true,,\"2019-12-31T00:00:00Z\",1577750400,,\"1234-ABCD\",0,\n"),
            std::string::npos)
      << csv;
  EXPECT_EQ(csv.find('\r'), std::string::npos) << csv;
}

// CSV output is one table: its header row comes once, however many catalogues give rows.
TEST_F(FindQueryTest, CsvHasOneHeaderForAllCatalogues) {
  for (const int threads : {1, 3}) {
    SCOPED_TRACE(threads);
    FindOutcome outcome;
    const std::string csv = Run(Options("summer", [&](FindOptions& o) { o.threads = threads; }),
                                OutputFormat::Csv, &outcome);
    EXPECT_EQ(csv.rfind("volume,catalog,path,", 0), 0u) << csv;
    EXPECT_EQ(csv.find("volume,catalog,path,", 1), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n\"WORK\",\"C.kvl\",\"D:\\Docs\\summer.doc\","), std::string::npos) << csv;
  }
}

TEST_F(FindQueryTest, NamesInACodePage) {
  LaidCatalog volume = Volume("OLD", "C:\\", 5);
  fake_.AddFileWithContent(
      "C:\\old\\OLD.kvl", TreeCatalog(volume, {{"Caf\xE9/", 0, 0}, {"Caf\xE9/men\xFC.txt", 7, 0}}));
  const std::vector<CatalogFile> files = Files("C:\\old");
  struct Case {
    std::string encoding;
    FindOptions options;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {"cp1252", Options("caf\xC3\xA9"), {"C:\\Caf\xC3\xA9"}},
      {"cp1252", Options("\xC3\xA9\\m", [](FindOptions& o) { o.matchPath = true; }), {}},
      {"cp1252",
       Options("\xC3\xA9/m", [](FindOptions& o) { o.matchPath = true; }),
       {"C:\\Caf\xC3\xA9\\men\xC3\xBC.txt"}},
      {"cp1252", Options("CAF\xC3\x89"), {"C:\\Caf\xC3\xA9"}},  // decoded, then folded
      {"", Options("caf\xC3\xA9"), {}},
      {"", Options("caf"), {"C:\\Caf\xE9"}},  // without an encoding, bytes as stored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.pattern + " in " + c.encoding);
    FindOptions options = c.options;
    options.encoding = c.encoding;
    FindOutcome outcome;
    EXPECT_EQ(Paths(options, &outcome, &files), c.paths);
  }
  FindOutcome outcome;
  const std::string json = Run(Options("men"), OutputFormat::Json, &outcome, &files);
  EXPECT_NE(json.find("\"name\":\"men\xEF\xBF\xBD.txt\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"name_bytes\":\"6d656efc2e747874\""), std::string::npos) << json;
}

// Case folds beyond ASCII on every way a name is searched: the table-wide search of an
// ASCII substring (which must still see the characters that fold into its letters), the
// per-name matcher of other substrings and of wildcards, and --count.
TEST_F(FindQueryTest, CaseFoldsBeyondAsciiOnEveryPath) {
  fake_.AddFileWithContent(
      "C:\\uni\\U.kvl",
      TreeCatalog(Volume("UNI", "/u/", 5), {{"\xC3\x89T\xC3\x89.jpg", 1, 0},  // ÉTÉ.jpg
                                            {"\xC5\xBFuper.txt", 1, 0},       // ſuper.txt
                                            {"SUPER.txt", 1, 0},
                                            {"[draft].doc", 1, 0},
                                            {"draft.doc", 1, 0},
                                            {"\xC3\x89t\xC3\xA9\xFF.bin", 1, 0}}));  // not UTF-8
  const std::vector<CatalogFile> files = Files("C:\\uni");
  struct Case {
    const char* pattern;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {"\xC3\xA9t\xC3\xA9", {"/u/\xC3\x89T\xC3\x89.jpg"}},
      {"super", {"/u/\xC5\xBFuper.txt", "/u/SUPER.txt"}},
      {"*.JPG", {"/u/\xC3\x89T\xC3\x89.jpg"}},
      {"\\[draft\\]", {"/u/[draft].doc"}},
      {"\\[draft]*", {"/u/[draft].doc"}},
      {"[draft]*", {"/u/draft.doc"}},
      {"\xC3\x89T\xC3\xA9", {"/u/\xC3\x89T\xC3\x89.jpg"}},
      {"\xC3\xA9t\xC3\xA9\xFF", {}},  // not UTF-8: A to Z only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    FindOutcome outcome;
    EXPECT_EQ(Paths(Options(c.pattern), &outcome, &files), c.paths);
    FindOutcome counted;
    EXPECT_EQ(Run(Options(c.pattern, [](FindOptions& o) { o.count = true; }), OutputFormat::Text,
                  &counted, &files),
              std::to_string(c.paths.size()) + "\n");
  }
}

TEST_F(FindQueryTest, OptionsThatCannotBeUsedAreRefused) {
  const FindOptions cases[] = {
      Options("(", [](FindOptions& o) { o.regex = true; }),
      Options("x", [](FindOptions& o) { o.encoding = "no-such-code-page"; }),
  };
  for (const FindOptions& options : cases) {
    SCOPED_TRACE(options.pattern);
    StringSink out;
    FindOutcome outcome;
    std::string error;
    EXPECT_FALSE(RunFind(fake_, files_, options, {}, out, &outcome, &error));
    EXPECT_NE(error, "");
    EXPECT_EQ(out.text, "");
  }
}

// Large catalogues are read through a buffer and searched by several threads; the bytes of
// some sizes and times spell the pattern. The results and the count are those of a search
// name by name, in catalogue order, whatever the threads.
TEST_F(FindQueryTest, LargeCataloguesGiveEveryMatchInOrder) {
  constexpr int kEntries = 40000;
  constexpr int32_t kNeed = 0x6465656E;  // "need" in little-endian bytes
  std::vector<TreeItem> items;
  std::vector<std::string> needles;
  for (int i = 0; i < kEntries; ++i) {
    char path[32];
    std::snprintf(path, sizeof path, "dir%02d/%s%05d.dat", i / 1000, i % 7 == 0 ? "needle" : "file",
                  i);
    items.push_back({path, i % 5 == 0 ? kNeed : i, i % 3 == 0 ? kNeed : 0});
    if (i % 7 == 0) needles.push_back(std::string("/mnt/usb/") + path);
  }
  const std::string bytes = TreeCatalog(Volume("BIG", "/mnt/usb/", 5), items);
  std::vector<std::string> expected;
  for (const char* name : {"1.kvl", "2.kvl", "3.kvl"}) {
    fake_.AddFileWithContent(std::string("C:\\big\\") + name, bytes);
    expected.insert(expected.end(), needles.begin(), needles.end());
  }
  const std::vector<CatalogFile> files = Files("C:\\big");

  std::string allInOneThread;
  for (const int threads : {1, 4}) {
    SCOPED_TRACE(threads);
    FindOutcome outcome;
    EXPECT_EQ(
        Paths(Options("NEED", [&](FindOptions& o) { o.threads = threads; }), &outcome, &files),
        expected);
    for (const bool regex : {false, true}) {
      FindOutcome counted;
      Run(Options("need",
                  [&](FindOptions& o) {
                    o.count = true;
                    o.regex = regex;
                    o.threads = threads;
                  }),
          OutputFormat::Text, &counted, &files);
      EXPECT_EQ(counted.matches, expected.size()) << "regex " << regex;
    }
    // Every entry: more than a megabyte of output from each catalogue.
    const std::string all = Run(Options("", [&](FindOptions& o) { o.threads = threads; }),
                                OutputFormat::NulPaths, &outcome, &files);
    if (threads == 1) {
      allInOneThread = all;
      EXPECT_GT(all.size(), 3u << 20);
    } else {
      EXPECT_TRUE(all == allInOneThread) << "results out of order with threads";
    }
    EXPECT_TRUE(outcome.problems.empty());
  }
}

TEST(ParseSizeFilterTest, AcceptedAndRefusedTexts) {
  struct Case {
    const char* text;
    bool accepted;
    char relation;
    uint64_t bytes;
  };
  const Case cases[] = {
      {"512", true, '=', 512},
      {"0", true, '=', 0},
      {"007", true, '=', 7},
      {"+10K", true, '+', 10240},
      {"+10k", true, '+', 10240},
      {"-1M", true, '-', 1048576},
      {"3G", true, '=', 3 * kGiB},
      {"2t", true, '=', 2 * kGiB << 10},
      {"-0", true, '-', 0},
      {"999999999999999", true, '=', 999999999999999},     // 15 digits, the most taken
      {"16777215T", true, '=', uint64_t{16777215} << 40},  // the largest T below 2^64
      {"17592186044415M", true, '=', uint64_t{17592186044415} << 20},
      {"", false, 0, 0},
      {"+", false, 0, 0},
      {"-", false, 0, 0},
      {"K", false, 0, 0},
      {"+K", false, 0, 0},
      {"1000000000000000", false, 0, 0},  // 16 digits
      {"1.5K", false, 0, 0},
      {"10KB", false, 0, 0},
      {"10 K", false, 0, 0},
      {" 10", false, 0, 0},
      {"+-5", false, 0, 0},
      {"--5", false, 0, 0},
      {"0x10", false, 0, 0},
      {"5P", false, 0, 0},
      {"1e3", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SizeFilter filter{'?', 12345};
    EXPECT_EQ(ParseSizeFilter(c.text, &filter), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(filter.relation, c.relation);
      EXPECT_EQ(filter.bytes, c.bytes);
    } else {
      EXPECT_EQ(filter.relation, '?') << "a refused text leaves the filter alone";
      EXPECT_EQ(filter.bytes, 12345u);
    }
  }
}

// A size of 2^64 bytes or more would wrap when shifted into 64 bits ("+16777216T" would
// become "+0" and find every entry): it is refused.
TEST(ParseSizeFilterTest, SizesBeyond64BitsAreRefusedNotWrapped) {
  for (const char* text : {"16777216T", "+999999999999999T", "17592186044416M", "-17179869184G"}) {
    SCOPED_TRACE(text);
    SizeFilter filter;
    const bool accepted = ParseSizeFilter(text, &filter);
    EXPECT_FALSE(accepted) << "taken as " << filter.bytes << " bytes";
  }
}

}  // namespace
}  // namespace ledra
