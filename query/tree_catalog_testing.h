// Hand-made catalogues for the tests of the queries, from a tree given as a list of paths:
// folders are numbered breadth-first and summed as a walk leaves them, then laid out byte
// by byte (not by the writer), so that the queries can be tried on trees no disk holds.
#ifndef LEDRA_QUERY_TREE_CATALOG_TESTING_H_
#define LEDRA_QUERY_TREE_CATALOG_TESTING_H_

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "catalog/laid_catalog_testing.h"

namespace ledra {
namespace test {

// One item of a tree: "a/b/c.txt" below the scan root; a path ending in '/' is a folder.
// The folders on the way are made as needed, with time 0.
struct TreeItem {
  std::string path;
  int64_t size = 0;  // files only
  int32_t modified = 0;
};

// The catalogue file of `items` with the header of `volume` (its folders and entries are
// replaced). Within a folder, items keep the order they are given in.
inline std::string TreeCatalog(LaidCatalog volume, const std::vector<TreeItem>& items) {
  struct Node {
    std::string name;
    bool folder = true;
    int64_t size = 0;
    int32_t modified = 0;
    std::vector<size_t> children;
    std::map<std::string, size_t> byName;
  };
  std::vector<Node> nodes(1);
  for (const TreeItem& item : items) {
    size_t at = 0;
    for (size_t start = 0; start < item.path.size();) {
      const size_t slash = std::min(item.path.find('/', start), item.path.size());
      const std::string name = item.path.substr(start, slash - start);
      auto found = nodes[at].byName.find(name);
      if (found == nodes[at].byName.end()) {
        found = nodes[at].byName.emplace(name, nodes.size()).first;
        nodes[at].children.push_back(nodes.size());
        nodes.push_back(Node{name, slash < item.path.size(), 0, 0, {}, {}});
      }
      at = found->second;
      start = slash + 1;
    }
    nodes[at].size = item.size;
    nodes[at].modified = item.modified;
  }
  // Breadth-first: the k-th folder entry is folder k; then subtree totals, children last.
  std::vector<size_t> folderNodes{0};
  std::vector<uint32_t> parent{0};
  volume.entries.clear();
  for (size_t f = 0; f < folderNodes.size(); ++f) {
    for (size_t c : nodes[folderNodes[f]].children) {
      int64_t size = nodes[c].size;
      if (nodes[c].folder) {
        folderNodes.push_back(c);
        parent.push_back(static_cast<uint32_t>(f));
        size = -static_cast<int64_t>(folderNodes.size() - 1);
      }
      volume.entries.push_back({size, static_cast<uint32_t>(f), nodes[c].name, nodes[c].modified});
    }
  }
  volume.folders.assign(folderNodes.size(), LaidFolder());
  for (const LaidEntry& e : volume.entries) {
    if (e.size < 0) continue;
    for (uint32_t f = e.folder;; f = parent[f]) {
      volume.folders[f].fileCount += 1;
      volume.folders[f].totalSize += static_cast<double>(e.size);
      if (f == 0) break;
    }
  }
  return volume.Bytes();
}

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_QUERY_TREE_CATALOG_TESTING_H_
