// make_catalogs: writes catalogues of many entries straight in the version-5 layout, with
// names shaped like those of a photo and document disk, and beside them the same names as
// text (one per line, for grep) and as full paths (for plocate-build --plaintext), so that
// ledra's search can be timed against tools that read the same names.
//
//   make_catalogs DIR CATALOGS ENTRIES NAMES_TXT PATHS_TXT
//
// Writes DIR/Bench00.kvl ... with ENTRIES entries each (a folder every 20 entries).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Below(uint64_t n) {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return (z ^ (z >> 31)) % n;
  }

 private:
  uint64_t state_;
};

const char* const kWords[] = {
    "IMG",   "DSC",   "report", "invoice", "holiday", "backup",  "notes",  "draft",   "final",
    "scan",  "video", "track",  "photo",   "budget",  "thesis",  "readme", "setup",   "config",
    "index", "data",  "Sommer", "family",  "garden",  "project", "letter", "minutes", "summary"};
const char* const kExtensions[] = {".jpg", ".png", ".pdf",  ".txt", ".mp3",  ".docx",
                                   ".mkv", ".cr2", ".xlsx", ".zip", ".html", ".c"};

std::string Name(Random& rng, bool folder) {
  std::string name = kWords[rng.Below(sizeof kWords / sizeof kWords[0])];
  name += rng.Below(2) ? "_" : "-";
  name += std::to_string(rng.Below(100000));
  if (!folder) name += kExtensions[rng.Below(sizeof kExtensions / sizeof kExtensions[0])];
  return name;
}

void Put(std::string* out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: make_catalogs DIR CATALOGS ENTRIES NAMES_TXT PATHS_TXT\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int catalogs = std::atoi(argv[2]);
  const int64_t entries = std::atoll(argv[3]);
  FILE* names = std::fopen(argv[4], "w");
  FILE* paths = std::fopen(argv[5], "w");
  if (names == nullptr || paths == nullptr) return 1;
  Random rng(0x4C656472612D4643ull);
  for (int c = 0; c < catalogs; ++c) {
    const int64_t folders = entries / 20 + 1;
    // Entries are laid out folder by folder: folder f holds the folder entries of folders
    // 8f+1 ... 8f+8 (as long as they exist) and its share of the files.
    std::vector<std::vector<int64_t>> children(static_cast<size_t>(folders));
    for (int64_t k = 1; k < folders; ++k) children[static_cast<size_t>((k - 1) / 8)].push_back(k);
    const int64_t files = entries - (folders - 1);
    std::vector<std::string> folderName(static_cast<size_t>(folders));
    std::vector<std::string> folderPath(static_cast<size_t>(folders));
    char rootPath[64];
    std::snprintf(rootPath, sizeof rootPath, "/media/disk%02d", c);
    folderPath[0] = rootPath;
    std::vector<int64_t> fileCount(static_cast<size_t>(folders), 0);
    std::vector<double> totalSize(static_cast<size_t>(folders), 0.0);
    std::string table;
    int64_t written = 0;
    std::vector<std::pair<int64_t, int64_t>> sizes;  // per folder: file sizes come after
    for (int64_t f = 0; f < folders; ++f) {
      for (int64_t k : children[static_cast<size_t>(f)]) {
        const std::string name = Name(rng, true);
        folderPath[static_cast<size_t>(k)] = folderPath[static_cast<size_t>(f)] + "/" + name;
        Put(&table, 1600000000 + rng.Below(100000000), 4);
        Put(&table, static_cast<uint64_t>(-k), 4);
        Put(&table, static_cast<uint64_t>(f), 2);
        table += name;
        table.push_back('\0');
        std::fprintf(names, "%s\n", name.c_str());
        std::fprintf(paths, "%s\n", folderPath[static_cast<size_t>(k)].c_str());
        ++written;
      }
      const int64_t share =
          f + 1 == folders ? files - (written - (folders - 1)) - 0 : files / folders;
      for (int64_t i = 0; i < share && written < entries; ++i) {
        const std::string name = Name(rng, false);
        const int64_t size = static_cast<int64_t>(rng.Below(20000000));
        Put(&table, 1600000000 + rng.Below(100000000), 4);
        Put(&table, static_cast<uint64_t>(size), 4);
        Put(&table, static_cast<uint64_t>(f), 2);
        table += name;
        table.push_back('\0');
        std::fprintf(names, "%s\n", name.c_str());
        std::fprintf(paths, "%s/%s\n", folderPath[static_cast<size_t>(f)].c_str(), name.c_str());
        ++fileCount[static_cast<size_t>(f)];
        totalSize[static_cast<size_t>(f)] += static_cast<double>(size);
        ++written;
      }
    }
    // Subtree figures: children have higher numbers than their parents.
    for (int64_t k = folders - 1; k >= 1; --k) {
      const size_t parent = static_cast<size_t>((k - 1) / 8);
      fileCount[parent] += fileCount[static_cast<size_t>(k)];
      totalSize[parent] += totalSize[static_cast<size_t>(k)];
    }
    std::string file;
    Put(&file, 3500410407u, 4);
    Put(&file, 5, 2);
    Put(&file, 1700000000, 4);
    file += std::string(rootPath) + "/";
    file.push_back('\0');
    file += "[" + std::string(rootPath) + "]";
    file.push_back('\0');
    char alias[32];
    std::snprintf(alias, sizeof alias, "Bench%02d", c);
    file += alias;
    file.push_back('\0');
    Put(&file, 0x1234ABC0u + static_cast<uint32_t>(c), 4);
    file.push_back('\0');
    const float free = 1024.0f;
    uint32_t freeBits;
    std::memcpy(&freeBits, &free, 4);
    Put(&file, freeBits, 4);
    Put(&file, static_cast<uint64_t>(folders), 4);
    file.push_back('\0');
    for (int64_t f = 0; f < folders; ++f) {
      Put(&file, static_cast<uint64_t>(fileCount[static_cast<size_t>(f)]), 4);
      uint64_t bits;
      std::memcpy(&bits, &totalSize[static_cast<size_t>(f)], 8);
      Put(&file, bits, 8);
    }
    Put(&file, static_cast<uint64_t>(written), 4);
    file += table;
    const std::string path = dir + "/" + alias + ".kvl";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "make_catalogs: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return std::fclose(names) == 0 && std::fclose(paths) == 0 ? 0 : 1;
}
