#include "query/diff.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <tuple>
#include <utility>

#include "query/name_key.h"

namespace ledra {

namespace {

constexpr uint32_t kNone = DiffRow::kNoEntry;

// Where the entries of one folder lie in the older table: they follow one another.
struct FolderSpan {
  uint32_t first = kNone;
  uint32_t count = 0;
  CursorStart start;
  size_t bytes = 0;
};

// Entries are the same place, or a file the same file, only where their names are the
// same bytes; the hashes below only bring such names together.
bool SameName(std::string_view a, std::string_view b) { return a == b; }

// The key of a name within its folder: entries of one folder and kind match by name.
uint64_t NameHash(std::string_view name, bool sameHash) {
  return sameHash ? 0 : HashName(0, name, false);
}

// The key of a file that may have moved: its name, size and time.
uint64_t MoveKey(const CatalogEntry& e, bool sameHash) {
  const uint64_t seed = MixKey(static_cast<uint64_t>(e.size) ^
                               (static_cast<uint64_t>(static_cast<uint32_t>(e.modified)) << 32));
  return sameHash ? seed : HashName(seed, e.name, false);
}

// The first item at or after each one that is not yet taken, with paths shortened as they
// are walked: a run of alike items taken one after another is not walked again each time.
class Untaken {
 public:
  explicit Untaken(size_t n) : next_(n + 1) {
    for (size_t g = 0; g < next_.size(); ++g) next_[g] = g;
  }
  size_t First(size_t g) {
    size_t root = g;
    while (next_[root] != root) root = next_[root];
    while (next_[g] != root) g = std::exchange(next_[g], root);
    return root;
  }
  void Take(size_t g) { next_[g] = g + 1; }

 private:
  std::vector<size_t> next_;
};

// The entries of one older folder, held while the newer folder that matches it is
// compared; Take gives, per kind and name, the first not yet taken in table order.
class OlderFolder {
 public:
  struct Item {
    bool folder;
    uint64_t hash;
    uint32_t index;
    int64_t size;
    int32_t modified;
    size_t nameStart;
    size_t nameLength;
  };

  explicit OlderFolder(bool sameHash) : sameHash_(sameHash), untaken_(0) {}

  void Clear() {
    items_.clear();
    names_.clear();
  }
  void Add(uint32_t index, const CatalogEntry& e) {
    items_.push_back({e.IsFolder(), NameHash(e.name, sameHash_), index, e.size, e.modified,
                      names_.size(), e.name.size()});
    names_.append(e.name.data(), e.name.size());
  }
  // Once every entry is added.
  void Sort() {
    std::sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
      return std::tie(a.folder, a.hash, a.index) < std::tie(b.folder, b.hash, b.index);
    });
    untaken_ = Untaken(items_.size());
  }
  // The first entry not yet taken of this kind and name; null when none. Marks it taken.
  const Item* Take(bool folder, std::string_view name) {
    const uint64_t hash = NameHash(name, sameHash_);
    const auto from =
        std::lower_bound(items_.begin(), items_.end(), std::make_pair(folder, hash),
                         [](const Item& a, const std::pair<bool, uint64_t>& b) {
                           return std::tie(a.folder, a.hash) < std::tie(b.first, b.second);
                         });
    for (size_t g = untaken_.First(static_cast<size_t>(from - items_.begin()));
         g < items_.size() && items_[g].folder == folder && items_[g].hash == hash;
         g = untaken_.First(g + 1)) {
      if (SameName(std::string_view(names_).substr(items_[g].nameStart, items_[g].nameLength),
                   name)) {
        untaken_.Take(g);
        return &items_[g];
      }
    }
    return nullptr;
  }

 private:
  bool sameHash_;
  std::vector<Item> items_;
  std::string names_;
  Untaken untaken_;
};

// A file on one side of a possible move: what must agree, and where it stands.
struct MoveSide {
  uint64_t key;
  uint32_t index;
  int64_t size = 0;
  int32_t modified = 0;
  uint32_t folder = 0;
  size_t nameStart = 0;
  size_t nameLength = 0;
};

std::vector<TotalRow> LargestTotals(const std::vector<double>& older,
                                    const std::vector<double>& newer,
                                    const std::vector<uint32_t>& folderMatch, size_t top) {
  std::vector<TotalRow> rows;
  std::vector<bool> oldSeen(older.size(), false);
  for (size_t f = 0; f < newer.size(); ++f) {
    TotalRow row;
    row.newFolder = static_cast<uint32_t>(f);
    row.newTotal = newer[f];
    if (folderMatch[f] != kNone) {
      row.oldFolder = folderMatch[f];
      row.oldTotal = older[folderMatch[f]];
      oldSeen[folderMatch[f]] = true;
    }
    if (row.Delta() != 0.0) rows.push_back(row);
  }
  for (size_t f = 0; f < older.size(); ++f) {
    if (oldSeen[f] || older[f] == 0.0) continue;
    TotalRow row;
    row.oldFolder = static_cast<uint32_t>(f);
    row.oldTotal = older[f];
    rows.push_back(row);
  }
  auto larger = [](const TotalRow& a, const TotalRow& b) {
    const double da = std::fabs(a.Delta());
    const double db = std::fabs(b.Delta());
    if (da != db) return da > db;
    return a.newFolder != b.newFolder ? a.newFolder < b.newFolder : a.oldFolder < b.oldFolder;
  };
  const size_t keep = std::min(top, rows.size());
  std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(keep), rows.end(),
                    larger);
  rows.resize(keep);
  return rows;
}

}  // namespace

DiffResult DiffCatalogs(CatalogPasses& catalogs, size_t top, bool sameHash) {
  constexpr size_t kOld = 0;
  constexpr size_t kNew = 1;
  DiffResult result;
  const CatalogHeader& oldHeader = catalogs.Header(kOld);
  const CatalogHeader& newHeader = catalogs.Header(kNew);
  const size_t fixed = oldHeader.WideEntries() ? 16 : 10;

  // Where each older folder's entries lie.
  std::vector<FolderSpan> spans(oldHeader.folderCount);
  uint32_t oldEntries = 0;
  {
    uint32_t foldersMet = 0;
    uint32_t lastFolder = 0;
    if (!catalogs.Walk(kOld, [&](uint32_t index, const CatalogEntry& e) {
          if (e.folderIndex < spans.size()) {
            FolderSpan& span = spans[e.folderIndex];
            if (span.first == kNone) {
              span.first = index;
              span.start = {e.offset, 0, foldersMet, lastFolder};
            }
            ++span.count;
            span.bytes = e.offset + fixed + e.name.size() + 1 - span.start.offset;
          }
          foldersMet += e.IsFolder() ? 1 : 0;
          lastFolder = e.folderIndex;
          oldEntries = index + 1;
          return true;
        })) {
      result.failed = true;
      return result;
    }
  }

  // The newer table, folder by folder: each folder whose own folder matched an older one is
  // compared with that folder's older entries. A folder's entry lies in its parent, which
  // comes before it, so each folder's match is settled before its entries come.
  std::vector<uint32_t> folderMatch(newHeader.folderCount, kNone);
  if (!folderMatch.empty() && !spans.empty()) folderMatch[0] = 0;
  std::vector<bool> matchedOld(oldEntries, false);
  std::vector<uint32_t> added;
  std::vector<MoveSide> addedFiles;  // their keys, for moves
  std::vector<DiffRow> changed;
  OlderFolder older(sameHash);
  uint32_t group = kNone;
  uint32_t parent = kNone;
  bool failed = false;
  const bool walked = catalogs.Walk(kNew, [&](uint32_t j, const CatalogEntry& n) {
    if (n.folderIndex != group) {
      group = n.folderIndex;
      parent = group < folderMatch.size() ? folderMatch[group] : kNone;
      older.Clear();
      if (parent != kNone && spans[parent].count != 0) {
        FolderSpan& span = spans[parent];
        span.start.entries = span.count;
        if (!catalogs.WalkPart(kOld, span.first, span.start, span.bytes,
                               [&](uint32_t i, const CatalogEntry& e) {
                                 older.Add(i, e);
                                 return true;
                               })) {
          failed = true;
          return false;
        }
      }
      older.Sort();
    }
    const OlderFolder::Item* was = parent == kNone ? nullptr : older.Take(n.IsFolder(), n.name);
    if (was == nullptr) {
      added.push_back(j);
      if (!n.IsFolder()) addedFiles.push_back({MoveKey(n, sameHash), j});
      return true;
    }
    matchedOld[was->index] = true;
    if (n.IsFolder()) {
      if (n.FolderNumber() < folderMatch.size()) {
        folderMatch[n.FolderNumber()] = static_cast<uint32_t>(-was->size);
      }
    } else if (was->size != n.size || was->modified != n.modified) {
      DiffRow row;
      row.change = DiffChange::Changed;
      row.oldEntry = was->index;
      row.newEntry = j;
      row.oldSize = was->size;
      row.oldModified = was->modified;
      changed.push_back(row);
    }
    return true;
  });
  older = OlderFolder(sameHash);
  spans = std::vector<FolderSpan>();
  if (!walked || failed) {
    result.failed = true;
    return result;
  }

  // What the newer table lacks, in older table order; the files among it whose key an added
  // file has too may have moved, and keep what a move must agree in.
  std::vector<uint64_t> addedKeys;
  for (const MoveSide& a : addedFiles) addedKeys.push_back(a.key);
  std::sort(addedKeys.begin(), addedKeys.end());
  auto names = std::make_shared<std::string>();
  std::vector<uint32_t> removed;
  std::vector<MoveSide> gone;
  if (!catalogs.Walk(kOld, [&](uint32_t i, const CatalogEntry& o) {
        if (i >= matchedOld.size() || matchedOld[i]) return true;
        removed.push_back(i);
        if (o.IsFolder()) return true;
        const uint64_t key = MoveKey(o, sameHash);
        if (!std::binary_search(addedKeys.begin(), addedKeys.end(), key)) return true;
        gone.push_back({key, i, o.size, o.modified, o.folderIndex, names->size(), o.name.size()});
        names->append(o.name.data(), o.name.size());
        return true;
      })) {
    result.failed = true;
    return result;
  }
  addedKeys = std::vector<uint64_t>();
  std::sort(gone.begin(), gone.end(), [](const MoveSide& a, const MoveSide& b) {
    return std::tie(a.key, a.index) < std::tie(b.key, b.index);
  });
  // The added files that share a key with a removed one, and their names.
  std::vector<MoveSide> arriving;
  for (const MoveSide& a : addedFiles) {
    const auto at = std::lower_bound(gone.begin(), gone.end(), a.key,
                                     [](const MoveSide& g, uint64_t key) { return g.key < key; });
    if (at != gone.end() && at->key == a.key) arriving.push_back(a);
  }
  addedFiles = std::vector<MoveSide>();
  std::string arrivingNames;
  if (!arriving.empty()) {
    size_t next = 0;
    if (!catalogs.Walk(kNew,
                       [&](uint32_t j, const CatalogEntry& n) {
                         if (j != arriving[next].index) return true;
                         MoveSide& a = arriving[next];
                         a.size = n.size;
                         a.modified = n.modified;
                         a.nameStart = arrivingNames.size();
                         a.nameLength = n.name.size();
                         arrivingNames.append(n.name.data(), n.name.size());
                         return ++next < arriving.size();
                       }) ||
        next < arriving.size()) {
      catalogs.Changed(kNew);
      result.failed = true;
      return result;
    }
  }

  // Each added file, in newer table order, moved from the first removed file not taken yet
  // that has its name, size and time.
  Untaken untaken(gone.size());
  std::vector<DiffRow> moves;
  std::vector<bool> movedOld(matchedOld.size(), false);
  std::vector<uint32_t> stillAdded;
  size_t arrived = 0;
  for (const uint32_t j : added) {
    if (arrived == arriving.size() || arriving[arrived].index != j) {
      stillAdded.push_back(j);
      continue;
    }
    const MoveSide& n = arriving[arrived++];
    const std::string_view name = std::string_view(arrivingNames).substr(n.nameStart, n.nameLength);
    const auto from = std::lower_bound(gone.begin(), gone.end(), n.key,
                                       [](const MoveSide& g, uint64_t key) { return g.key < key; });
    const MoveSide* partner = nullptr;
    for (size_t g = untaken.First(static_cast<size_t>(from - gone.begin()));
         g < gone.size() && gone[g].key == n.key; g = untaken.First(g + 1)) {
      const MoveSide& o = gone[g];
      if (o.size == n.size && o.modified == n.modified &&
          SameName(std::string_view(*names).substr(o.nameStart, o.nameLength), name)) {
        untaken.Take(g);
        partner = &o;
        break;
      }
    }
    if (partner == nullptr) {
      stillAdded.push_back(j);
      continue;
    }
    movedOld[partner->index] = true;
    DiffRow row;
    row.change = DiffChange::Moved;
    row.oldEntry = partner->index;
    row.newEntry = j;
    row.oldSize = partner->size;
    row.oldModified = partner->modified;
    row.oldFolder = partner->folder;
    row.oldName = std::string_view(*names).substr(partner->nameStart, partner->nameLength);
    moves.push_back(row);
  }
  removed.erase(
      std::remove_if(removed.begin(), removed.end(), [&](uint32_t i) { return movedOld[i]; }),
      removed.end());

  std::vector<double> oldTotals;
  std::vector<double> newTotals;
  if (!catalogs.FolderTotals(kOld, &oldTotals) || !catalogs.FolderTotals(kNew, &newTotals)) {
    result.failed = true;
    return result;
  }
  result.entries.reserve(stillAdded.size() + removed.size() + changed.size() + moves.size());
  for (const uint32_t j : stillAdded) {
    DiffRow row;
    row.change = DiffChange::Added;
    row.newEntry = j;
    result.entries.push_back(row);
  }
  for (const uint32_t i : removed) {
    DiffRow row;
    row.change = DiffChange::Removed;
    row.oldEntry = i;
    result.entries.push_back(row);
  }
  result.entries.insert(result.entries.end(), changed.begin(), changed.end());
  result.entries.insert(result.entries.end(), moves.begin(), moves.end());
  result.totals = LargestTotals(oldTotals, newTotals, folderMatch, top);
  result.names = std::move(names);
  return result;
}

}  // namespace ledra
