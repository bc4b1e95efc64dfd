#include "query/catalog_encoding.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "platform/fake_platform.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

TEST(CatalogEncodingTest, WindowsRootsAreDrivesAndShares) {
  struct Case {
    const char* root;
    bool windows;
  };
  const std::vector<Case> cases = {
      {"C:\\", true},        {"d:\\", true},  {"\\\\srv\\share\\", true},
      {"\\\\?\\D:\\", true}, {"/", false},    {"/mnt/usb/", false},
      {"", false},           {"1:\\", false}, {"C", false},
      {"\\x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWindowsRoot(c.root), c.windows) << c.root;
}

// Each catalogue is decoded by its own root: --encoding, else the machine's code page, for
// a Windows root; names of other roots stay UTF-8, and only a name that is not valid UTF-8
// there is read in the code page --encoding names.
TEST(CatalogEncodingTest, TheDecoderFollowsTheRoot) {
  std::ostringstream messages;
  MessageSink errors(messages);
  FakePlatform platform(errors);
  struct Case {
    const char* root;
    NameEncoding encoding;
    const char* fromLatin;  // the stored "Caf\xE9" as shown
    const char* fromUtf8;   // the stored "Caf\xC3\xA9" as shown
  };
  const std::vector<Case> cases = {
      {"C:\\", {"cp1252", ""}, "Caf\xC3\xA9", "Caf\xC3\x83\xC2\xA9"},
      {"C:\\", {"", "cp1252"}, "Caf\xC3\xA9", "Caf\xC3\x83\xC2\xA9"},
      {"C:\\", {"latin1", "cp1252"}, "Caf\xC3\xA9", "Caf\xC3\x83\xC2\xA9"},
      {"\\\\srv\\pub\\", {"cp1252", ""}, "Caf\xC3\xA9", "Caf\xC3\x83\xC2\xA9"},
      {"C:\\", {"", ""}, "Caf\xE9", "Caf\xC3\xA9"},  // no code page known: as stored
      {"/", {"cp1252", ""}, "Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"/", {"", "cp1252"}, "Caf\xE9", "Caf\xC3\xA9"},
      {"", {"cp1252", ""}, "Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"", {"", ""}, "Caf\xE9", "Caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.root) + " '" + c.encoding.option + "' '" + c.encoding.machine + "'");
    std::string error;
    std::unique_ptr<NameDecoder> decoder = CatalogDecoder(platform, c.root, c.encoding, &error);
    ASSERT_NE(decoder, nullptr) << error;
    std::string shown;
    decoder->Decode("Caf\xE9", &shown);
    EXPECT_EQ(shown, c.fromLatin);
    decoder->Decode("Caf\xC3\xA9", &shown);
    EXPECT_EQ(shown, c.fromUtf8);
    EXPECT_EQ(DecodesNames(c.root, c.encoding), std::string(c.fromLatin) != "Caf\xE9");
  }
  std::string error;
  EXPECT_EQ(CatalogDecoder(platform, "C:\\", {"cp9999", ""}, &error), nullptr);
  EXPECT_EQ(error, "unknown encoding 'cp9999'");
  EXPECT_FALSE(CheckEncoding(platform, {"", "cp9999"}, &error));
  EXPECT_TRUE(CheckEncoding(platform, {"latin1", "cp1252"}, &error));
}

TEST(CatalogEncodingTest, DecodeNamesRewritesEveryNameAndTheHeader) {
  std::ostringstream messages;
  MessageSink errors(messages);
  FakePlatform platform(errors);
  test::LaidCatalog volume;
  volume.volumeName = "D\xC9P\xD4T";
  volume.root = "C:\\";
  volume.folder0Path = "\\Caf\xE9";
  CatalogContents contents;
  ReadProblem problem;
  ASSERT_TRUE(LoadCatalog(test::TreeCatalog(volume, {{"men\xFC/a\xE9.txt", 5}, {"b.txt", 1}}),
                          &contents, &problem))
      << problem.Text();
  std::string error;
  std::unique_ptr<NameDecoder> decoder = CatalogDecoder(platform, "C:\\", {"cp1252", ""}, &error);
  ASSERT_NE(decoder, nullptr);
  DecodeNames(*decoder, &contents);
  std::vector<std::string> names;
  for (const CatalogEntry& e : contents.entries) names.emplace_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"men\xC3\xBC", "b.txt", "a\xC3\xA9.txt"}));
  EXPECT_EQ(contents.header.volumeName, "D\xC3\x89P\xC3\x94T");
  EXPECT_EQ(contents.header.displayName, "D\xC3\x89P\xC3\x94T");
  EXPECT_EQ(contents.header.folder0Path, "\\Caf\xC3\xA9");
  EXPECT_EQ(contents.header.root, "C:\\");
}

}  // namespace
}  // namespace ledra
