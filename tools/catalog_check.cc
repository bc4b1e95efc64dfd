// A small command for scripts that test whole runs (tools/kill-test.sh): reads a catalogue
// with the project's strict full reader and checks its comment and alias, or gives a
// catalogue a comment as a user of the reader would.
//
//   ledra_catalog_check FILE COMMENT ALIAS     status 0: complete, with that comment and alias
//   ledra_catalog_check --comment FILE TEXT    replaces the comment of a complete catalogue
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "catalog/tree_check_testing.h"

namespace {

bool ReadBytes(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

int Fail(const std::string& path, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--comment") {
    std::string bytes, patched, why;
    if (!ReadBytes(argv[2], &bytes)) return Fail(argv[2], "cannot be read");
    if (!ledra::ReplaceComment(bytes, argv[3], &patched, &why)) return Fail(argv[2], why);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << patched;
    return out ? 0 : Fail(argv[2], "cannot be written");
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s FILE COMMENT ALIAS | --comment FILE TEXT\n", argv[0]);
    return 2;
  }
  ledra::CatalogContents catalog;
  std::string why;
  if (!ledra::ReadCatalogFile(argv[1], &catalog, &why)) return Fail(argv[1], why);
  if (catalog.header.comment != argv[2])
    return Fail(argv[1], "comment '" + catalog.header.comment + "'");
  if (catalog.header.alias != argv[3]) return Fail(argv[1], "alias '" + catalog.header.alias + "'");
  return 0;
}
