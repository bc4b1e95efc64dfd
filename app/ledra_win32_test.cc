// ledra.exe's reader on the real Win32 platform, under Wine: a catalogue written by the
// Linux build (its bytes as that build wrote them) and one written by this build's
// LedraCmd, both found, listed and searched through mapped files; and a catalogue stays
// replaceable by LedraCmd while ledra holds it.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/ledra_cli.h"
#include "platform/platform.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

// `#DEV /tmp/fx/tree,Linux` by the Linux build: Photos/ (sea.jpg, 5000 bytes) and
// notes.txt (10 bytes), all last written at 2024-05-02 09:30 UTC.
const char kLinuxCatalogHex[] =
    "2706a4d00500aeba166b2f005b2f746d702f66782f747265655d004c696e75780096596e160037016248"
    "020000002f746d702f66782f747265650002000000000000000092b34001000000000000000088b34003"
    "000000185d3366ffffffff000050686f746f7300185d33660a00000000006e6f7465732e74787400185d"
    "33668813000001007365612e6a706700";

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

struct ReaderRun {
  int status = 0;
  std::string out;
  std::string err;
};

ReaderRun RunLedra(std::vector<std::string> args) {
  args.insert(args.begin(), "ledra");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream errorText;
  MessageSink errors(errorText);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  StringSink out;
  ReaderContext context{*platform, out, errors, nullptr, 1800000000, 2};
  ReaderRun run;
  run.status = RunReader(static_cast<int>(argv.size()), argv.data(), context);
  run.out = out.text;
  run.err = errorText.str();
  return run;
}

TEST(LedraWineTest, ReadsACatalogueWrittenOnLinux) {
  TempTree cats;
  e2e::WriteWholeFile(cats.Path("Linux.kvl"), FromHex(kLinuxCatalogHex));
  ReaderRun run = RunLedra({"find", "--in", cats.root(), "--bytes", "-0"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, std::string("/tmp/fx/tree/Photos\0/tmp/fx/tree/notes.txt\0"
                                 "/tmp/fx/tree/Photos/sea.jpg\0",
                                 71));
  run = RunLedra({"ls", "--in", cats.root(), "--json", "linux:/Photos"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(
      run.out,
      "{\"volume\":\"Linux\",\"catalog\":\"Linux.kvl\",\"path\":\"/tmp/fx/tree/Photos/sea.jpg\","
      "\"name\":\"sea.jpg\",\"type\":\"file\",\"size\":5000,\"size_clamped\":false,"
      "\"files\":null,\"modified\":\"2024-05-02T09:30:00Z\",\"modified_epoch\":1714642200,"
      "\"name_bytes\":null}\n");
}

TEST(LedraWineTest, ReadsACatalogueOfThisBuildAndLeavesItReplaceable) {
  TempTree tree;
  tree.MakeFile("Photos/sea.jpg", std::string(5000, 's'));
  tree.MakeFile("notes.txt", std::string(10, 'n'));
  TempTree cats;
  e2e::WriteWholeFile(cats.Path("params.txt"), "#DEV " + tree.root() + ",Win\n");
  ASSERT_EQ(e2e::RunInProcess(cats.Path("params.txt")).status, 0);

  ReaderRun run = RunLedra({"find", "--in", cats.root(), "--type", "f", "-0"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string root = tree.root();
  EXPECT_EQ(run.out, root + "\\notes.txt" + '\0' + root + "\\Photos\\sea.jpg" + '\0');
  run = RunLedra({"du", "--in", cats.root(), "--bytes", "win"});
  EXPECT_EQ(run.out, "5010  2  " + root + "\n" + "5000  1  " + root + "\\Photos\n");

  // While ledra reads a catalogue, LedraCmd may still move it to its backup.
  std::ostringstream errorText;
  MessageSink errors(errorText);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  OsError err;
  std::unique_ptr<MappedFile> held = platform->MapForReading(cats.Path("Win.kvl"), &err);
  ASSERT_NE(held, nullptr) << err.text;
  EXPECT_TRUE(platform->Rename(cats.Path("Win.kvl"), cats.Path("Win.kvl.bak"), &err)) << err.text;
  held.reset();
  // Once ledra is done, nothing of it holds the file: it can be replaced and removed.
  e2e::WriteWholeFile(cats.Path("Win.kvl"), "x");
  EXPECT_TRUE(platform->Rename(cats.Path("Win.kvl"), cats.Path("Win.kvl.bak"), &err)) << err.text;
  EXPECT_TRUE(platform->Remove(cats.Path("Win.kvl.bak"), &err)) << err.text;
}

}  // namespace
}  // namespace ledra
