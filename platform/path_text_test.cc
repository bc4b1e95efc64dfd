#include "platform/path_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

// Code page 932 (Japanese): lead bytes 0x81-0x9F and 0xE0-0xFC; the second byte of a
// character may be 0x5C, the byte of '\'.
bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Characters of code page 932 whose second byte is '\'.
const std::string kSo = "\x83\\";   // the katakana 'so'
const std::string kHyo = "\x95\\";  // 'table'

const std::vector<LeadByteTest> kBothKinds = {NoLeadBytes, IsCp932LeadByte};

TEST(SplitRootTest, DriveAndShareForms) {
  struct Case {
    std::string path, root, remainder;
  };
  const std::vector<Case> cases = {
      {"C:\\", "C:\\", ""},
      {"C:", "C:\\", ""},
      {"C:\\\\", "C:\\", "\\"},
      {"D:\\Photos\\Summer\\", "D:\\", "\\Photos\\Summer"},
      {"D:Photos", "D:\\", "Photos"},
      {"\\\\srv\\pub", "\\\\srv\\pub\\", "pub"},
      {"\\\\srv\\pub\\docs\\", "\\\\srv\\pub\\", "pub\\docs"},
      {"Photos", "Photos\\", ""},
      {"\\", "", ""},
      {"\\\\?\\C:\\Data", "\\\\?\\C:\\", "C:\\Data"},
      {"z:\\", "z:\\", ""},
      // No share name: a root without share and nothing after it.
      {"\\\\server", "\\\\server\\", ""},
      {"\\\\server\\", "\\\\server\\", ""},
      {"\\\\", "\\\\", ""},
      {":x", ":x\\", ""},
  };
  for (LeadByteTest isLead : kBothKinds) {
    for (const Case& c : cases) {
      std::string root = "old", remainder = "old";
      SplitRoot(c.path, &root, &remainder, isLead);
      EXPECT_EQ(root, c.root) << c.path;
      EXPECT_EQ(remainder, c.remainder) << c.path;
    }
  }
}

TEST(SplitRootTest, SecondBytesAreNoSeparators) {
  struct Case {
    std::string path, root, remainder;
  };
  const std::vector<Case> cases = {
      {"J:\\" + kSo, "J:\\", "\\" + kSo},
      {"J:\\" + kSo + "\\", "J:\\", "\\" + kSo},
      {"J:" + kSo, "J:\\", kSo},
      {"\\\\srv\\" + kHyo + "\\docs", "\\\\srv\\" + kHyo + "\\", kHyo + "\\docs"},
      {"\\\\" + kSo + "\\pub", "\\\\" + kSo + "\\pub\\", "pub"},
      {kSo, kSo + "\\", ""},
  };
  for (const Case& c : cases) {
    std::string root, remainder;
    SplitRoot(c.path, &root, &remainder, IsCp932LeadByte);
    EXPECT_EQ(root, c.root) << c.path;
    EXPECT_EQ(remainder, c.remainder) << c.path;
  }
}

// A root in the form without the 260-character limit is split and placed on its volume as
// the same root without the prefix: the prefix is no server, and 'UNC' no share.
TEST(SplitRootTest, LongPathFormsAsTheSamePathWithoutThePrefix) {
  struct Case {
    std::string path, root, remainder, below;
  };
  const std::vector<Case> cases = {
      {"\\\\?\\UNC\\srv\\share\\pub", "\\\\srv\\share\\", "share\\pub", "\\pub"},
      {"\\\\?\\unc\\srv\\share", "\\\\srv\\share\\", "share", ""},
      {"\\\\?\\D:\\", "D:\\", "", ""},
      {"\\\\?\\D:\\Data\\x", "D:\\", "\\Data\\x", "\\Data\\x"},
      {"\\\\?\\J:\\" + kSo, "J:\\", "\\" + kSo, "\\" + kSo},
      {"\\\\?\\UNC\\" + kSo + "\\" + kHyo + "\\" + kSo, "\\\\" + kSo + "\\" + kHyo + "\\",
       kHyo + "\\" + kSo, "\\" + kSo},
      // Forms with no drive or share behind them are left to the system as they stand.
      {"\\\\?\\Volume{1234}\\x", "\\\\?\\Volume{1234}\\", "Volume{1234}\\x", "\\x"},
      {"D:\\x", "D:\\", "\\x", "\\x"},
  };
  for (LeadByteTest isLead : kBothKinds) {
    for (const Case& c : cases) {
      // The second-byte cases only hold with the code page that has them.
      if (isLead == NoLeadBytes && c.path.find('\x83') != std::string::npos) continue;
      SCOPED_TRACE(c.path);
      const std::string path = WithoutLongPathPrefix(c.path);
      std::string root, remainder;
      SplitRoot(path, &root, &remainder, isLead);
      EXPECT_EQ(root, c.root);
      EXPECT_EQ(remainder, c.remainder);
      std::string withoutEnd = path;
      if (EndsWithSeparator(withoutEnd, '\\', isLead)) withoutEnd.pop_back();
      EXPECT_EQ(RootPathRule(withoutEnd, isLead), c.below);
    }
  }
}

TEST(SplitRootTest, EmptyPathLeavesTheOutputsAlone) {
  std::string root = "r", remainder = "m";
  SplitRoot("", &root, &remainder, NoLeadBytes);
  EXPECT_EQ(root, "r");
  EXPECT_EQ(remainder, "m");
}

TEST(RootPathRuleTest, PathBelowDriveOrShare) {
  struct Case {
    LeadByteTest isLead;
    std::string root, path;
  };
  const std::vector<Case> cases = {
      {NoLeadBytes, "C:", ""},
      {NoLeadBytes, "D:\\Data", "\\Data"},
      {NoLeadBytes, "\\\\srv\\share\\dir\\sub", "\\dir\\sub"},
      {NoLeadBytes, "\\\\srv\\share\\dir", "\\dir"},
      {NoLeadBytes, "\\\\srv\\share", ""},
      {NoLeadBytes, "\\\\srv", ""},
      {NoLeadBytes, "Data", "Data"},
      {NoLeadBytes, "D", "D"},
      {NoLeadBytes, "", ""},
      {IsCp932LeadByte, "J:\\" + kSo, "\\" + kSo},
      {IsCp932LeadByte, "\\\\srv\\" + kHyo + "\\" + kSo, "\\" + kSo},
      {IsCp932LeadByte, "\\\\" + kSo + "\\pub\\d", "\\d"},
  };
  for (const Case& c : cases) EXPECT_EQ(RootPathRule(c.root, c.isLead), c.path) << c.root;
}

TEST(PathCutTest, FolderOfFileAndTrailingSeparators) {
  struct Case {
    LeadByteTest isLead;
    char separator;
    std::string path;
    std::string folder;  // FolderOfFile
    bool endsWithSeparator;
  };
  const std::vector<Case> cases = {
      {NoLeadBytes, '\\', "C:\\cats\\params.txt", "C:\\cats", false},
      {NoLeadBytes, '\\', "C:\\params.txt", "C:\\", false},  // a drive root keeps its '\'
      {NoLeadBytes, '\\', "\\\\srv\\share\\p.txt", "\\\\srv\\share", false},
      {NoLeadBytes, '\\', "C:\\cats\\", "C:\\cats", true},
      {NoLeadBytes, '/', "/params.txt", "/", false},
      {NoLeadBytes, '/', "/home/u/p.txt", "/home/u", false},
      {NoLeadBytes, '/', "/home/u/", "/home/u", true},
      {IsCp932LeadByte, '\\', "C:\\" + kSo + "\\p.txt", "C:\\" + kSo, false},
      {IsCp932LeadByte, '\\', "C:\\cats\\" + kHyo + ".txt", "C:\\cats", false},
      {IsCp932LeadByte, '\\', "C:\\" + kSo, "C:\\", false},
      {IsCp932LeadByte, '\\', "C:\\" + kSo + "\\", "C:\\" + kSo, true},
      {IsCp932LeadByte, '\\', kHyo + ".txt", "\\", false},  // no separator at all
      // A lead byte cut off at the end stands alone; the separator before it is real.
      {IsCp932LeadByte, '\\', "C:\\x\\\x83", "C:\\x", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FolderOfFile(c.path, c.separator, c.isLead), c.folder) << c.path;
    EXPECT_EQ(EndsWithSeparator(c.path, c.separator, c.isLead), c.endsWithSeparator) << c.path;
  }
}

// The last separator of either kind Windows takes; POSIX takes '/' alone, and a second
// byte that is a backslash separates nothing.
TEST(PathCutTest, LastPathSeparatorTakesTheSlashOnWindows) {
  const size_t none = std::string::npos;
  EXPECT_EQ(LastPathSeparator("C:\\cats/a.kvl", '\\', NoLeadBytes), 7u);
  EXPECT_EQ(LastPathSeparator("C:/cats\\a.kvl", '\\', NoLeadBytes), 7u);
  EXPECT_EQ(LastPathSeparator("a.kvl", '\\', NoLeadBytes), none);
  EXPECT_EQ(LastPathSeparator("/cats/a\\b.kvl", '/', NoLeadBytes), 5u);
  EXPECT_EQ(LastPathSeparator("cats/" + kSo + ".kvl", '\\', IsCp932LeadByte), 4u);
  EXPECT_EQ(LastPathSeparator(kHyo + ".kvl", '\\', IsCp932LeadByte), none);
}

TEST(IsRelativeWindowsPathTest, FormsTakenFromACurrentFolder) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"photos", true},       {".\\photos", true},   {"..\\x", true},    {"\\photos", true},
      {"\\", true},           {"/photos", true},     {"D:photos", true}, {"D:.", true},
      {"D:", false},          {"D:\\photos", false}, {"D:/x", false},    {"\\\\srv\\pub", false},
      {"\\\\?\\C:\\", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRelativeWindowsPath(c.first), c.second) << c.first;
}

}  // namespace
}  // namespace ledra

namespace ledra {
namespace {

// Labels are kept to 31 bytes: a character is never split, in UTF-8 or a double-byte code page.
TEST(CutAtCharacterTest, NeverSplitsACharacter) {
  struct Case {
    LeadByteTest isLead;
    std::string text;
    size_t limit;
    std::string cut;
  };
  const std::string a = "\x83\x41";  // katakana 'a' in code page 932
  const Case cases[] = {
      {NoLeadBytes, "", 31, ""},
      {NoLeadBytes, "short", 31, "short"},
      {NoLeadBytes, std::string(29, 'x') + "\xE2\x82\xAC", 31, std::string(29, 'x')},  // €
      // Bytes that are no UTF-8 are cut where the limit falls.
      {NoLeadBytes, std::string(40, '\xB0'), 31, std::string(31, '\xB0')},
      {NoLeadBytes, std::string(40, 'x'), 31, std::string(31, 'x')},
      {NoLeadBytes, std::string(30, 'x') + "\xC3\xA9", 31, std::string(30, 'x')},  // é
      {NoLeadBytes, std::string(29, 'x') + "\xC3\xA9z", 31, std::string(29, 'x') + "\xC3\xA9"},
      {NoLeadBytes, std::string(29, 'x') + "\xE3\x83\x87", 31, std::string(29, 'x')},  // デ
      {NoLeadBytes, std::string(28, 'x') + "\xF0\x9F\x98\x80", 31, std::string(28, 'x')},
      {NoLeadBytes, std::string(31, 'x') + "\x80\x80", 31, std::string(31, 'x')},
      {NoLeadBytes, std::string(30, 'x') + "\x80\x80", 31, std::string(30, 'x') + "\x80"},
      {IsCp932LeadByte, std::string(30, 'x') + a, 31, std::string(30, 'x')},
      {IsCp932LeadByte, a + std::string(29, 'x') + a, 31, a + std::string(29, 'x')},
      // 16 Japanese characters are 32 bytes: 15 of them are kept.
      {IsCp932LeadByte,
       [&] {
         std::string s;
         for (int i = 0; i < 16; ++i) s += a;
         return s;
       }(),
       31,
       [&] {
         std::string s;
         for (int i = 0; i < 15; ++i) s += a;
         return s;
       }()},
      // A trail byte that looks like a lead byte is still the end of its character.
      {IsCp932LeadByte, std::string(29, 'x') + "\x83\x83" + "y", 31,
       std::string(29, 'x') + "\x83\x83"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CutAtCharacter(c.text, c.limit, c.isLead), c.cut) << c.text;
  }
}

}  // namespace
}  // namespace ledra
