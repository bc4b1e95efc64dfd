#include "serve/api_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

struct RequestCase {
  const char* endpoint;
  ApiParameters parameters;
  bool valid;
  std::vector<std::string> arguments;  // when valid
};

TEST(ApiRequestTest, RequestsBecomeTheSubcommandsArguments) {
  const std::string longValue(kParameterLimit + 1, 'a');
  const RequestCase cases[] = {
      {"volumes", {}, true, {"--json"}},
      {"find", {{"q", "jpg"}}, true, {"--json", "--limit=101", "--", "jpg"}},
      // A pattern that looks like an option stays the pattern.
      {"find", {{"q", "--in=/etc"}}, true, {"--json", "--limit=101", "--", "--in=/etc"}},
      {"find",
       {{"q", "a"},
        {"type", "f"},
        {"size", "-1M"},
        {"newer", "2020-01-02"},
        {"path", "1"},
        {"volume", "DATA"},
        {"limit", "5"},
        {"offset", "10"}},
       true,
       {"--json", "--type=f", "--size=-1M", "--newer=2020-01-02", "--volume=DATA", "--path",
        "--limit=16", "--", "a"}},
      {"find", {{"regex", "^a.*b$"}}, true, {"--json", "--regex=^a.*b$", "--limit=101"}},
      {"find", {{"q", "a"}, {"regex", "b"}}, false, {}},
      {"find", {{"type", "x"}}, false, {}},
      {"find", {{"size", "12Q"}}, false, {}},
      {"find", {{"newer", "yesterday"}}, false, {}},
      {"find", {{"limit", "0"}}, false, {}},
      {"find", {{"limit", "10001"}}, false, {}},
      {"find", {{"limit", "-1"}}, false, {}},
      {"find", {{"q", "a"}, {"q", "b"}}, false, {}},
      {"find", {{"q", longValue}}, false, {}},
      {"find", {{"q", std::string("a\0b", 3)}}, false, {}},
      {"find", {{"in", "/etc"}}, false, {}},
      {"ls", {{"volume", "DATA.kvl"}}, true, {"--json", "--sort=name", "--", "DATA.kvl"}},
      {"ls",
       {{"volume", "DATA"}, {"path", "a/b c"}, {"sort", "size"}},
       true,
       {"--json", "--sort=size", "--", "DATA:a/b c"}},
      {"ls", {{"volume", "DATA"}, {"path", "../x"}}, false, {}},
      {"ls", {{"volume", "DATA"}, {"path", "a/../../x"}}, false, {}},
      {"ls", {{"volume", "DATA"}, {"path", "a\\..\\x"}}, false, {}},
      {"ls", {{"volume", "DATA"}, {"path", "/etc"}}, false, {}},
      {"ls", {{"volume", "DATA"}, {"path", "\\windows"}}, false, {}},
      {"ls", {{"volume", "DATA"}, {"path", "C:\\x"}}, false, {}},
      {"ls", {{"volume", "DATA"}, {"path", std::string("a\0", 2)}}, false, {}},
      {"ls", {{"volume", "DATA"}, {"sort", "owner"}}, false, {}},
      {"ls", {{"volume", "C:"}}, false, {}},
      {"ls", {}, false, {}},
      {"du",
       {{"volume", "DATA"}, {"path", "x"}, {"depth", "2"}},
       true,
       {"--json", "--depth=2", "--", "DATA:x"}},
      {"du", {{"volume", "DATA"}, {"depth", "9"}}, false, {}},
      {"diff", {{"volume", "DATA"}}, true, {"--json", "--top=20", "--", "DATA"}},
      {"dupes",
       {{"by", "size"}, {"mtime", "1"}, {"min-size", "1K"}},
       true,
       {"--json", "--by=size", "--mtime", "--min-size=1K"}},
      {"dupes", {{"min-size", "big"}}, false, {}},
      {"unique", {{"volume", "DATA"}}, true, {"--json", "--", "DATA"}},
      {"unique", {}, false, {}},
      {"export", {{"volume", "DATA"}, {"format", "csv"}}, true, {"--format=csv", "--", "DATA"}},
      {"export", {{"volume", "DATA"}, {"format", "html"}}, false, {}},
      {"export", {{"volume", "DATA"}, {"format", "csv"}, {"output", "/tmp/x"}}, false, {}},
      {"shutdown", {}, false, {}},
  };
  for (const RequestCase& c : cases) {
    ApiCall call;
    std::string error;
    const bool valid = BuildApiCall(c.endpoint, c.parameters, &call, &error);
    std::string described = c.endpoint;
    for (const auto& [name, value] : c.parameters) described += " " + name + "=" + value;
    EXPECT_EQ(valid, c.valid) << described << ": " << error;
    if (valid && c.valid) {
      EXPECT_EQ(call.arguments, c.arguments) << described;
    } else if (!valid) {
      EXPECT_FALSE(error.empty()) << described;
    }
  }
}

TEST(ApiRequestTest, FileCallsMarkWhereTheResolvedCatalogueGoes) {
  ApiCall call;
  std::string error;
  ASSERT_TRUE(BuildApiCall("export", {{"volume", "DATA"}, {"format", "jsonl"}}, &call, &error));
  EXPECT_EQ(call.volumeUse, VolumeUse::File);
  EXPECT_EQ(call.arguments.at(call.volumeAt), "DATA");
  EXPECT_FALSE(call.json);
  ASSERT_TRUE(BuildApiCall("diff", {{"volume", "DATA"}}, &call, &error));
  EXPECT_EQ(call.volumeUse, VolumeUse::File);
  EXPECT_EQ(call.arguments.at(call.volumeAt), "DATA");
  ASSERT_TRUE(BuildApiCall("ls", {{"volume", "DATA"}}, &call, &error));
  EXPECT_EQ(call.volumeUse, VolumeUse::Selector);
  EXPECT_EQ(call.limit, 500u);
}

TEST(ApiRequestTest, FolderPathsStayBelowTheScanRoot) {
  const struct {
    const char* path;
    bool relative;
  } cases[] = {
      {"", true},        {"a", true},      {"a/b", true},  {"a\\b", true},
      {"..a/b..", true}, {"a b/.c", true}, {"..", false},  {".", false},
      {"a/./b", false},  {"a/..", false},  {"/", false},   {"/a", false},
      {"\\a", false},    {"C:", false},    {"C:a", false}, {"a/../b", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRelativeFolderPath(c.path), c.relative) << c.path;
  EXPECT_FALSE(IsRelativeFolderPath(std::string(kParameterLimit + 1, 'a')));
}

}  // namespace
}  // namespace ledra
