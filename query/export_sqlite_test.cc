// The SQLite export queried through SQLite itself: every entry with its fields, folder
// paths, the raw bytes of names that are not UTF-8, the indexes, and volumes appended.
#include "query/export_sqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/temp_tree_testing.h"
#include "query/name_text.h"
#include "query/query_test_support.h"

namespace ledra {
namespace {

// Every row of a query, its columns joined by '|' (NULL as "-").
std::vector<std::string> Query(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
  while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
      const unsigned char* text = sqlite3_column_text(stmt, c);
      row += (c ? "|" : "") + (text ? std::string(reinterpret_cast<const char*>(text)) : "-");
    }
    rows.push_back(row);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

Record VolumeRow(const std::string& name) {
  return {{"volume", FieldValue::Text(name)},
          {"volume_name", FieldValue::Text(name)},
          {"serial_number", FieldValue::Integer(7)},
          {"catalog", FieldValue::Text(name + ".kvl")},
          {"free_bytes", FieldValue::Null()}};
}

TEST(SqliteExportTest, EveryEntryAndFolderQueriedBack) {
  test::LaidCatalog volume = test::Volume("DATA");
  volume.root = "D:\\";
  volume.folder0Path = "\\Data";
  const CatalogContents first = test::LoadBuilt(volume, {{"docs/a.txt", 10, 86400},
                                                         {"docs/sub/b\xff.bin", 2147483647, 0},
                                                         {"top.txt", 5, 60},
                                                         {"empty/", 0, 0}});
  const CatalogContents second = test::LoadBuilt(test::Volume("OTHER"), {{"x", 1, 1}});
  TempTree scratch;
  const std::string file = scratch.Path("cat.sqlite");
  std::unique_ptr<NameDecoder> names = NewUtf8Decoder();
  std::ostringstream errorText;
  MessageSink errors(errorText);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  std::string error;
  EXPECT_FALSE(SqliteExport::Open(file, false, &error)) << "the file is made by the caller";
  std::ofstream(file).close();
  {
    auto db = SqliteExport::Open(file, false, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->AddVolume(first, VolumeRow("Data"), *names, &error)) << error;
  }
  // Added twice, a volume replaces its earlier rows.
  for (int time = 0; time < 2; ++time) {
    auto db = SqliteExport::Open(file, true, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->AddVolume(second, VolumeRow("Other"), *names, &error)) << error;
  }

  EXPECT_EQ(Query(file, "SELECT id, volume, serial_number, free_bytes FROM volumes"),
            (std::vector<std::string>{"1|Data|7|-", "2|Other|7|-"}));
  EXPECT_EQ(
      Query(file, "SELECT folder, path, files, total_size FROM folders WHERE volume_id = 1"),
      (std::vector<std::string>{"0|D:\\Data|3|2147483662", "1|D:\\Data\\docs|2|2147483657",
                                "2|D:\\Data\\empty|0|0", "3|D:\\Data\\docs\\sub|1|2147483647"}));
  EXPECT_EQ(
      Query(file,
            "SELECT parent, folder, type, name, quote(name_bytes), size, size_clamped, files, "
            "modified, modified_epoch FROM entries WHERE volume_id = 1 ORDER BY id"),
      (std::vector<std::string>{
          "0|1|folder|docs|NULL|2147483657|-|2|1970-01-01T00:00:00Z|0",
          "0|-|file|top.txt|NULL|5|-|-|1970-01-01T00:01:00Z|60",
          "0|2|folder|empty|NULL|0|-|0|1970-01-01T00:00:00Z|0",
          "1|-|file|a.txt|NULL|10|-|-|1970-01-02T00:00:00Z|86400",
          "1|3|folder|sub|NULL|2147483647|-|1|1970-01-01T00:00:00Z|0",
          "3|-|file|b\xef\xbf\xbd.bin|X'62FF2E62696E'|2147483647|1|-|1970-01-01T00:00:00Z|0"}));
  EXPECT_EQ(Query(file,
                  "SELECT f.path || '\\' || e.name FROM entries e JOIN folders f ON "
                  "f.volume_id = e.volume_id AND f.folder = e.parent WHERE e.name = 'a.txt'"),
            (std::vector<std::string>{"D:\\Data\\docs\\a.txt"}));
  EXPECT_EQ(Query(file,
                  "SELECT name FROM sqlite_master WHERE type = 'index' AND "
                  "tbl_name = 'entries' ORDER BY name"),
            (std::vector<std::string>{"entries_name", "entries_size"}));
  EXPECT_EQ(Query(file, "SELECT volume_id, count(*) FROM entries GROUP BY volume_id"),
            (std::vector<std::string>{"1|6", "2|1"}));
}

// Appended volumes land at the end of the indexes (they lead with the volume), and a name or
// a size asked for across every volume still goes through them; a database whose indexes an
// earlier export keyed on the name or size alone has them made anew.
TEST(SqliteExportTest, IndexesWithinEachVolumeServeQuestionsAcrossVolumes) {
  std::vector<test::TreeItem> items;
  for (int i = 0; i < 40; ++i) items.push_back({"f" + std::to_string(i), 100 + i, 1});
  const CatalogContents disk = test::LoadBuilt(test::Volume("DISK"), items);
  TempTree scratch;
  const std::string file = scratch.Path("cat.sqlite");
  std::unique_ptr<NameDecoder> names = NewUtf8Decoder();
  std::string error;
  {
    // As an earlier export left it: the entries table and indexes on name and size alone.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE entries (id INTEGER PRIMARY KEY, volume_id INTEGER NOT "
                           "NULL, parent INTEGER NOT NULL, folder INTEGER, type TEXT NOT NULL, "
                           "name TEXT NOT NULL, name_bytes BLOB, size INTEGER NOT NULL, "
                           "size_clamped INTEGER, files INTEGER, modified TEXT NOT NULL, "
                           "modified_epoch INTEGER NOT NULL);"
                           "CREATE INDEX entries_name ON entries(name);"
                           "CREATE INDEX entries_size ON entries(size);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  for (const char* name : {"One", "Two", "Three"}) {
    auto db = SqliteExport::Open(file, true, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->AddVolume(disk, VolumeRow(name), *names, &error)) << error;
  }
  EXPECT_EQ(Query(file,
                  "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                  "tbl_name = 'entries' ORDER BY name"),
            (std::vector<std::string>{
                "entries_name|CREATE INDEX entries_name ON entries(volume_id, name)",
                "entries_size|CREATE INDEX entries_size ON entries(volume_id, size)"}));
  // Each volume's entries are numbered on from the last, in table order, whichever way they
  // went in (the first volume's rows before its indexes, the others' through a copy).
  EXPECT_EQ(Query(file, "SELECT volume_id, min(id), max(id) FROM entries GROUP BY volume_id"),
            (std::vector<std::string>{"1|1|40", "2|41|80", "3|81|120"}));
  EXPECT_EQ(Query(file, "SELECT name FROM entries WHERE volume_id = 3 ORDER BY id"),
            Query(file, "SELECT name FROM entries WHERE volume_id = 1 ORDER BY id"));
  struct Case {
    const char* sql;
    const char* index;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"SELECT volume_id, size FROM entries WHERE name = 'f7' ORDER BY 1",
       "entries_name",
       {"1|107", "2|107", "3|107"}},
      {"SELECT volume_id, name FROM entries WHERE size > 138 ORDER BY 1",
       "entries_size",
       {"1|f39", "2|f39", "3|f39"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Query(file, c.sql), c.rows);
    std::string plan;
    for (const std::string& row : Query(file, std::string("EXPLAIN QUERY PLAN ") + c.sql)) {
      plan += row + "\n";
    }
    EXPECT_NE(plan.find(c.index), std::string::npos) << plan;
  }
}

}  // namespace
}  // namespace ledra
