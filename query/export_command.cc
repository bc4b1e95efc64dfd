#include "query/export_command.h"

#include <cstdint>
#include <memory>
#include <random>

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
  // False with error() when some bytes could not be written or flushed to the disk.
  bool Close() {
    Drain();
    if (!failed_ && !file_->Sync(&error_)) failed_ = true;
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
    settings.crlf = options.crlf;
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
  if (!LoadForQuery(platform, file, NameEncoding(), &loaded, error, &noTables)) return false;
  WriteNcduExport(loaded.tables, *names, out);
  return true;
}

// The volume's row for the database's `volumes` table: the fields of `ledra volumes`.
Record VolumeRowOf(const CatalogFile& file, const CatalogContents& t) {
  return VolumeRecord(file, t.header, t.folders.empty() ? 0 : t.folders[0].fileCount,
                      t.folders.empty() ? 0.0 : t.folders[0].totalSize);
}

// A name of this export's own beside `output`: the export is written there, created
// exclusively (nothing planted under the name is followed), and takes its name only once it
// is whole, so that a killed or failed export never leaves a shorter file that parses.
std::string TemporaryBeside(const std::string& output) {
  static const char kHex[] = "0123456789abcdef";
  std::random_device random;
  uint32_t token = random();
  std::string name = output + ".tmp.";
  for (int i = 0; i < 8; ++i, token >>= 4) name += kHex[token & 15];
  return name;
}

// Moves the finished `temporary` to `output`, which must not exist: a second link fails
// where a name exists, whoever put it there meanwhile. Where links are refused (FAT), the
// name is checked and the file renamed.
bool PlaceWithoutReplacing(Platform& platform, const std::string& temporary,
                           const std::string& output, std::string* error) {
  OsError err;
  if (platform.Link(temporary, output, &err)) {
    platform.Remove(temporary, &err);
    return true;
  }
  if (platform.KindOf(output, false) != PathKind::Missing) {
    *error = "'" + output + "' exists already (--append adds to a database)";
  } else if (platform.Rename(temporary, output, &err)) {
    return true;
  } else {
    *error = "cannot rename '" + temporary + "' to '" + output + "': " + err.text;
  }
  platform.Remove(temporary, &err);
  return false;
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
  if (!LoadForQuery(platform, file, NameEncoding(), &loaded, error, &noTables)) return false;

  const PathKind kind = platform.KindOf(options.output, false);
  // A link counts as existing, even one that points nowhere.
  if (!options.append && kind != PathKind::Missing) {
    *error = "'" + options.output + "' exists already (--append adds to a database)";
    return false;
  }
  const bool existing = options.append && kind != PathKind::Missing;
  if (existing && kind != PathKind::File) {
    *error = "'" + options.output + "' is not a plain file";
    return false;
  }
  std::string target = options.output;
  OsError err;
  if (!existing) {
    target = TemporaryBeside(options.output);
    std::unique_ptr<File> created = platform.CreateForWriting(target, &err);
    if (!created || !created->Close(&err)) {
      *error = "cannot create '" + target + "': " + err.text;
      if (created) platform.Remove(target, &err);
      return false;
    }
  }
  // A database that cannot be opened is named in the error already; one that refuses the
  // volume is named here.
  bool added = false;
  if (std::unique_ptr<SqliteExport> db = SqliteExport::Open(target, existing, error)) {
    added = db->AddVolume(loaded.tables, VolumeRowOf(file, loaded.tables), *names, error);
    if (!added) *error = options.output + ": " + *error;
  }
  if (existing) return added;
  if (!added) {
    platform.Remove(target, &err);
    return false;
  }
  return PlaceWithoutReplacing(platform, target, options.output, error);
}

}  // namespace

bool ExportSqliteToMemory(Platform& platform, const CatalogFile& file, const std::string& encoding,
                          std::string* bytes, std::string* error) {
  std::unique_ptr<NameDecoder> names = DecoderFor(platform, encoding, error);
  if (!names) return false;
  LoadedCatalog loaded;
  bool noTables = false;
  if (!LoadForQuery(platform, file, NameEncoding(), &loaded, error, &noTables)) return false;
  std::unique_ptr<SqliteExport> db = SqliteExport::OpenInMemory(error);
  if (!db) return false;
  return db->AddVolume(loaded.tables, VolumeRowOf(file, loaded.tables), *names, error) &&
         db->Serialize(bytes, error);
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
  const std::string temporary = TemporaryBeside(options.output);
  std::unique_ptr<File> stream = platform.CreateForWriting(temporary, &err);
  if (!stream) {
    *error = "cannot create '" + temporary + "': " + err.text;
    return false;
  }
  FileSink sink(std::move(stream));
  const bool exported = ExportToSink(platform, file, options, sink, error);
  const bool closed = sink.Close();
  if (!closed && exported) *error = "cannot write '" + options.output + "': " + sink.error().text;
  // The whole export replaces whatever had the name (a link is replaced, not followed).
  if (!exported || !closed || !platform.Rename(temporary, options.output, &err)) {
    if (exported && closed) {
      *error = "cannot rename '" + temporary + "' to '" + options.output + "': " + err.text;
    }
    platform.Remove(temporary, &err);
    return false;
  }
  return true;
}

}  // namespace ledra
