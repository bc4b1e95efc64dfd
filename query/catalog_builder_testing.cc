#include "query/catalog_builder_testing.h"

#include <cstring>
#include <map>

namespace ledra {
namespace test {

namespace {

struct Node {
  std::string name;
  bool folder = false;
  int64_t size = 0;
  int32_t modified = 0;
  std::vector<size_t> children;
  std::map<std::string, size_t> byName;
  int32_t fileCount = 0;  // whole subtree
  double totalSize = 0.0;
};

void Put(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutText(std::string* out, const std::string& text) {
  *out += text;
  out->push_back('\0');
}

size_t Child(std::vector<Node>* nodes, size_t parent, const std::string& name, bool folder) {
  const auto found = (*nodes)[parent].byName.find(name);
  if (found != (*nodes)[parent].byName.end()) return found->second;
  Node node;
  node.name = name;
  node.folder = folder;
  nodes->push_back(node);
  const size_t index = nodes->size() - 1;
  (*nodes)[parent].children.push_back(index);
  (*nodes)[parent].byName[name] = index;
  return index;
}

void Sum(std::vector<Node>* nodes, size_t n) {
  Node& node = (*nodes)[n];
  for (size_t c : std::vector<size_t>(node.children)) {
    if ((*nodes)[c].folder) {
      Sum(nodes, c);
      (*nodes)[n].fileCount += (*nodes)[c].fileCount;
      (*nodes)[n].totalSize += (*nodes)[c].totalSize;
    } else {
      ++(*nodes)[n].fileCount;
      (*nodes)[n].totalSize += static_cast<double>((*nodes)[c].size);
    }
  }
}

}  // namespace

std::string BuildCatalog(const BuiltVolume& volume, const std::vector<TreeItem>& items) {
  std::vector<Node> nodes(1);
  nodes[0].folder = true;
  for (const TreeItem& item : items) {
    size_t at = 0;
    size_t start = 0;
    while (start < item.path.size()) {
      const size_t slash = item.path.find('/', start);
      const bool last = slash == std::string::npos || slash + 1 == item.path.size();
      const std::string name = item.path.substr(start, slash == std::string::npos
                                                           ? std::string::npos
                                                           : slash - start);
      at = Child(&nodes, at, name, !last || slash != std::string::npos);
      if (last) {
        nodes[at].size = item.size;
        nodes[at].modified = item.modified;
        break;
      }
      start = slash + 1;
    }
  }
  Sum(&nodes, 0);

  // Breadth-first, as a walk numbers folders: the k-th folder entry is folder k.
  std::vector<size_t> folderNodes{0};
  std::string entries;
  uint32_t entryCount = 0;
  const bool wide = volume.version >= 6;
  for (size_t f = 0; f < folderNodes.size(); ++f) {
    for (size_t c : nodes[folderNodes[f]].children) {
      const Node& child = nodes[c];
      int64_t size = child.size;
      if (child.folder) {
        folderNodes.push_back(c);
        size = -static_cast<int64_t>(folderNodes.size() - 1);
      }
      Put(&entries, static_cast<uint32_t>(child.modified), 4);
      Put(&entries, static_cast<uint64_t>(size), wide ? 8 : 4);
      Put(&entries, f, wide ? 4 : 2);
      PutText(&entries, child.name);
      ++entryCount;
    }
  }

  std::string out;
  Put(&out, 3500410407u, 4);
  Put(&out, static_cast<uint16_t>(volume.version), 2);
  Put(&out, 0x5F000000u, 4);  // catalogued in 2020
  PutText(&out, volume.root);
  PutText(&out, volume.volumeName);
  PutText(&out, volume.alias);
  Put(&out, volume.serial, 4);
  PutText(&out, "");  // comment
  const float freeSpace = -1.0f;
  uint32_t freeBits;
  std::memcpy(&freeBits, &freeSpace, 4);
  Put(&out, freeBits, 4);
  Put(&out, folderNodes.size(), 4);
  for (size_t f = 0; f < folderNodes.size(); ++f) {
    if (f == 0) PutText(&out, volume.folder0Path);
    const Node& node = nodes[folderNodes[f]];
    Put(&out, static_cast<uint32_t>(node.fileCount), 4);
    uint64_t totalBits;
    std::memcpy(&totalBits, &node.totalSize, 8);
    Put(&out, totalBits, 8);
  }
  Put(&out, entryCount, 4);
  return out + entries;
}

}  // namespace test
}  // namespace ledra
