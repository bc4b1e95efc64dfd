#include "query/copies_report.h"

#include <string>

#include "query/unique.h"

namespace ledra {

namespace {

std::vector<const CatalogContents*> Tables(const LoadedCatalogs& catalogs) {
  std::vector<const CatalogContents*> tables;
  for (const auto& c : catalogs) tables.push_back(&c->tables);
  return tables;
}

// One copy of a group: `find`'s line indented below the group's heading; in JSON and CSV
// the group's number, copies and wasted bytes before `find`'s fields.
class Copy final : public EntryRow {
 public:
  Copy(const EntryFacts& facts, uint64_t group, const DupeGroup& g)
      : EntryRow(facts), group_(group), g_(g) {}
  Record Fields() const override {
    Record r = EntryRecord(facts_);
    r.insert(r.begin(), {{"group", FieldValue::Integer(static_cast<int64_t>(group_))},
                         {"copies", FieldValue::Integer(static_cast<int64_t>(g_.count))},
                         {"wasted", FieldValue::Integer(static_cast<int64_t>(g_.Wasted()))}});
    return r;
  }
  const TextLayout& Layout() const override {
    static const TextLayout layout = TextLayout::Lines("  ");
    return layout;
  }

 private:
  uint64_t group_;
  const DupeGroup& g_;
};

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

uint64_t WriteDupes(const LoadedCatalogs& catalogs, const DupesOptions& options, NameDecoder& names,
                    const OutputSettings& settings, OutputSink& out) {
  const DupesResult result = FindDupes(Tables(catalogs), options);
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  const bool exact = settings.exactBytes;
  uint64_t number = 0;
  for (const DupeGroup& g : result.groups) {
    ++number;
    writer->Note(Plural(g.count, "copy", "copies") + " of " +
                 SizeText(static_cast<double>(g.size), false, exact) + ", " +
                 SizeText(g.Wasted(), false, exact) + " wasted");
    for (size_t k = g.first; k < g.first + g.count; ++k) {
      const LoadedCatalog& c = *catalogs[result.copies[k].catalog];
      const EntryFacts facts = c.Facts(c.tables.entries[result.copies[k].entry], names);
      writer->Write(Copy(facts, number, g));
    }
  }
  if (!result.groups.empty()) {
    writer->Note("held more than once: " + SizeText(result.totalWasted, false, exact) + " in " +
                 Plural(result.groups.size(), "group", "groups"));
  }
  writer->Finish();
  return result.groups.size();
}

uint64_t WriteUnique(const LoadedCatalogs& catalogs, size_t target, int64_t minSize,
                     NameDecoder& names, const OutputSettings& settings, OutputSink& out) {
  const UniqueResult result = FindUnique(Tables(catalogs), target, minSize);
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  const LoadedCatalog& c = *catalogs[target];
  for (uint32_t e : result.entries) {
    const EntryFacts facts = c.Facts(c.tables.entries[e], names);
    writer->Write(EntryRow(facts));
  }
  if (!result.entries.empty()) {
    writer->Note(Plural(result.entries.size(), "file", "files") + ", " +
                 SizeText(result.totalSize, false, settings.exactBytes) + ", on " + c.volume +
                 " only");
  }
  writer->Finish();
  return result.entries.size();
}

}  // namespace ledra
