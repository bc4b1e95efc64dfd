// ledra.exe's reader on the real Win32 platform, under Wine: a catalogue written by the
// Linux build (its bytes as that build wrote them) and one written by this build's
// LedraCmd, both found, listed and searched through mapped files; and a catalogue stays
// replaceable by LedraCmd while ledra holds it; names converted from a code page by
// MultiByteToWideChar.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/ledra_cli.h"
#include "app/reader_round_trip_testing.h"
#include "catalog/laid_catalog_testing.h"
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

using e2e::ReaderRun;

// `ledra args...` with paths in the ANSI code page, on two search threads.
ReaderRun RunLedra(std::vector<std::string> args) {
  return e2e::RunReaderWith(std::move(args), false, 2);
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
      "\"name_bytes\":null,\"serial\":\"166E-5996\",\"parent\":1,\"folder\":null}\n");
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

TEST(LedraWineTest, ConvertsNamesFromTheGivenCodePage) {
  // 'Café.txt' in code page 1252, 'ソ.txt' in code page 932 (its second byte is a
  // backslash), and a name whose lead byte 0x81 has no second byte in code page 932.
  test::LaidCatalog c;
  c.root = "D:\\";
  c.folders = {{3, 60.0}};
  c.entries = {{10, 0, "Caf\xE9.txt"}, {20, 0, "\x83\x5C.txt"}, {30, 0, "bad\x81.txt"}};
  TempTree cats;
  e2e::WriteWholeFile(cats.Path("Names.kvl"), c.Bytes());
  auto record = [](const std::string& path, const std::string& name, int size,
                   const std::string& nameBytes) {
    return "{\"volume\":\"DATA\",\"catalog\":\"Names.kvl\",\"path\":\"" + path + "\",\"name\":\"" +
           name + "\",\"type\":\"file\",\"size\":" + std::to_string(size) +
           ",\"size_clamped\":false,\"files\":null,\"modified\":\"1970-01-01T00:00:00Z\","
           "\"modified_epoch\":0,\"name_bytes\":" +
           nameBytes + ",\"serial\":\"1234-ABCD\",\"parent\":0,\"folder\":null}\n";
  };
  // Patterns are UTF-8 and match the converted names.
  ReaderRun run =
      RunLedra({"find", "--in", cats.root(), "--json", "--encoding", "cp1252", "CAF\xC3\xA9"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, record("D:\\\\Caf\xC3\xA9.txt", "Caf\xC3\xA9.txt", 10, "null"));
  run = RunLedra({"find", "--in", cats.root(), "--json", "--encoding", "cp932", "--size=+15"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, record("D:\\\\\xE3\x82\xBD.txt", "\xE3\x82\xBD.txt", 20, "null") +
                         record("D:\\\\bad\xEF\xBF\xBD.txt", "bad\xEF\xBF\xBD.txt", 30,
                                "\"626164812e747874\""));
  // Without --encoding the bytes are taken as UTF-8, where 0xE9 alone is invalid too.
  run = RunLedra({"find", "--in", cats.root(), "--json", "caf"});
  EXPECT_EQ(run.out,
            record("D:\\\\Caf\xEF\xBF\xBD.txt", "Caf\xEF\xBF\xBD.txt", 10, "\"436166e92e747874\""));
}

}  // namespace
}  // namespace ledra
