// The reader on catalogues of both systems in one run: names of a catalogue of a Windows
// drive are decoded from its ANSI code page (--encoding, or the machine's), names of a Linux
// catalogue are UTF-8, and every command matches, names and compares the decoded names.
// The catalogues are laid out by hand in a real folder and read through the real platform,
// so the same cases hold natively (iconv) and under Wine (the system's code pages).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/ledra_cli.h"
#include "platform/temp_tree_testing.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

// The names of the tree, in code page 932 and in UTF-8.
struct Name {
  const char* cp932;
  const char* utf8;
};
const Name kSoft = {"\x83\x5C\x83\x74\x83\x67", "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88"};  // ソフト
const Name kData = {"\x83\x66\x81\x5B\x83\x5E.txt",
                    "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt"};  // データ.txt
const Name kXa = {"x\x83\x41", "x\xE3\x82\xA2"};                  // xア
const Name kXdi = {"x\x83\x61", "x\xE3\x83\x82"};                 // xヂ
const Name kAbc = {"\x82\x60\x82\x61\x82\x62", "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3"};  // ＡＢＣ
const Name kTable = {"\x95\x5C", "\xE8\xA1\xA8"};                                        // 表

struct Item {
  std::vector<Name> path;  // components
  int64_t size;
};

// The tree as both systems catalogued it; the Linux disk lacks xヂ.
const std::vector<Item> kTree = {
    {{kSoft, kData}, 3000},
    {{kXa}, 100},
    {{kXdi}, 100},
    {{kAbc}, 7},
    {{kTable, {"a.txt", "a.txt"}}, 5},
    {{{"abc.txt", "abc.txt"}}, 9},
};

std::string Joined(const Item& item, bool cp932) {
  std::string path;
  for (const Name& n : item.path)
    path += (path.empty() ? "" : "/") + std::string(cp932 ? n.cp932 : n.utf8);
  return path;
}

class LedraEncodingTest : public ::testing::Test {
 protected:
  LedraEncodingTest() {
    test::LaidCatalog windows;
    windows.root = "C:\\";
    windows.volumeName = "W932";
    test::LaidCatalog linux;
    linux.root = "/";
    linux.volumeName = "L";
    linux.serial = 0x55;
    std::vector<test::TreeItem> ansi;
    std::vector<test::TreeItem> utf8;
    for (const Item& item : kTree) {
      ansi.push_back({Joined(item, true), item.size, 1000});
      if (std::string(item.path[0].utf8) != kXdi.utf8)
        utf8.push_back({Joined(item, false), item.size, 1000});
    }
    test::WriteWholeFile(cats_.Path("W932.kvl"), test::TreeCatalog(windows, ansi));
    test::WriteWholeFile(cats_.Path("L.kvl"), test::TreeCatalog(linux, utf8));
  }

  // `ledra` over the two catalogues; `ansiCodePage` as the machine would give it.
  std::string Run(std::vector<std::string> args, const std::string& ansiCodePage = "",
                  int expectedStatus = 0) {
    std::ostringstream errorText;
    StringSink out;
    MessageSink errors(errorText);
    std::unique_ptr<Platform> platform = NewRealPlatform(errors);
    args.insert(args.begin() + 1, {"--in", cats_.root()});
    std::vector<const char*> argv{"ledra"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    ReaderContext context{*platform, out, errors, nullptr, 2000000000, 1};
    context.ansiCodePage = ansiCodePage;
    EXPECT_EQ(RunReader(static_cast<int>(argv.size()), argv.data(), context), expectedStatus)
        << errorText.str();
    return out.text;
  }

  // The paths find -0 gives, below the root, '/' between folders, sorted.
  std::vector<std::string> Found(std::vector<std::string> args, const std::string& ansi = "") {
    args.insert(args.begin(), "find");
    args.push_back("-0");
    const std::string out = Run(args, ansi);
    std::vector<std::string> paths;
    std::string path;
    for (const char c : out) {
      if (c != '\0') {
        path += c == '\\' ? '/' : c;
        continue;
      }
      paths.push_back(path.substr(path.find('/') + 1));
      path.clear();
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  TempTree cats_;
};

TEST_F(LedraEncodingTest, FindMatchesDecodedNames) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> expected;  // on W932, by --encoding or by the machine's code page
  };
  const std::string data = std::string(kSoft.utf8) + "/" + kData.utf8;
  const std::string tableA = std::string(kTable.utf8) + "/a.txt";
  const std::vector<Case> cases = {
      {{"a"}, {"abc.txt", tableA}},  // not xア, not ＡＢＣ
      {{kXa.utf8 + 1}, {kXa.utf8}},  // ア: not xヂ
      {{kData.utf8}, {data}},        // no glob, though 0x5B is inside in 932
      {{std::string(kData.utf8, 3) + "*"}, {data}},
      {{"?\xE3\x82\xA2"}, {kXa.utf8}},
      {{"--regex", kTable.utf8}, {kTable.utf8}},
      {{"--regex", "^\xEF\xBD\x81"}, {kAbc.utf8}},  // ａ: ＡＢＣ folds by Unicode rules
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    std::vector<std::string> byOption = c.args;
    byOption.insert(byOption.end(), {"--volume", "W932", "--encoding", "cp932"});
    EXPECT_EQ(Found(byOption), c.expected);
    std::vector<std::string> byMachine = c.args;
    byMachine.insert(byMachine.end(), {"--volume", "W932"});
    EXPECT_EQ(Found(byMachine, "cp932"), c.expected);
    // The Linux catalogue holds UTF-8 whatever the code page (xヂ is not on it).
    std::vector<std::string> linux = c.args;
    linux.insert(linux.end(), {"--volume", "L", "--encoding", "shift_jis"});
    std::vector<std::string> expected = c.expected;
    expected.erase(std::remove(expected.begin(), expected.end(), kXdi.utf8), expected.end());
    EXPECT_EQ(Found(linux), expected);
  }
}

TEST_F(LedraEncodingTest, LsAndDuNameFoldersAsShown) {
  const std::string folder = std::string("W932:") + "\\" + kSoft.utf8;
  const std::string listed = Run({"ls", "--csv", folder, "--encoding", "cp932"});
  EXPECT_NE(listed.find(kData.utf8), std::string::npos) << listed;
  const std::string byMachine = Run({"ls", "--csv", folder}, "cp932");
  EXPECT_EQ(byMachine, listed);
  const std::string total = Run({"du", "--csv", "--bytes", folder, "--encoding", "cp932"});
  EXPECT_NE(total.find("3000"), std::string::npos) << total;
  const std::string linux =
      Run({"ls", "--csv", std::string("L:/") + kSoft.utf8, "--encoding", "cp932"});
  EXPECT_NE(linux.find(kData.utf8), std::string::npos) << linux;
}

// xア and xヂ are two names, decoded or kept as stored bytes; the same name on the Windows
// and the Linux disk is one.
TEST_F(LedraEncodingTest, DupesAndUniqueCompareDecodedNames) {
  for (const char* ansi : {"cp932", ""}) {
    SCOPED_TRACE(std::string("machine code page '") + ansi + "'");
    const std::string dupes =
        Run({"dupes", "--csv", "--min-size", "0", "--volume", "W932"}, ansi, 1);
    EXPECT_EQ(dupes, "") << dupes;
  }
  const std::string unique = Run({"unique", "--csv", "W932", "--encoding", "cp932"});
  EXPECT_NE(unique.find(kXdi.utf8), std::string::npos) << unique;
  EXPECT_EQ(unique.find(kXa.utf8), std::string::npos) << unique;
  EXPECT_EQ(unique.find("abc.txt"), std::string::npos) << unique;
  const std::string across = Run({"dupes", "--csv", "--min-size", "0"}, "cp932");
  EXPECT_NE(across.find(kXa.utf8), std::string::npos) << across;
  EXPECT_EQ(across.find(kXdi.utf8), std::string::npos) << across;
}

// Each side of a diff is decoded by its own rule: the Windows and the Linux catalogue of one
// tree differ by the one file the Linux disk lacks.
TEST_F(LedraEncodingTest, DiffDecodesEachSideByItsOwnRule) {
  const std::string diff = Run({"diff", "--csv", "L", "W932", "--encoding", "cp932"});
  size_t rows = 0;
  std::istringstream lines(diff);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("\"added\"", 0) == 0 || line.rfind("\"removed\"", 0) == 0) ++rows;
  }
  EXPECT_EQ(rows, 1u) << diff;
  EXPECT_NE(diff.find(std::string("\"added\",\"C:\\") + kXdi.utf8), std::string::npos) << diff;
}

}  // namespace
}  // namespace ledra
