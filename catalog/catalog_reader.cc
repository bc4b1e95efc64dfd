#include "catalog/catalog_reader.h"

#include <cstring>
#include <utility>

#include "platform/mapped_file.h"
#include "platform/platform.h"

namespace ledra {

CatalogReader::CatalogReader() = default;
CatalogReader::~CatalogReader() = default;

bool CatalogReader::Open(Platform& platform, const std::string& path, ReadProblem* problem) {
  Close();
  OsError err;
  file_ = platform.MapForReading(path, &err);
  if (file_ == nullptr) {
    problem->offset = 0;
    problem->what = "cannot open: " + err.text;
    return false;
  }
  return OpenBytes(file_->Bytes(), problem);
}

bool CatalogReader::OpenBytes(std::string_view bytes, ReadProblem* problem) {
  bytes_ = bytes;
  return ParseCatalogHeader(bytes_, &header_, problem);
}

void CatalogReader::Close() {
  file_.reset();
  bytes_ = std::string_view();
}

EntryCursor CatalogReader::Entries(bool keepFolderNames) {
  if (file_ != nullptr) file_->WillReadAll();
  return EntryCursor(bytes_, header_, keepFolderNames);
}

EntryCursor CatalogReader::StreamEntries(bool keepFolderNames, size_t bufferSize) const {
  return EntryCursor(bytes_, header_, keepFolderNames, file_.get(), bufferSize);
}

bool CatalogReader::Folder(uint32_t number, CatalogFolder* folder, ReadProblem* problem) const {
  *folder = CatalogFolder();
  const size_t at = number == 0 ? header_.folder1Offset - kFolderRecordBytes
                                : header_.folder1Offset + kFolderRecordBytes * (number - 1);
  uint32_t fileCount;
  std::memcpy(&fileCount, bytes_.data() + at, 4);
  folder->fileCount = static_cast<int32_t>(fileCount);
  std::memcpy(&folder->totalSize, bytes_.data() + at + 4, 8);
  if (number == 0) folder->path = header_.folder0Path;
  return CheckFolderFigures(number, *folder, at, problem);
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
  contents->folders.reserve(contents->header.folderCount);
  for (uint32_t f = 0; f < contents->header.folderCount; ++f) {
    contents->folders.emplace_back();
    if (!reader.Folder(f, &contents->folders.back(), problem)) return false;
  }
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
  OsError err;
  std::unique_ptr<MappedFile> file = platform.MapForReading(path, &err);
  if (file == nullptr) {
    *problem = ReadProblem{0, "cannot open: " + err.text};
    return false;
  }
  const std::string_view bytes = file->Bytes();
  return LoadCatalog(std::string(bytes.data(), bytes.size()), contents, problem);
}

}  // namespace ledra
