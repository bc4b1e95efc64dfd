#include "query/diff.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "query/folder_links.h"
#include "query/name_key.h"

namespace ledra {

namespace {

constexpr uint32_t kNone = DiffRow::kNoEntry;
constexpr uint64_t kRootKey = 0x6c65647261ULL;

// Each folder's key: the hash of its path below the scan root, built from its parent's.
// Parents are numbered below their children, so one pass in folder order does it.
std::vector<uint64_t> FolderKeys(const CatalogTables& c, const FolderLinks& links) {
  std::vector<uint64_t> keys(c.folders.size(), 0);
  if (!keys.empty()) keys[0] = kRootKey;
  for (size_t f = 1; f < keys.size(); ++f) {
    const uint32_t entry = links.EntryOf(f);
    // A folder no entry names cannot be reached by a path; give it a key of its own.
    keys[f] = entry == FolderLinks::kNone
                  ? MixKey(f)
                  : HashName(keys[c.entries[entry].folderIndex], c.entries[entry].name, false);
  }
  return keys;
}

uint64_t EntryKey(const std::vector<uint64_t>& folderKeys, const TableEntry& e) {
  const uint64_t folderKey = e.folderIndex < folderKeys.size() ? folderKeys[e.folderIndex] : 0;
  return HashName(folderKey, e.name, false);
}

// The entries of the older catalogue by path: open addressing over entry numbers, the
// keys kept beside. Candidates with the key are then confirmed exactly: same name, and a
// folder already matched to the new entry's folder.
class PathIndex {
 public:
  PathIndex(const CatalogTables& c, const std::vector<uint64_t>& folderKeys)
      : keys_(c.entries.size()), matched_(c.entries.size(), false) {
    size_t slots = 16;
    while (slots < 2 * c.entries.size()) slots *= 2;
    slots_.assign(slots, kNone);
    mask_ = slots - 1;
    for (size_t i = 0; i < c.entries.size(); ++i) {
      keys_[i] = EntryKey(folderKeys, c.entries[i]);
      size_t s = keys_[i] & mask_;
      while (slots_[s] != kNone) s = (s + 1) & mask_;
      slots_[s] = static_cast<uint32_t>(i);
    }
  }

  // The first entry not yet matched whose key is `key` and that `fits`; marks it matched.
  template <typename Fits>
  uint32_t Take(uint64_t key, Fits fits) {
    for (size_t s = key & mask_; slots_[s] != kNone; s = (s + 1) & mask_) {
      const uint32_t i = slots_[s];
      if (keys_[i] == key && !matched_[i] && fits(i)) {
        matched_[i] = true;
        return i;
      }
    }
    return kNone;
  }
  bool Matched(size_t i) const { return matched_[i]; }

 private:
  std::vector<uint64_t> keys_;
  std::vector<bool> matched_;
  std::vector<uint32_t> slots_;
  size_t mask_ = 0;
};

// Pairs added and removed files that have the same name, size and time into moves. The
// pairs leave the two lists.
std::vector<DiffRow> PairMoves(const CatalogTables& older, const CatalogTables& newer,
                               std::vector<uint32_t>* removed, std::vector<uint32_t>* added) {
  auto fileKey = [](const TableEntry& e) {
    return HashName(MixKey(static_cast<uint64_t>(e.size) ^
                           (static_cast<uint64_t>(static_cast<uint32_t>(e.modified)) << 32)),
                    e.name, false);
  };
  std::vector<std::pair<uint64_t, uint32_t>> gone;
  for (uint32_t i : *removed) {
    if (!older.entries[i].IsFolder()) gone.emplace_back(fileKey(older.entries[i]), i);
  }
  std::sort(gone.begin(), gone.end());
  std::vector<bool> taken(gone.size(), false);
  std::vector<DiffRow> moves;
  std::vector<uint32_t> stillAdded;
  std::vector<bool> movedOld(older.entries.size(), false);
  for (uint32_t j : *added) {
    const TableEntry& n = newer.entries[j];
    uint32_t partner = kNone;
    if (!n.IsFolder()) {
      const uint64_t key = fileKey(n);
      auto it = std::lower_bound(gone.begin(), gone.end(), std::make_pair(key, uint32_t{0}));
      for (; it != gone.end() && it->first == key; ++it) {
        const size_t g = static_cast<size_t>(it - gone.begin());
        const TableEntry& o = older.entries[it->second];
        if (!taken[g] && o.size == n.size && o.modified == n.modified && o.name == n.name) {
          taken[g] = true;
          partner = it->second;
          break;
        }
      }
    }
    if (partner == kNone) {
      stillAdded.push_back(j);
    } else {
      movedOld[partner] = true;
      moves.push_back({DiffChange::Moved, partner, j});
    }
  }
  removed->erase(
      std::remove_if(removed->begin(), removed->end(), [&](uint32_t i) { return movedOld[i]; }),
      removed->end());
  *added = std::move(stillAdded);
  return moves;
}

std::vector<TotalRow> LargestTotals(const CatalogTables& older, const CatalogTables& newer,
                                    const std::vector<uint32_t>& folderMatch, size_t top) {
  std::vector<TotalRow> rows;
  std::vector<bool> oldSeen(older.folders.size(), false);
  for (size_t f = 0; f < newer.folders.size(); ++f) {
    TotalRow row;
    row.newFolder = static_cast<uint32_t>(f);
    row.newTotal = newer.folders[f].totalSize;
    if (folderMatch[f] != kNone) {
      row.oldFolder = folderMatch[f];
      row.oldTotal = older.folders[folderMatch[f]].totalSize;
      oldSeen[folderMatch[f]] = true;
    }
    if (row.Delta() != 0.0) rows.push_back(row);
  }
  for (size_t f = 0; f < older.folders.size(); ++f) {
    if (oldSeen[f] || older.folders[f].totalSize == 0.0) continue;
    TotalRow row;
    row.oldFolder = static_cast<uint32_t>(f);
    row.oldTotal = older.folders[f].totalSize;
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

DiffResult DiffCatalogs(const CatalogTables& older, const CatalogTables& newer, size_t top) {
  const FolderLinks oldLinks(older);
  const FolderLinks newLinks(newer);
  const std::vector<uint64_t> oldKeys = FolderKeys(older, oldLinks);
  const std::vector<uint64_t> newKeys = FolderKeys(newer, newLinks);
  PathIndex index(older, oldKeys);

  // Folders first, in folder order, so that each folder's parent is settled before it.
  std::vector<uint32_t> folderMatch(newer.folders.size(), kNone);
  if (!folderMatch.empty() && !older.folders.empty()) folderMatch[0] = 0;
  for (size_t f = 1; f < folderMatch.size(); ++f) {
    const uint32_t j = newLinks.EntryOf(f);
    if (j == FolderLinks::kNone) continue;
    const TableEntry& n = newer.entries[j];
    const uint32_t parent = folderMatch[n.folderIndex];
    if (parent == kNone) continue;
    const uint32_t i = index.Take(newKeys[f], [&](uint32_t o) {
      const TableEntry& e = older.entries[o];
      return e.IsFolder() && e.folderIndex == parent && e.name == n.name;
    });
    if (i != kNone) folderMatch[f] = older.entries[i].FolderNumber();
  }

  std::vector<uint32_t> added;
  std::vector<DiffRow> changed;
  for (size_t j = 0; j < newer.entries.size(); ++j) {
    const TableEntry& n = newer.entries[j];
    const auto jj = static_cast<uint32_t>(j);
    if (n.IsFolder()) {
      const uint32_t f = n.FolderNumber();
      if (f >= folderMatch.size() || folderMatch[f] == kNone) added.push_back(jj);
      continue;
    }
    const uint32_t parent = n.folderIndex < folderMatch.size() ? folderMatch[n.folderIndex] : kNone;
    const uint32_t i = parent == kNone ? kNone : index.Take(EntryKey(newKeys, n), [&](uint32_t o) {
      const TableEntry& e = older.entries[o];
      return !e.IsFolder() && e.folderIndex == parent && e.name == n.name;
    });
    if (i == kNone) {
      added.push_back(jj);
    } else if (older.entries[i].size != n.size || older.entries[i].modified != n.modified) {
      changed.push_back({DiffChange::Changed, i, jj});
    }
  }
  std::vector<uint32_t> removed;
  for (size_t i = 0; i < older.entries.size(); ++i) {
    if (!index.Matched(i)) removed.push_back(static_cast<uint32_t>(i));
  }
  std::vector<DiffRow> moves = PairMoves(older, newer, &removed, &added);

  DiffResult result;
  result.entries.reserve(added.size() + removed.size() + changed.size() + moves.size());
  for (uint32_t j : added) result.entries.push_back({DiffChange::Added, kNone, j});
  for (uint32_t i : removed) result.entries.push_back({DiffChange::Removed, i, kNone});
  result.entries.insert(result.entries.end(), changed.begin(), changed.end());
  result.entries.insert(result.entries.end(), moves.begin(), moves.end());
  result.totals = LargestTotals(older, newer, folderMatch, top);
  return result;
}

}  // namespace ledra
