// Catalogue files laid out byte by byte for tests of the reader and of `ledra`, so that
// expectations never go through the writer: a version-5 or 6 file from a header and a list
// of entries in table order, with the folder figures the test gives.
#ifndef LEDRA_CATALOG_LAID_CATALOG_TESTING_H_
#define LEDRA_CATALOG_LAID_CATALOG_TESTING_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/catalog_test_support.h"

namespace ledra {
namespace test {

struct LaidEntry {
  int64_t size;     // a file's bytes, or minus a folder number
  uint32_t folder;  // the folder that holds it
  std::string name;
  int32_t modified = 0;
};

struct LaidFolder {
  int32_t fileCount = 0;
  double totalSize = 0.0;
};

struct LaidCatalog {
  int16_t version = 5;
  int32_t timestamp = 0x40000000;
  std::string root = "C:\\";
  std::string volumeName = "DATA";
  std::string alias;
  uint32_t serial = 0x1234ABCD;
  std::string comment;
  float freeSpaceMB = 1024.0f;
  std::string folder0Path;
  std::vector<LaidFolder> folders{LaidFolder()};
  std::vector<LaidEntry> entries;

  std::string Bytes() const {
    test::Bytes b;
    uint32_t freeBits;
    std::memcpy(&freeBits, &freeSpaceMB, sizeof freeBits);
    b.Hex("27 06 A4 D0").U16(static_cast<uint16_t>(version)).U32(static_cast<uint32_t>(timestamp));
    b.Terminated(root).Terminated(volumeName).Terminated(alias).U32(serial).Terminated(comment);
    b.U32(freeBits).U32(static_cast<uint32_t>(folders.size())).Terminated(folder0Path);
    for (const LaidFolder& f : folders) {
      uint64_t bits;
      std::memcpy(&bits, &f.totalSize, sizeof bits);
      b.U32(static_cast<uint32_t>(f.fileCount)).U64(bits);
    }
    b.U32(static_cast<uint32_t>(entries.size()));
    for (const LaidEntry& e : entries) {
      b.U32(static_cast<uint32_t>(e.modified));
      if (version == 6) {
        b.U64(static_cast<uint64_t>(e.size)).U32(e.folder);
      } else {
        b.U32(static_cast<uint32_t>(e.size)).U16(static_cast<uint16_t>(e.folder));
      }
      b.Terminated(e.name);
    }
    return b.str();
  }
};

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_CATALOG_LAID_CATALOG_TESTING_H_
