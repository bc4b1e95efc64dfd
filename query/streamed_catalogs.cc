#include "query/streamed_catalogs.h"

#include <algorithm>

#include "platform/platform.h"
#include "query/catalog_encoding.h"
#include "query/name_text.h"

namespace ledra {

StreamedCatalog::StreamedCatalog(Platform& platform, const CatalogFile& file,
                                 const NameEncoding& encoding)
    : platform_(platform),
      file_(file),
      encoding_(encoding),
      reader_(std::make_shared<CatalogReader>()) {}

StreamedCatalog::~StreamedCatalog() = default;

bool StreamedCatalog::Open(std::string* problem, bool* noTables) {
  *noTables = false;
  if (file_.reader != nullptr && file_.reader->IsOpen()) {
    reader_ = std::move(file_.reader);
  } else {
    ReadProblem why;
    if (!reader_->Open(platform_, file_.path, &why)) {
      *problem = file_.path + ": " + why.Text();
      return false;
    }
  }
  file_.reader.reset();
  header_ = reader_->header();
  open_ = true;
  if (!header().HasTables()) {
    *noTables = true;
    *problem =
        file_.path + ": " +
        ReadProblem{4, "version " + std::to_string(header().version) + " has no tables"}.Text();
    return false;
  }
  std::string error;
  names_ = CatalogDecoder(platform_, header().root, encoding_, &error);
  if (names_ == nullptr) {
    *problem = error;
    return false;
  }
  decodes_ = DecodesNames(header().root, encoding_);
  volume_.clear();
  names_->Decode(header().displayName, &volume_);
  return true;
}

bool StreamedCatalog::VisitDecoded(const CatalogPasses::Visit& visit, uint32_t index,
                                   const CatalogEntry& e) {
  if (!decodes_) return visit(index, e);
  CatalogEntry d = e;
  names_->Decode(e.name, &decoded_);
  d.name = decoded_;
  return visit(index, d);
}

std::string StreamedCatalog::PathOf(uint32_t folder, std::string_view name) const {
  std::string raw = header().PathPrefix();
  cursor_->AppendFolderPath(folder, header().Separator(), &raw);
  if (!decodes_) {
    raw.push_back(header().Separator());
    raw.append(name.data(), name.size());
  }
  std::string path;
  names_->Decode(raw, &path);
  if (decodes_) {
    path.push_back(header().Separator());
    path.append(name.data(), name.size());
  }
  return path;
}

void StreamedCatalog::Release() {
  reader_->Close();
  open_ = false;
}

bool StreamedCatalog::Reopen() {
  if (open_) return true;
  ReadProblem why;
  if (!reader_->Open(platform_, file_.path, &why)) {
    SetProblem(why.Text());
    return false;
  }
  const CatalogHeader& now = reader_->header();
  if (now.version != header_.version || now.entryCount != header_.entryCount ||
      now.folderCount != header_.folderCount || now.entryTableOffset != header_.entryTableOffset ||
      now.folder1Offset != header_.folder1Offset || now.root != header_.root ||
      now.folder0Path != header_.folder0Path) {
    SetProblem("changed while it was read");
    return false;
  }
  open_ = true;
  return true;
}

bool StreamedCatalog::Walk(const CatalogPasses::Visit& visit) {
  if (!problem_.empty() || !Reopen()) return false;
  cursor_ = std::make_unique<EntryCursor>(reader_->StreamEntries(true));
  uint32_t index = 0;
  const bool whole =
      cursor_->ForEach([&](const CatalogEntry& e) { return VisitDecoded(visit, index++, e); });
  if (cursor_->failed()) {
    SetProblem(cursor_->problem().Text());
    return false;
  }
  if (!whole) return true;  // ended by the visit: the rest was checked before
  ReadProblem why;
  CatalogFolder folder;
  for (uint32_t f = 0; f < header().folderCount; ++f) {
    if (!reader_->Folder(f, &folder, &why)) {
      SetProblem(why.Text());
      return false;
    }
  }
  return true;
}

bool StreamedCatalog::WalkPart(uint32_t first, const CursorStart& start, size_t bytes,
                               const CatalogPasses::Visit& visit) {
  if (!problem_.empty() || !Reopen()) return false;
  // A buffer of about the part's size: most parts are a folder's few entries.
  const size_t buffer = std::min(EntryCursor::kStreamBuffer, std::max<size_t>(bytes + 64, 256));
  EntryCursor part = reader_->StreamPart(start, buffer);
  uint32_t index = first;
  part.ForEach([&](const CatalogEntry& e) { return VisitDecoded(visit, index++, e); });
  if (part.failed()) {
    SetProblem(part.problem().Text());
    return false;
  }
  return true;
}

bool StreamedCatalog::FolderTotals(std::vector<double>* totals) {
  if (!problem_.empty() || !Reopen()) return false;
  totals->assign(header().folderCount, 0.0);
  ReadProblem why;
  CatalogFolder folder;
  for (uint32_t f = 0; f < header().folderCount; ++f) {
    if (!reader_->Folder(f, &folder, &why)) {
      SetProblem(why.Text());
      return false;
    }
    (*totals)[f] = folder.totalSize;
  }
  return true;
}

bool StreamedCatalog::Facts(const CatalogEntry& e, EntryFacts* f) {
  *f = EntryFacts();
  f->volume = volume_;
  f->catalog = file_.fileName;
  f->path = PathOf(e.folderIndex, e.name);
  if (decodes_) {
    f->name = std::string(e.name);
    f->nameValid = true;
  } else {
    f->nameValid = names_->Decode(e.name, &f->name);
  }
  f->rawName = e.name;
  f->folder = e.IsFolder();
  if (f->folder && e.FolderNumber() < header().folderCount) {
    CatalogFolder folder;
    ReadProblem why;
    if (!Reopen()) return false;
    if (!reader_->Folder(e.FolderNumber(), &folder, &why)) {
      SetProblem(why.Text());
      return false;
    }
    f->size = static_cast<int64_t>(folder.totalSize);
    f->files = folder.fileCount;
  } else {
    f->size = e.size;
    f->clamped = !header().WideEntries() && e.size == kClampedSize;
  }
  f->modified = e.modified;
  SetPlace(header(), e, f);
  return true;
}

std::string StreamedCatalog::EntryPath(uint32_t folder, std::string_view name) const {
  return PathOf(folder, name);
}

std::string StreamedCatalog::FolderPath(uint32_t number) const {
  std::string raw = header().PathPrefix();
  cursor_->AppendFolderPath(number, header().Separator(), &raw);
  // The scan root of a whole '/' volume has an empty prefix.
  if (raw.empty()) raw.push_back(header().Separator());
  std::string path;
  names_->Decode(raw, &path);
  return path;
}

StreamedCatalogs::StreamedCatalogs(Platform& platform, const std::vector<CatalogFile>& files,
                                   const NameEncoding& encoding) {
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].unreadable) continue;
    auto one = std::make_unique<StreamedCatalog>(platform, files[i], encoding);
    std::string problem;
    bool noTables = false;
    if (one->Open(&problem, &noTables)) {
      if (files.size() > kOpenAtOnce) one->Release();
      catalogs_.push_back(std::move(one));
      fileOf_.push_back(i);
    } else if (noTables) {
      notices_.push_back(files[i].path + ": version " + std::to_string(one->header().version) +
                         " catalogues hold no tables; passed over");
    } else {
      openProblems_.emplace_back(i, problem);
    }
  }
  reported_.assign(catalogs_.size(), false);
}

bool StreamedCatalogs::Add(Platform& platform, const CatalogFile& file,
                           const NameEncoding& encoding, std::string* problem) {
  auto one = std::make_unique<StreamedCatalog>(platform, file, encoding);
  bool noTables = false;
  if (!one->Open(problem, &noTables)) return false;
  fileOf_.push_back(catalogs_.size());
  catalogs_.push_back(std::move(one));
  reported_.push_back(false);
  return true;
}

bool StreamedCatalogs::Walk(size_t catalog, const Visit& visit) {
  const bool walked = catalogs_[catalog]->Walk(visit);
  if (catalogs_.size() > kOpenAtOnce) catalogs_[catalog]->Release();
  return walked;
}

void StreamedCatalogs::Changed(size_t catalog) {
  if (catalogs_[catalog]->problem().empty()) {
    catalogs_[catalog]->SetProblem("changed while it was read");
  }
}

std::vector<std::string> StreamedCatalogs::TakeProblems() {
  std::vector<std::pair<size_t, std::string>> found = std::move(openProblems_);
  openProblems_.clear();
  for (size_t c = 0; c < catalogs_.size(); ++c) {
    if (!reported_[c] && !catalogs_[c]->problem().empty()) {
      found.emplace_back(fileOf_[c], catalogs_[c]->problem());
      reported_[c] = true;
    }
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> lines;
  for (auto& f : found) lines.push_back(std::move(f.second));
  return lines;
}

}  // namespace ledra
