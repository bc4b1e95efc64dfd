// One set of expectations, run against the fake and against the real platform of this
// build, so that the fake cannot drift from what the real back ends do.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_platform.h"
#include "platform/platform.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace {

// A platform with an empty folder to work in.
struct Machine {
  std::ostringstream errorText;
  MessageSink errors{errorText};
  std::unique_ptr<Platform> platform;
  std::unique_ptr<TempTree> tree;
  std::string folder;

  std::string In(const std::string& name) const { return folder + platform->Separator() + name; }
};

enum class Backend { Fake, Real };

std::unique_ptr<Machine> FakeMachine() {
  auto machine = std::make_unique<Machine>();
  auto fake = std::make_unique<FakePlatform>(machine->errors);
  fake->AddVolume("C:\\", FakePlatform::Volume{});
  fake->AddFolder("C:\\work");
  machine->folder = "C:\\work";
  machine->platform = std::move(fake);
  return machine;
}

std::unique_ptr<Machine> RealMachine() {
  auto machine = std::make_unique<Machine>();
  machine->platform = NewRealPlatform(machine->errors);
  machine->tree = std::make_unique<TempTree>();
  machine->folder = machine->tree->root();
  return machine;
}

class PlatformContractTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    machine_ = GetParam() == Backend::Fake ? FakeMachine() : RealMachine();
    p_ = machine_->platform.get();
  }

  void Write(const std::string& path, const std::string& content) {
    OsError err;
    std::unique_ptr<File> file = p_->CreateForWriting(path, &err);
    ASSERT_TRUE(file) << path << ": " << err.text;
    ASSERT_TRUE(file->Write(content.data(), content.size(), &err)) << err.text;
    ASSERT_TRUE(file->Sync(&err)) << err.text;
    ASSERT_TRUE(file->Close(&err)) << err.text;
  }

  std::string Read(const std::string& path) {
    OsError err;
    std::unique_ptr<File> file = p_->OpenForReading(path, &err);
    if (!file) return "<missing>";
    std::string content;
    char buffer[7];  // small, so that reads come in several pieces
    size_t got = 0;
    while (file->Read(buffer, sizeof buffer, &got, &err) && got > 0) content.append(buffer, got);
    return content;
  }

  std::vector<DirItem> List(const std::string& folder) {
    std::vector<DirItem> items;
    std::unique_ptr<DirSearch> search = p_->NewDirSearch();
    if (!search->Start(folder)) return items;
    DirItem item;
    while (search->Next(item)) items.push_back(item);
    return items;
  }

  std::unique_ptr<Machine> machine_;
  Platform* p_ = nullptr;
};

TEST_P(PlatformContractTest, FilesAreWrittenReadRenamedAndRemoved) {
  const std::string a = machine_->In("a.kvl");
  const std::string b = machine_->In("b.kvl");
  Write(a, "first content");
  EXPECT_EQ(Read(a), "first content");
  OsError refused;
  EXPECT_FALSE(p_->CreateForWriting(a, &refused)) << "creating never opens an existing file";
  EXPECT_EQ(Read(a), "first content");
  ASSERT_TRUE(p_->Remove(a, &refused)) << refused.text;
  Write(a, "2nd");
  Write(b, "old b");

  OsError err;
  ASSERT_TRUE(p_->Rename(a, b, &err)) << err.text;  // replaces b
  EXPECT_EQ(Read(b), "2nd");
  EXPECT_EQ(Read(a), "<missing>");

  EXPECT_FALSE(p_->Rename(a, b, &err));
  EXPECT_TRUE(err.notFound);
  EXPECT_FALSE(p_->OpenForReading(a, &err));
  EXPECT_TRUE(err.notFound);
  EXPECT_FALSE(err.text.empty());

  ASSERT_TRUE(p_->Remove(b, &err)) << err.text;
  EXPECT_FALSE(p_->Remove(b, &err));
  EXPECT_TRUE(err.notFound);
  EXPECT_FALSE(p_->CreateForWriting(machine_->In("no-such-folder") + p_->Separator() + "x", &err));
}

TEST_P(PlatformContractTest, DirectorySearch) {
  Write(machine_->In("file.txt"), "12345");
  if (machine_->tree) {
    machine_->tree->MakeFolder("sub");
  } else {
    static_cast<FakePlatform*>(p_)->AddFolder(machine_->In("sub"));
  }
  std::vector<DirItem> items = List(machine_->folder);
  std::vector<std::string> names;
  for (const DirItem& item : items) {
    names.push_back(item.name);
    if (item.name == "file.txt") {
      EXPECT_FALSE(item.isFolder);
      EXPECT_EQ(item.size, 5u);
    }
    if (item.name == "sub" || item.name == "." || item.name == "..") {
      EXPECT_TRUE(item.isFolder) << item.name;
      EXPECT_TRUE(item.enterable) << item.name;
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "file.txt", "sub"}));
  EXPECT_TRUE(List(machine_->In("missing")).empty());
  EXPECT_FALSE(p_->NewDirSearch()->Start(machine_->In("missing")));
  EXPECT_FALSE(p_->NewDirSearch()->Start(machine_->In("file.txt")));
}

TEST_P(PlatformContractTest, CatalogueFilesAndNamesInTheCurrentFolder) {
  Write(machine_->In("A.kvl"), "a");
  Write(machine_->In("b.KVL"), "b");
  Write(machine_->In("notes.txt"), "n");
  Write(machine_->In("c.kvl.bak"), "c");
  std::vector<std::string> found = p_->FindCatalogFiles(machine_->folder);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{machine_->In("A.kvl"), machine_->In("b.KVL")}));

  std::string saved;
  ASSERT_TRUE(p_->CurrentFolder(&saved));
  ASSERT_TRUE(p_->ChangeFolder(machine_->folder));
  std::string now;
  ASSERT_TRUE(p_->CurrentFolder(&now));
  EXPECT_EQ(now, machine_->folder);
  EXPECT_TRUE(p_->NameExists("A.kvl"));
  EXPECT_TRUE(p_->NameExists("a.KVL"));  // names compare without regard to case
  EXPECT_FALSE(p_->NameExists("A1.kvl"));
  std::string absolute;
  ASSERT_TRUE(p_->AbsolutePath("notes.txt", &absolute));
  EXPECT_EQ(absolute, machine_->In("notes.txt"));
  EXPECT_EQ(Read("notes.txt"), "n");  // relative to the current folder
  EXPECT_TRUE(p_->ChangeFolder(saved));
}

TEST_P(PlatformContractTest, VolumeRootOfAFolder) {
  std::string root, remainder;
  ASSERT_TRUE(p_->SplitVolumeRoot(machine_->folder, &root, &remainder));
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root.back(), p_->Separator());
  // The root without its final separator, then the remainder, names the folder.
  EXPECT_EQ(root.substr(0, root.size() - 1) + remainder, machine_->folder);
  EXPECT_EQ(p_->PathBelowVolumeRoot(machine_->folder), remainder);
  EXPECT_NE(p_->Now(), 0);
}

TEST_P(PlatformContractTest, KindsOfPaths) {
  const std::string a = machine_->In("export.csv");
  OsError err;
  {
    std::unique_ptr<File> file = p_->CreateForWriting(a, &err);
    ASSERT_TRUE(file) << err.text;
    ASSERT_TRUE(file->Close(&err)) << err.text;
  }

  struct Case {
    std::string path;
    PathKind kind;
  };
  const Case cases[] = {{a, PathKind::File},
                        {machine_->folder, PathKind::Folder},
                        {machine_->In("missing"), PathKind::Missing},
                        {machine_->In("missing") + p_->Separator() + "below", PathKind::Missing}};
  for (const Case& c : cases) {
    for (const bool follow : {false, true}) {
      EXPECT_EQ(p_->KindOf(c.path, follow), c.kind) << c.path << (follow ? " followed" : "");
    }
  }
}

TEST_P(PlatformContractTest, CodePagesDecodeToUtf8) {
  struct Case {
    const char* codePage;
    std::string bytes;
    std::string utf8;
  };
  const Case cases[] = {
      {"cp1252", "caf\xE9", "caf\xC3\xA9"},
      {"CP1252", "\x80 \x9F", "\xE2\x82\xAC \xC5\xB8"},  // the euro sign and Y with diaeresis
      {"latin1", "\xFF\xA0x", "\xC3\xBF\xC2\xA0x"},
      {"cp1252", "", ""},
  };
  for (const Case& c : cases) {
    std::string error;
    std::unique_ptr<NameDecoder> decoder = p_->NewCodePageDecoder(c.codePage, &error);
    ASSERT_TRUE(decoder) << c.codePage << ": " << error;
    std::string out = "left over";
    EXPECT_TRUE(decoder->Decode(c.bytes, &out)) << c.codePage;
    EXPECT_EQ(out, c.utf8) << c.codePage;
  }
  std::string error;
  EXPECT_FALSE(p_->NewCodePageDecoder("no-such-code-page", &error));
  EXPECT_EQ(error, "unknown encoding 'no-such-code-page'");
}

INSTANTIATE_TEST_SUITE_P(FakeAndReal, PlatformContractTest,
                         ::testing::Values(Backend::Fake, Backend::Real),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return info.param == Backend::Fake ? std::string("Fake")
                                                              : std::string("Real");
                         });

}  // namespace
}  // namespace ledra
