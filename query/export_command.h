// `ledra export`: every entry of one volume in a form other tools read: CSV or JSON Lines
// (the rows of `ledra find --volume SEL` without a pattern), ncdu's JSON export, or a
// SQLite database.
#ifndef LEDRA_QUERY_EXPORT_COMMAND_H_
#define LEDRA_QUERY_EXPORT_COMMAND_H_

#include <string>
#include <vector>

#include "query/catalog_selection.h"
#include "query/record_writer.h"

namespace ledra {

class Platform;

enum class ExportFormat { Csv, JsonLines, Ncdu, Sqlite };

// "csv", "jsonl", "ncdu", "sqlite"; false for anything else.
bool ParseExportFormat(const std::string& text, ExportFormat* format);

struct ExportOptions {
  ExportFormat format = ExportFormat::Csv;
  std::string output;   // a file; empty: standard output (not for sqlite)
  bool append = false;  // sqlite: add to an existing database
  bool crlf = false;    // csv: lines end in CR LF
  std::string encoding;
};

// Exports `file` to options.output, or to `out` when no output file is given. False with
// *error, one line for standard error, when the catalogue cannot be read or the output not
// written; a database created by a failed export is removed again.
bool RunExport(Platform& platform, const CatalogFile& file, const ExportOptions& options,
               OutputSink& out, std::string* error);

// The SQLite export of `file` built in memory into *bytes, writing no file (`ledra serve`'s
// download). False with *error when the catalogue cannot be read.
bool ExportSqliteToMemory(Platform& platform, const CatalogFile& file, const std::string& encoding,
                          std::string* bytes, std::string* error);

}  // namespace ledra

#endif  // LEDRA_QUERY_EXPORT_COMMAND_H_
