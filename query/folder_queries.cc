#include "query/folder_queries.h"

#include <algorithm>
#include <memory>

#include "catalog/catalog_reader.h"
#include "platform/byte_text.h"
#include "platform/platform.h"
#include "query/catalog_encoding.h"
#include "query/name_key.h"
#include "query/name_text.h"

namespace ledra {

namespace {

// A catalogue read in full, with the folder names kept, and the folder a path names.
class OpenedFolder {
 public:
  bool Open(Platform& platform, const CatalogFile& file, const FolderQuery& query,
            FolderOutcome* outcome) {
    ReadProblem problem;
    if (!reader_.Open(platform, file.path, &problem)) return Damaged(file, problem, outcome);
    if (!reader_.header().HasTables()) {
      outcome->error = file.path + ": version " + std::to_string(reader_.header().version) +
                       " catalogues hold no tables";
      return false;
    }
    cursor_ = std::make_unique<EntryCursor>(reader_.StreamEntries(true));
    CatalogEntry e;
    while (cursor_->Next(&e)) {
    }
    if (!cursor_->ok()) return Damaged(file, cursor_->problem(), outcome);
    // Every folder's figures are checked before anything is written, as the table was.
    if (!reader_.Folders(&folders_, &problem)) return Damaged(file, problem, outcome);
    decoder_ = CatalogDecoder(platform, reader_.header().root,
                              NameEncoding{query.encoding, query.machineCodePage}, &outcome->error);
    if (!decoder_) return false;
    // Each component names a subfolder as it is shown: exactly if one has that name, else
    // the one that matches with case folded as `find` folds it.
    folder_ = 0;
    std::string name;
    for (const std::string& component : query.components) {
      uint32_t exact = 0, folded = 0, foldedCount = 0;
      for (uint32_t f = 1; f <= cursor_->FoldersMet(); ++f) {
        if (cursor_->ParentOf(f) != folder_) continue;
        decoder_->Decode(cursor_->FolderName(f), &name);
        if (name == component) exact = f;
        if (EqualFolded(name, component)) folded = f, ++foldedCount;
      }
      if (exact == 0 && foldedCount != 1) {
        decoder_->Decode(FolderPath(folder_), &name);
        outcome->error = "no folder '" + component + "' in " + name;
        return false;
      }
      folder_ = exact != 0 ? exact : folded;
    }
    return true;
  }

  CatalogReader& reader() { return reader_; }
  const EntryCursor& cursor() const { return *cursor_; }
  // Folder `number`'s figures, checked. Precondition: number < header().folderCount.
  const CatalogFolder& Folder(uint32_t number) const { return folders_[number]; }
  uint32_t folder() const { return folder_; }
  NameDecoder& decoder() { return *decoder_; }

  std::string FolderPath(uint32_t number) const {
    std::string path = reader_.header().PathPrefix();
    cursor_->AppendFolderPath(number, reader_.header().Separator(), &path);
    if (path.empty()) path = std::string(1, reader_.header().Separator());
    return path;
  }

  static bool Damaged(const CatalogFile& file, const ReadProblem& problem, FolderOutcome* outcome) {
    outcome->damaged = true;
    outcome->error = file.path + ": " + problem.Text();
    return false;
  }

 private:
  CatalogReader reader_;
  std::unique_ptr<EntryCursor> cursor_;
  std::vector<CatalogFolder> folders_;
  std::unique_ptr<NameDecoder> decoder_;
  uint32_t folder_ = 0;
};

// An entry of a listing: `find`'s fields; in text its kind, size, files, time and name.
class ListedEntry final : public ResultRow {
 public:
  ListedEntry(const EntryFacts& facts, char separator) : facts_(facts), separator_(separator) {}
  Record Fields() const override { return EntryRecord(facts_); }
  const TextLayout& Layout() const override {
    static const TextLayout layout = TextLayout::TerminalHeaded(
        {false, true, true, false, false}, {"T", "SIZE", "FILES", "MODIFIED", "NAME"});
    return layout;
  }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override {
    const EntryFacts& f = facts_;
    *cells = {f.folder ? "d" : "-", SizeText(static_cast<double>(f.size), f.clamped, exactBytes),
              f.folder ? std::to_string(f.files) : "", LocalTimeText(f.modified),
              f.folder ? f.name + separator_ : f.name};
  }
  std::string_view FullPath() const override { return facts_.path; }

 private:
  const EntryFacts& facts_;
  char separator_;
};

// A folder's totals: in text its size, files and path.
class FolderTotal final : public ResultRow {
 public:
  FolderTotal(const std::string& volume, const CatalogFile& file, const std::string& path,
              int depth, const CatalogFolder& folder)
      : volume_(volume), file_(file), path_(path), depth_(depth), folder_(folder) {}
  Record Fields() const override {
    Record r;
    r.push_back({"volume", FieldValue::Text(volume_)});
    r.push_back({"catalog", FieldValue::Text(file_.fileName)});
    r.push_back({"path", FieldValue::Text(path_)});
    r.push_back({"depth", FieldValue::Integer(depth_)});
    r.push_back({"size", FieldValue::Integer(static_cast<int64_t>(folder_.totalSize))});
    r.push_back({"files", FieldValue::Integer(folder_.fileCount)});
    return r;
  }
  const TextLayout& Layout() const override {
    static const TextLayout layout =
        TextLayout::TerminalHeaded({true, true, false}, {"SIZE", "FILES", "PATH"});
    return layout;
  }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override {
    *cells = {SizeText(folder_.totalSize, false, exactBytes), std::to_string(folder_.fileCount),
              path_};
  }
  std::string_view FullPath() const override { return path_; }

 private:
  const std::string& volume_;
  const CatalogFile& file_;
  const std::string& path_;
  int depth_;
  const CatalogFolder& folder_;
};

}  // namespace

bool RunList(Platform& platform, const CatalogFile& file, const FolderQuery& query,
             const OutputSettings& settings, OutputSink& out, FolderOutcome* outcome) {
  OpenedFolder opened;
  if (!opened.Open(platform, file, query, outcome)) return false;
  CatalogReader& reader = opened.reader();
  const CatalogHeader& h = reader.header();
  // The table is read once more for the folder's own entries. Their names are copied, as
  // the streamed window moves on; a file changed since the first pass is damage again.
  std::vector<CatalogEntry> entries;
  std::string names;
  EntryCursor again = reader.StreamEntries(false);
  CatalogEntry e;
  while (again.Next(&e)) {
    if (e.folderIndex != opened.folder()) continue;
    entries.push_back(e);
    names.append(e.name.data(), e.name.size());
  }
  if (!again.ok()) return OpenedFolder::Damaged(file, again.problem(), outcome);
  size_t nameAt = 0;
  for (CatalogEntry& x : entries) {
    x.name = std::string_view(names).substr(nameAt, x.name.size());
    nameAt += x.name.size();
  }
  auto sizeOf = [&](const CatalogEntry& x) {
    return x.IsFolder() ? opened.Folder(x.FolderNumber()).totalSize : static_cast<double>(x.size);
  };
  switch (query.sort) {
    case SortOrder::Name:
      std::stable_sort(
          entries.begin(), entries.end(),
          [](const CatalogEntry& a, const CatalogEntry& b) { return a.name < b.name; });
      break;
    case SortOrder::Size:
      std::stable_sort(
          entries.begin(), entries.end(),
          [&](const CatalogEntry& a, const CatalogEntry& b) { return sizeOf(a) > sizeOf(b); });
      break;
    case SortOrder::Time:
      std::stable_sort(
          entries.begin(), entries.end(),
          [](const CatalogEntry& a, const CatalogEntry& b) { return a.modified > b.modified; });
      break;
    case SortOrder::Table:
      break;
  }
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  std::string volume;
  opened.decoder().Decode(h.displayName, &volume);
  const std::string folderPath = opened.FolderPath(opened.folder());
  const char separator = h.Separator();
  for (const CatalogEntry& x : entries) {
    EntryFacts f;
    f.volume = volume;
    f.catalog = file.fileName;
    f.rawName = x.name;
    f.nameValid = opened.decoder().Decode(x.name, &f.name);
    f.folder = x.IsFolder();
    f.size = static_cast<int64_t>(sizeOf(x));
    f.clamped = !h.WideEntries() && !f.folder && x.size == kClampedSize;
    f.files = f.folder ? opened.Folder(x.FolderNumber()).fileCount : 0;
    f.modified = x.modified;
    SetPlace(h, x, &f);
    std::string parent;
    opened.decoder().Decode(folderPath, &parent);
    f.path = (parent.size() == 1 && parent[0] == separator ? std::string() : parent) + separator +
             f.name;
    writer->Write(ListedEntry(f, separator));
    ++outcome->rows;
  }
  writer->Finish();
  return true;
}

bool RunDiskUsage(Platform& platform, const CatalogFile& file, const FolderQuery& query,
                  const OutputSettings& settings, OutputSink& out, FolderOutcome* outcome) {
  OpenedFolder opened;
  if (!opened.Open(platform, file, query, outcome)) return false;
  CatalogReader& reader = opened.reader();
  const EntryCursor& cursor = opened.cursor();
  // Depth of each folder below the chosen one; folders come after their parents.
  const uint32_t count = reader.header().folderCount;
  std::vector<int> depth(count, -1);
  depth[opened.folder()] = 0;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  std::string volume;
  opened.decoder().Decode(reader.header().displayName, &volume);
  for (uint32_t f = opened.folder(); f < count; ++f) {
    if (f != opened.folder()) {
      const int parentDepth = depth[cursor.ParentOf(f)];
      if (parentDepth < 0 || parentDepth >= query.depth) continue;
      depth[f] = parentDepth + 1;
    }
    const CatalogFolder& record = opened.Folder(f);
    std::string path;
    opened.decoder().Decode(opened.FolderPath(f), &path);
    writer->Write(FolderTotal(volume, file, path, depth[f], record));
    ++outcome->rows;
  }
  writer->Finish();
  return true;
}

}  // namespace ledra
