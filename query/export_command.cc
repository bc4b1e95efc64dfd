#include "query/export_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "query/export_ncdu.h"
#include "query/export_sqlite.h"
#include "query/find_query.h"
#include "query/loaded_catalog.h"
#include "query/name_text.h"
#include "query/volume_list.h"

namespace ledra {

namespace {

// Output into a file, remembering the first failure.
class FileSink final : public OutputSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  void Write(std::string_view bytes) override {
    if (!failed_ && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      failed_ = true;
      error_ = errno;
    }
  }
  bool Close() {
    if (std::fclose(file_) != 0 && !failed_) {
      failed_ = true;
      error_ = errno;
    }
    return !failed_;
  }
  int error() const { return error_; }

 private:
  std::FILE* file_;
  bool failed_ = false;
  int error_ = 0;
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
  std::unique_ptr<NameDecoder> names = DecoderFor(options.encoding, error);
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
  std::unique_ptr<NameDecoder> names = DecoderFor(options.encoding, error);
  if (!names) return false;
  LoadedCatalog loaded;
  bool noTables = false;
  if (!LoadForQuery(platform, file, *names, &loaded, error, &noTables)) return false;
  std::unique_ptr<SqliteExport> db = SqliteExport::Open(options.output, options.append, error);
  if (!db) return false;
  const CatalogTables& t = loaded.tables;
  const Record volume = VolumeRecord(file, t.header, t.folders.empty() ? 0 : t.folders[0].fileCount,
                                     t.folders.empty() ? 0.0 : t.folders[0].totalSize);
  if (db->AddVolume(t, volume, *names, error)) return true;
  *error = options.output + ": " + *error;
  db.reset();
  if (!options.append) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::u8path(options.output), ec);
  }
  return false;
}

}  // namespace

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
  std::FILE* stream = std::fopen(options.output.c_str(), "wb");
  if (stream == nullptr) {
    *error = "cannot create '" + options.output + "': " + std::strerror(errno);
    return false;
  }
  FileSink sink(stream);
  const bool exported = ExportToSink(platform, file, options, sink, error);
  if (!sink.Close() && exported) {
    *error = "cannot write '" + options.output + "': " + std::strerror(sink.error());
    return false;
  }
  return exported;
}

}  // namespace ledra
