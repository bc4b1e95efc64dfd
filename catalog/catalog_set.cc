#include "catalog/catalog_set.h"

#include <unordered_set>

#include "catalog/catalog_stream.h"
#include "platform/byte_text.h"

namespace ledra {

namespace {

constexpr size_t kFileNameBaseLength = 16;
// A temporary file is named after its catalogue, then this mark and eight hexadecimal
// digits: 'DATA.kvl.tmp.1a2b3c4d' (being written), 'DATA.kvl.bak.tmp.1a2b3c4d' (a backup
// being made). Such names never end in ".kvl".
constexpr char kTemporaryMark[] = ".tmp";
constexpr size_t kTokenDigits = 8;

bool IsTemporaryName(const std::string& name) {
  const size_t suffix = sizeof kTemporaryMark - 1 + 1 + kTokenDigits;
  if (name.size() <= suffix) return false;
  const size_t mark = name.size() - suffix;
  if (name.compare(mark, suffix - kTokenDigits, std::string(kTemporaryMark) + ".") != 0) {
    return false;
  }
  for (size_t i = name.size() - kTokenDigits; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  const std::string owner = name.substr(0, mark);
  return EndsWithIgnoringAsciiCase(owner, ".kvl") || EndsWithIgnoringAsciiCase(owner, ".kvl.bak");
}

bool KeepsInFileName(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' ||
         c == '_';
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

CatalogSet::CatalogSet(Platform& platform)
    : platform_(platform),
      inCurrentFolder_(true),
      random_(std::random_device{}() ^ static_cast<uint32_t>(platform.Now())) {
  std::string current;
  if (platform_.CurrentFolder(&current)) folder_ = platform_.WithoutTrailingSeparator(current);
}

CatalogSet::CatalogSet(Platform& platform, const std::string& folder)
    : platform_(platform),
      folder_(folder),
      random_(std::random_device{}() ^ static_cast<uint32_t>(platform.Now())) {}

std::string CatalogSet::TemporarySuffix() {
  uint32_t token = static_cast<uint32_t>(random_());
  std::string suffix = std::string(kTemporaryMark) + ".";
  for (size_t i = 0; i < kTokenDigits; ++i, token >>= 4) suffix += HexDigit(token);
  return suffix;
}

void CatalogSet::RemoveLeftovers() {
  std::vector<FolderName> names;
  if (!platform_.ListFolder(".", &names)) return;
  OsError err;
  for (const FolderName& item : names) {
    if (!item.regularFile || !IsTemporaryName(item.name)) continue;
    if (!platform_.Remove(item.name, &err) && !err.notFound) {
      platform_.ReportError("delete", item.name, err);
    }
  }
}

bool CatalogSet::TakesNewFiles(OsError* err) {
  // Named like a catalogue being written, so that a run killed here leaves nothing the
  // next run would not remove.
  const std::string probe = std::string(".kvl") + TemporarySuffix();
  std::unique_ptr<File> file = platform_.CreateForWriting(probe, err);
  if (!file) return false;
  OsError ignored;
  file->Close(&ignored);
  OsError removeErr;
  if (!platform_.Remove(probe, &removeErr)) platform_.ReportError("delete", probe, removeErr);
  return true;
}

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
  for (const std::string& path : platform_.FindCatalogFiles(inCurrentFolder_ ? "." : folder_)) {
    auto catalog = std::make_unique<VolumeCatalog>();
    catalog->filePath = path;
    if (inCurrentFolder_) {
      const size_t cut = LastSeparator(path, platform_.Separator(), platform_.LeadBytes());
      if (cut != std::string::npos) catalog->filePath = path.substr(cut + 1);
    }
    const int read = catalog->ReadHeader(platform_);
    if (read == 1) Add(std::move(catalog), catalogs_.size());
    if (read < 0) unreadable_.push_back(catalog->filePath);
  }
}

std::string CatalogSet::LookupAlias(const std::string& volumeName, uint32_t serial) const {
  for (const auto& c : catalogs_) {
    if (c->volumeName == volumeName && c->serial == serial) return c->displayName;
  }
  return std::string();
}

CatalogMatch CatalogSet::FindMatch(const VolumeCatalog& cur) const {
  for (size_t i = 0; i < catalogs_.size(); ++i) {
    const VolumeCatalog& c = *catalogs_[i];
    int score = 0;
    if (c.volumeName == cur.volumeName && c.serial == cur.serial &&
        (!c.volumeName.empty() || c.serial != 0)) {
      score = 1;
    }
    if (!c.alias.empty() && c.alias == cur.alias) score += 2;
    if (score != 0) return CatalogMatch{static_cast<MatchScore>(score), &c, i};
  }
  return CatalogMatch{};
}

bool CatalogSet::Holds(const CatalogMatch& match) const {
  return match.catalog != nullptr && match.index < catalogs_.size() &&
         catalogs_[match.index].get() == match.catalog;
}

int CatalogSet::RemoveCatalog(bool backup, const CatalogMatch& match) {
  if (!Holds(match)) return 0;
  const std::string& path = match.catalog->filePath;
  if (backup) {
    BackUp(path, /*keepName=*/false);
  } else {
    OsError err;
    if (!platform_.Remove(path, &err)) {
      platform_.ReportError("delete", path, err);
      return 0;
    }
  }
  Detach(match.index);
  return 1;
}

void CatalogSet::ChooseFileName(std::string* fileName, const std::string& displayName,
                                const std::string& freeName) {
  // The folder is read once per choice, not once per candidate: a folder of many taken
  // names would otherwise cost their number squared.
  std::vector<FolderName> names;
  std::unordered_set<std::string> taken;
  if (platform_.ListFolder(".", &names)) {
    for (const FolderName& item : names) taken.insert(ToLowerAscii(item.name));
  }
  taken.erase(ToLowerAscii(freeName));
  const std::string base = FileNameBase(displayName);
  std::string candidate = base + ".kvl";
  for (unsigned long n = 1; taken.count(ToLowerAscii(candidate)) != 0; ++n) {
    candidate = base + std::to_string(n) + ".kvl";
  }
  *fileName = candidate;
}

bool CatalogSet::CopyFile(const std::string& from, const std::string& to, OsError* err) {
  std::unique_ptr<File> in = platform_.OpenForReading(from, err);
  if (!in) return false;
  std::unique_ptr<File> out = platform_.CreateForWriting(to, err);
  if (!out) return false;
  std::vector<char> buffer(CatalogStream::kBufferSize);
  size_t got = 0;
  while (in->Read(buffer.data(), buffer.size(), &got, err)) {
    if (got == 0) {
      // A copy stands for the file itself: it takes its permissions, through the file
      // still open. Where it cannot, the copy is still a good backup.
      OsError ignored;
      out->TakeOverAccessFrom(from, &ignored);
      return out->Sync(err) && out->Close(err);
    }
    if (!out->Write(buffer.data(), got, err)) return false;
  }
  return false;
}

void CatalogSet::BackUp(const std::string& path, bool keepName) {
  const std::string backup = path + ".bak";
  std::string moved = path;
  OsError err;
  if (keepName) {
    moved = backup + TemporarySuffix();
    if (!platform_.Link(path, moved, &err)) {
      if (err.notFound) return;  // nothing left to back up
      // Hard links are refused on FAT and exFAT and, under protected_hardlinks, for
      // another user's file: a synced copy serves instead.
      if (!CopyFile(path, moved, &err)) {
        platform_.ReportError("back up", path, err);
        platform_.Remove(moved, &err);
        return;
      }
    }
  }
  if (!platform_.Rename(moved, backup, &err) && !(err.notFound && !keepName)) {
    platform_.ReportError("back up", path, err);
  }
  // Renaming a link onto a link of the same file succeeds without doing anything.
  if (keepName) platform_.Remove(moved, &err);
}

int CatalogSet::StoreCatalog(VolumeCatalog cur, const CatalogMatch& replaced) {
  auto catalog = std::make_unique<VolumeCatalog>(std::move(cur));
  catalog->UpdateDisplayName();
  const bool replaces = Holds(replaced);

  // A name of this run's own, created exclusively: nothing planted under a temporary
  // name is ever followed or truncated.
  const std::string temporary = FileNameBase(catalog->displayName) + ".kvl" + TemporarySuffix();
  catalog->filePath = temporary;
  OsError err;
  const std::string earlierPath = replaces ? replaced.catalog->filePath : std::string();
  if (catalog->WriteCatalog(platform_, earlierPath) != 1) {
    platform_.Remove(temporary, &err);
    return 0;
  }

  // A volume keeps its file name: the earlier catalogue's own name counts as free.
  const size_t cut = LastSeparator(earlierPath, platform_.Separator(), platform_.LeadBytes());
  const std::string earlierName =
      cut == std::string::npos ? earlierPath : earlierPath.substr(cut + 1);
  std::string fileName;
  ChooseFileName(&fileName, catalog->displayName, earlierName);
  const bool sameName = replaces && EqualsIgnoringAsciiCase(fileName, earlierName);
  if (sameName) {
    fileName = earlierName;
    BackUp(earlierPath, /*keepName=*/true);
  }
  if (!platform_.Rename(temporary, fileName, &err)) {
    platform_.ReportError("rename", temporary + "' to '" + fileName, err);
    platform_.Remove(temporary, &err);
    return 0;
  }
  // The new catalogue is in place first: a kill from here on leaves two, never none.
  if (replaces && !sameName) BackUp(earlierPath, /*keepName=*/false);
  if (!platform_.SyncFolder(".", &err)) platform_.ReportError("sync the folder of", fileName, err);
  if (replaces) Detach(replaced.index);
  catalog->filePath = fileName;
  Add(std::move(catalog), catalogs_.size());
  return 1;
}

}  // namespace ledra
