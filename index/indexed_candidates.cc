#include "index/indexed_candidates.h"

#include <unordered_map>

#include "catalog/catalog_reader.h"
#include "index/index_builder.h"
#include "index/index_file.h"
#include "platform/path_text.h"
#include "platform/platform.h"

namespace ledra {

namespace {

// Candidate blocks at most this far apart are read as one part of the table.
constexpr uint32_t kJoinedGap = 4;

// Folder paths from the folder entries the index locates, each read from the catalogue
// and checked to be the entry of that folder.
class IndexedFolderPaths final : public FolderPathSource {
 public:
  IndexedFolderPaths(std::shared_ptr<const IndexFile> index, const CatalogReader& reader)
      : index_(std::move(index)), reader_(reader) {}

  bool AppendFolderPath(uint32_t number, char separator, std::string* out,
                        ReadProblem* problem) override {
    chain_.clear();
    for (uint32_t f = number; f != 0;) {
      const Folder* folder = Find(f, problem);
      if (folder == nullptr) return false;
      chain_.push_back(folder);
      f = folder->parent;
    }
    for (size_t i = chain_.size(); i-- > 0;) {
      out->push_back(separator);
      out->append(chain_[i]->name);
    }
    return true;
  }

 private:
  struct Folder {
    uint32_t parent;
    std::string name;
  };
  // Folders kept at once; past it the cache starts over, so memory stays bounded.
  static constexpr size_t kKept = 1 << 16;

  const Folder* Find(uint32_t number, ReadProblem* problem) {
    auto found = known_.find(number);
    if (found != known_.end()) return &found->second;
    uint64_t offset = 0;
    std::string why;
    if (!index_->FolderOffset(number, &offset, &why)) {
      problem->what = why;
      return nullptr;
    }
    CatalogEntry entry;
    std::string name;
    if (!reader_.EntryAt(static_cast<size_t>(offset), &entry, &name, problem)) return nullptr;
    // Folder k's entry, alone in the table, has the size -k and lies in an earlier folder.
    if (entry.size != -static_cast<int64_t>(number) || entry.folderIndex >= number) {
      problem->offset = static_cast<size_t>(offset);
      problem->what = "the index does not match the catalogue";
      return nullptr;
    }
    if (known_.size() >= kKept) known_.clear();
    return &known_.emplace(number, Folder{entry.folderIndex, std::string(entry.name)})
                .first->second;
  }

  std::shared_ptr<const IndexFile> index_;
  const CatalogReader& reader_;
  std::unordered_map<uint32_t, Folder> known_;
  std::vector<const Folder*> chain_;
};

}  // namespace

IndexedCandidates::IndexedCandidates(Platform& platform, const IndexStore& store,
                                     std::vector<uint32_t> trigrams, uint32_t buildLimit,
                                     uint64_t hintEntries)
    : platform_(platform),
      store_(store),
      trigrams_(std::move(trigrams)),
      buildLimit_(buildLimit),
      hintEntries_(hintEntries) {}

bool IndexedCandidates::AbsoluteCatalogPath(const std::string& path, std::string* absolute) {
  size_t cut = LastPathSeparator(path, platform_.Separator(), platform_.LeadBytes());
  cut = cut == std::string::npos ? 0 : cut + 1;
  const std::string_view name = std::string_view(path).substr(cut);
  // A name the system would rewrite (Win32 drops trailing dots and spaces) is made
  // absolute whole; catalogue names end in "kvl" or "bak".
  const bool plain = !name.empty() && name.back() != '.' && name.back() != ' ';
  if (plain) {
    std::lock_guard<std::mutex> lock(folderMutex_);
    if (!folderAbsolute_.empty() && path.compare(0, cut, folderGiven_) == 0 &&
        folderGiven_.size() == cut) {
      *absolute = folderAbsolute_;
      absolute->append(name.data(), name.size());
      return true;
    }
  }
  if (!platform_.AbsolutePath(path, absolute)) return false;
  const size_t size = absolute->size();
  if (plain && size > name.size() &&
      absolute->compare(size - name.size(), name.size(), name.data(), name.size()) == 0) {
    std::lock_guard<std::mutex> lock(folderMutex_);
    folderGiven_.assign(path, 0, cut);
    folderAbsolute_.assign(*absolute, 0, size - name.size());
  }
  return true;
}

bool IndexedCandidates::Parts(const std::string& path, CatalogReader& reader,
                              std::vector<CursorStart>* parts,
                              std::unique_ptr<FolderPathSource>* folders) {
  std::string absolute;
  if (trigrams_.empty() || !AbsoluteCatalogPath(path, &absolute)) return false;
  CatalogIdentity identity;
  std::string why;
  if (!store_.Identify(absolute, reader, &identity, &why)) return false;
  std::unique_ptr<IndexFile> opened;
  if (store_.Open(identity, &opened, nullptr, &why) != IndexState::Current) {
    // A catalogue whose entry count does not fit is left to the scan, which reports it.
    ReadProblem problem;
    if (!reader.ReadEntryCount(&problem)) return false;
    if (reader.header().entryCount > buildLimit_) {
      ++scannedForWant_;
      entriesForWant_ += reader.header().entryCount;
      return false;
    }
    std::string bytes = BuildIndex(reader, identity);
    if (!writesFail_) {
      std::string what;
      OsError err;
      if (!store_.Write(identity, bytes, &what, &err)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!writesFail_.exchange(true)) writeProblem_ = what + ": " + err.text;
      }
    }
    opened = IndexFile::FromBytes(std::move(bytes), &why);
    if (opened == nullptr) return false;
  }
  std::shared_ptr<const IndexFile> index(std::move(opened));
  // The entry count of a catalogue that the index matches is the index's: it is read from
  // the catalogue only when it came with the header.
  const IndexHeader& h = index->header();
  const CatalogHeader& catalog = reader.header();
  if (h.ScanOnly() || (catalog.entryCountRead && h.entryCount != catalog.entryCount) ||
      h.folderCount != catalog.folderCount) {
    return false;
  }
  std::vector<uint32_t> blocks;
  if (!index->CandidateBlocks(trigrams_, &blocks, &why)) {
    ++scannedForWant_;
    entriesForWant_ += h.entryCount;
    return false;
  }
  parts->clear();
  for (size_t i = 0; i < blocks.size();) {
    // Candidates a few blocks apart are read as one part: reading the blocks between costs
    // less than starting another read, and their names simply fail the match.
    size_t j = i + 1;
    while (j < blocks.size() && blocks[j] - blocks[j - 1] <= kJoinedGap) ++j;
    uint32_t entries = 0;
    for (uint32_t b = blocks[i]; b <= blocks[j - 1]; ++b) entries += index->BlockEntries(b);
    CursorStart start;
    if (!index->BlockStart(blocks[i], entries, &start, &why)) {
      ++scannedForWant_;
      entriesForWant_ += h.entryCount;
      return false;
    }
    parts->push_back(start);
    i = j;
  }
  *folders = std::make_unique<IndexedFolderPaths>(index, reader);
  ++narrowed_;
  return true;
}

std::vector<std::string> IndexedCandidates::Notices() const {
  std::vector<std::string> lines;
  if (writesFail_) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines.push_back(writeProblem_ + "; searching without an index");
  }
  if (scannedForWant_ != 0 && entriesForWant_ >= hintEntries_) {
    const uint32_t n = scannedForWant_;
    lines.push_back(std::to_string(n) + (n == 1 ? " catalogue was" : " catalogues were") +
                    " searched without a current index; 'ledra index' makes find faster");
  }
  return lines;
}

}  // namespace ledra
