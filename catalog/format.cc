#include "catalog/format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace ledra {

namespace {

void PutLittleEndian(uint64_t value, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Reads fields from the front of the file and refuses to move past its end. The bytes at
// hand may be the file's first bytes only: a number beyond them is read on through `read`.
class HeaderCursor {
 public:
  HeaderCursor(std::string_view bytes, size_t fileSize, const ReadFileBytes* read,
               ReadProblem* problem)
      : bytes_(bytes), fileSize_(fileSize), read_(read), problem_(problem) {}

  size_t offset() const { return offset_; }
  size_t left() const { return fileSize_ - offset_; }
  // Whether the next n bytes are at hand (or lie past the end, where reading them fails).
  bool Holds(size_t n) const { return offset_ + n <= bytes_.size() || left() < n; }

  bool Number(const char* field, size_t n, uint64_t* value) {
    if (left() < n) {
      return Fail(std::string("cut short: the ") + field + " needs " + std::to_string(n) +
                  " bytes, " + std::to_string(left()) + " left");
    }
    char far[8];
    const char* from = bytes_.data() + offset_;
    if (offset_ + n > bytes_.size()) {
      std::string error;
      if (read_ == nullptr || !(*read_)(offset_, n, far, &error)) {
        return Fail(field + std::string(": cannot read: ") + error);
      }
      from = far;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
      v |= static_cast<uint64_t>(static_cast<unsigned char>(from[i])) << (8 * i);
    }
    offset_ += n;
    *value = v;
    return true;
  }
  bool U32(const char* field, uint32_t* value) {
    uint64_t v = 0;
    if (!Number(field, 4, &v)) return false;
    *value = static_cast<uint32_t>(v);
    return true;
  }
  // A terminated string (version 5 on) or a counted one (before), whose field gets the
  // bytes before any NUL among them.
  bool String(const char* field, bool terminated, std::string_view* value) {
    if (terminated) {
      // Only the bytes a string may take are searched: a file need not be read further.
      const std::string_view room = Held().substr(0, kMaxHeaderString + 1);
      const size_t found = room.find('\0');
      if (found == std::string_view::npos) {
        if (room.size() > kMaxHeaderString) {
          return Fail(field + std::string(" is longer than ") + std::to_string(kMaxHeaderString) +
                      " bytes");
        }
        return Fail(field + std::string(" has no NUL before the end"));
      }
      const size_t nul = offset_ + found;
      *value = bytes_.substr(offset_, nul - offset_);
      offset_ = nul + 1;
      return true;
    }
    uint64_t length = 0;
    if (!Number(field, 1, &length)) return false;
    if (Held().size() < length) {
      return Fail(std::string("cut short: the ") + field + " runs past the end of the file");
    }
    std::string_view counted = Held().substr(0, length);
    *value = counted.substr(0, counted.find('\0'));
    offset_ += length;
    return true;
  }
  bool String(const char* field, bool terminated, std::string* value) {
    std::string_view view;
    if (!String(field, terminated, &view)) return false;
    value->assign(view.data(), view.size());
    return true;
  }
  // A signed 32-bit count of `records` ("folders") of at least `recordBytes` bytes each.
  bool Count(const char* field, const char* records, size_t recordBytes, uint32_t* count) {
    const size_t at = offset_;
    uint32_t raw = 0;
    if (!U32(field, &raw)) return false;
    const int32_t n = static_cast<int32_t>(raw);
    if (n < 0) return FailAt(at, field + std::string(" is negative: ") + std::to_string(n));
    if (static_cast<size_t>(n) > left() / recordBytes) {
      return FailAt(at, "cut short: " + std::to_string(n) + " " + records +
                            " announced, the file ends after " +
                            std::to_string(left() / recordBytes));
    }
    *count = static_cast<uint32_t>(n);
    return true;
  }
  bool Skip(size_t n) {
    if (left() < n) return Fail("cut short: the folder table runs past the end of the file");
    offset_ += n;
    return true;
  }
  bool Fail(const std::string& what) { return FailAt(offset_, what); }
  bool FailAt(size_t offset, const std::string& what) {
    problem_->offset = offset;
    problem_->what = what;
    return false;
  }

 private:
  // The bytes held from the cursor on: none once numbers were read past them.
  std::string_view Held() const {
    return offset_ < bytes_.size() ? bytes_.substr(offset_) : std::string_view();
  }

  // The file's first bytes: as many as a reader read first (a kilobyte), or all of them
  // before the folder records.
  std::string_view bytes_;
  size_t fileSize_;
  const ReadFileBytes* read_;  // null when bytes_ is the whole file
  ReadProblem* problem_;
  size_t offset_ = 0;
};

bool ParseTableBounds(HeaderCursor& in, CatalogHeader* h, HeaderExtent extent) {
  h->folderTableOffset = in.offset();
  if (!in.Count("folder count", "folders", kFolderRecordBytes, &h->folderCount)) return false;
  if (h->folderCount == 0) return in.FailAt(h->folderTableOffset, "folder table lacks folder 0");
  const EntryLayout layout = EntryLayoutOf(h->version);
  if (h->folderCount > layout.folderLimit) {
    return in.FailAt(h->folderTableOffset, "folder count of " + std::to_string(h->folderCount) +
                                               " is beyond version " + std::to_string(h->version) +
                                               "'s " + std::to_string(8 * layout.folderBytes) +
                                               "-bit folder numbers");
  }
  if (!in.String("folder 0 path", true, &h->folder0Path)) return false;
  const size_t folder0Offset = in.offset();
  uint32_t fileCount = 0;
  uint64_t totalBits = 0;
  if (!in.U32("folder 0 file count", &fileCount) || !in.Number("folder 0 total", 8, &totalBits)) {
    return false;
  }
  CatalogFolder folder0;
  folder0.fileCount = static_cast<int32_t>(fileCount);
  std::memcpy(&folder0.totalSize, &totalBits, sizeof totalBits);
  ReadProblem figures;
  if (!CheckFolderFigures(0, folder0, folder0Offset, &figures)) {
    return in.FailAt(figures.offset, figures.what);
  }
  h->rootFileCount = folder0.fileCount;
  h->rootTotalSize = folder0.totalSize;
  h->folder1Offset = in.offset();
  if (!in.Skip(kFolderRecordBytes * static_cast<size_t>(h->folderCount - 1))) return false;
  h->entryTableOffset = in.offset();
  if (extent == HeaderExtent::kCountIfHeld && !in.Holds(4)) return true;
  if (!in.Count("entry count", "entries", layout.LeastBytes(), &h->entryCount)) return false;
  h->entryCountRead = true;
  return true;
}

}  // namespace

bool CheckFolderFigures(uint32_t number, const CatalogFolder& folder, size_t offset,
                        ReadProblem* problem) {
  // Every figure that passes converts to a 64-bit integer and prints as a size.
  constexpr double kTotalLimit = 9223372036854775808.0;  // 2^63
  std::string what;
  if (folder.fileCount < 0) {
    what = "file count " + std::to_string(folder.fileCount) + " is negative";
  } else if (!(folder.totalSize >= 0.0 && folder.totalSize < kTotalLimit)) {
    offset += 4;
    if (std::isnan(folder.totalSize)) {
      what = "total size is not a number";
    } else {
      char text[40];
      std::snprintf(text, sizeof text, "%g", folder.totalSize);
      what = std::string("total size ") + text +
             (folder.totalSize < 0 ? " is negative" : " is beyond 2^63 bytes");
    }
  } else {
    return true;
  }
  problem->offset = offset;
  problem->what = "folder " + std::to_string(number) + " " + what;
  return false;
}

std::string ReadProblem::Text() const { return what + " (offset " + std::to_string(offset) + ")"; }

char CatalogHeader::Separator() const { return !root.empty() && root.back() == '\\' ? '\\' : '/'; }

std::string CatalogHeader::PathPrefix() const {
  std::string path = root;
  if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path + folder0Path;
}

std::string CatalogHeader::ScanRoot() const {
  std::string path = PathPrefix();
  if (path.empty()) path = std::string(1, Separator());
  return path;
}

namespace {

bool ParseHeader(HeaderCursor& in, CatalogHeader* h, HeaderExtent extent) {
  if (!in.U32("signature", &h->signature)) return false;
  if (h->signature % kGenerationStep != kSignatureRemainder) {
    return in.FailAt(0, "not a catalogue file: signature " + std::to_string(h->signature));
  }
  h->version = static_cast<int16_t>(h->signature / kGenerationStep);
  if (h->version > 2) {
    uint64_t version = 0;
    if (!in.Number("version", 2, &version)) return false;
    h->version = static_cast<int16_t>(version);
  }
  if (h->version > kHighestReadVersion) {
    return in.FailAt(4, "version " + std::to_string(h->version) + " is newer than this reader");
  }
  const int16_t v = h->version;
  const bool terminated = v >= 5;
  uint32_t timestamp = 0;
  if (!in.U32("timestamp", &timestamp)) return false;
  h->timestamp = static_cast<int32_t>(timestamp);
  if (v >= 2 && !in.String("root", terminated, &h->root)) return false;
  if (!in.String("volume name", terminated, &h->volumeName) ||
      !in.String("alias", terminated, &h->alias) || !in.U32("serial", &h->serial)) {
    return false;
  }
  h->displayName = h->alias.empty() ? h->volumeName : h->alias;
  if (v >= 4) {
    h->commentOffset = in.offset() + (terminated ? 0 : 1);
    if (!in.String("comment", terminated, &h->comment)) return false;
  }
  if (v >= 1) {
    uint32_t bits = 0;
    if (!in.U32("free space", &bits)) return false;
    std::memcpy(&h->freeSpaceMB, &bits, sizeof bits);
  }
  if (extent == HeaderExtent::kThroughFreeSpace || !h->HasTables()) return true;
  return ParseTableBounds(in, h, extent);
}

}  // namespace

bool ParseCatalogHeader(std::string_view bytes, CatalogHeader* h, ReadProblem* problem,
                        HeaderExtent extent) {
  *h = CatalogHeader();
  HeaderCursor in(bytes, bytes.size(), nullptr, problem);
  return ParseHeader(in, h, extent);
}

bool ParseCatalogHeader(std::string_view lead, uint64_t fileSize, const ReadFileBytes& read,
                        CatalogHeader* h, ReadProblem* problem, HeaderExtent extent) {
  *h = CatalogHeader();
  // A lead longer than the file is a file that shrank since its size was taken.
  if (lead.size() > fileSize || fileSize > SIZE_MAX) {
    *problem = ReadProblem{static_cast<size_t>(std::min<uint64_t>(lead.size(), fileSize)),
                           "the file ends early (changed while read)"};
    return false;
  }
  HeaderCursor in(lead, static_cast<size_t>(fileSize), &read, problem);
  return ParseHeader(in, h, extent);
}

std::string EncodeHeader(const CatalogHeader& h) {
  std::string out;
  uint8_t field[10];
  PutLittleEndian(kVersionedSignature, 4, field);
  PutLittleEndian(static_cast<uint16_t>(h.version), 2, field + 4);
  PutLittleEndian(static_cast<uint32_t>(h.timestamp), 4, field + 6);
  out.append(reinterpret_cast<const char*>(field), 10);
  for (const std::string* text : {&h.root, &h.volumeName, &h.alias}) {
    out.append(text->c_str(), text->size() + 1);
  }
  PutLittleEndian(h.serial, 4, field);
  out.append(reinterpret_cast<const char*>(field), 4);
  out.append(h.comment.c_str(), h.comment.size() + 1);
  uint32_t freeBits;
  std::memcpy(&freeBits, &h.freeSpaceMB, sizeof freeBits);
  PutLittleEndian(freeBits, 4, field);
  out.append(reinterpret_cast<const char*>(field), 4);
  return out;
}

int16_t VersionForFolders(size_t folderCount) {
  return folderCount > kMaxFoldersOfVersion5 ? kWideVersion : kNarrowVersion;
}

int64_t StoredSize(int64_t size, int16_t version) {
  if (version >= kWideVersion || size <= kClampedSize) return size;
  return kClampedSize;
}

EntryLayout EntryLayoutOf(int16_t version) {
  if (version == kWideVersion) return EntryLayout{8, 4, kMaxRecords};
  return EntryLayout{4, 2, kMaxFoldersOfVersion5};
}

void EncodeFolderRecord(int32_t fileCount, double totalSize, uint8_t* out) {
  uint64_t totalBits;
  std::memcpy(&totalBits, &totalSize, sizeof totalBits);
  PutLittleEndian(static_cast<uint32_t>(fileCount), 4, out);
  PutLittleEndian(totalBits, 8, out + 4);
}

void EncodeCount(size_t count, uint8_t* out) {
  PutLittleEndian(static_cast<uint32_t>(count), 4, out);
}

size_t EncodeEntryFields(int16_t version, int32_t modified, int64_t size, uint32_t folder,
                         uint8_t* out) {
  const EntryLayout layout = EntryLayoutOf(version);
  PutLittleEndian(static_cast<uint32_t>(modified), 4, out);
  PutLittleEndian(static_cast<uint64_t>(size), layout.sizeBytes, out + 4);
  PutLittleEndian(folder, layout.folderBytes, out + 4 + layout.sizeBytes);
  return layout.FixedBytes();
}

}  // namespace ledra
