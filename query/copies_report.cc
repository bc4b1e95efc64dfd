#include "query/copies_report.h"

#include <string>
#include <vector>

#include "query/unique.h"

namespace ledra {

namespace {

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

void ReportProblems(StreamedCatalogs& catalogs, const ProblemReport& report) {
  for (const std::string& line : catalogs.TakeProblems()) report(line);
}

}  // namespace

uint64_t WriteDupes(StreamedCatalogs& catalogs, const DupesOptions& options,
                    const OutputSettings& settings, OutputSink& out, const ProblemReport& report) {
  const DupesResult result = FindDupes(catalogs, options);
  ReportProblems(catalogs, report);
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  const bool exact = settings.exactBytes;
  uint64_t number = 0;
  EntryFacts facts;
  for (const DupeGroup& g : result.groups) {
    ++number;
    writer->Note(Plural(g.count, "copy", "copies") + " of " +
                 SizeText(static_cast<double>(g.size), false, exact) + ", " +
                 SizeText(g.Wasted(), false, exact) + " wasted");
    for (size_t k = g.first; k < g.first + g.count; ++k) {
      // Copies are files: their facts need nothing read but what the passes kept.
      catalogs[result.copies[k].catalog].Facts(result.entries[k], &facts);
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

uint64_t WriteUnique(StreamedCatalogs& catalogs, size_t target, int64_t minSize,
                     const OutputSettings& settings, OutputSink& out, const ProblemReport& report,
                     bool* targetRead) {
  const UniqueResult result = FindUnique(catalogs, target, minSize);
  ReportProblems(catalogs, report);
  *targetRead = !result.targetFailed;
  if (result.targetFailed) return 0;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  StreamedCatalog& c = catalogs[target];
  // The files listed are read again, in table order, as they are written.
  size_t next = 0;
  EntryFacts facts;
  const std::vector<uint32_t>& listed = result.entries;
  if (!listed.empty()) {
    catalogs.Walk(target, [&](uint32_t index, const CatalogEntry& e) {
      if (index != listed[next]) return true;
      c.Facts(e, &facts);
      writer->Write(EntryRow(facts));
      return ++next < listed.size();
    });
  }
  if (next < listed.size()) {
    catalogs.Changed(target);
  } else if (!result.entries.empty()) {
    writer->Note(Plural(result.entries.size(), "file", "files") + ", " +
                 SizeText(result.totalSize, false, settings.exactBytes) + ", on " + c.volume() +
                 " only");
  }
  writer->Finish();
  ReportProblems(catalogs, report);
  return result.entries.size();
}

}  // namespace ledra
