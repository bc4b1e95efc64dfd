#include "catalog/catalog_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/mapped_file.h"
#include "platform/platform.h"

namespace ledra {

namespace {

// The bytes read first by Open, which hold the header of any catalogue without long
// strings: the fewer bytes a search copies from each catalogue, the fewer it finds cold.
constexpr size_t kFirstLeadBytes = 1024;
// Folder records read at once by Folders.
constexpr size_t kFolderChunk = 4096;
// Folder records read at once by Folder.
constexpr uint32_t kFolderBlock = 256;

}  // namespace

CatalogReader::CatalogReader() : view_(std::make_unique<ViewedFile>(std::string_view())) {}
CatalogReader::~CatalogReader() = default;

bool CatalogReader::Open(Platform& platform, const std::string& path, ReadProblem* problem,
                         bool deferEntryCount) {
  Close();
  header_ = CatalogHeader();
  head_.clear();
  OsError err;
  file_ = platform.MapForReading(path, &err);
  if (file_ == nullptr) {
    problem->offset = 0;
    problem->what = "cannot open: " + err.text;
    return false;
  }
  // The size as the file was opened: everything after is read through ReadAt.
  size_ = file_->Size();
  const ReadFileBytes read = FileBytes();
  const HeaderExtent extent =
      deferEntryCount ? HeaderExtent::kCountIfHeld : HeaderExtent::kWithTableBounds;
  // Headers are short: the first read takes a kilobyte, and only a header that does not
  // end within it (long strings) is read again, whole, and parsed as the whole one.
  const size_t whole = static_cast<size_t>(std::min<uint64_t>(size_, kMaxLeadBytes));
  std::string lead;
  for (size_t want = std::min(whole, kFirstLeadBytes);; want = whole) {
    lead.resize(want);
    if (!ReadAt(0, want, &lead[0], problem)) return false;
    const bool parsed = ParseCatalogHeader(lead, size_, read, &header_, problem, extent);
    if (want == whole) {
      if (!parsed) return false;
      break;
    }
    if (parsed && header_.folder1Offset <= want) break;
  }
  lead.resize(static_cast<size_t>(std::min<uint64_t>(header_.folder1Offset, lead.size())));
  head_ = std::move(lead);
  return true;
}

bool CatalogReader::ReadEntryCount(ReadProblem* problem) {
  if (header_.entryCountRead || !header_.HasTables()) return true;
  if (file_ == nullptr) {
    *problem = ReadProblem{header_.entryTableOffset, "entry count: the file is closed"};
    return false;
  }
  // The header is parsed again as Open parses it, so that a count the file cannot hold
  // fails with the words and the offset it would have failed with there.
  CatalogHeader whole;
  if (!ParseCatalogHeader(head_, size_, FileBytes(), &whole, problem)) return false;
  header_.entryCount = whole.entryCount;
  header_.entryCountRead = true;
  return true;
}

ReadFileBytes CatalogReader::FileBytes() const {
  const MappedFile* file = file_.get();
  return [file](uint64_t offset, size_t n, char* out, std::string* error) {
    return file->ReadAt(offset, n, out, error);
  };
}

bool CatalogReader::OpenedFacts(FileFacts* facts) const {
  return file_ != nullptr && file_->Facts(facts);
}

bool CatalogReader::OpenBytes(std::string_view bytes, ReadProblem* problem) {
  Close();
  bytes_ = bytes;
  view_ = std::make_unique<ViewedFile>(bytes);
  size_ = bytes.size();
  head_.clear();
  if (!ParseCatalogHeader(bytes_, &header_, problem)) return false;
  head_.assign(bytes.substr(0, std::min(header_.folder1Offset, bytes.size())));
  return true;
}

void CatalogReader::Close() {
  file_.reset();
  blockCount_ = 0;
  bytes_ = std::string_view();
  view_ = std::make_unique<ViewedFile>(bytes_);
}

const MappedFile& CatalogReader::Source() const { return file_ != nullptr ? *file_ : *view_; }

bool CatalogReader::ReadAt(uint64_t offset, size_t n, char* out, ReadProblem* problem) const {
  if (file_ == nullptr) {
    std::memcpy(out, bytes_.data() + offset, n);
    return true;
  }
  std::string error;
  if (file_->ReadAt(offset, n, out, &error)) return true;
  problem->offset = static_cast<size_t>(offset);
  problem->what = "cannot read: " + error;
  return false;
}

EntryCursor CatalogReader::Entries(bool keepFolderNames) {
  if (file_ != nullptr) return StreamEntries(keepFolderNames);
  return EntryCursor(bytes_, header_, keepFolderNames);
}

EntryCursor CatalogReader::StreamEntries(bool keepFolderNames, size_t bufferSize) const {
  return EntryCursor(Source(), header_, keepFolderNames, bufferSize);
}

EntryCursor CatalogReader::StreamPart(const CursorStart& start, size_t bufferSize) const {
  return EntryCursor(Source(), header_, bufferSize, start);
}

bool CatalogReader::ReadBytes(uint64_t offset, size_t n, std::string* out,
                              ReadProblem* problem) const {
  if (offset > size_ || n > size_ - offset) {
    problem->offset = static_cast<size_t>(std::min<uint64_t>(offset, size_));
    problem->what = "read past the end of the file";
    return false;
  }
  out->resize(n);
  return n == 0 || ReadAt(offset, n, &(*out)[0], problem);
}

bool CatalogReader::EntryAt(size_t offset, CatalogEntry* entry, std::string* name,
                            ReadProblem* problem) const {
  const size_t fixed = header_.WideEntries() ? 16 : 10;
  // Names are short: one read nearly always holds the record and its NUL.
  size_t want = fixed + 256;
  while (true) {
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(want, size_ - std::min<uint64_t>(offset, size_)));
    if (n < fixed + 1) {
      problem->offset = offset;
      problem->what = "entry record runs past the end of the file";
      return false;
    }
    if (!ReadBytes(offset, n, name, problem)) return false;
    const size_t nul = name->find('\0', fixed);
    if (nul != std::string::npos) {
      const unsigned char* p = reinterpret_cast<const unsigned char*>(name->data());
      uint32_t bits;
      std::memcpy(&bits, p, 4);
      entry->modified = static_cast<int32_t>(bits);
      if (header_.WideEntries()) {
        uint64_t size;
        std::memcpy(&size, p + 4, 8);
        entry->size = static_cast<int64_t>(size);
        std::memcpy(&entry->folderIndex, p + 12, 4);
      } else {
        std::memcpy(&bits, p + 4, 4);
        entry->size = static_cast<int32_t>(bits);
        entry->folderIndex = static_cast<uint32_t>(p[8] | (p[9] << 8));
      }
      name->erase(nul);
      name->erase(0, fixed);
      entry->name = *name;
      entry->offset = offset;
      return true;
    }
    if (n < want) {
      problem->offset = offset + fixed;
      problem->what = "entry name has no NUL before the end of the file";
      return false;
    }
    want *= 4;
  }
}

bool CatalogReader::Folder(uint32_t number, CatalogFolder* folder, ReadProblem* problem) const {
  *folder = CatalogFolder();
  // Folder 0's record follows its path; the others follow it one after another.
  const size_t at = header_.folder1Offset - kFolderRecordBytes + kFolderRecordBytes * number;
  const char* record;
  if (file_ == nullptr) {
    record = bytes_.data() + at;
  } else {
    // Folders are mostly asked for in rising order (find meets their entries so): a block
    // of records read at once saves a read for each.
    if (number < blockFirst_ || number - blockFirst_ >= blockCount_) {
      const uint32_t count = std::min<uint32_t>(kFolderBlock, header_.folderCount - number);
      block_.resize(kFolderRecordBytes * count);
      blockCount_ = 0;
      if (!ReadAt(at, block_.size(), block_.data(), problem)) return false;
      blockFirst_ = number;
      blockCount_ = count;
    }
    record = block_.data() + kFolderRecordBytes * (number - blockFirst_);
  }
  uint32_t fileCount;
  std::memcpy(&fileCount, record, 4);
  folder->fileCount = static_cast<int32_t>(fileCount);
  std::memcpy(&folder->totalSize, record + 4, 8);
  if (number == 0) folder->path = header_.folder0Path;
  return CheckFolderFigures(number, *folder, at, problem);
}

bool CatalogReader::Folders(std::vector<CatalogFolder>* folders, ReadProblem* problem) const {
  folders->assign(header_.folderCount, CatalogFolder());
  std::vector<char> chunk;
  for (uint32_t first = 0; first < header_.folderCount; first += kFolderChunk) {
    const uint32_t n = std::min<uint32_t>(kFolderChunk, header_.folderCount - first);
    // Folder 0's record follows its path; the others follow one another from folder 1 on.
    const size_t at = header_.folder1Offset + kFolderRecordBytes * first - kFolderRecordBytes;
    chunk.resize(kFolderRecordBytes * n);
    if (!ReadAt(at, chunk.size(), chunk.data(), problem)) return false;
    for (uint32_t k = 0; k < n; ++k) {
      CatalogFolder& folder = (*folders)[first + k];
      const char* record = chunk.data() + kFolderRecordBytes * k;
      uint32_t fileCount;
      std::memcpy(&fileCount, record, 4);
      folder.fileCount = static_cast<int32_t>(fileCount);
      std::memcpy(&folder.totalSize, record + 4, 8);
      if (!CheckFolderFigures(first + k, folder, at + kFolderRecordBytes * k, problem)) {
        return false;
      }
    }
  }
  (*folders)[0].path = header_.folder0Path;
  return true;
}

bool CatalogReader::ReadAll(std::string* bytes, ReadProblem* problem) const {
  bytes->assign(static_cast<size_t>(size_), '\0');
  return size_ == 0 || ReadAt(0, bytes->size(), &(*bytes)[0], problem);
}

bool LoadCatalog(std::string bytes, CatalogContents* contents, ReadProblem* problem) {
  *contents = CatalogContents();
  contents->bytes = std::make_shared<const std::string>(std::move(bytes));
  CatalogReader reader;
  if (!reader.OpenBytes(*contents->bytes, problem)) return false;
  contents->header = reader.header();
  if (!contents->header.HasTables()) {
    problem->offset = 4;
    problem->what = "version " + std::to_string(contents->header.version) + " has no tables";
    return false;
  }
  // The whole table is checked before anything is held for it: counts that the file's
  // size allows are no proof that its bytes hold that many records.
  EntryCursor check = reader.Entries(false);
  check.ForEach([](const CatalogEntry&) { return true; });
  if (!check.ok()) {
    *problem = check.problem();
    return false;
  }
  if (!reader.Folders(&contents->folders, problem)) return false;
  // Folder 0's path from the shared bytes (just after the folder count), which every copy
  // of the contents keeps alive.
  contents->folders[0].path =
      std::string_view(*contents->bytes)
          .substr(contents->header.folderTableOffset + 4, contents->header.folder0Path.size());
  contents->entries.reserve(contents->header.entryCount);
  EntryCursor cursor = reader.Entries(false);
  CatalogEntry entry;
  while (cursor.Next(&entry)) contents->entries.push_back(entry);
  if (cursor.ok()) return true;
  *problem = cursor.problem();
  return false;
}

bool LoadCatalogFile(Platform& platform, const std::string& path, CatalogContents* contents,
                     ReadProblem* problem) {
  *contents = CatalogContents();
  CatalogReader reader;
  if (!reader.Open(platform, path, problem)) return false;
  contents->header = reader.header();
  if (!contents->header.HasTables()) {
    *problem =
        ReadProblem{4, "version " + std::to_string(contents->header.version) + " has no tables"};
    return false;
  }
  EntryCursor check = reader.StreamEntries(false);
  check.ForEach([](const CatalogEntry&) { return true; });
  if (!check.ok()) {
    *problem = check.problem();
    return false;
  }
  // The file may have changed since: LoadCatalog checks what is read now in full.
  std::string bytes;
  if (!reader.ReadAll(&bytes, problem)) return false;
  reader.Close();
  return LoadCatalog(std::move(bytes), contents, problem);
}

}  // namespace ledra
