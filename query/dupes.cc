#include "query/dupes.h"

#include <algorithm>
#include <string_view>
#include <tuple>

#include "query/name_key.h"

namespace ledra {

namespace {

// 32 bytes per file considered: what sorts it into its group, where it is, and where the
// second pass put its entry.
struct Candidate {
  int64_t size;
  uint64_t key;  // hash of what must agree besides the size
  int32_t modified;
  FileRef file;
  uint32_t read;
};

uint64_t KeyOf(const CatalogEntry& e, const DupesOptions& options, bool sameHash) {
  uint64_t key = options.sizeOnly || sameHash ? 0 : HashName(0, e.name, true);
  if (options.sameTime) key = MixKey(key ^ static_cast<uint32_t>(e.modified));
  return key;
}

bool FileOrder(const FileRef& a, const FileRef& b) {
  return std::tie(a.catalog, a.entry) < std::tie(b.catalog, b.entry);
}

// The entries of the files that share size and key with another, read in a second pass;
// the names are gathered one after another and pointed at once all are read.
class SuspectEntries {
 public:
  // `wanted` in catalogue and table order.
  SuspectEntries(CatalogPasses& catalogs, const std::vector<FileRef>& wanted,
                 std::vector<bool>* failed)
      : entries_(wanted.size()), nameStarts_(wanted.size()) {
    size_t next = 0;
    while (next < wanted.size()) {
      const uint32_t c = wanted[next].catalog;
      const bool walked = catalogs.Walk(c, [&](uint32_t index, const CatalogEntry& e) {
        if (index != wanted[next].entry) return true;
        entries_[next] = e;
        nameStarts_[next] = names_.size();
        names_.append(e.name.data(), e.name.size());
        ++next;
        return next < wanted.size() && wanted[next].catalog == c;
      });
      if (!walked || (next < wanted.size() && wanted[next].catalog == c)) {
        (*failed)[c] = true;
        while (next < wanted.size() && wanted[next].catalog == c) ++next;
      }
    }
  }
  const CatalogEntry& operator[](size_t k) const { return entries_[k]; }
  // The names, which the entries then point into, wherever the result is moved.
  std::shared_ptr<const std::string> TakeNames() {
    auto names = std::make_shared<const std::string>(std::move(names_));
    for (size_t k = 0; k < entries_.size(); ++k) {
      entries_[k].name = std::string_view(*names).substr(nameStarts_[k], entries_[k].name.size());
    }
    return names;
  }

 private:
  std::vector<CatalogEntry> entries_;
  std::vector<size_t> nameStarts_;
  std::string names_;
};

}  // namespace

DupesResult FindDupes(CatalogPasses& catalogs, const DupesOptions& options, bool sameHash) {
  std::vector<Candidate> candidates;
  std::vector<bool> failed(catalogs.size(), false);
  for (size_t c = 0; c < catalogs.size(); ++c) {
    const size_t before = candidates.size();
    const bool walked = catalogs.Walk(c, [&](uint32_t index, const CatalogEntry& e) {
      if (e.IsFolder() || e.size < options.minSize) return true;
      candidates.push_back(
          {e.size, KeyOf(e, options, sameHash), e.modified, {static_cast<uint32_t>(c), index}, 0});
      return true;
    });
    if (!walked) {
      failed[c] = true;
      candidates.resize(before);
    }
  }
  // Files sort by size and key, and within them in catalogue and table order. Only runs of
  // more than one file can hold copies: their names are read, and each run is sorted on by
  // the folded name and the time, as the groups are told apart.
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.size != b.size || a.key != b.key)
      return std::tie(a.size, a.key) < std::tie(b.size, b.key);
    return FileOrder(a.file, b.file);
  });
  auto sameRun = [](const Candidate& a, const Candidate& b) {
    return a.size == b.size && a.key == b.key;
  };
  // Runs of more than one file, which alone can hold copies, take the place of the rest.
  size_t runs = 0;
  for (size_t start = 0; start < candidates.size();) {
    size_t end = start + 1;
    while (end < candidates.size() && sameRun(candidates[start], candidates[end])) ++end;
    if (end - start > 1) {
      for (size_t k = start; k < end; ++k) candidates[runs++] = candidates[k];
    }
    start = end;
  }
  candidates.resize(runs);
  // The files to read again in catalogue and table order, each with its candidate.
  std::vector<uint32_t> byFile(candidates.size());
  for (size_t k = 0; k < byFile.size(); ++k) byFile[k] = static_cast<uint32_t>(k);
  std::sort(byFile.begin(), byFile.end(), [&](uint32_t a, uint32_t b) {
    return FileOrder(candidates[a].file, candidates[b].file);
  });
  std::vector<FileRef> suspects(byFile.size());
  for (size_t k = 0; k < byFile.size(); ++k) {
    suspects[k] = candidates[byFile[k]].file;
    candidates[byFile[k]].read = static_cast<uint32_t>(k);
  }
  byFile = std::vector<uint32_t>();
  SuspectEntries read(catalogs, suspects, &failed);
  suspects = std::vector<FileRef>();
  DupesResult result;
  result.names = read.TakeNames();
  auto entryOf = [&](const Candidate& k) -> const CatalogEntry& { return read[k.read]; };
  // A file read again as another (its catalogue was rewritten meanwhile) fails its
  // catalogue; the files of failed catalogues leave the runs.
  for (const Candidate& k : candidates) {
    if (failed[k.file.catalog]) continue;
    const CatalogEntry& e = entryOf(k);
    if (e.size != k.size || e.modified != k.modified || KeyOf(e, options, sameHash) != k.key) {
      failed[k.file.catalog] = true;
      catalogs.Changed(k.file.catalog);
    }
  }
  candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                  [&](const Candidate& k) { return failed[k.file.catalog]; }),
                   candidates.end());
  std::vector<Candidate>& kept = candidates;

  auto order = [&](const Candidate& a, const Candidate& b) {
    if (!options.sizeOnly) {
      const int byName = CompareFolded(entryOf(a).name, entryOf(b).name);
      if (byName != 0) return byName < 0;
    }
    return options.sameTime && a.modified < b.modified;
  };
  auto sameGroup = [&](const Candidate& a, const Candidate& b) {
    return sameRun(a, b) &&
           (options.sizeOnly || CompareFolded(entryOf(a).name, entryOf(b).name) == 0) &&
           (!options.sameTime || a.modified == b.modified);
  };
  for (size_t start = 0; start < kept.size();) {
    size_t end = start + 1;
    while (end < kept.size() && sameRun(kept[start], kept[end])) ++end;
    // Most runs are a few copies: sorted in place, without the buffer of a stable sort.
    if (end - start <= 16) {
      for (size_t k = start + 1; k < end; ++k) {
        for (size_t m = k; m > start && order(kept[m], kept[m - 1]); --m) {
          std::swap(kept[m], kept[m - 1]);
        }
      }
    } else {
      std::stable_sort(kept.begin() + static_cast<std::ptrdiff_t>(start),
                       kept.begin() + static_cast<std::ptrdiff_t>(end), order);
    }
    for (size_t from = start; from < end;) {
      size_t to = from + 1;
      while (to < end && sameGroup(kept[from], kept[to])) ++to;
      if (to - from > 1) {
        DupeGroup group;
        group.size = kept[from].size;
        group.first = result.copies.size();
        group.count = to - from;
        for (size_t k = from; k < to; ++k) {
          result.copies.push_back(kept[k].file);
          result.entries.push_back(entryOf(kept[k]));
        }
        result.totalWasted += group.Wasted();
        result.groups.push_back(group);
      }
      from = to;
    }
    start = end;
  }
  std::stable_sort(result.groups.begin(), result.groups.end(),
                   [](const DupeGroup& a, const DupeGroup& b) { return a.Wasted() > b.Wasted(); });
  return result;
}

}  // namespace ledra
