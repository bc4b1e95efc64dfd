#include "query/copies_report.h"

#include <string>

#include "query/unique.h"

namespace ledra {

namespace {

std::vector<const CatalogTables*> Tables(const LoadedCatalogs& catalogs) {
  std::vector<const CatalogTables*> tables;
  for (const auto& c : catalogs) tables.push_back(&c->tables);
  return tables;
}

// "VOLUME:PATH<TAB>size<TAB>time", as `find` prints an entry.
std::string EntryLine(const EntryFacts& f, const OutputSettings& settings) {
  return f.volume + ":" + f.path + "\t" +
         SizeText(static_cast<double>(f.size), f.clamped, settings.exactBytes) + "\t" +
         LocalTimeText(f.modified) + "\n";
}

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

uint64_t WriteDupes(const LoadedCatalogs& catalogs, const DupesOptions& options, NameDecoder& names,
                    const OutputSettings& settings, OutputSink& out) {
  const DupesResult result = FindDupes(Tables(catalogs), options);
  std::unique_ptr<RecordWriter> writer = WriterFor(settings, out);
  uint64_t number = 0;
  for (const DupeGroup& g : result.groups) {
    ++number;
    if (!writer) {
      out.Write(Plural(g.count, "copy", "copies") + " of " +
                SizeText(static_cast<double>(g.size), false, settings.exactBytes) + ", " +
                SizeText(g.Wasted(), false, settings.exactBytes) + " wasted\n");
    }
    for (size_t k = g.first; k < g.first + g.count; ++k) {
      const LoadedCatalog& c = *catalogs[result.copies[k].catalog];
      const EntryFacts facts = c.Facts(c.tables.entries[result.copies[k].entry], names);
      if (!writer) {
        out.Write("  " + EntryLine(facts, settings));
        continue;
      }
      Record r = EntryRecord(facts);
      r.insert(r.begin(), {{"group", FieldValue::Integer(static_cast<int64_t>(number))},
                           {"copies", FieldValue::Integer(static_cast<int64_t>(g.count))},
                           {"wasted", FieldValue::Integer(static_cast<int64_t>(g.Wasted()))}});
      writer->Write(r);
    }
  }
  if (!writer && !result.groups.empty()) {
    out.Write("held more than once: " + SizeText(result.totalWasted, false, settings.exactBytes) +
              " in " + Plural(result.groups.size(), "group", "groups") + "\n");
  }
  return result.groups.size();
}

uint64_t WriteUnique(const LoadedCatalogs& catalogs, size_t target, int64_t minSize,
                     NameDecoder& names, const OutputSettings& settings, OutputSink& out) {
  const UniqueResult result = FindUnique(Tables(catalogs), target, minSize);
  std::unique_ptr<RecordWriter> writer = WriterFor(settings, out);
  const LoadedCatalog& c = *catalogs[target];
  for (uint32_t e : result.entries) {
    const EntryFacts facts = c.Facts(c.tables.entries[e], names);
    if (writer) {
      writer->Write(EntryRecord(facts));
    } else {
      out.Write(EntryLine(facts, settings));
    }
  }
  if (!writer && !result.entries.empty()) {
    out.Write(Plural(result.entries.size(), "file", "files") + ", " +
              SizeText(result.totalSize, false, settings.exactBytes) + ", on " + c.volume +
              " only\n");
  }
  return result.entries.size();
}

}  // namespace ledra
