#include "catalog/entry_cursor.h"

#include <algorithm>
#include <utility>

#include "platform/mapped_file.h"

namespace ledra {

EntryCursor::EntryCursor(std::string_view bytes, const CatalogHeader& header, bool keepFolderNames)
    : EntryCursor(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), header,
                  keepFolderNames) {}

EntryCursor::EntryCursor(const unsigned char* base, size_t fileSize, const CatalogHeader& header,
                         bool keepFolderNames)
    : base_(base),
      fileSize_(fileSize),
      window_(base_),
      pos_(base_ != nullptr ? base_ + header.entryTableOffset + 4 : nullptr),
      end_(base_ != nullptr ? base_ + fileSize : nullptr),
      refillAt_(end_),
      fastEnd_(window_),
      remaining_(header.entryCount),
      folderCount_(header.folderCount),
      wide_(header.WideEntries()),
      keep_(keepFolderNames) {
  // Nothing is reserved for the folders: their count is only held against the file's
  // size, and the entries that introduce them are still to be read.
  if (base_ != nullptr) SetFastEnd();
}

EntryCursor::EntryCursor(const MappedFile& file, const CatalogHeader& header, bool keepFolderNames,
                         size_t bufferSize)
    : EntryCursor(nullptr, static_cast<size_t>(file.Size()), header, keepFolderNames) {
  file_ = &file;
  bufferSize_ = std::max<size_t>(bufferSize, 128);
  // Left uninitialised: only what was read into it is ever looked at.
  buffer_ = std::unique_ptr<unsigned char[]>(new unsigned char[bufferSize_]);
  lookahead_ = std::max<size_t>(bufferSize_ / 32, 32);
  windowOffset_ = header.entryTableOffset + 4;
  window_ = pos_ = end_ = fastEnd_ = buffer_.get();
  Refill(lookahead_);
}

EntryCursor::EntryCursor(const MappedFile& file, const CatalogHeader& header, size_t bufferSize,
                         const CursorStart& start)
    : EntryCursor(nullptr, static_cast<size_t>(file.Size()), header, false) {
  file_ = &file;
  part_ = true;
  bufferSize_ = std::max<size_t>(bufferSize, 128);
  buffer_ = std::unique_ptr<unsigned char[]>(new unsigned char[bufferSize_]);
  lookahead_ = std::max<size_t>(bufferSize_ / 32, 32);
  remaining_ = start.entries;
  foldersMet_ = start.foldersMet;
  lastFolder_ = start.lastFolder;
  window_ = pos_ = end_ = fastEnd_ = buffer_.get();
  if (start.offset < header.entryTableOffset + 4 || start.offset > fileSize_) {
    windowOffset_ = std::min(start.offset, fileSize_);
    Fail(start.offset, "entry record lies outside the entry table");
    return;
  }
  windowOffset_ = start.offset;
  Refill(lookahead_);
}

bool EntryCursor::Refill(size_t need) {
  const size_t kept = static_cast<size_t>(end_ - pos_);
  const size_t start = Offset(pos_);
  const size_t rest = fileSize_ - start;
  need = std::min(std::max(need, kept + 1), rest);
  if (need > bufferSize_) {
    // Only a name longer than the buffer gets here; the file bounds it.
    size_t grown = bufferSize_;
    while (grown < need) grown *= 2;
    grown = std::min(grown, rest);
    auto larger = std::unique_ptr<unsigned char[]>(new unsigned char[grown]);
    std::memcpy(larger.get(), pos_, kept);
    buffer_ = std::move(larger);
    bufferSize_ = grown;
  } else if (kept != 0) {
    std::memmove(buffer_.get(), pos_, kept);
  }
  const size_t wanted = std::min(bufferSize_, rest) - kept;
  window_ = pos_ = buffer_.get();
  end_ = window_ + kept;
  windowOffset_ = start;
  ++refills_;
  std::string error;
  char* into = reinterpret_cast<char*>(buffer_.get()) + kept;
  if (!file_->ReadAt(start + kept, wanted, into, &error)) {
    return Fail(start + kept, "cannot read: " + error);
  }
  end_ += wanted;
  // Short of the end of the file, the buffer is full.
  refillAt_ = start + kept + wanted == fileSize_ ? end_ : end_ - lookahead_;
  SetFastEnd();
  return true;
}

void EntryCursor::SetFastEnd() {
  if (refillAt_ != end_) {
    fastEnd_ = refillAt_;  // at least lookahead_ (32 or more) bytes beyond
  } else {
    fastEnd_ = end_ - window_ > 32 ? end_ - 32 : window_;
  }
}

bool EntryCursor::ReadLongName(const unsigned char* name, CatalogEntry* entry) {
  if (Offset(end_) == fileSize_) {
    return Fail(Offset(name), "cut short: an entry's name has no NUL before the end of the file");
  }
  if (!Refill(2 * static_cast<size_t>(end_ - pos_))) return false;
  return Next(entry);
}

bool EntryCursor::Finish() {
  if (finished_ || failed()) return false;
  finished_ = true;
  if (part_) return false;
  if (foldersMet_ + 1 != folderCount_) {
    return Fail(Offset(pos_), "the entry table introduces " + std::to_string(foldersMet_) +
                                  " folders below folder 0, the folder table holds " +
                                  std::to_string(folderCount_) + " folders");
  }
  if (Offset(pos_) != fileSize_) {
    return Fail(Offset(pos_),
                std::to_string(fileSize_ - Offset(pos_)) + " bytes trail the entry table");
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

bool EntryCursor::FailOrder(const CatalogEntry& entry) {
  return Fail(entry.offset, "entry of folder " + std::to_string(entry.folderIndex) +
                                " follows one of folder " + std::to_string(lastFolder_));
}

bool EntryCursor::FailUnknownFolder(const CatalogEntry& entry) {
  return Fail(entry.offset, "entry lies in folder " + std::to_string(entry.folderIndex) +
                                ", which no earlier folder entry introduces");
}

bool EntryCursor::FailFolderEntry(const CatalogEntry& entry) {
  return Fail(entry.offset, "folder entry number " + std::to_string(foldersMet_) + " has size " +
                                std::to_string(entry.size) + " (" + std::to_string(folderCount_) +
                                " folders in the table)");
}

std::string_view EntryCursor::FolderName(uint32_t number) const {
  const size_t begin = nameOffsets_[number - 1];
  const size_t end = number < nameOffsets_.size() ? nameOffsets_[number] : folderNames_.size();
  return std::string_view(folderNames_).substr(begin, end - begin);
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
