// real_catalogs: catalogues whose names and folder shapes are those of a real tree, so that
// the trigram frequencies an index meets are real ones, and the same names as full paths
// for plocate-build. Each catalogue holds the tree of PATHS_TXT (one path per line below a
// root, a folder ending in '/', parents before children), copied under top folders
// "copy1", "copy2", ... until it holds ENTRIES entries.
//
//   real_catalogs PATHS_TXT DIR FIRST CATALOGS ENTRIES OUT_PATHS_TXT
//
// Writes DIR/RealNNN.kvl for NNN from FIRST on, and appends their paths to OUT_PATHS_TXT.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "query/tree_catalog_testing.h"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: real_catalogs PATHS_TXT DIR FIRST CATALOGS ENTRIES OUT_PATHS\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  std::vector<std::string> tree;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.find('\0') == std::string::npos) tree.push_back(line);
  }
  if (tree.empty()) return 1;
  const std::string dir = argv[2];
  const int first = std::atoi(argv[3]);
  const int catalogs = std::atoi(argv[4]);
  const size_t entries = static_cast<size_t>(std::atoll(argv[5]));
  FILE* paths = std::fopen(argv[6], "a");
  if (paths == nullptr) return 1;
  for (int c = first; c < first + catalogs; ++c) {
    char root[64];
    std::snprintf(root, sizeof root, "/media/disk%03d", c);
    std::vector<ledra::test::TreeItem> items;
    // Each copy adds its top folder and the tree; the last copy stops at ENTRIES.
    for (int copy = 1; items.size() < entries; ++copy) {
      const std::string top = "copy" + std::to_string(copy) + "/";
      items.push_back({top, 0, 1600000000});
      for (size_t i = 0; i < tree.size() && items.size() < entries; ++i) {
        const int64_t size = tree[i].back() == '/' ? 0 : static_cast<int64_t>((i * 7919) % 900000);
        items.push_back({top + tree[i], size, 1600000000 + static_cast<int32_t>(i % 86400000)});
      }
    }
    for (const ledra::test::TreeItem& item : items) {
      std::string p = item.path;
      if (p.back() == '/') p.pop_back();
      std::fprintf(paths, "%s/%s\n", root, p.c_str());
    }
    ledra::test::LaidCatalog volume;
    volume.version = 5;
    volume.root = std::string(root) + "/";
    volume.volumeName = "Real" + std::to_string(c);
    const std::string bytes = ledra::test::TreeCatalog(volume, items);
    char name[64];
    std::snprintf(name, sizeof name, "/Real%03d.kvl", c);
    FILE* out = std::fopen((dir + name).c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "real_catalogs: cannot write %s%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return std::fclose(paths) == 0 ? 0 : 1;
}
