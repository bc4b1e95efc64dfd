// The runner behind serve's API on the real platform: pages cut the subcommand's own list,
// the time limit ends an answer with a message instead of a hang, a damaged catalogue is
// listed as damaged, and a volume that names no catalogue is 404.
#include "serve/api_runner.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/ledra_cli.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

class ApiRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 7; ++i) tree_.MakeFile("photos/p" + std::to_string(i) + ".jpg", "x");
    tree_.MakeFile("notes.txt", "hello");
    e2e::WriteWholeFile(cats_.Path("params.txt"), "#DEV " + tree_.root() + ",Photos\n");
    ASSERT_EQ(e2e::RunInProcess(cats_.Path("params.txt")).status, 0);
    e2e::WriteWholeFile(cats_.Path("Broken.kvl"), std::string("\x27\x06\xa4\xd0\x05\x00zz", 8));
    platform_ = NewRealPlatform(errors_);
    catalogs_.in = {cats_.root()};
  }

  ApiCall Call(const std::string& endpoint, const ApiParameters& parameters) {
    ApiCall call;
    std::string error;
    EXPECT_TRUE(BuildApiCall(endpoint, parameters, &call, &error)) << error;
    return call;
  }

  // The command line's own JSON lines for the same question.
  std::vector<std::string> CommandLine(std::vector<std::string> args) {
    args.insert(args.begin(), {"ledra"});
    args.insert(args.begin() + 2, {"--in", cats_.root()});
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream errorText;
    MessageSink errors(errorText);
    StringSink out;
    ReaderContext context{*platform_, out, errors, nullptr, 0, 1};
    RunReader(static_cast<int>(argv.size()), argv.data(), context);
    std::vector<std::string> lines;
    std::istringstream in(out.text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static std::string Joined(const std::vector<std::string>& lines, size_t from, size_t count) {
    std::string out;
    for (size_t i = from; i < from + count && i < lines.size(); ++i) {
      out += (i == from ? "" : ",") + lines[i];
    }
    return out;
  }

  TempTree tree_;
  TempTree cats_;
  std::ostringstream errorText_;
  MessageSink errors_{errorText_};
  std::unique_ptr<Platform> platform_;
  ServeCatalogs catalogs_;
};

TEST_F(ApiRunnerTest, PagesCutTheCommandLinesList) {
  ApiRunner runner(*platform_, catalogs_, 10000);
  const std::vector<std::string> all = CommandLine({"find", "--json", ".jpg"});
  ASSERT_EQ(all.size(), 7u);
  const struct {
    const char* offset;
    const char* limit;
    size_t from, count;
    bool more;
  } pages[] = {{"0", "3", 0, 3, true},
               {"3", "3", 3, 3, true},
               {"6", "3", 6, 1, false},
               {"0", "7", 0, 7, false},
               {"9", "3", 9, 0, false}};
  for (const auto& p : pages) {
    const ApiAnswer answer =
        runner.Answer(Call("find", {{"q", ".jpg"}, {"offset", p.offset}, {"limit", p.limit}}));
    EXPECT_EQ(answer.httpStatus, 200);
    const std::string expected = "\"results\":[" + Joined(all, p.from, p.count) + "]";
    EXPECT_NE(answer.body.find(expected), std::string::npos) << p.offset << " " << answer.body;
    EXPECT_NE(answer.body.find(std::string("\"more\":") + (p.more ? "true" : "false")),
              std::string::npos)
        << p.offset << " " << answer.body;
  }
}

TEST_F(ApiRunnerTest, TheTimeLimitEndsAnAnswerWithAMessage) {
  ApiRunner runner(*platform_, catalogs_, 0);
  const ApiAnswer answer = runner.Answer(Call("ls", {{"volume", "Photos"}, {"path", "photos"}}));
  EXPECT_EQ(answer.httpStatus, 200);
  EXPECT_NE(answer.body.find("\"complete\":false"), std::string::npos) << answer.body;
  EXPECT_NE(answer.body.find("the query was stopped after 0 ms"), std::string::npos) << answer.body;
}

TEST_F(ApiRunnerTest, DamagedCataloguesAndUnknownVolumes) {
  ApiRunner runner(*platform_, catalogs_, 10000);
  const ApiAnswer volumes = runner.Answer(Call("volumes", {}));
  EXPECT_NE(volumes.body.find("\"damaged\":[{\"catalog\":\"Broken.kvl\""), std::string::npos)
      << volumes.body;
  EXPECT_NE(volumes.body.find("\"results\":[" + Joined(CommandLine({"volumes", "--json"}), 0, 1)),
            std::string::npos)
      << volumes.body;
  for (const char* endpoint : {"ls", "du", "unique", "diff"}) {
    const ApiAnswer answer = runner.Answer(Call(endpoint, {{"volume", "NoSuchDisk"}}));
    EXPECT_EQ(answer.httpStatus, 404) << endpoint;
    EXPECT_EQ(answer.body.rfind("{\"error\":", 0), 0u) << answer.body;
  }
}

}  // namespace
}  // namespace ledra
