#include "query/export_command.h"

#include <memory>

#include "platform/platform.h"
#include "query/export_ncdu.h"
#include "query/export_sqlite.h"
#include "query/find_query.h"
#include "query/loaded_catalog.h"
#include "query/name_text.h"
#include "query/volume_list.h"

namespace ledra {

namespace {

// Output into a file through a buffer, remembering the first failure.
class FileSink final : public OutputSink {
 public:
  explicit FileSink(std::unique_ptr<File> file) : file_(std::move(file)) {}
  void Write(std::string_view bytes) override {
    buffer_.append(bytes.data(), bytes.size());
    if (buffer_.size() >= kBuffer) Drain();
  }
  // False with error() when some bytes could not be written.
  bool Close() {
    Drain();
    if (!failed_ && !file_->Close(&error_)) failed_ = true;
    return !failed_;
  }
  const OsError& error() const { return error_; }

 private:
  static constexpr size_t kBuffer = 1 << 16;

  void Drain() {
    if (!failed_ && !buffer_.empty() && !file_->Write(buffer_.data(), buffer_.size(), &error_)) {
      failed_ = true;
    }
    buffer_.clear();
  }

  std::unique_ptr<File> file_;
  std::string buffer_;
  bool failed_ = false;
  OsError error_;
};

bool ExportToSink(Platform& platform, const CatalogFile& file, const ExportOptions& options,
                  OutputSink& out, std::string* error) {
  if (options.format == ExportFormat::Csv || options.format == ExportFormat::JsonLines) {
    FindOptions find;
    find.encoding = options.encoding;
    OutputSettings settings;
    settings.format = options.format == ExportFormat::Csv ? OutputFormat::Csv : OutputFormat::Json;
    FindOutcome outcome;
    if (!RunFind(platform, {file}, find, settings, out, &outcome, error)) return false;
    if (!outcome.problems.empty()) *error = outcome.problems.front();
    if (!outcome.notices.empty()) *error = outcome.notices.front();
    return outcome.problems.empty() && outcome.notices.empty();
  }
  std::unique_ptr<NameDecoder> names = DecoderFor(platform, options.encoding, error);
  if (!names) return false;
  LoadedCatalog loaded;
  bool noTables = false;
  if (!LoadForQuery(platform, file, *names, &loaded, error, &noTables)) return false;
  WriteNcduExport(loaded.tables, *names, out);
  return true;
}

bool ExportSqlite(Platform& platform, const CatalogFile& file, const ExportOptions& options,
                  std::string* error) {
  if (options.output.empty()) {
    *error = "a SQLite export needs an output file (-o FILE)";
    return false;
  }
  std::unique_ptr<NameDecoder> names = DecoderFor(platform, options.encoding, error);
  if (!names) return false;
  LoadedCatalog loaded;
  bool noTables = false;
  if (!LoadForQuery(platform, file, *names, &loaded, error, &noTables)) return false;
  std::unique_ptr<SqliteExport> db =
      SqliteExport::Open(platform, options.output, options.append, error);
  if (!db) return false;
  const CatalogContents& t = loaded.tables;
  const Record volume = VolumeRecord(file, t.header, t.folders.empty() ? 0 : t.folders[0].fileCount,
                                     t.folders.empty() ? 0.0 : t.folders[0].totalSize);
  if (db->AddVolume(t, volume, *names, error)) return true;
  *error = options.output + ": " + *error;
  db.reset();
  if (!options.append) {
    OsError ignored;
    platform.Remove(options.output, &ignored);
  }
  return false;
}

}  // namespace

bool ExportSqliteToMemory(Platform& platform, const CatalogFile& file, const std::string& encoding,
                          std::string* bytes, std::string* error) {
  std::unique_ptr<NameDecoder> names = DecoderFor(platform, encoding, error);
  if (!names) return false;
  LoadedCatalog loaded;
  bool noTables = false;
  if (!LoadForQuery(platform, file, *names, &loaded, error, &noTables)) return false;
  std::unique_ptr<SqliteExport> db = SqliteExport::OpenInMemory(error);
  if (!db) return false;
  const CatalogContents& t = loaded.tables;
  const Record volume = VolumeRecord(file, t.header, t.folders.empty() ? 0 : t.folders[0].fileCount,
                                     t.folders.empty() ? 0.0 : t.folders[0].totalSize);
  return db->AddVolume(t, volume, *names, error) && db->Serialize(bytes, error);
}

bool ParseExportFormat(const std::string& text, ExportFormat* format) {
  if (text == "csv")
    *format = ExportFormat::Csv;
  else if (text == "jsonl")
    *format = ExportFormat::JsonLines;
  else if (text == "ncdu")
    *format = ExportFormat::Ncdu;
  else if (text == "sqlite")
    *format = ExportFormat::Sqlite;
  else
    return false;
  return true;
}

bool RunExport(Platform& platform, const CatalogFile& file, const ExportOptions& options,
               OutputSink& out, std::string* error) {
  if (options.format == ExportFormat::Sqlite) return ExportSqlite(platform, file, options, error);
  if (options.output.empty()) return ExportToSink(platform, file, options, out, error);
  OsError err;
  std::unique_ptr<File> stream = platform.OpenForOverwriting(options.output, &err);
  if (!stream) {
    *error = "cannot create '" + options.output + "': " + err.text;
    return false;
  }
  FileSink sink(std::move(stream));
  const bool exported = ExportToSink(platform, file, options, sink, error);
  if (!sink.Close() && exported) {
    *error = "cannot write '" + options.output + "': " + sink.error().text;
    return false;
  }
  return exported;
}

}  // namespace ledra
