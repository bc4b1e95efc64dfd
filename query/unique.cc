#include "query/unique.h"

#include <algorithm>
#include <utility>

#include "query/name_key.h"

namespace ledra {

namespace {

uint64_t CopyKey(const CatalogEntry& e) {
  return HashName(MixKey(static_cast<uint64_t>(static_cast<int64_t>(e.size))), e.name, true);
}

}  // namespace

UniqueResult FindUnique(const std::vector<const CatalogContents*>& catalogs, size_t target,
                        int64_t minSize) {
  const CatalogContents& mine = *catalogs[target];
  // The target's files by key, sorted so that equal keys sit together; a table of the
  // distinct keys points at their first place.
  std::vector<std::pair<uint64_t, uint32_t>> files;
  for (size_t i = 0; i < mine.entries.size(); ++i) {
    const CatalogEntry& e = mine.entries[i];
    if (!e.IsFolder() && static_cast<int64_t>(e.size) >= minSize) {
      files.emplace_back(CopyKey(e), static_cast<uint32_t>(i));
    }
  }
  std::sort(files.begin(), files.end());
  size_t slots = 16;
  while (slots < 2 * files.size()) slots *= 2;
  const size_t mask = slots - 1;
  constexpr uint32_t kEmpty = UINT32_MAX;
  std::vector<uint32_t> table(slots, kEmpty);
  for (size_t k = 0; k < files.size(); ++k) {
    if (k > 0 && files[k].first == files[k - 1].first) continue;
    size_t s = files[k].first & mask;
    while (table[s] != kEmpty) s = (s + 1) & mask;
    table[s] = static_cast<uint32_t>(k);
  }
  std::vector<bool> copied(files.size(), false);

  for (size_t c = 0; c < catalogs.size(); ++c) {
    const CatalogContents& other = *catalogs[c];
    if (c == target || (other.header.volumeName == mine.header.volumeName &&
                        other.header.serial == mine.header.serial)) {
      continue;
    }
    for (const CatalogEntry& e : other.entries) {
      if (e.IsFolder() || static_cast<int64_t>(e.size) < minSize) continue;
      const uint64_t key = CopyKey(e);
      size_t s = key & mask;
      while (table[s] != kEmpty && files[table[s]].first != key) s = (s + 1) & mask;
      if (table[s] == kEmpty) continue;
      for (size_t k = table[s]; k < files.size() && files[k].first == key; ++k) {
        const CatalogEntry& m = mine.entries[files[k].second];
        if (m.size == e.size && EqualFolded(m.name, e.name)) copied[k] = true;
      }
    }
  }

  UniqueResult result;
  for (size_t k = 0; k < files.size(); ++k) {
    if (copied[k]) continue;
    result.entries.push_back(files[k].second);
    result.totalSize += static_cast<double>(mine.entries[files[k].second].size);
  }
  std::sort(result.entries.begin(), result.entries.end());
  return result;
}

}  // namespace ledra
