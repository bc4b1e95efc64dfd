#include "query/unique.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "query/name_key.h"

namespace ledra {

namespace {

// A file of the target, 32 bytes and its name: what a copy must match.
struct TargetFile {
  uint64_t key;
  int64_t size;
  uint64_t nameStart;  // in the names of the target's files
  uint32_t nameLength;
  uint32_t entry;
};

// A file of another catalogue waiting to be looked up among the target's.
struct Lookup {
  uint64_t key;
  int64_t size;
  size_t nameStart;  // in the batch's names
  size_t nameLength;
  uint32_t first;  // the target's first file of the key, once found
};

constexpr size_t kBatch = 64;

inline void Prefetch(const void* at) {
#if defined(__GNUC__)
  __builtin_prefetch(at);
#else
  (void)at;
#endif
}

}  // namespace

UniqueResult FindUnique(CatalogPasses& catalogs, size_t target, int64_t minSize, bool sameHash) {
  auto keyOf = [sameHash](const CatalogEntry& e) -> uint64_t {
    const uint64_t sized = MixKey(static_cast<uint64_t>(e.size));
    return sameHash ? sized : HashName(sized, e.name, true);
  };
  // The target's files by key, sorted so that equal keys sit together; a table of the
  // distinct keys points at their first place.
  UniqueResult result;
  std::vector<TargetFile> files;
  std::string names;
  result.targetFailed = !catalogs.Walk(target, [&](uint32_t index, const CatalogEntry& e) {
    if (e.IsFolder() || e.size < minSize) return true;
    files.push_back({keyOf(e), e.size, names.size(), static_cast<uint32_t>(e.name.size()), index});
    names.append(e.name.data(), e.name.size());
    return true;
  });
  if (result.targetFailed) files = std::vector<TargetFile>();
  std::sort(files.begin(), files.end(), [](const TargetFile& a, const TargetFile& b) {
    return a.key != b.key ? a.key < b.key : a.entry < b.entry;
  });
  size_t slots = 16;
  while (slots < 2 * files.size()) slots *= 2;
  const size_t mask = slots - 1;
  constexpr uint32_t kEmpty = UINT32_MAX;
  std::vector<uint32_t> table(slots, kEmpty);
  // Past the last name, for the prefetch of a file's name that is empty.
  names.push_back('\0');
  for (size_t k = 0; k < files.size(); ++k) {
    if (k > 0 && files[k].key == files[k - 1].key) continue;
    size_t s = files[k].key & mask;
    while (table[s] != kEmpty) s = (s + 1) & mask;
    table[s] = static_cast<uint32_t>(k);
  }
  std::vector<bool> copied(files.size(), false);

  const CatalogHeader& mine = catalogs.Header(target);
  for (size_t c = 0; c < catalogs.size(); ++c) {
    const CatalogHeader& other = catalogs.Header(c);
    if (c == target) continue;
    // The other catalogues of the same volume are no copies; they are read only to be
    // checked, as every catalogue is, and so is every other when the target failed.
    if (result.targetFailed ||
        (other.volumeName == mine.volumeName && other.serial == mine.serial)) {
      catalogs.Walk(c, [](uint32_t, const CatalogEntry&) { return true; });
      continue;
    }
    // A copy found in a catalogue that then turns out damaged does not count. The files are
    // looked up a batch at a time, each step's memory asked for ahead of the step, so that
    // the table, the files and their names are not waited for one file after another.
    std::vector<bool> found(files.size(), false);
    std::vector<Lookup> batch;
    std::string batchNames;
    auto lookUp = [&] {
      for (const Lookup& l : batch) {
        if (table[l.key & mask] != kEmpty) Prefetch(&files[table[l.key & mask]]);
      }
      for (Lookup& l : batch) {
        size_t s = l.key & mask;
        while (table[s] != kEmpty && files[table[s]].key != l.key) s = (s + 1) & mask;
        l.first = table[s];
        if (l.first != kEmpty) Prefetch(&names[files[l.first].nameStart]);
      }
      for (const Lookup& l : batch) {
        if (l.first == kEmpty) continue;
        const std::string_view name =
            std::string_view(batchNames).substr(l.nameStart, l.nameLength);
        for (size_t k = l.first; k < files.size() && files[k].key == l.key; ++k) {
          const TargetFile& m = files[k];
          if (!copied[k] && m.size == l.size &&
              EqualFolded(std::string_view(names).substr(m.nameStart, m.nameLength), name)) {
            found[k] = true;
          }
        }
      }
      batch.clear();
      batchNames.clear();
    };
    const bool walked = catalogs.Walk(c, [&](uint32_t, const CatalogEntry& e) {
      if (e.IsFolder() || e.size < minSize) return true;
      const uint64_t key = keyOf(e);
      Prefetch(&table[key & mask]);
      batch.push_back({key, e.size, batchNames.size(), e.name.size(), kEmpty});
      batchNames.append(e.name.data(), e.name.size());
      if (batch.size() == kBatch) lookUp();
      return true;
    });
    lookUp();
    if (!walked) continue;
    for (size_t k = 0; k < files.size(); ++k) {
      if (found[k]) copied[k] = true;
    }
  }

  if (result.targetFailed) return result;
  for (size_t k = 0; k < files.size(); ++k) {
    if (copied[k]) continue;
    result.entries.push_back(files[k].entry);
    result.totalSize += static_cast<double>(files[k].size);
  }
  std::sort(result.entries.begin(), result.entries.end());
  return result;
}

}  // namespace ledra
