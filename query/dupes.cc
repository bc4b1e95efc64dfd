#include "query/dupes.h"

#include <algorithm>
#include <string_view>
#include <tuple>

#include "query/name_key.h"

namespace ledra {

namespace {

struct Candidate {
  int64_t size;
  uint64_t key;  // hash of what must agree besides the size
  FileRef file;
};

}  // namespace

DupesResult FindDupes(const std::vector<const CatalogContents*>& catalogs,
                      const DupesOptions& options) {
  auto entryOf = [&](const FileRef& f) -> const CatalogEntry& {
    return catalogs[f.catalog]->entries[f.entry];
  };
  std::vector<Candidate> candidates;
  for (size_t c = 0; c < catalogs.size(); ++c) {
    const auto& entries = catalogs[c]->entries;
    for (size_t i = 0; i < entries.size(); ++i) {
      const CatalogEntry& e = entries[i];
      if (e.IsFolder() || static_cast<int64_t>(e.size) < options.minSize) continue;
      uint64_t key = options.sizeOnly ? 0 : HashName(0, e.name, true);
      if (options.sameTime) key = MixKey(key ^ static_cast<uint32_t>(e.modified));
      candidates.push_back({static_cast<int64_t>(e.size),
                            key,
                            {static_cast<uint32_t>(c), static_cast<uint32_t>(i)}});
    }
  }
  // Equal keys are sorted together and then by the folded name itself, so that files which
  // only share a hash never join one group. Within a group, catalogue and table order.
  auto order = [&](const Candidate& a, const Candidate& b) {
    if (a.size != b.size || a.key != b.key)
      return std::tie(a.size, a.key) < std::tie(b.size, b.key);
    const CatalogEntry& ea = entryOf(a.file);
    const CatalogEntry& eb = entryOf(b.file);
    if (!options.sizeOnly) {
      const int byName = CompareFolded(ea.name, eb.name);
      if (byName != 0) return byName < 0;
    }
    if (options.sameTime && ea.modified != eb.modified) return ea.modified < eb.modified;
    return std::tie(a.file.catalog, a.file.entry) < std::tie(b.file.catalog, b.file.entry);
  };
  std::sort(candidates.begin(), candidates.end(), order);
  auto sameGroup = [&](const Candidate& a, const Candidate& b) {
    if (a.size != b.size || a.key != b.key) return false;
    const CatalogEntry& ea = entryOf(a.file);
    const CatalogEntry& eb = entryOf(b.file);
    return (options.sizeOnly || CompareFolded(ea.name, eb.name) == 0) &&
           (!options.sameTime || ea.modified == eb.modified);
  };

  DupesResult result;
  for (size_t start = 0; start < candidates.size();) {
    size_t end = start + 1;
    while (end < candidates.size() && sameGroup(candidates[start], candidates[end])) ++end;
    if (end - start > 1) {
      DupeGroup group;
      group.size = candidates[start].size;
      group.first = result.copies.size();
      group.count = end - start;
      for (size_t k = start; k < end; ++k) result.copies.push_back(candidates[k].file);
      result.totalWasted += group.Wasted();
      result.groups.push_back(group);
    }
    start = end;
  }
  std::stable_sort(result.groups.begin(), result.groups.end(),
                   [](const DupeGroup& a, const DupeGroup& b) { return a.Wasted() > b.Wasted(); });
  return result;
}

}  // namespace ledra
