// The catalogue file format: a little-endian header that identifies the volume, then the
// folder table, then the entry table. Files are written in version 5, or in version 6
// where a tree has more folders than version 5 can number; headers of versions 0 to 6 are
// read. docs/catalogue-format.md describes every version.
#include <cstdint>
#include <cstring>
#include <string>

#include "catalog/catalog_stream.h"
#include "catalog/volume_catalog.h"
#include "platform/platform.h"

namespace ledra {

namespace {

constexpr uint32_t kSignatureBase = 500410407;  // 0x1DD3A827
constexpr uint32_t kGenerationStep = 1000000000;
constexpr uint32_t kWrittenSignature = 3 * kGenerationStep + kSignatureBase;
// Header strings longer than this before their NUL are refused.
constexpr size_t kScratchSize = 2048;

void Put16(uint8_t* out, uint16_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  out[2] = static_cast<uint8_t>(v >> 16);
  out[3] = static_cast<uint8_t>(v >> 24);
}

void Put64(uint8_t* out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out + 4, static_cast<uint32_t>(v >> 32));
}

uint32_t FloatBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

uint64_t DoubleBits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

uint16_t Read16(CatalogStream& in) {
  uint8_t b[2];
  in.ReadBytes(b, 2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t Read32(CatalogStream& in) {
  uint8_t b[4];
  in.ReadBytes(b, 4);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// Reads one header string: counted before version 5, terminated from version 5 on.
// False when the file ends inside it or a terminated string does not fit.
bool ReadHeaderString(CatalogStream& in, int16_t version, char* scratch, std::string* field) {
  if (version < 5) {
    in.ReadCountedString(scratch);
  } else {
    if (!in.ReadTerminatedString(scratch, kScratchSize)) return false;
  }
  if (in.atEnd()) return false;
  field->assign(scratch);
  return true;
}

}  // namespace

int VolumeCatalog::WriteCatalog(Platform& platform) {
  if (folders.size() > kMaxRecords || entries.size() > kMaxRecords) return 0;
  const int16_t written = VersionToWrite();
  CatalogStream out(platform, filePath, CatalogStream::kWrite);
  if (!out.Open()) return 0;

  uint8_t field[16];
  Put32(field, kWrittenSignature);
  Put16(field + 4, static_cast<uint16_t>(written));
  timestamp = platform.Now();
  Put32(field + 6, static_cast<uint32_t>(timestamp));
  out.WriteBytes(field, 10);
  out.WriteTerminatedString(root);
  out.WriteTerminatedString(volumeName);
  out.WriteTerminatedString(alias);
  Put32(field, serial);
  out.WriteBytes(field, 4);
  out.WriteTerminatedString(comment);
  Put32(field, FloatBits(freeSpaceMB));
  Put32(field + 4, static_cast<uint32_t>(folders.size()));
  out.WriteBytes(field, 8);

  bool first = true;
  for (const FolderRecord& folder : folders) {
    if (first) out.WriteTerminatedString(folder.path);
    first = false;
    Put32(field, static_cast<uint32_t>(folder.fileCount));
    Put64(field + 4, DoubleBits(folder.totalSize));
    out.WriteBytes(field, 12);
  }

  Put32(field, static_cast<uint32_t>(entries.size()));
  out.WriteBytes(field, 4);
  // Version 5: 32-bit size, 16-bit folder number; version 6: 64-bit size, 32-bit number.
  const bool wide = written >= kWideVersion;
  const size_t fixedBytes = wide ? 16 : 10;
  for (const EntryRecord& entry : entries) {
    Put32(field, static_cast<uint32_t>(entry.modified));
    const uint64_t size = static_cast<uint64_t>(StoredSize(entry.size, written));
    if (wide) {
      Put64(field + 4, size);
      Put32(field + 12, entry.folderIndex);
    } else {
      Put32(field + 4, static_cast<uint32_t>(size));
      Put16(field + 8, static_cast<uint16_t>(entry.folderIndex));
    }
    out.WriteBytes(field, fixedBytes);
    out.WriteBytes(entry.name, static_cast<size_t>(entry.nameLength) + 1);
  }
  if (!out.Close(/*sync=*/true)) return 0;
  version = written;
  return 1;
}

int VolumeCatalog::ReadHeader(Platform& platform) {
  CatalogStream in(platform, filePath, CatalogStream::kRead);
  if (!in.Open()) return 0;

  const uint32_t signature = Read32(in);
  if (in.atEnd() || signature % kGenerationStep != kSignatureBase) return 0;
  int16_t fileVersion = static_cast<int16_t>(signature / kGenerationStep);
  if (fileVersion > 2) fileVersion = static_cast<int16_t>(Read16(in));
  if (in.atEnd()) return 0;
  if (fileVersion > kHighestReadVersion) {
    version = fileVersion;
    return 0;
  }

  // Fields are gathered first and taken over only from a complete header, so that a file
  // cut short leaves the catalogue as it was.
  char scratch[kScratchSize];
  const int32_t fileTimestamp = static_cast<int32_t>(Read32(in));
  std::string fileRoot = root;
  std::string fileVolumeName;
  std::string fileAlias;
  std::string fileComment = comment;
  if (fileVersion >= 2 && !ReadHeaderString(in, fileVersion, scratch, &fileRoot)) return 0;
  if (!ReadHeaderString(in, fileVersion, scratch, &fileVolumeName)) return 0;
  if (!ReadHeaderString(in, fileVersion, scratch, &fileAlias)) return 0;
  const uint32_t fileSerial = Read32(in);
  if (fileVersion >= 4 && !ReadHeaderString(in, fileVersion, scratch, &fileComment)) return 0;
  float fileFreeSpace = freeSpaceMB;
  if (fileVersion >= 1) {
    const uint32_t bits = Read32(in);
    std::memcpy(&fileFreeSpace, &bits, sizeof fileFreeSpace);
  }
  if (in.atEnd()) return 0;

  version = fileVersion;
  timestamp = fileTimestamp;
  root = fileRoot;
  volumeName = fileVolumeName;
  alias = fileAlias;
  UpdateDisplayName();
  serial = fileSerial;
  comment = fileComment;
  freeSpaceMB = fileFreeSpace;
  return 1;
}

}  // namespace ledra
