#include "query/export_sqlite.h"

#include <sqlite3.h>

#include <vector>

#include "catalog/format.h"
#include "platform/platform.h"
#include "query/entry_output.h"
#include "query/folder_links.h"
#include "query/name_text.h"

namespace ledra {

namespace {

// The columns of `entries`, also those of the table a volume is first written into when it
// is appended (see AddVolume).
constexpr const char* kEntryColumns =
    " id INTEGER PRIMARY KEY,"
    " volume_id INTEGER NOT NULL REFERENCES volumes(id),"
    " parent INTEGER NOT NULL,"  // the number of the folder holding the entry
    " folder INTEGER,"           // a folder's own number; null for files
    " type TEXT NOT NULL,"       // 'file' or 'folder'
    " name TEXT NOT NULL,"
    " name_bytes BLOB,"        // the stored bytes, only where they are not valid UTF-8
    " size INTEGER NOT NULL,"  // folders: the subtree total
    " size_clamped INTEGER,"   // 1 where a version-5 size means 2 GiB or more
    " files INTEGER,"          // folders: files in the subtree
    " modified TEXT NOT NULL,"
    " modified_epoch INTEGER NOT NULL";

const std::string kSchema = std::string(
                                "CREATE TABLE IF NOT EXISTS folders ("
                                " volume_id INTEGER NOT NULL REFERENCES volumes(id),"
                                " folder INTEGER NOT NULL,"  // the folder's number, 0 the scan root
                                " path TEXT NOT NULL,"       // as `ledra find` prints it
                                " files INTEGER NOT NULL,"   // in the whole subtree
                                " total_size INTEGER NOT NULL,"
                                " PRIMARY KEY (volume_id, folder));"
                                "CREATE TABLE IF NOT EXISTS entries (") +
                            kEntryColumns + ");";

// The indexes lead with the volume, so that a volume appended lands at their end: its rows
// touch only pages of its own, and appending costs the same however many volumes the
// database holds already (with `name` or `size` first, each append would touch pages all
// over indexes far larger than SQLite's page cache). A question about a name or a size in
// every volume still uses them, one seek per volume (a skip-scan), as the statistics
// written with them tell the query planner.
struct IndexSpec {
  const char* name;
  const char* create;
  const char* staged;  // the same on the table a volume to append is first written into
};
constexpr IndexSpec kIndexes[] = {
    {"entries_name", "CREATE INDEX entries_name ON entries(volume_id, name)",
     "CREATE INDEX temp.staged_name ON staged_entries(volume_id, name)"},
    {"entries_size", "CREATE INDEX entries_size ON entries(volume_id, size)",
     "CREATE INDEX temp.staged_size ON staged_entries(volume_id, size)"},
};

// A prepared statement, finalised on every way out.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  void Int(int at, int64_t v) { sqlite3_bind_int64(stmt_, at, v); }
  void Null(int at) { sqlite3_bind_null(stmt_, at); }
  void Text(int at, std::string_view v) {
    sqlite3_bind_text(stmt_, at, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void Blob(int at, std::string_view v) {
    sqlite3_bind_blob(stmt_, at, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  // Steps to the next result row; false at the end (the statement is then reset).
  bool Row() {
    if (sqlite3_step(stmt_) == SQLITE_ROW) return true;
    sqlite3_reset(stmt_);
    return false;
  }
  int64_t ColumnInt(int at) { return sqlite3_column_int64(stmt_, at); }
  std::string ColumnText(int at) {
    const unsigned char* text = sqlite3_column_text(stmt_, at);
    return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
  }
  // Runs the statement once and makes it ready for the next row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    return rc == SQLITE_DONE;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::string ColumnType(const FieldValue& v) {
  switch (v.kind) {
    case FieldValue::Kind::Integer:
    case FieldValue::Kind::Boolean:
      return " INTEGER";
    case FieldValue::Kind::Text:
      return " TEXT";
    case FieldValue::Kind::Null:
      break;
  }
  return "";
}

void BindField(Statement& s, int at, const FieldValue& v) {
  switch (v.kind) {
    case FieldValue::Kind::Integer:
    case FieldValue::Kind::Boolean:
      s.Int(at, v.integer);
      return;
    case FieldValue::Kind::Text:
      s.Text(at, v.text);
      return;
    case FieldValue::Kind::Null:
      s.Null(at);
      return;
  }
}

}  // namespace

std::unique_ptr<SqliteExport> SqliteExport::Open(const std::string& path, bool existing,
                                                 std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) !=
      SQLITE_OK) {
    *error = "cannot open '" + path + "': " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<SqliteExport> out(new SqliteExport(db));
  // Whoever could write the file chose its schema: nothing stored in it may run.
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  if (!existing) {
    // A new database is written under a name of its own and removed when anything fails,
    // so it needs no journal.
    if (!out->Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", error)) {
      return nullptr;
    }
    return out;
  }
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  if (!out->Exec("SELECT count(*) FROM sqlite_master;", error)) {
    *error = "'" + path + "' is not a SQLite database (" + *error + ")";
    return nullptr;
  }
  return out;
}

std::unique_ptr<SqliteExport> SqliteExport::OpenInMemory(std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    *error = std::string("cannot open a database in memory: ") +
             (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<SqliteExport>(new SqliteExport(db));
}

bool SqliteExport::Serialize(std::string* bytes, std::string* error) {
  sqlite3_int64 size = 0;
  unsigned char* data = sqlite3_serialize(db_, "main", &size, 0);
  if (data == nullptr) {
    *error = "cannot serialize the database";
    return false;
  }
  bytes->assign(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
  sqlite3_free(data);
  return true;
}

SqliteExport::~SqliteExport() { sqlite3_close(db_); }

bool SqliteExport::RemoveVolume(const Record& volume, std::string* error) {
  // The tables were made by an export (they have these columns) or the statements fail.
  Statement find(db_,
                 "SELECT id FROM volumes WHERE volume_name = ? AND serial_number = ? AND "
                 "catalog = ?");
  if (!find.ok()) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  for (const Field& f : volume) {
    if (f.name == "volume_name") BindField(find, 1, f.value);
    if (f.name == "serial_number") BindField(find, 2, f.value);
    if (f.name == "catalog") BindField(find, 3, f.value);
  }
  std::vector<int64_t> ids;
  while (find.Row()) ids.push_back(find.ColumnInt(0));
  for (const int64_t id : ids) {
    for (const char* sql :
         {"DELETE FROM entries WHERE volume_id = ?", "DELETE FROM folders WHERE volume_id = ?",
          "DELETE FROM volumes WHERE id = ?"}) {
      Statement remove(db_, sql);
      remove.Int(1, id);
      if (!remove.ok() || !remove.Step()) {
        *error = sqlite3_errmsg(db_);
        return false;
      }
    }
  }
  return true;
}

bool SqliteExport::KeepIndexes(std::vector<const char*>* missing, std::string* error) {
  missing->clear();
  for (const IndexSpec& index : kIndexes) {
    Statement stored(db_, "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?");
    if (!stored.ok()) {
      *error = sqlite3_errmsg(db_);
      return false;
    }
    stored.Text(1, index.name);
    std::string sql;
    while (stored.Row()) sql = stored.ColumnText(0);
    if (sql == index.create) continue;
    // A database of an earlier export has the index keyed otherwise: it is made anew.
    if (!sql.empty() && !Exec(std::string("DROP INDEX ") + index.name, error)) return false;
    missing->push_back(index.create);
  }
  return true;
}

bool SqliteExport::AddStatistics(int64_t perVolume, std::string* error) {
  // What the query planner knows of the indexes: about how many entries a volume holds (as
  // many as the one just added), and that a name or size within a volume is nearly unique.
  // Estimates suffice, where counting the rows would read every one.
  Statement counts(db_, "SELECT count(*) FROM volumes");
  if (!counts.ok()) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  int64_t volumes = 0;
  while (counts.Row()) volumes = counts.ColumnInt(0);
  if (volumes < 1 || perVolume < 1) return true;
  const std::string stat =
      std::to_string(volumes * perVolume) + " " + std::to_string(perVolume) + " 1";
  if (!Exec("ANALYZE sqlite_master", error)) return false;
  Statement remove(db_, "DELETE FROM sqlite_stat1 WHERE tbl = 'entries'");
  Statement add(db_, "INSERT INTO sqlite_stat1 (tbl, idx, stat) VALUES ('entries', ?, ?)");
  if (!remove.ok() || !add.ok() || !remove.Step()) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  for (const IndexSpec& index : kIndexes) {
    add.Text(1, index.name);
    add.Text(2, stat);
    if (!add.Step()) {
      *error = sqlite3_errmsg(db_);
      return false;
    }
  }
  return true;
}

bool SqliteExport::Exec(const std::string& sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  *error = message ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

bool SqliteExport::AddVolume(const CatalogContents& catalog, const Record& volume,
                             NameDecoder& names, std::string* error) {
  std::string columns;
  std::string placeholders;
  std::string declared;
  for (const Field& f : volume) {
    columns += ", " + f.name;
    placeholders += ", ?";
    declared += ", " + f.name + ColumnType(f.value);
  }
  if (!Exec("BEGIN", error)) return false;
  auto fail = [&](const std::string& what) {
    *error = what + ": " + sqlite3_errmsg(db_);
    std::string ignored;
    Exec("ROLLBACK", &ignored);
    return false;
  };
  if (!Exec(
          "CREATE TABLE IF NOT EXISTS volumes (id INTEGER PRIMARY KEY" + declared + ");" + kSchema,
          error)) {
    return fail("cannot create the tables");
  }
  // An index the database lacks is built once the rows are in, from them at once, which
  // costs far less than keeping it up row by row; one it has takes the rows as they come,
  // at its end.
  std::vector<const char*> missing;
  if (!KeepIndexes(&missing, error)) return fail("cannot index the entries");
  if (!RemoveVolume(volume, error)) return fail("cannot replace the volume");
  Statement addVolume(db_, "INSERT INTO volumes (" + columns.substr(2) + ") VALUES (" +
                               placeholders.substr(2) + ")");
  if (!addVolume.ok()) return fail("cannot add to the volumes table");
  for (size_t i = 0; i < volume.size(); ++i)
    BindField(addVolume, static_cast<int>(i + 1), volume[i].value);
  if (!addVolume.Step()) return fail("cannot add the volume");
  const int64_t volumeId = sqlite3_last_insert_rowid(db_);

  // Folder paths in UTF-8, each from its parent's: parents are numbered below children.
  const FolderLinks links(catalog);
  const char separator = catalog.header.Separator();
  std::vector<std::string> paths(catalog.folders.size());
  std::string decoded;
  names.Decode(catalog.header.ScanRoot(), &decoded);
  Statement addFolder(db_, "INSERT INTO folders VALUES (?, ?, ?, ?, ?)");
  if (!addFolder.ok()) return fail("cannot add to the folders table");
  for (size_t f = 0; f < paths.size(); ++f) {
    const uint32_t entry = links.EntryOf(f);
    if (f == 0) {
      paths[0] = decoded;
    } else if (entry != FolderLinks::kNone) {
      decoded.clear();
      names.Decode(catalog.entries[entry].name, &decoded);
      const std::string& parent = paths[catalog.entries[entry].folderIndex];
      paths[f] = parent +
                 (parent.empty() || parent.back() != separator ? std::string(1, separator)
                                                               : std::string()) +
                 decoded;
    }
    addFolder.Int(1, volumeId);
    addFolder.Int(2, static_cast<int64_t>(f));
    addFolder.Text(3, paths[f]);
    addFolder.Int(4, catalog.folders[f].fileCount);
    addFolder.Int(5, static_cast<int64_t>(catalog.folders[f].totalSize));
    if (!addFolder.Step()) return fail("cannot add a folder");
  }

  // Into a database that has the indexes already, the volume is first written into a table
  // of its own, indexed once it is complete, and then copied in one statement, which SQLite
  // carries out as a copy of the table's and each index's records in their order: the
  // volume's index records, all after those of earlier volumes, go in at the end one after
  // another, where rows added one by one would each land anywhere in the volume's part of
  // both indexes. (Should SQLite not take the copy so, it adds the rows one by one.)
  const bool staged = missing.empty();
  const std::string into = staged ? "temp.staged_entries" : "entries";
  if (staged && !Exec(std::string("DROP TABLE IF EXISTS temp.staged_entries;"
                                  "CREATE TEMP TABLE staged_entries (") +
                          kEntryColumns + ")",
                      error)) {
    return fail("cannot add to the entries table");
  }
  Statement lastId(db_, "SELECT coalesce(max(id), 0) FROM entries");
  Statement addEntry(db_, "INSERT INTO " + into +
                              " (id, volume_id, parent, folder, type, name, name_bytes, "
                              "size, size_clamped, files, modified, modified_epoch) "
                              "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  if (!lastId.ok() || !addEntry.ok()) return fail("cannot add to the entries table");
  // Entries are numbered in table order after those the database holds, as SQLite would.
  int64_t id = 1;
  while (lastId.Row()) id = lastId.ColumnInt(0) + 1;
  const bool canClamp = catalog.header.version == 5;
  for (const auto& e : catalog.entries) {
    decoded.clear();
    const bool valid = names.Decode(e.name, &decoded);
    addEntry.Int(1, id++);
    addEntry.Int(2, volumeId);
    addEntry.Int(3, e.folderIndex);
    addEntry.Text(6, decoded);
    if (valid) {
      addEntry.Null(7);
    } else {
      addEntry.Blob(7, e.name);
    }
    if (e.IsFolder() && e.FolderNumber() < catalog.folders.size()) {
      const auto& folder = catalog.folders[e.FolderNumber()];
      addEntry.Int(4, e.FolderNumber());
      addEntry.Text(5, "folder");
      addEntry.Int(8, static_cast<int64_t>(folder.totalSize));
      addEntry.Int(10, folder.fileCount);
    } else {
      addEntry.Null(4);
      addEntry.Text(5, "file");
      addEntry.Int(8, e.size);
      addEntry.Null(10);
    }
    if (canClamp && e.size == kClampedSize) {
      addEntry.Int(9, 1);
    } else {
      addEntry.Null(9);
    }
    addEntry.Text(11, UtcIsoText(e.modified));
    addEntry.Int(12, e.modified);
    if (!addEntry.Step()) return fail("cannot add an entry");
  }
  if (staged) {
    for (const IndexSpec& index : kIndexes) {
      if (!Exec(index.staged, error)) return fail("cannot index the entries");
    }
    if (!Exec("INSERT INTO entries SELECT * FROM temp.staged_entries;"
              "DROP TABLE temp.staged_entries",
              error)) {
      return fail("cannot add the entries");
    }
  }
  for (const char* create : missing) {
    if (!Exec(create, error)) return fail("cannot index the entries");
  }
  if (!AddStatistics(static_cast<int64_t>(catalog.entries.size()), error)) {
    return fail("cannot record the statistics of the indexes");
  }
  return Exec("COMMIT", error) || fail("cannot commit");
}

}  // namespace ledra
