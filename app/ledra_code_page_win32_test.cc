// The reader and the ignore patterns under Wine in the code pages Windows users have: trees
// with double-byte names are catalogued by LedraCmd in the ANSI code page, then read by
// `ledra` as ledra.exe does, with the machine's code page for catalogues of Windows drives.
// The test program runs in code page 1252, and in 932 and 936 (ledra_tests_cp932,
// ledra_tests_cp936: cmake/wine-run.sh with LEDRA_WINE_LOCALE); each case says which code
// pages it needs and is skipped elsewhere, with the reason.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/ledra_cli.h"
#include "app/wide_tree_win32_testing.h"
#include "catalog/catalog_reader.h"
#include "platform/code_page.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

using test::MakeTree;
using test::Utf16;
using test::WriteWide;

// The bytes of `utf8` in the ANSI code page, as the catalogue stores names.
std::string Ansi(const std::string& utf8) { return test::Ansi(Utf16(utf8)); }

struct ReaderRun {
  int status = -1;
  std::string out;
  std::string err;
};

class EndToEndLedraCodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = tree_.root();
    wideBase_ = Utf16(base_);
  }

  bool Needs(const std::vector<UINT>& pages) {
    if (std::find(pages.begin(), pages.end(), GetACP()) != pages.end()) return true;
    const char* problem = std::getenv("LEDRA_WINE_LOCALE_PROBLEM");
    std::ostringstream why;
    why << "the ANSI code page is " << GetACP() << "; this case needs another one (the tests "
        << "run in code page 1252 and, as ledra_tests_cp932 and ledra_tests_cp936, in 932 and "
        << "936)";
    if (problem != nullptr) why << "; " << problem;
    skipReason_ = why.str();
    return false;
  }

  // Catalogues `tree` (below the base) as volume Tree with the ignore text, into the base.
  void Catalogue(const std::string& ignore) {
    std::string params = "#DEV " + base_ + "\\tree,Tree\n";
    if (!ignore.empty()) params = "#IGN " + Ansi(ignore) + "\n" + params;
    WriteWide(wideBase_ + L"\\params.txt", params);
    const e2e::RunResult run = e2e::RunInProcess(base_ + "\\params.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
  }

  // ledra over the base's catalogues as ledra.exe runs: the machine's ANSI code page for
  // catalogues of Windows drives.
  ReaderRun Ledra(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--in", base_});
    std::vector<const char*> argv{"ledra"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    ReaderRun run;
    std::ostringstream errorText;
    StringSink out;
    {
      MessageSink errors(errorText);
      std::unique_ptr<Platform> platform = NewRealPlatform(errors);
      ReaderContext context{*platform, out, errors, nullptr, 2000000000, 1};
      context.ansiCodePage = MachineAnsiCodePage();
      run.status = RunReader(static_cast<int>(argv.size()), argv.data(), context);
    }
    run.out = out.text;
    run.err = errorText.str();
    return run;
  }

  // The names find gives (-0), each the part after the last '\', sorted.
  std::vector<std::string> Found(const std::vector<std::string>& args) {
    std::vector<std::string> command = {"find"};
    command.insert(command.end(), args.begin(), args.end());
    command.push_back("-0");
    const ReaderRun run = Ledra(command);
    EXPECT_EQ(run.err, "");
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t end = run.out.find('\0'); end != std::string::npos;
         start = end + 1, end = run.out.find('\0', start)) {
      const std::string path = run.out.substr(start, end - start);
      names.push_back(path.substr(path.rfind('\\') + 1));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The names of the catalogue's entries as stored, sorted.
  std::vector<std::string> Stored() {
    std::vector<std::string> names;
    const std::wstring file = wideBase_ + L"\\Tree.kvl";
    const HANDLE handle = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {"<no catalogue>"};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
      bytes.append(buffer, got);
    }
    CloseHandle(handle);
    CatalogContents c;
    ReadProblem problem;
    if (!LoadCatalog(bytes, &c, &problem)) return {problem.Text()};
    for (const CatalogEntry& e : c.entries) names.emplace_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  TempTree tree_;
  std::string base_;
  std::wstring wideBase_;
  std::string skipReason_;
};

// A pattern takes a double-byte character whole: its second byte is neither a letter that
// folds, nor '~', nor the '[' of a set.
TEST_F(EndToEndLedraCodePageTest, IgnorePatternsLeaveOutOnlyWhatTheyName) {
  if (!Needs({932, 936, 949, 950})) GTEST_SKIP() << skipReason_;
  // Names whose second byte is 'A' or 'a' in this code page, and one with '[' (932, 936).
  const UINT page = GetACP();
  const std::string withA = page == 932   ? "x\xE3\x82\xA2"   // xア 83 41
                            : page == 936 ? "x\xE5\x82\xBE"   // x傾 83 41
                            : page == 949 ? "x\xEA\xB0\x82"   // x갂 81 41
                                          : "x\xE4\xB9\x99";  // x乙 A4 41
  const std::string bracket = page == 932 ? "\xE3\x83\xBC"    // ー 81 5B
                                          : "\xE4\xB9\x95";   // 乕 81 5B (936)
  MakeTree(wideBase_, {{"tree", -1},
                       {"tree/" + withA, 1},
                       {"tree/xa", 2},
                       {"tree/" + bracket + ".txt", 3},
                       {"tree/" + bracket + bracket, 4},
                       {"tree/" + bracket + "d", -1},
                       {"tree/" + bracket + "d/in.txt", 5}});
  struct Case {
    std::string ignore;
    std::vector<std::string> left;  // stored names left out, in UTF-8
  };
  std::vector<Case> cases = {
      {"*a", {"xa"}},
      {"*A", {"xa"}},
      {withA, {withA}},
      {"x?", {withA, "xa"}},
  };
  if (page == 932 || page == 936) {
    cases.push_back({"*" + bracket + ".txt", {bracket + ".txt"}});
    cases.push_back({bracket + "*", {bracket + ".txt", bracket + bracket}});
    cases.push_back({"\\" + bracket + "d", {bracket + "d", "in.txt"}});
  }
  std::vector<std::string> all;
  for (const std::string& name : {withA, std::string("xa"), bracket + ".txt", bracket + bracket,
                                  bracket + "d", std::string("in.txt")}) {
    all.push_back(Ansi(name));
  }
  std::sort(all.begin(), all.end());
  for (const Case& c : cases) {
    SCOPED_TRACE("#IGN " + c.ignore);
    Catalogue(c.ignore);
    std::vector<std::string> expected;
    for (const std::string& name : all) {
      bool left = false;
      for (const std::string& out : c.left) left = left || Ansi(out) == name;
      if (!left) expected.push_back(name);
    }
    EXPECT_EQ(Stored(), expected);
  }
}

// What LedraCmd wrote in the ANSI code page is searched, listed and compared by its real
// names: the command line is UTF-8, the names are decoded by the machine's code page.
TEST_F(EndToEndLedraCodePageTest, TheReaderSearchesDecodedNames) {
  if (!Needs({932})) GTEST_SKIP() << skipReason_;
  const std::string soft = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";      // ソフト
  const std::string data = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt";  // データ.txt
  const std::string table = "\xE8\xA1\xA8";                             // 表
  const std::string xa = "x\xE3\x82\xA2";                               // xア
  const std::string xdi = "x\xE3\x83\x82";                              // xヂ
  const std::string abc = "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3";       // ＡＢＣ
  MakeTree(wideBase_, {{"tree", -1},
                       {"tree/" + soft, -1},
                       {"tree/" + soft + "/" + data, 3000},
                       {"tree/" + table, -1},
                       {"tree/" + table + "/a.txt", 5},
                       {"tree/" + xa, 100},
                       {"tree/" + xdi, 100},
                       {"tree/" + abc, 7}});
  Catalogue("");
  EXPECT_EQ(Found({"a"}), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(Found({"\xE3\x82\xA2"}), (std::vector<std::string>{xa}));
  EXPECT_EQ(Found({data}), (std::vector<std::string>{data}));
  EXPECT_EQ(Found({"--regex", table}), (std::vector<std::string>{table}));
  EXPECT_EQ(Found({"--encoding", "shift_jis", "--regex", table}),
            (std::vector<std::string>{table}));

  const ReaderRun listed = Ledra({"ls", "--csv", "Tree:\\" + soft});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find(data), std::string::npos) << listed.out;
  const ReaderRun total = Ledra({"du", "--csv", "--bytes", "Tree:" + soft});
  EXPECT_EQ(total.status, 0) << total.err;
  EXPECT_NE(total.out.find("3000"), std::string::npos) << total.out;

  const ReaderRun dupes = Ledra({"dupes", "--csv", "--min-size", "0"});
  EXPECT_EQ(dupes.status, 1) << dupes.out << dupes.err;  // xア and xヂ are no copies
}

// Code page 1252: a folder named outside ASCII is named in ls and du as it is shown.
TEST_F(EndToEndLedraCodePageTest, FoldersOutsideAsciiAreNamedAsShown) {
  if (!Needs({1252})) GTEST_SKIP() << skipReason_;
  MakeTree(wideBase_,
           {{"tree", -1}, {"tree/Caf\xC3\xA9", -1}, {"tree/Caf\xC3\xA9/men\xC3\xBC.txt", 9}});
  Catalogue("");
  const ReaderRun listed = Ledra({"ls", "--csv", "Tree:\\Caf\xC3\xA9"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("men\xC3\xBC.txt"), std::string::npos) << listed.out;
  const ReaderRun folded = Ledra({"du", "--csv", "Tree:\\CAF\xC3\x89"});
  EXPECT_EQ(folded.status, 0) << folded.err;
  EXPECT_EQ(Found({"\xC3\xA9"}), (std::vector<std::string>{"Caf\xC3\xA9"}));
}

}  // namespace
}  // namespace ledra
