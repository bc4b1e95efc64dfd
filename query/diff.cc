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
// The key of an entry's place: the folder that holds it (in the older catalogue's
// numbers), whether it is a folder, and its name. Entries of one key are the same place but
// for a collision of the hash, which each candidate is checked against.
uint64_t PlaceKey(uint32_t folder, bool isFolder, std::string_view name) {
  return HashName(MixKey((static_cast<uint64_t>(folder) << 1) | (isFolder ? 1 : 0)), name, false);
}

// The entries of the older catalogue by place: open addressing over keys, each slot holding
// the entries of its key not yet matched, in table order, as a list threaded through the
// entries. A matched entry leaves its list, so that many entries of one place (a folder of
// files that all read "????.jpg") cost a step each, not a walk past the ones taken before.
class PathIndex {
 public:
  explicit PathIndex(const CatalogContents& c)
      : keys_(c.entries.size()), next_(c.entries.size(), kNone), matched_(c.entries.size(), false) {
    size_t slots = 16;
    while (slots < 2 * c.entries.size()) slots *= 2;
    heads_.assign(slots, kNone);
    firsts_.assign(slots, kNone);
    mask_ = slots - 1;
    // From the last entry back, each put before the ones of its key that follow it.
    for (size_t i = c.entries.size(); i-- > 0;) {
      const CatalogEntry& e = c.entries[i];
      keys_[i] = PlaceKey(e.folderIndex, e.IsFolder(), e.name);
      const size_t s = SlotOf(keys_[i]);
      const auto entry = static_cast<uint32_t>(i);
      if (heads_[s] == kNone) heads_[s] = entry;
      next_[i] = firsts_[s];
      firsts_[s] = entry;
    }
  }

  // The first entry not yet matched whose key is `key` and that `fits`; marks it matched.
  template <typename Fits>
  uint32_t Take(uint64_t key, Fits fits) {
    const size_t s = SlotOf(key);
    uint32_t* link = &firsts_[s];
    for (uint32_t i = *link; i != kNone; link = &next_[i], i = *link) {
      if (fits(i)) {
        matched_[i] = true;
        *link = next_[i];
        return i;
      }
    }
    return kNone;
  }
  bool Matched(size_t i) const { return matched_[i]; }

 private:
  // The slot of `key`: the one whose entries have it, or the empty one where they would go.
  size_t SlotOf(uint64_t key) const {
    size_t s = key & mask_;
    while (heads_[s] != kNone && keys_[heads_[s]] != key) s = (s + 1) & mask_;
    return s;
  }

  std::vector<uint64_t> keys_;
  std::vector<uint32_t> next_;  // the next entry of the same key not yet matched
  std::vector<bool> matched_;
  std::vector<uint32_t> heads_;   // per slot: an entry of its key, matched or not
  std::vector<uint32_t> firsts_;  // per slot: its first entry not yet matched
  size_t mask_ = 0;
};

// Pairs added and removed files that have the same name, size and time into moves. The
// pairs leave the two lists.
std::vector<DiffRow> PairMoves(const CatalogContents& older, const CatalogContents& newer,
                               std::vector<uint32_t>* removed, std::vector<uint32_t>* added) {
  auto fileKey = [](const CatalogEntry& e) {
    return HashName(MixKey(static_cast<uint64_t>(e.size) ^
                           (static_cast<uint64_t>(static_cast<uint32_t>(e.modified)) << 32)),
                    e.name, false);
  };
  std::vector<std::pair<uint64_t, uint32_t>> gone;
  for (uint32_t i : *removed) {
    if (!older.entries[i].IsFolder()) gone.emplace_back(fileKey(older.entries[i]), i);
  }
  std::sort(gone.begin(), gone.end());
  // The first untaken item at or after each one, with paths shortened as they are walked:
  // a run of alike files taken one after another is not walked again each time.
  std::vector<size_t> untaken(gone.size() + 1);
  for (size_t g = 0; g < untaken.size(); ++g) untaken[g] = g;
  auto firstUntaken = [&](size_t g) {
    size_t root = g;
    while (untaken[root] != root) root = untaken[root];
    while (untaken[g] != root) g = std::exchange(untaken[g], root);
    return root;
  };
  std::vector<DiffRow> moves;
  std::vector<uint32_t> stillAdded;
  std::vector<bool> movedOld(older.entries.size(), false);
  for (uint32_t j : *added) {
    const CatalogEntry& n = newer.entries[j];
    uint32_t partner = kNone;
    if (!n.IsFolder()) {
      const uint64_t key = fileKey(n);
      const auto from =
          std::lower_bound(gone.begin(), gone.end(), std::make_pair(key, uint32_t{0}));
      for (size_t g = firstUntaken(static_cast<size_t>(from - gone.begin()));
           g < gone.size() && gone[g].first == key; g = firstUntaken(g + 1)) {
        const CatalogEntry& o = older.entries[gone[g].second];
        if (o.size == n.size && o.modified == n.modified && o.name == n.name) {
          untaken[g] = g + 1;
          partner = gone[g].second;
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

std::vector<TotalRow> LargestTotals(const CatalogContents& older, const CatalogContents& newer,
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

DiffResult DiffCatalogs(const CatalogContents& older, const CatalogContents& newer, size_t top) {
  const FolderLinks newLinks(newer);
  PathIndex index(older);

  // Folders first, in folder order, so that each folder's parent is settled before it.
  std::vector<uint32_t> folderMatch(newer.folders.size(), kNone);
  if (!folderMatch.empty() && !older.folders.empty()) folderMatch[0] = 0;
  for (size_t f = 1; f < folderMatch.size(); ++f) {
    const uint32_t j = newLinks.EntryOf(f);
    if (j == FolderLinks::kNone) continue;
    const CatalogEntry& n = newer.entries[j];
    const uint32_t parent = folderMatch[n.folderIndex];
    if (parent == kNone) continue;
    const uint32_t i = index.Take(PlaceKey(parent, true, n.name), [&](uint32_t o) {
      const CatalogEntry& e = older.entries[o];
      return e.IsFolder() && e.folderIndex == parent && e.name == n.name;
    });
    if (i != kNone) folderMatch[f] = older.entries[i].FolderNumber();
  }

  std::vector<uint32_t> added;
  std::vector<DiffRow> changed;
  for (size_t j = 0; j < newer.entries.size(); ++j) {
    const CatalogEntry& n = newer.entries[j];
    const auto jj = static_cast<uint32_t>(j);
    if (n.IsFolder()) {
      const uint32_t f = n.FolderNumber();
      if (f >= folderMatch.size() || folderMatch[f] == kNone) added.push_back(jj);
      continue;
    }
    const uint32_t parent = n.folderIndex < folderMatch.size() ? folderMatch[n.folderIndex] : kNone;
    const uint32_t i =
        parent == kNone ? kNone : index.Take(PlaceKey(parent, false, n.name), [&](uint32_t o) {
          const CatalogEntry& e = older.entries[o];
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
