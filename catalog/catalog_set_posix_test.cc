// The catalogue set on a filesystem that really runs full: a small tmpfs, which only root
// may mount.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_set.h"
#include "catalog/catalog_test_support.h"
#include "catalog/volume_catalog.h"
#include "platform/posix_testing.h"

namespace ledra {
namespace {

using test::CurrentFolderGuard;
using test::LineCount;
using test::MountStack;
using test::ReadWholeFile;
using test::ScratchFolder;

// Writes a file until the filesystem refuses more; true when it ran full.
bool FillUp(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  std::vector<char> chunk(4096, 'f');
  bool full = false;
  for (;;) {
    const ssize_t w = write(fd, chunk.data(), chunk.size());
    if (w < 0) {
      full = errno == ENOSPC;
      break;
    }
    if (w == 0) break;
  }
  close(fd);
  return full;
}

VolumeCatalog NewCatalogue(int entries, const std::string& comment) {
  VolumeCatalog c;
  c.root = "/";
  c.volumeName = "DATA";
  c.serial = 7;
  c.comment = comment;
  c.folders.push_back(FolderRecord());
  for (int i = 0; i < entries; ++i) c.AddEntry("file number " + std::to_string(i), i, i, 0);
  return c;
}

TEST(CatalogSetPosixTest, OnAFullFilesystemKeepsTheEarlierCatalogue) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  ScratchFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string volume = folder.Folder("vol");
  MountStack mounts;
  std::string why;
  if (!mounts.Tmpfs(volume, "size=256k", &why)) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << why;
  }

  std::ostringstream errorText;
  MessageSink errors(errorText);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  CurrentFolderGuard inVolume(*platform, volume);
  ASSERT_TRUE(inVolume.changed());

  VolumeCatalog earlier = NewCatalogue(10, "earlier");
  earlier.filePath = "DATA.kvl";
  ASSERT_EQ(earlier.WriteCatalog(*platform), 1);
  const std::string earlierBytes = ReadWholeFile(volume + "/DATA.kvl");
  ASSERT_TRUE(FillUp(volume + "/filler")) << "the tmpfs did not run full";

  CatalogSet set(*platform);
  set.LoadHeaders();
  ASSERT_EQ(set.count(), 1);
  VolumeCatalog tooBig = NewCatalogue(20000, "too big");  // about 550 KB
  const CatalogMatch replaced = set.FindMatch(tooBig);
  ASSERT_EQ(replaced.score, MatchScore::NameAndSerial);
  EXPECT_EQ(set.StoreCatalog(std::move(tooBig), replaced), 0);

  EXPECT_EQ(ReadWholeFile(volume + "/DATA.kvl"), earlierBytes);
  for (const auto& item : std::filesystem::directory_iterator(volume)) {
    EXPECT_EQ(item.path().filename().string().find(".tmp"), std::string::npos) << item.path();
  }
  EXPECT_FALSE(std::filesystem::exists(volume + "/DATA.kvl.bak"));
  ASSERT_EQ(set.count(), 1);
  EXPECT_EQ(set.catalogs()[0]->comment, "earlier");
  EXPECT_EQ(LineCount(errorText.str()), 1u) << errorText.str();
  EXPECT_NE(errorText.str().find(std::strerror(ENOSPC)), std::string::npos) << errorText.str();

  // With room again, the same replacement goes through.
  std::filesystem::remove(volume + "/filler");
  VolumeCatalog fits = NewCatalogue(100, "fits");
  ASSERT_EQ(set.FindMatch(fits).catalog, replaced.catalog) << "the same catalogue answers";
  EXPECT_EQ(set.StoreCatalog(std::move(fits), replaced), 1);
  EXPECT_EQ(ReadWholeFile(volume + "/DATA.kvl.bak"), earlierBytes);
  EXPECT_NE(ReadWholeFile(volume + "/DATA.kvl").find("fits"), std::string::npos);
}

}  // namespace
}  // namespace ledra
