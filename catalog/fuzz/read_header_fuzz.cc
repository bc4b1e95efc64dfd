// A libFuzzer target for the catalogue header reader. Each input is the whole content of
// a catalogue file on the in-memory platform, read into a fresh VolumeCatalog. Catalogue
// folders are shared and files in them come from anywhere, so the reader must survive
// any bytes: no crash, no hang, no store past a buffer (the sanitizers watch), and
// answers that agree with each other:
// - a refused file leaves the catalogue as it was, except the version of a later format;
// - an accepted header is of version 6 or lower, its strings are shorter than 2048 bytes
//   and its display name follows the alias;
// - an accepted header, written out again and read back, gives the same fields.
// Built by the LEDRA_FUZZ configuration and run by .ci/fuzz.sh, never by the unit test build.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "catalog/volume_catalog.h"
#include "platform/fake_platform.h"

namespace {

bool SameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool SameHeader(const ledra::VolumeCatalog& a, const ledra::VolumeCatalog& b) {
  return a.timestamp == b.timestamp && a.root == b.root && a.volumeName == b.volumeName &&
         a.alias == b.alias && a.displayName == b.displayName && a.serial == b.serial &&
         a.comment == b.comment && SameFloat(a.freeSpaceMB, b.freeSpaceMB);
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ostringstream errorText;
  ledra::MessageSink errors(errorText);
  ledra::FakePlatform fake(errors);
  const std::string path = "C:\\cats\\FUZZ.kvl";
  fake.AddFileWithContent(path, std::string(reinterpret_cast<const char*>(data), size));

  const ledra::VolumeCatalog fresh;
  ledra::VolumeCatalog catalog;
  catalog.filePath = path;
  const int result = catalog.ReadHeader(fake);
  Check(result == 0 || result == 1);
  // The file opens, so nothing about it is worth telling the user.
  Check(errorText.str().empty());

  if (result == 0) {
    Check(SameHeader(catalog, fresh));
    Check(catalog.version == fresh.version || catalog.version > ledra::kHighestReadVersion);
    return 0;
  }

  Check(catalog.version <= ledra::kHighestReadVersion);
  Check(catalog.displayName == (catalog.alias.empty() ? catalog.volumeName : catalog.alias));
  Check(catalog.entries.empty() && catalog.folders.empty());
  // Header strings fit the reader's 2048 bytes with their NUL.
  for (const std::string* field :
       {&catalog.root, &catalog.volumeName, &catalog.alias, &catalog.comment}) {
    Check(field->size() < 2048);
  }

  // Whatever version it came in, the header survives being written: as version 5, since
  // the catalogue has no folders.
  fake.now = catalog.timestamp;
  const std::string copyPath = "C:\\cats\\COPY.kvl";
  catalog.filePath = copyPath;
  Check(catalog.WriteCatalog(fake) == 1);
  ledra::VolumeCatalog copy;
  copy.filePath = copyPath;
  Check(copy.ReadHeader(fake) == 1);
  Check(copy.version == ledra::kNarrowVersion);
  Check(SameHeader(catalog, copy));
  return 0;
}
