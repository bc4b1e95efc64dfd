#include "query/diff_report.h"

#include <vector>

#include "query/diff.h"
#include "query/name_text.h"

namespace ledra {

namespace {

const char* ChangeName(DiffChange change) {
  switch (change) {
    case DiffChange::Added:
      return "added";
    case DiffChange::Removed:
      return "removed";
    case DiffChange::Changed:
      return "changed";
    case DiffChange::Moved:
      return "moved";
  }
  return "";
}

// Every row has the same fields, null where they do not apply, so that CSV has one header.
Record DiffRecord(const char* change) {
  Record r;
  for (const char* name : {"path", "name", "type", "size", "modified", "old_path", "old_size",
                           "old_modified", "old_total", "new_total", "delta", "name_bytes"}) {
    r.push_back({name, FieldValue::Null()});
  }
  r.insert(r.begin(), {"change", FieldValue::Text(change)});
  return r;
}

void Set(Record* r, const char* name, FieldValue value) {
  for (Field& f : *r) {
    if (f.name == name) f.value = std::move(value);
  }
}

std::string Signed(double delta, bool exactBytes) {
  const std::string magnitude = SizeText(delta < 0 ? -delta : delta, false, exactBytes);
  return (delta < 0 ? "-" : "+") + magnitude;
}

}  // namespace

uint64_t WriteDiff(const LoadedCatalog& older, const LoadedCatalog& newer, size_t top,
                   NameDecoder& names, const OutputSettings& settings, OutputSink& out) {
  const DiffResult result = DiffCatalogs(older.tables, newer.tables, top);
  std::unique_ptr<RecordWriter> writer = WriterFor(settings, out);
  TextTable entries({false, true, false, false});
  for (const DiffRow& row : result.entries) {
    // The new side describes the entry, except for what is gone.
    const bool gone = row.change == DiffChange::Removed;
    const LoadedCatalog& side = gone ? older : newer;
    const CatalogEntry& e = side.tables.entries[gone ? row.oldEntry : row.newEntry];
    const EntryFacts facts = side.Facts(e, names);
    EntryFacts was;
    if (row.change == DiffChange::Changed || row.change == DiffChange::Moved) {
      was = older.Facts(older.tables.entries[row.oldEntry], names);
    }
    if (writer) {
      Record r = DiffRecord(ChangeName(row.change));
      Set(&r, "path", FieldValue::Text(facts.path));
      Set(&r, "name", FieldValue::Text(facts.name));
      Set(&r, "type", FieldValue::Text(facts.folder ? "folder" : "file"));
      Set(&r, "size", FieldValue::Integer(facts.size));
      Set(&r, "modified", FieldValue::Text(UtcIsoText(facts.modified)));
      if (row.change == DiffChange::Moved) Set(&r, "old_path", FieldValue::Text(was.path));
      if (row.change == DiffChange::Changed) {
        Set(&r, "old_size", FieldValue::Integer(was.size));
        Set(&r, "old_modified", FieldValue::Text(UtcIsoText(was.modified)));
      }
      if (!facts.nameValid) Set(&r, "name_bytes", FieldValue::Text(HexBytes(facts.rawName)));
      writer->Write(r);
      continue;
    }
    std::string note;
    if (row.change == DiffChange::Changed) {
      note = "(was " + SizeText(static_cast<double>(was.size), was.clamped, settings.exactBytes) +
             ", " + LocalTimeText(was.modified) + ")";
    } else if (row.change == DiffChange::Moved) {
      note = "(from " + was.path + ")";
    }
    entries.Add({ChangeName(row.change),
                 SizeText(static_cast<double>(facts.size), facts.clamped, settings.exactBytes),
                 LocalTimeText(facts.modified), facts.path + (note.empty() ? "" : "  " + note)});
  }

  TextTable totals({false, true, false, true, true, false});
  for (const TotalRow& t : result.totals) {
    std::string path;
    if (t.newFolder != DiffRow::kNoEntry) {
      names.Decode(newer.links->FullPath(t.newFolder), &path);
    } else {
      names.Decode(older.links->FullPath(t.oldFolder), &path);
    }
    if (writer) {
      Record r = DiffRecord("total");
      Set(&r, "path", FieldValue::Text(path));
      Set(&r, "old_total", FieldValue::Integer(static_cast<int64_t>(t.oldTotal)));
      Set(&r, "new_total", FieldValue::Integer(static_cast<int64_t>(t.newTotal)));
      Set(&r, "delta", FieldValue::Integer(static_cast<int64_t>(t.Delta())));
      writer->Write(r);
      continue;
    }
    totals.Add({"total", SizeText(t.oldTotal, false, settings.exactBytes), "->",
                SizeText(t.newTotal, false, settings.exactBytes),
                Signed(t.Delta(), settings.exactBytes), path});
  }
  if (!writer) {
    entries.Print(out);
    if (!entries.empty() && !totals.empty()) out.Write("\n");
    totals.Print(out);
  }
  return result.entries.size() + result.totals.size();
}

}  // namespace ledra
