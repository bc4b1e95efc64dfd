// Catalogues as a SQLite database, for questions no subcommand answers: tables `volumes`
// (one row per volume, the fields of `ledra volumes`), `folders` (every folder with its full
// path and subtree figures) and `entries` (every file and folder with every field), with
// indexes on the entries' name and size, each within its volume. Several volumes can share
// one database; appending one costs the same however many it holds.
#ifndef LEDRA_QUERY_EXPORT_SQLITE_H_
#define LEDRA_QUERY_EXPORT_SQLITE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "query/record_writer.h"

struct sqlite3;

namespace ledra {

class NameDecoder;
class Platform;

class SqliteExport {
 public:
  // Opens the database file at `path`, which must exist (an empty file makes a new
  // database) and is never followed as a link. `existing`: a database made elsewhere, which
  // must be SQLite's and may hold these tables already; what it stores is not trusted, so
  // its triggers and views never run. Null with *error filled when that fails.
  static std::unique_ptr<SqliteExport> Open(const std::string& path, bool existing,
                                            std::string* error);
  // A database held in memory only, for a download that must write no file.
  static std::unique_ptr<SqliteExport> OpenInMemory(std::string* error);
  ~SqliteExport();
  SqliteExport(const SqliteExport&) = delete;
  SqliteExport& operator=(const SqliteExport&) = delete;

  // Adds one volume: `volume` is its row for `volumes` (the fields of `ledra volumes`), then
  // every folder and entry of `catalog`, all in one transaction, so that a failure leaves the
  // database as it was. A volume the database holds already (the same volume name, serial
  // and catalogue file) is replaced, never doubled. False with *error filled when SQLite
  // refuses.
  bool AddVolume(const CatalogContents& catalog, const Record& volume, NameDecoder& names,
                 std::string* error);
  // The bytes of the whole database as SQLite would write them to a file.
  bool Serialize(std::string* bytes, std::string* error);

 private:
  explicit SqliteExport(sqlite3* db) : db_(db) {}
  bool Exec(const std::string& sql, std::string* error);
  // Keeps the indexes of the entries the database has; drops the ones an earlier export
  // keyed otherwise, and gives in *missing the statements that make those it lacks.
  bool KeepIndexes(std::vector<const char*>* missing, std::string* error);
  // Records in sqlite_stat1 what the query planner needs to reach names and sizes in
  // every volume through the indexes; `perVolume` entries of the volume just added.
  bool AddStatistics(int64_t perVolume, std::string* error);
  // Removes the rows of the volume `volume` names, where the database has it already.
  bool RemoveVolume(const Record& volume, std::string* error);

  sqlite3* db_;
};

}  // namespace ledra

#endif  // LEDRA_QUERY_EXPORT_SQLITE_H_
