// Whole runs under Wine on names as Windows users have them: double-byte characters whose
// second byte is '\' (code page 932), names the ANSI code page cannot hold, a tree deeper
// than 260 characters and a working folder outside the code page. The trees are made and
// read with the wide calls, which know nothing of the code page. The test program runs
// twice: in Wine's default code page 1252 and, as ledra_tests_cp932, in a Japanese locale
// (cmake/wine-run.sh with LEDRA_WINE_LOCALE); each case says which code pages it needs.
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
#include "app/reader_round_trip_testing.h"
#include "app/wide_tree_win32_testing.h"
#include "catalog/catalog_reader.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

using test::Ansi;
using test::Long;
using test::MakeTree;
using test::Utf16;
using test::Utf8;
using test::WriteWide;

std::string ReadWide(const std::wstring& path) {
  const HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
    bytes.append(buffer, got);
  }
  CloseHandle(file);
  return bytes;
}

// The names in a folder, sorted, without the dots.
std::vector<std::wstring> NamesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(Long(folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data) != 0);
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Every entry of a catalogue as 'folder\name size' for files and 'folder\name\' for
// folders, sorted: the stored names and where the walk found them.
std::vector<std::string> Listing(const CatalogContents& c) {
  std::vector<std::string> folderPath(c.folders.size());
  std::vector<std::string> lines;
  for (const CatalogEntry& e : c.entries) {
    const std::string name(e.name);
    if (e.folderIndex >= folderPath.size()) return {"entry in folder " + name + " past the end"};
    const std::string path = folderPath[e.folderIndex] + name;
    if (!e.IsFolder()) {
      lines.push_back(path + " " + std::to_string(e.size));
      continue;
    }
    const size_t own = static_cast<size_t>(-static_cast<int64_t>(e.size));
    if (own >= folderPath.size()) return {"folder " + path + " without its record"};
    folderPath[own] = path + "\\";
    lines.push_back(path + "\\");
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

::testing::AssertionResult Load(const std::wstring& file, CatalogContents* c) {
  ReadProblem problem;
  if (LoadCatalog(ReadWide(file), c, &problem)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << problem.Text();
}

class EndToEndCodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = tree_.root();
    wideBase_ = Utf16(base_);
  }

  // Skips the test unless the ANSI code page is one of `pages`.
  bool Needs(const std::vector<UINT>& pages) {
    if (std::find(pages.begin(), pages.end(), GetACP()) != pages.end()) return true;
    const char* problem = std::getenv("LEDRA_WINE_LOCALE_PROBLEM");
    std::ostringstream why;
    why << "the ANSI code page is " << GetACP() << "; this case needs another one (the tests run "
        << "in code page 1252 and, as ledra_tests_cp932 and ledra_tests_cp936, in 932 and 936)";
    if (problem != nullptr) why << "; " << problem;
    skipReason_ = why.str();
    return false;
  }

  TempTree tree_;
  std::string base_;  // ASCII
  std::wstring wideBase_;
  std::string skipReason_;
};

// Every folder is entered by its real name and all its files are catalogued, whether the
// code page holds the name or not; the stored name has '?' for each character it lacks
// (no best fit: 'É' is no 'E').
TEST_F(EndToEndCodePageTest, FoldersOutsideTheCodePageAreEntered) {
  if (!Needs({1252, 932})) GTEST_SKIP() << skipReason_;
  const bool japanese = GetACP() == 932;
  const std::string chinese = japanese ? "\x92\x86\x95\xB6" : "??";
  const std::string software = japanese ? "\x83\\\x83t\x83g" : "???";
  const std::string french = japanese ? "?t?" : "\xC9t\xE9";
  MakeTree(wideBase_, {{"tree", -1},
                       {"tree/中文", -1},
                       {"tree/中文/a.txt", 3},
                       {"tree/ソフト", -1},
                       {"tree/ソフト/b.txt", 5},
                       {"tree/ソフト/下", -1},
                       {"tree/ソフト/下/c.txt", 7},
                       {"tree/Été", -1},
                       {"tree/Été/d.txt", 11}});
  WriteWide(wideBase_ + L"\\params.txt", "#DEV " + base_ + "\\tree,Tree\n");

  const e2e::RunResult run = e2e::RunInProcess(base_ + "\\params.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  CatalogContents c;
  ASSERT_TRUE(Load(wideBase_ + L"\\Tree.kvl", &c));
  const std::string under = japanese ? "\x89\xBA" : "?";
  const std::string below = software + "\\" + under;
  std::vector<std::string> expected = {
      chinese + "\\", chinese + "\\a.txt 3", software + "\\", software + "\\b.txt 5",
      below + "\\",   below + "\\c.txt 7",   french + "\\",   french + "\\d.txt 11",
  };
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(c), expected);
  ASSERT_FALSE(c.folders.empty());
  EXPECT_EQ(c.folders[0].fileCount, 4);
  EXPECT_EQ(c.folders[0].totalSize, 26.0);
  EXPECT_TRUE(e2e::ReadsWhole(base_, base_ + "\\Tree.kvl", "Tree.kvl", c.entries.size()));
}

// Code page 932: a root, a working folder and a parameter file whose names end in a
// character with second byte '\' are catalogued and recognised on the second run.
TEST_F(EndToEndCodePageTest, SecondByteBackslashInRootFolderAndFileName) {
  if (!Needs({932})) GTEST_SKIP() << skipReason_;
  const std::string so = "\x83\\";                 // ソ
  const std::string parameterName = "\x95\\.txt";  // 表.txt
  MakeTree(wideBase_, {{"ソ", -1},
                       {"ソ/a.txt", 3},
                       {"ソ/中", -1},
                       {"ソ/中/b.txt", 5},
                       {"ソフト", -1},  // a sibling the cut-off root would name
                       {"ソフト/x.txt", 100},
                       {"cats", -1},
                       {"cats/ソ", -1}});
  const std::string cats = base_ + "\\cats\\" + so;
  const std::wstring wideCats = wideBase_ + L"\\cats\\" + Utf16("ソ");
  WriteWide(wideCats + L"\\" + Utf16("表.txt"), "#DEV " + base_ + "\\" + so + ",So\n");

  const std::vector<std::vector<std::wstring>> afterRuns = {
      {L"So.kvl", Utf16("表.txt")},
      {L"So.kvl", L"So.kvl.bak", Utf16("表.txt")},
  };
  for (const auto& files : afterRuns) {
    const e2e::RunResult run = e2e::RunInProcess(cats + "\\" + parameterName);
    EXPECT_EQ(run.out, "Add: " + base_ + "\\" + so + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(NamesIn(wideCats), files);
    CatalogContents c;
    ASSERT_TRUE(Load(wideCats + L"\\So.kvl", &c));
    std::vector<std::string> expected = {"a.txt 3", "\x92\x86\\", "\x92\x86\\b.txt 5"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(c), expected);
    EXPECT_EQ(c.header.volumeName, "[" + base_.substr(2) + "\\" + so + "]");
    ASSERT_FALSE(c.folders.empty());
    EXPECT_EQ(c.folders[0].path, base_.substr(2) + "\\" + so);
    EXPECT_TRUE(
        e2e::ReadsWhole(Utf8(wideCats), Utf8(wideCats + L"\\So.kvl"), "So.kvl", c.entries.size()));
  }
}

// A working folder whose name the code page cannot hold still finds its catalogues: the
// second run replaces the first one's file instead of adding another.
TEST_F(EndToEndCodePageTest, WorkingFolderOutsideTheCodePage) {
  if (!Needs({1252, 932})) GTEST_SKIP() << skipReason_;
  const std::wstring cats = wideBase_ + L"\\" + Utf16("Été王");
  MakeTree(wideBase_, {{"plain", -1}, {"plain/p.txt", 2}, {"Été王", -1}});
  WriteWide(cats + L"\\params.txt", "#DEV " + base_ + "\\plain,Plain\n");

  wchar_t saved[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, saved);
  ASSERT_NE(SetCurrentDirectoryW(cats.c_str()), 0);
  for (const auto& files :
       {std::vector<std::wstring>{L"Plain.kvl", L"params.txt"},
        std::vector<std::wstring>{L"Plain.kvl", L"Plain.kvl.bak", L"params.txt"}}) {
    const e2e::RunResult run = e2e::RunInProcess("params.txt");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(NamesIn(cats), files);
    wchar_t after[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, after);
    EXPECT_EQ(std::wstring(after), cats) << "the run did not go back to its folder";
  }
  SetCurrentDirectoryW(saved);
  EXPECT_TRUE(e2e::ReadsWhole(Utf8(cats), Utf8(cats + L"\\Plain.kvl"), "Plain.kvl", 1));
}

// Every level of a tree far deeper than 260 characters is catalogued.
TEST_F(EndToEndCodePageTest, TreeDeeperThanMaxPath) {
  std::vector<std::pair<std::string, int>> items = {{"deep", -1}};
  std::string folder = "deep";
  for (int level = 1; level <= 24; ++level) {
    folder += "/a-folder-with-a-long-name-" + std::to_string(level);
    items.push_back({folder, -1});
    items.push_back({folder + "/f.txt", level});
  }
  MakeTree(wideBase_, items);
  ASSERT_GT(base_.size() + folder.size(), 600u);
  WriteWide(wideBase_ + L"\\params.txt", "#DEV " + base_ + "\\deep,Deep\n");

  const e2e::RunResult run = e2e::RunInProcess(base_ + "\\params.txt");
  EXPECT_EQ(run.err, "");
  CatalogContents c;
  ASSERT_TRUE(Load(wideBase_ + L"\\Deep.kvl", &c));
  EXPECT_EQ(c.folders.size(), 25u);
  EXPECT_EQ(c.entries.size(), 48u);
  ASSERT_FALSE(c.folders.empty());
  EXPECT_EQ(c.folders[0].fileCount, 24);
  EXPECT_EQ(c.folders[0].totalSize, 300.0);  // 1 + 2 + ... + 24
  EXPECT_TRUE(e2e::ReadsWhole(base_, base_ + "\\Deep.kvl", "Deep.kvl", c.entries.size()));
}

// `wide` as a catalogue stores it: in the ANSI code page, '?' for what it lacks.
std::string Stored(const std::wstring& wide) {
  std::string text(wide.size() * 2, '\0');
  const int n =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          &text[0], static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

// Whether the ANSI code page holds every character of `wide`.
bool AnsiHolds(const std::wstring& wide) {
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      nullptr, 0, nullptr, &lossy);
  return lossy == FALSE;
}

// Folders whose names the system's path normalisation would trim or take for a device are
// walked by their listed names, and catalogues named by device names are written, found
// again on the next run and read whole by ledra.
TEST_F(EndToEndCodePageTest, DottedAndDeviceNamedFoldersAreWalked) {
  const std::vector<std::string> folders = {"dir.", "dir ", "x..", "CON", "NUL", "COM1", "aux.txt"};
  std::vector<std::pair<std::string, int>> items = {{"t", -1}, {"cats", -1}};
  std::vector<std::string> expected;
  int size = 1;
  for (const std::string& folder : folders) {
    items.push_back({"t/" + folder, -1});
    items.push_back({"t/" + folder + "/in.txt", size});
    expected.push_back(folder + "\\");
    expected.push_back(folder + "\\in.txt " + std::to_string(size));
    ++size;
  }
  items.push_back({"t/CON/NUL", -1});
  items.push_back({"t/CON/NUL/deep.txt", 9});
  expected.push_back("CON\\NUL\\");
  expected.push_back("CON\\NUL\\deep.txt 9");
  std::sort(expected.begin(), expected.end());
  MakeTree(wideBase_, items);
  const std::string tree = base_ + "\\t";
  WriteWide(wideBase_ + L"\\cats\\params.txt", "#DEV " + tree + ",CON\n#DEV " + tree +
                                                   "\\CON,NUL.kvl\n#DEV " + tree +
                                                   "\\aux.txt,aux\n#DEV " + tree + "\\COM1,COM1\n");
  struct Made {
    std::wstring file;
    std::string alias;
    size_t entries;
  };
  const std::vector<Made> made = {{L"CON.kvl", "CON", expected.size()},
                                  {L"NUL-kvl.kvl", "NUL.kvl", 3},
                                  {L"aux.kvl", "aux", 1},
                                  {L"COM1.kvl", "COM1", 1}};
  const std::wstring cats = wideBase_ + L"\\cats";
  for (const bool second : {false, true}) {
    SCOPED_TRACE(second ? "second run" : "first run");
    const e2e::RunResult run = e2e::RunInProcess(base_ + "\\cats\\params.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    std::vector<std::wstring> files = {L"params.txt"};
    for (const Made& m : made) {
      files.push_back(m.file);
      if (second) files.push_back(m.file + L".bak");  // found again: kept as the backup
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(NamesIn(cats), files);
  }
  CatalogContents whole;
  ASSERT_TRUE(Load(cats + L"\\CON.kvl", &whole));
  EXPECT_EQ(Listing(whole), expected);
  for (const Made& m : made) {
    SCOPED_TRACE(Utf8(m.file));
    CatalogContents c;
    ASSERT_TRUE(Load(cats + L"\\" + m.file, &c));
    EXPECT_EQ(c.header.alias, m.alias);
    EXPECT_EQ(c.entries.size(), m.entries);
    EXPECT_TRUE(e2e::ReadsWhole(Utf8(cats), Utf8(cats + L"\\" + m.file), Utf8(m.file), m.entries));
  }
}

// A parameter file as Windows editors save it (UTF-8 with and without its mark, UTF-16 in
// either byte order) names its root, alias and ignore patterns by their real characters;
// the catalogue stores them in the ANSI code page, '?' for what it lacks.
TEST_F(EndToEndCodePageTest, ParameterFilesAsEditorsSaveThem) {
  const std::wstring cafe = L"Caf\u00E9";
  MakeTree(wideBase_, {{"Caf\u00C3\u00A9", -1},  // what UTF-8 read as code page 1252 names
                       {"Caf\u00C3\u00A9/wrong.txt", 5},
                       {"Café", -1},
                       {"Café/x.txt", 1},
                       {"Café/skip.tmp", 2},
                       {"Café/été.txt", 3}});
  const std::wstring text =
      L"#IGN *.tmp \u00E9t\u00E9*\r\n#DEV " + wideBase_ + L"\\" + cafe + L"," + cafe + L"\r\n";
  const auto utf16 = [&text](bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const wchar_t unit : text) {
      const char high = static_cast<char>(unit >> 8);
      const char low = static_cast<char>(unit & 0xFF);
      bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
  };
  // The 255-character pieces count characters: a line of fewer characters is whole,
  // however many bytes its UTF-8 takes.
  std::wstring longAlias = cafe;
  while (longAlias.size() < 120) longAlias += L'\u00E9';
  const std::string longLine =
      "#DEV " + Utf8(wideBase_ + L"\\" + cafe) + "," + Utf8(longAlias) + "\n";
  ASSERT_GT(longLine.size(), 255u);
  struct Case {
    const char* what;
    std::string content;
    std::wstring alias;
    std::wstring file;
  };
  // A file name keeps ASCII letters and digits of the stored alias: 'é' is one byte in
  // code pages 1252 and 932 ('?'), two in 936.
  const std::wstring file = GetACP() == 936 ? L"Caf--.kvl" : L"Caf-.kvl";
  const std::vector<Case> cases = {
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + Utf8(text), cafe, file},
      {"UTF-8 without a mark", Utf8(text), cafe, file},
      {"UTF-16LE", utf16(false), cafe, file},
      {"UTF-16BE", utf16(true), cafe, file},
      {"a line of 130 characters and more than 255 bytes",
       Utf8(L"#IGN *.tmp \u00E9t\u00E9*\r\n") + longLine, longAlias, L"Caf-------------.kvl"},
  };
  const std::string stored = Stored(cafe);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempTree cats;
    const std::wstring wideCats = Utf16(cats.root());
    WriteWide(wideCats + L"\\p.txt", c.content);
    const e2e::RunResult run = e2e::RunInProcess(cats.root() + "\\p.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "Add: " + base_ + "\\" + stored + "\n");
    EXPECT_EQ(NamesIn(wideCats), (std::vector<std::wstring>{c.file, L"p.txt"}));
    CatalogContents catalog;
    ASSERT_TRUE(Load(wideCats + L"\\" + c.file, &catalog));
    EXPECT_EQ(catalog.header.alias, Stored(c.alias));
    EXPECT_EQ(Listing(catalog), (std::vector<std::string>{"x.txt 1"}));
    ASSERT_FALSE(catalog.folders.empty());
    EXPECT_EQ(catalog.folders[0].path, base_.substr(2) + "\\" + stored);
    EXPECT_TRUE(e2e::ReadsWhole(cats.root(), cats.root() + "\\" + Utf8(c.file), Utf8(c.file), 1));
  }
}

// The program's Windows path, for the command processor (a Unix path names drive Z:).
std::wstring ProgramPath(const char* unixPath) {
  std::wstring path = Utf16(unixPath);
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// Runs a program of the build with a command line of any characters through the command
// processor; its standard output lands in `out` (a file).
int RunProgram(const char* unixPath, const std::wstring& arguments, const std::wstring& out) {
  const std::wstring command =
      ProgramPath(unixPath) + L" " + arguments + L" >" + out + L" 2>" + out + L".err";
  return _wsystem(command.c_str());
}

// Both programs take their arguments from the wide command line: a parameter file and a
// catalogue folder named outside the ANSI code page are reached by their real names.
TEST_F(EndToEndCodePageTest, ProgramsReadTheirCommandLineWide) {
  const std::wstring folder = wideBase_ + L"\\" + Utf16("表Été");
  MakeTree(wideBase_, {{"plain", -1}, {"plain/p.txt", 2}, {"表Été", -1}});
  ASSERT_FALSE(AnsiHolds(folder)) << "every code page tested lacks one of its characters";
  WriteWide(folder + L"\\p.txt", "#DEV " + base_ + "\\plain,Plain\n");
  const std::wstring out = wideBase_ + L"\\out.txt";

  EXPECT_EQ(RunProgram(LEDRA_CMD_PATH, L"-f \"" + folder + L"\\p.txt\"", out), 0)
      << ReadWide(out + L".err");
  EXPECT_EQ(ReadWide(out), "Add: " + base_ + "\\plain\r\n");  // a console program's text mode
  EXPECT_EQ(ReadWide(out + L".err"), "");
  EXPECT_EQ(NamesIn(folder), (std::vector<std::wstring>{L"Plain.kvl", L"p.txt"}));

  EXPECT_EQ(RunProgram(LEDRA_READER_PATH, L"find --in \"" + folder + L"\" -0 \"\"", out), 0)
      << ReadWide(out + L".err");
  EXPECT_EQ(ReadWide(out), base_ + "\\plain\\p.txt" + std::string(1, '\0'));
  EXPECT_TRUE(e2e::ReadsWhole(Utf8(folder), Utf8(folder + L"\\Plain.kvl"), "Plain.kvl", 1));
}

// ledra reads the catalogues LedraCmd writes wherever it writes them: in a folder whose
// name ends in a character with second byte '\' (code page 932), and in working folders
// deeper than 260 characters, named with and without the '\\?\' form.
TEST_F(EndToEndCodePageTest, ReaderReadsEveryWorkingFolder) {
  std::vector<std::pair<std::string, int>> items = {{"plain", -1}, {"plain/p.txt", 2}};
  items.push_back({"ソフト表", -1});
  std::string deep = "deep";
  items.push_back({deep, -1});
  while (deep.size() < 320) {
    deep += "/a-folder-with-a-long-name-" + std::to_string(deep.size());
    items.push_back({deep, -1});
  }
  MakeTree(wideBase_, items);
  std::wstring wideDeep = Utf16(deep);
  std::replace(wideDeep.begin(), wideDeep.end(), L'/', L'\\');
  struct Case {
    std::wstring folder;  // below the test's folder
    bool longForm;
  };
  const std::vector<Case> cases = {{Utf16("ソフト表"), false}, {wideDeep, false}, {wideDeep, true}};
  for (const Case& c : cases) {
    const std::wstring folder = wideBase_ + L"\\" + c.folder;
    SCOPED_TRACE(Utf8(folder) + (c.longForm ? " as \\\\?\\" : ""));
    if (!AnsiHolds(folder)) continue;  // named in the ANSI code page to LedraCmd
    WriteWide(folder + L"\\p.txt", "#DEV " + base_ + "\\plain,Plain\n");
    const std::string prefix = c.longForm ? "\\\\?\\" : "";
    const e2e::RunResult run = e2e::RunInProcess(prefix + Ansi(folder) + "\\p.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::wstring file = folder + L"\\Plain.kvl";
    CatalogContents catalog;
    ASSERT_TRUE(Load(file, &catalog));
    EXPECT_EQ(Listing(catalog), (std::vector<std::string>{"p.txt 2"}));
    const std::string inUtf8 = (c.longForm ? "\\\\?\\" : "") + Utf8(folder);
    EXPECT_TRUE(e2e::ReadsWhole(inUtf8, inUtf8 + "\\Plain.kvl", "Plain.kvl", 1));
    DeleteFileW(Long(file).c_str());
  }
}

}  // namespace
}  // namespace ledra
