#include "catalog/catalog_set.h"

#include "catalog/catalog_stream.h"

namespace ledra {

namespace {

constexpr size_t kFileNameBaseLength = 16;

bool KeepsInFileName(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '$' || c == '_';
}

// The display name's first characters up to a '[', with everything that is not safe in
// a file name on every system replaced by '-'.
std::string FileNameBase(const std::string& displayName) {
  std::string base;
  for (char c : displayName) {
    if (c == '[' || base.size() == kFileNameBaseLength) break;
    base += KeepsInFileName(c) ? c : '-';
  }
  return base;
}

}  // namespace

CatalogSet::CatalogSet(Platform& platform) : platform_(platform) {
  std::string current;
  if (platform_.CurrentFolder(&current)) folder_ = platform_.WithoutTrailingSeparator(current);
}

CatalogSet::CatalogSet(Platform& platform, const std::string& folder)
    : platform_(platform), folder_(folder) {}

void CatalogSet::Add(std::unique_ptr<VolumeCatalog> catalog, size_t index) {
  totalEntries_ += static_cast<int32_t>(catalog->entries.size());
  catalogs_.insert(catalogs_.begin() + static_cast<std::ptrdiff_t>(index), std::move(catalog));
  ++count_;
}

std::unique_ptr<VolumeCatalog> CatalogSet::Detach(size_t index) {
  std::unique_ptr<VolumeCatalog> catalog = std::move(catalogs_[index]);
  catalogs_.erase(catalogs_.begin() + static_cast<std::ptrdiff_t>(index));
  totalEntries_ -= static_cast<int32_t>(catalog->entries.size());
  --count_;
  return catalog;
}

void CatalogSet::LoadHeaders() {
  for (const std::string& path : platform_.FindCatalogFiles(folder_)) {
    auto catalog = std::make_unique<VolumeCatalog>();
    catalog->filePath = path;
    if (catalog->ReadHeader(platform_) == 1) Add(std::move(catalog), catalogs_.size());
  }
}

std::string CatalogSet::LookupAlias(const std::string& volumeName, uint32_t serial) const {
  for (const auto& c : catalogs_) {
    if (c->volumeName == volumeName && c->serial == serial) return c->displayName;
  }
  return std::string();
}

MatchScore CatalogSet::FindMatch(const VolumeCatalog& cur) {
  for (size_t i = 0; i < catalogs_.size(); ++i) {
    const VolumeCatalog& c = *catalogs_[i];
    int score = 0;
    if (c.volumeName == cur.volumeName && c.serial == cur.serial &&
        (!c.volumeName.empty() || c.serial != 0)) {
      score = 1;
    }
    if (!c.alias.empty() && c.alias == cur.alias) score += 2;
    if (score != 0) {
      matchIndex_ = static_cast<int32_t>(i);
      return static_cast<MatchScore>(score);
    }
  }
  return MatchScore::None;
}

VolumeCatalog& CatalogSet::CurrentMatch() { return *catalogs_.at(matchIndex_); }

int CatalogSet::RemoveCatalog(bool backup, const VolumeCatalog* target) {
  if (target != nullptr) {
    size_t i = 0;
    while (i < catalogs_.size() && catalogs_[i].get() != target) ++i;
    if (i == catalogs_.size()) return 0;  // not a catalogue of this set
    matchIndex_ = static_cast<int32_t>(i);
  }
  if (matchIndex_ < 0 || static_cast<size_t>(matchIndex_) >= catalogs_.size()) return 0;
  CatalogStream stream(platform_, catalogs_[matchIndex_]->filePath, CatalogStream::kRemove);
  if (stream.RemoveFile(backup) != 1) return 0;
  Detach(static_cast<size_t>(matchIndex_));
  return 1;
}

void CatalogSet::ChooseFileName(std::string* fileName, const std::string& displayName) {
  const std::string base = FileNameBase(displayName);
  std::string candidate = base + ".kvl";
  for (unsigned long n = 1; platform_.NameExists(candidate); ++n) {
    candidate = base + std::to_string(n) + ".kvl";
  }
  *fileName = candidate;
}

int CatalogSet::StoreCatalog(std::unique_ptr<VolumeCatalog>& cur, bool replaceMatch) {
  std::unique_ptr<VolumeCatalog> catalog = std::move(cur);
  cur = std::make_unique<VolumeCatalog>();
  catalog->UpdateDisplayName();

  // The temporary name never ends in ".kvl", so neither a later run nor the naming below
  // ever takes a half-written file for a catalogue.
  const std::string temporary = FileNameBase(catalog->displayName) + ".kvl.tmp";
  catalog->filePath = temporary;
  OsError err;
  if (catalog->WriteCatalog(platform_) != 1) {
    platform_.Remove(temporary, &err);
    return 0;
  }
  // The match leaves the set but is kept until the new file has its name, so that its
  // file and place can be given back should that last step fail.
  std::unique_ptr<VolumeCatalog> replaced;
  const size_t replacedAt = static_cast<size_t>(matchIndex_);
  bool backedUp = false;
  if (replaceMatch && matchIndex_ >= 0 && replacedAt < catalogs_.size()) {
    CatalogStream stream(platform_, catalogs_[replacedAt]->filePath, CatalogStream::kRemove);
    stream.RemoveFile(/*backup=*/true, &backedUp);
    replaced = Detach(replacedAt);
  }

  std::string fileName;
  ChooseFileName(&fileName, catalog->displayName);
  if (!platform_.Rename(temporary, fileName, &err)) {
    platform_.ReportError("rename", temporary + "' to '" + fileName, err);
    platform_.Remove(temporary, &err);
    if (replaced) {
      if (backedUp && !platform_.Rename(replaced->filePath + ".bak", replaced->filePath, &err)) {
        platform_.ReportError("restore", replaced->filePath, err);
      }
      Add(std::move(replaced), replacedAt);
    }
    return 0;
  }
  catalog->filePath = fileName;
  Add(std::move(catalog), catalogs_.size());
  return 1;
}

}  // namespace ledra
