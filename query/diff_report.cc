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

// An added, removed, changed or moved entry: in text the change, size, time and path,
// with what it was or where it came from.
class ChangedEntry final : public ResultRow {
 public:
  ChangedEntry(DiffChange change, const EntryFacts& facts, const EntryFacts& was)
      : change_(change), facts_(facts), was_(was) {}
  Record Fields() const override {
    Record r = DiffRecord(ChangeName(change_));
    Set(&r, "path", FieldValue::Text(facts_.path));
    Set(&r, "name", FieldValue::Text(facts_.name));
    Set(&r, "type", FieldValue::Text(facts_.folder ? "folder" : "file"));
    Set(&r, "size", FieldValue::Integer(facts_.size));
    Set(&r, "modified", FieldValue::Text(UtcIsoText(facts_.modified)));
    if (change_ == DiffChange::Moved) Set(&r, "old_path", FieldValue::Text(was_.path));
    if (change_ == DiffChange::Changed) {
      Set(&r, "old_size", FieldValue::Integer(was_.size));
      Set(&r, "old_modified", FieldValue::Text(UtcIsoText(was_.modified)));
    }
    if (!facts_.nameValid) Set(&r, "name_bytes", FieldValue::Text(HexBytes(facts_.rawName)));
    return r;
  }
  const TextLayout& Layout() const override {
    static const TextLayout layout = TextLayout::Columns({false, true, false, false});
    return layout;
  }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override {
    std::string note;
    if (change_ == DiffChange::Changed) {
      note = "(was " + SizeText(static_cast<double>(was_.size), was_.clamped, exactBytes) + ", " +
             LocalTimeText(was_.modified) + ")";
    } else if (change_ == DiffChange::Moved) {
      note = "(from " + was_.path + ")";
    }
    *cells = {ChangeName(change_),
              SizeText(static_cast<double>(facts_.size), facts_.clamped, exactBytes),
              LocalTimeText(facts_.modified), facts_.path + (note.empty() ? "" : "  " + note)};
  }
  std::string_view FullPath() const override { return facts_.path; }

 private:
  DiffChange change_;
  const EntryFacts& facts_;
  const EntryFacts& was_;
};

// A folder whose total changed: in text "total", old -> new, the change and the path.
class ChangedTotal final : public ResultRow {
 public:
  ChangedTotal(const TotalRow& total, const std::string& path) : total_(total), path_(path) {}
  Record Fields() const override {
    Record r = DiffRecord("total");
    Set(&r, "path", FieldValue::Text(path_));
    Set(&r, "old_total", FieldValue::Integer(static_cast<int64_t>(total_.oldTotal)));
    Set(&r, "new_total", FieldValue::Integer(static_cast<int64_t>(total_.newTotal)));
    Set(&r, "delta", FieldValue::Integer(static_cast<int64_t>(total_.Delta())));
    return r;
  }
  const TextLayout& Layout() const override {
    static const TextLayout layout = TextLayout::Columns({false, true, false, true, true, false});
    return layout;
  }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override {
    *cells = {"total",
              SizeText(total_.oldTotal, false, exactBytes),
              "->",
              SizeText(total_.newTotal, false, exactBytes),
              Signed(total_.Delta(), exactBytes),
              path_};
  }
  std::string_view FullPath() const override { return path_; }

 private:
  const TotalRow& total_;
  const std::string& path_;
};

// Writes the rows of one kind whose entries lie in catalogue `side`, walking it once.
// False when the walk fails.
bool WriteRows(StreamedCatalogs& catalogs, size_t side, const std::vector<DiffRow>& rows,
               DiffChange change, RecordWriter& writer) {
  StreamedCatalog& older = catalogs[0];
  StreamedCatalog& here = catalogs[side];
  size_t next = 0;
  while (next < rows.size() && rows[next].change != change) ++next;
  EntryFacts facts;
  EntryFacts was;
  bool ok = true;
  const bool walked = catalogs.Walk(side, [&](uint32_t index, const CatalogEntry& e) {
    if (next == rows.size() || rows[next].change != change) return true;
    const DiffRow& row = rows[next];
    if (index != (side == 0 ? row.oldEntry : row.newEntry)) return true;
    ++next;
    if (!here.Facts(e, &facts)) {
      ok = false;
      return false;
    }
    if (change == DiffChange::Changed || change == DiffChange::Moved) {
      was = EntryFacts();
      was.size = row.oldSize;
      was.modified = row.oldModified;
      was.clamped = !older.header().WideEntries() && row.oldSize == kClampedSize;
      if (change == DiffChange::Moved) was.path = older.EntryPath(row.oldFolder, row.oldName);
    }
    writer.Write(ChangedEntry(change, facts, was));
    return true;
  });
  return walked && ok;
}

}  // namespace

uint64_t WriteDiff(StreamedCatalogs& catalogs, size_t top, const OutputSettings& settings,
                   OutputSink& out, bool* read) {
  const DiffResult result = DiffCatalogs(catalogs, top);
  *read = !result.failed;
  if (result.failed) return 0;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  // The new side describes the entry, except for what is gone. Each pass is whole, so that
  // every folder of both catalogues can be named at the end.
  const struct {
    size_t side;
    DiffChange change;
  } passes[] = {{1, DiffChange::Added},
                {0, DiffChange::Removed},
                {1, DiffChange::Changed},
                {1, DiffChange::Moved}};
  for (const auto& pass : passes) {
    if (!WriteRows(catalogs, pass.side, result.entries, pass.change, *writer)) {
      writer->Finish();
      *read = false;
      return result.entries.size() + result.totals.size();
    }
  }
  for (const TotalRow& t : result.totals) {
    const std::string path = t.newFolder != DiffRow::kNoEntry ? catalogs[1].FolderPath(t.newFolder)
                                                              : catalogs[0].FolderPath(t.oldFolder);
    writer->Write(ChangedTotal(t, path));
  }
  writer->Finish();
  return result.entries.size() + result.totals.size();
}

}  // namespace ledra
