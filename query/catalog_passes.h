// The catalogues that the analyses (dupes, unique, diff) compare, as they read them: one
// pass after another over each entry table in table order, holding no table in full. An
// analysis keeps a few words per entry it cares about and walks again for the entries it
// reports.
#ifndef LEDRA_QUERY_CATALOG_PASSES_H_
#define LEDRA_QUERY_CATALOG_PASSES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "catalog/catalog_reader.h"

namespace ledra {

class CatalogPasses {
 public:
  // Called with each entry's number in its table and the entry, whose name is valid during
  // the call only; returns false to end the pass there.
  using Visit = std::function<bool(uint32_t index, const CatalogEntry& entry)>;

  virtual ~CatalogPasses() = default;
  virtual size_t size() const = 0;
  virtual const CatalogHeader& Header(size_t catalog) const = 0;
  // Walks the entry table of catalogue `catalog` from its start. False when the catalogue
  // turned out damaged on the way (or was found so before): the analysis then leaves it
  // out, and whoever holds the catalogues reports it.
  virtual bool Walk(size_t catalog, const Visit& visit) = 0;
  // Walks `start.entries` entries from the one numbered `first`, whose record begins at
  // start.offset, as a walk of the whole table would meet them; `bytes` is about what
  // they take in the file (for the buffer). False as Walk.
  virtual bool WalkPart(size_t catalog, uint32_t first, const CursorStart& start, size_t bytes,
                        const Visit& visit) = 0;
  // The subtree total of every folder, by number. False as Walk.
  virtual bool FolderTotals(size_t catalog, std::vector<double>* totals) = 0;
  // The analysis found catalogue `catalog` other on a later pass than on the first (it was
  // rewritten meanwhile): it leaves the catalogue out, and the holder reports it.
  virtual void Changed(size_t /*catalog*/) {}
};

// Tables held in memory, which were checked when they were loaded.
class HeldCatalogs final : public CatalogPasses {
 public:
  explicit HeldCatalogs(std::vector<const CatalogContents*> catalogs)
      : catalogs_(std::move(catalogs)) {}
  size_t size() const override { return catalogs_.size(); }
  const CatalogHeader& Header(size_t catalog) const override { return catalogs_[catalog]->header; }
  bool Walk(size_t catalog, const Visit& visit) override {
    const std::vector<CatalogEntry>& entries = catalogs_[catalog]->entries;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!visit(static_cast<uint32_t>(i), entries[i])) break;
    }
    return true;
  }
  bool WalkPart(size_t catalog, uint32_t first, const CursorStart& start, size_t,
                const Visit& visit) override {
    const std::vector<CatalogEntry>& entries = catalogs_[catalog]->entries;
    for (size_t i = first; i < entries.size() && i < size_t{first} + start.entries; ++i) {
      if (!visit(static_cast<uint32_t>(i), entries[i])) break;
    }
    return true;
  }
  bool FolderTotals(size_t catalog, std::vector<double>* totals) override {
    totals->clear();
    for (const CatalogFolder& f : catalogs_[catalog]->folders) totals->push_back(f.totalSize);
    return true;
  }

 private:
  std::vector<const CatalogContents*> catalogs_;
};

}  // namespace ledra

#endif  // LEDRA_QUERY_CATALOG_PASSES_H_
