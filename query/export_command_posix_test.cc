// Exports written as root may meet names planted by other users and databases made by
// them: nothing planted is followed or run, a failed export leaves nothing under the name,
// and a volume exported twice into one database is there once.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/message_sink.h"
#include "platform/platform.h"
#include "platform/temp_tree_testing.h"
#include "query/catalog_selection.h"
#include "query/export_command.h"
#include "query/query_test_support.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string QueryOne(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string value = "(error)";
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      value = text ? reinterpret_cast<const char*>(text) : "NULL";
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return value;
}

std::vector<std::string> NamesIn(TempTree& tree, const std::string& folder) {
  std::vector<FolderName> names;
  std::ostringstream ignored;
  MessageSink errors(ignored);
  NewRealPlatform(errors)->ListFolder(tree.Path(folder), &names);
  std::vector<std::string> out;
  for (const FolderName& n : names) out.push_back(n.name);
  std::sort(out.begin(), out.end());
  return out;
}

class ExportSafetyTest : public ::testing::Test {
 protected:
  ExportSafetyTest() : errors_(errorText_), platform_(NewRealPlatform(errors_)) {
    tree_.MakeFolder("out");
    tree_.MakeFile("Data.kvl", test::TreeCatalog(test::Volume("DATA"),
                                                 {{"a, \"b\".txt", 3}, {"sub/c.txt", 4}}));
    file_.path = tree_.Path("Data.kvl");
    file_.fileName = "Data.kvl";
    std::vector<CatalogFile> files = {file_};
    std::vector<std::string> problems;
    ReadHeaders(*platform_, &files, &problems);
    file_ = files[0];
  }

  bool Export(ExportFormat format, const std::string& output, bool append, std::string* error) {
    ExportOptions options;
    options.format = format;
    options.output = output;
    options.append = append;
    StringSink unused;
    return RunExport(*platform_, file_, options, unused, error);
  }

  TempTree tree_;
  std::ostringstream errorText_;
  MessageSink errors_;
  std::unique_ptr<Platform> platform_;
  CatalogFile file_;
};

TEST_F(ExportSafetyTest, PlantedLinksAreReplacedNeverFollowed) {
  tree_.MakeFile("victim", "precious");
  const std::string victim = tree_.Path("victim");
  std::string error;
  for (ExportFormat format : {ExportFormat::Csv, ExportFormat::JsonLines, ExportFormat::Ncdu}) {
    const std::string output = tree_.Path("out/export");
    unlink(output.c_str());
    ASSERT_EQ(symlink(victim.c_str(), output.c_str()), 0);
    ASSERT_TRUE(Export(format, output, false, &error)) << error;
    EXPECT_EQ(ReadAll(victim), "precious");
    EXPECT_NE(ReadAll(output).find("c.txt"), std::string::npos);
    EXPECT_EQ(NamesIn(tree_, "out"), std::vector<std::string>{"export"}) << "no temporary left";
  }
  // A database is never created through a link, even one that points nowhere.
  const std::string db = tree_.Path("out/db.sqlite");
  ASSERT_EQ(symlink(tree_.Path("nowhere").c_str(), db.c_str()), 0);
  EXPECT_FALSE(Export(ExportFormat::Sqlite, db, false, &error));
  EXPECT_NE(error.find("exists already"), std::string::npos) << error;
  EXPECT_FALSE(Export(ExportFormat::Sqlite, db, true, &error));
  EXPECT_NE(error.find("not a plain file"), std::string::npos) << error;
  EXPECT_EQ(access(tree_.Path("nowhere").c_str(), F_OK), -1);
}

TEST_F(ExportSafetyTest, AFailedExportLeavesNothingUnderTheName) {
  std::string error;
  tree_.MakeFile("Bad.kvl", "not a catalogue at all, just some bytes to read");
  file_.path = tree_.Path("Bad.kvl");
  for (ExportFormat format : {ExportFormat::Csv, ExportFormat::Sqlite}) {
    EXPECT_FALSE(Export(format, tree_.Path("out/bad"), false, &error));
    EXPECT_EQ(NamesIn(tree_, "out"), std::vector<std::string>{}) << error;
  }
}

TEST_F(ExportSafetyTest, AppendingRunsNothingStoredAndRefusesOtherFiles) {
  const std::string db = tree_.Path("out/db.sqlite");
  std::string error;
  ASSERT_TRUE(Export(ExportFormat::Sqlite, db, false, &error)) << error;
  // Another user's trigger and view, meant to run with the rights of whoever appends.
  {
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(handle,
                           "CREATE TABLE log (x TEXT);"
                           "CREATE TRIGGER forge AFTER INSERT ON entries BEGIN "
                           "  DELETE FROM entries; INSERT INTO log VALUES ('ran'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(handle);
  }
  ASSERT_TRUE(Export(ExportFormat::Sqlite, db, true, &error)) << error;
  EXPECT_EQ(QueryOne(db, "SELECT count(*) FROM log"), "0");
  EXPECT_EQ(QueryOne(db, "SELECT count(*) FROM volumes"), "1") << "the volume is replaced";
  EXPECT_EQ(QueryOne(db, "SELECT count(*) FROM entries"), "3");

  tree_.MakeFile("out/notes.txt", "not a database");
  EXPECT_FALSE(Export(ExportFormat::Sqlite, tree_.Path("out/notes.txt"), true, &error));
  EXPECT_NE(error.find("not a SQLite database"), std::string::npos) << error;
  EXPECT_EQ(ReadAll(tree_.Path("out/notes.txt")), "not a database");
}

}  // namespace
}  // namespace ledra
