#include "platform/path_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

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
  for (const Case& c : cases) {
    std::string root = "old", remainder = "old";
    SplitRoot(c.path, &root, &remainder);
    EXPECT_EQ(root, c.root) << c.path;
    EXPECT_EQ(remainder, c.remainder) << c.path;
  }
}

TEST(SplitRootTest, EmptyPathLeavesTheOutputsAlone) {
  std::string root = "r", remainder = "m";
  SplitRoot("", &root, &remainder);
  EXPECT_EQ(root, "r");
  EXPECT_EQ(remainder, "m");
}

TEST(RootPathRuleTest, PathBelowDriveOrShare) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:", ""},
      {"D:\\Data", "\\Data"},
      {"\\\\srv\\share\\dir\\sub", "\\dir\\sub"},
      {"\\\\srv\\share\\dir", "\\dir"},
      {"\\\\srv\\share", ""},
      {"\\\\srv", ""},
      {"Data", "Data"},
      {"D", "D"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RootPathRule(c.first), c.second) << c.first;
}

}  // namespace
}  // namespace ledra
