#include "catalog/entry_cursor.h"

#include <utility>

namespace ledra {

EntryCursor::EntryCursor(std::string_view bytes, const CatalogHeader& header, bool keepFolderNames)
    : base_(reinterpret_cast<const unsigned char*>(bytes.data())),
      pos_(base_ + header.entryTableOffset + 4),
      end_(base_ + bytes.size()),
      remaining_(header.entryCount),
      folderCount_(header.folderCount),
      wide_(header.WideEntries()),
      keep_(keepFolderNames) {
  if (keep_) {
    // Bounded by the folder table, which the header held against the file's size.
    parents_.reserve(folderCount_ - 1);
    nameOffsets_.reserve(folderCount_ - 1);
  }
}

bool EntryCursor::Finish() {
  if (finished_ || failed()) return false;
  finished_ = true;
  if (foldersMet_ + 1 != folderCount_) {
    return Fail(static_cast<size_t>(pos_ - base_),
                "the entry table introduces " + std::to_string(foldersMet_) +
                    " folders below folder 0, the folder table holds " +
                    std::to_string(folderCount_) + " folders");
  }
  if (pos_ != end_) {
    return Fail(static_cast<size_t>(pos_ - base_),
                std::to_string(end_ - pos_) + " bytes trail the entry table");
  }
  return false;
}

bool EntryCursor::Fail(size_t offset, std::string what) {
  remaining_ = 0;
  finished_ = true;
  problem_.offset = offset;
  problem_.what = std::move(what);
  return false;
}

std::string_view EntryCursor::FolderName(uint32_t number) const {
  return std::string_view(reinterpret_cast<const char*>(base_) + nameOffsets_[number - 1]);
}

void EntryCursor::AppendFolderPath(uint32_t number, char separator, std::string* out) const {
  // Folder numbers fall strictly towards the root, so the chain ends within `number` steps.
  uint32_t chain[64];
  size_t depth = 0;
  std::vector<uint32_t> deep;
  for (uint32_t f = number; f != 0; f = parents_[f - 1]) {
    if (depth < 64) {
      chain[depth++] = f;
    } else {
      if (deep.empty()) deep.assign(chain, chain + depth);
      deep.push_back(f);
    }
  }
  if (!deep.empty()) {
    for (size_t i = deep.size(); i-- > 0;) {
      out->push_back(separator);
      out->append(FolderName(deep[i]));
    }
    return;
  }
  for (size_t i = depth; i-- > 0;) {
    out->push_back(separator);
    out->append(FolderName(chain[i]));
  }
}

}  // namespace ledra
