#include "index/index_store.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "catalog/catalog_reader.h"
#include "platform/platform.h"

namespace ledra {

namespace {

constexpr const char* kIndexSuffix = ".lix";
constexpr const char* kTemporaryMark = ".lix.tmp-";
// Bytes at the end of a catalogue that its identity covers besides its header.
constexpr size_t kTailBytes = 1024;
constexpr int64_t kAbandonedSeconds = 3600;

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string Hex(uint64_t v) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) out[static_cast<size_t>(i)] = kDigits[v & 15];
  return out;
}

}  // namespace

const char* IndexStateName(IndexState state) {
  switch (state) {
    case IndexState::Current:
      return "current";
    case IndexState::Stale:
      return "stale";
    case IndexState::Missing:
      return "missing";
    case IndexState::Unreadable:
      return "unreadable";
  }
  return "unreadable";
}

IndexStore::IndexStore(Platform& platform) : platform_(platform) {}

bool IndexStore::Locate(std::string* why) {
  const char sep = platform_.Separator();
  std::string value;
  parents_.clear();
  if (platform_.EnvironmentValue("LEDRA_INDEX_DIR", &value) && !value.empty()) {
    folder_ = platform_.WithoutTrailingSeparator(value);
    return true;
  }
  std::string cache;
  if (!platform_.UserCacheFolder(&cache)) {
    *why = "no folder for indexes: set LEDRA_INDEX_DIR";
    return false;
  }
  parents_ = {cache, cache + sep + "ledra"};
  folder_ = parents_.back() + sep + "index";
  return true;
}

std::string IndexStore::IndexPathFor(const std::string& absolutePath) const {
  // Named by a checksum of the path; the path itself, kept inside, settles a collision.
  return folder_ + platform_.Separator() + Hex(IndexChecksum(absolutePath)) + kIndexSuffix;
}

bool IndexStore::Identify(const std::string& absolutePath, const CatalogReader& reader,
                          CatalogIdentity* identity, std::string* why) const {
  // The facts of the file the reader opened, where the platform kept them; else those of
  // the file now at the path, which must then be that one, or the sum below would belong
  // to another file than the facts.
  FileFacts facts;
  bool sameFile = reader.OpenedFacts(&facts);
  if (!sameFile) {
    OsError err;
    if (!platform_.FactsOf(absolutePath, &facts, &err)) {
      *why = err.text;
      return false;
    }
  }
  const uint64_t size = reader.size();
  const uint64_t tailBytes = std::min<uint64_t>(kTailBytes, size);
  std::string tail;
  ReadProblem problem;
  if (!reader.ReadBytes(size - tailBytes, static_cast<size_t>(tailBytes), &tail, &problem)) {
    *why = problem.Text();
    return false;
  }
  identity->path = absolutePath;
  identity->file = facts.identity;
  identity->size = facts.size;
  identity->modifiedNanoseconds = facts.modifiedNanoseconds;
  identity->contentSum = IndexChecksum(tail, IndexChecksum(reader.head()));
  if (!sameFile && facts.size != size) identity->contentSum ^= 1;
  return true;
}

IndexState IndexStore::Open(const CatalogIdentity& identity, std::unique_ptr<IndexFile>* index,
                            uint64_t* bytes, std::string* why) const {
  OsError err;
  const std::string path = IndexPathFor(identity.path);
  FileFacts facts;
  if (bytes != nullptr) *bytes = platform_.FactsOf(path, &facts, &err) ? facts.size : 0;
  std::unique_ptr<IndexFile> opened = IndexFile::Open(platform_, path, &err, why);
  if (opened == nullptr) {
    if (err.notFound) return IndexState::Missing;
    if (why->empty()) *why = err.text;
    return IndexState::Unreadable;
  }
  // find reads an index without taking its size and meets a cut where it reads; the
  // status, which takes the size anyway, tells of it at once.
  if (bytes != nullptr && !opened->SizeFits(*bytes, true, why)) return IndexState::Unreadable;
  if (!(opened->header().catalog == identity)) return IndexState::Stale;
  *index = std::move(opened);
  return IndexState::Current;
}

bool IndexStore::MakeFolders(std::string* what, OsError* err) const {
  for (const std::string& parent : parents_) {
    if (!platform_.MakeFolder(parent, err)) {
      *what = "cannot create the folder '" + parent + "'";
      return false;
    }
  }
  if (!platform_.MakeFolder(folder_, err)) {
    *what = "cannot create the folder '" + folder_ + "'";
    return false;
  }
  return true;
}

bool IndexStore::Write(const CatalogIdentity& identity, const std::string& bytes, std::string* what,
                       OsError* err) const {
  if (!MakeFolders(what, err)) return false;
  const std::string target = IndexPathFor(identity.path);
  // Each writer its own temporary file: created exclusively, under a name no other
  // process or thread picks at the same time.
  static std::atomic<uint64_t> counter{0};
  std::unique_ptr<File> file;
  std::string temporary;
  for (int attempt = 0; file == nullptr; ++attempt) {
    const uint64_t tick =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const uint64_t unique =
        IndexChecksum(target, tick ^ (counter++ << 48) ^ reinterpret_cast<uintptr_t>(&attempt));
    temporary = folder_ + platform_.Separator() + Hex(IndexChecksum(identity.path)) +
                kTemporaryMark + Hex(unique);
    file = platform_.CreateForWriting(temporary, err);
    if (file == nullptr &&
        (attempt == 8 || platform_.KindOf(temporary, false) == PathKind::Missing)) {
      *what = "cannot create '" + temporary + "'";
      return false;
    }
  }
  OsError ignored;
  if (!file->Write(bytes.data(), bytes.size(), err) || !file->Close(err)) {
    *what = "cannot write '" + temporary + "'";
    file.reset();
    platform_.Remove(temporary, &ignored);
    return false;
  }
  file.reset();
  if (!platform_.Rename(temporary, target, err)) {
    *what = "cannot rename '" + temporary + "' to '" + target + "'";
    platform_.Remove(temporary, &ignored);
    return false;
  }
  return true;
}

void IndexStore::Prune(std::vector<std::string>* removed,
                       std::vector<std::string>* problems) const {
  std::vector<FolderName> names;
  if (!platform_.ListFolder(folder_, &names)) return;  // no folder: nothing to prune
  std::sort(names.begin(), names.end(),
            [](const FolderName& a, const FolderName& b) { return a.name < b.name; });
  const int64_t now = platform_.Now();
  for (const FolderName& n : names) {
    if (!n.regularFile) continue;
    const std::string path = folder_ + platform_.Separator() + n.name;
    bool remove = false;
    if (n.name.find(kTemporaryMark) != std::string::npos) {
      FileFacts facts;
      OsError err;
      remove = platform_.FactsOf(path, &facts, &err) &&
               facts.modifiedNanoseconds / 1000000000 + kAbandonedSeconds <= now;
    } else if (EndsWith(n.name, kIndexSuffix)) {
      OsError err;
      std::string why;
      std::unique_ptr<IndexFile> index = IndexFile::Open(platform_, path, &err, &why);
      if (index == nullptr) {
        remove = !err.notFound;
      } else {
        const std::string& catalog = index->header().catalog.path;
        remove = platform_.KindOf(catalog, true) != PathKind::File || IndexPathFor(catalog) != path;
      }
    }
    if (!remove) continue;
    OsError err;
    if (platform_.Remove(path, &err)) {
      removed->push_back(path);
    } else if (!err.notFound) {
      problems->push_back("cannot remove '" + path + "': " + err.text);
    }
  }
}

}  // namespace ledra
