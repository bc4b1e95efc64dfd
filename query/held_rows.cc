#include "query/held_rows.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace ledra {

namespace {

// Chunks of a block held in memory are this large, smaller only under a smaller bound (so
// that a bound of a few bytes, as tests set, still spreads rows over several chunks).
constexpr size_t kChunkBytes = size_t{1} << 20;

void PutLength(uint32_t n, std::string* out) {
  char bytes[4];
  std::memcpy(bytes, &n, sizeof bytes);
  out->append(bytes, sizeof bytes);
}

uint32_t LengthAt(std::string_view chunk, size_t at) {
  uint32_t n = 0;
  std::memcpy(&n, chunk.data() + at, sizeof n);
  return n;
}

}  // namespace

HeldRows::HeldRows(TextHolding* holding)
    : holding_(holding),
      chunkBytes_(holding == nullptr
                      ? kChunkBytes
                      : std::min(kChunkBytes, std::max<size_t>(holding->memoryBytes / 8, 16))) {}

HeldRows::~HeldRows() = default;

bool HeldRows::Add(const std::vector<std::string>& cells) {
  size_t bytes = 4;
  for (const std::string& cell : cells) bytes += 4 + cell.size();
  if (chunks_.empty() || chunks_.back().size() + bytes > chunkLimit_) {
    if (!StartChunk(bytes)) return false;
  }
  std::string& chunk = chunks_.back();
  PutLength(static_cast<uint32_t>(cells.size()), &chunk);
  for (const std::string& cell : cells) {
    PutLength(static_cast<uint32_t>(cell.size()), &chunk);
    chunk.append(cell);
  }
  ++rows_;
  return true;
}

bool HeldRows::StartChunk(size_t bytes) {
  const size_t limit = std::max(chunkBytes_, bytes);
  const bool spillable = holding_ != nullptr && holding_->platform != nullptr;
  if (scratch_ == nullptr && spillable && !chunks_.empty() &&
      heldBytes_ + limit > holding_->memoryBytes) {
    OsError err;
    scratch_ = holding_->platform->OpenScratchFile(&err);
    if (scratch_ == nullptr) return Fail("make", err.text);
    for (const std::string& chunk : chunks_) {
      if (!Spill(chunk)) return false;
    }
    // The first chunk's memory serves every chunk from now on.
    chunks_.resize(1);
    heldBytes_ = chunks_.back().capacity();
  } else if (scratch_ != nullptr) {
    if (!Spill(chunks_.back())) return false;
  }
  if (scratch_ != nullptr) {
    chunks_.back().clear();
    chunks_.back().reserve(limit);
  } else {
    chunks_.emplace_back();
    chunks_.back().reserve(limit);
    heldBytes_ += limit;
  }
  chunkLimit_ = limit;
  return true;
}

bool HeldRows::Spill(const std::string& chunk) {
  const uint64_t length = chunk.size();
  OsError err;
  if (!scratch_->Write(&length, sizeof length, &err) ||
      !scratch_->Write(chunk.data(), chunk.size(), &err)) {
    return Fail("write", err.text);
  }
  ++spilledChunks_;
  return true;
}

bool HeldRows::Fail(const char* doing, const std::string& why) {
  if (holding_->problem.empty()) {
    holding_->problem = std::string("cannot ") + doing +
                        " the temporary file that holds the rows to align" +
                        (why.empty() ? "" : ": " + why);
  }
  Clear();
  return false;
}

void HeldRows::Clear() {
  chunks_.clear();
  heldBytes_ = 0;
  chunkLimit_ = 0;
  rows_ = 0;
  scratch_.reset();
  spilledChunks_ = 0;
}

void HeldRows::VisitChunk(std::string_view chunk, const Visit& visit) {
  size_t at = 0;
  while (at < chunk.size()) {
    const uint32_t count = LengthAt(chunk, at);
    at += 4;
    cells_.clear();
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t bytes = LengthAt(chunk, at);
      at += 4;
      cells_.push_back(chunk.substr(at, bytes));
      at += bytes;
    }
    visit(cells_);
  }
}

bool HeldRows::ReadExactly(char* out, size_t n) {
  while (n > 0) {
    size_t got = 0;
    OsError err;
    if (!scratch_->Read(out, n, &got, &err)) return Fail("read", err.text);
    if (got == 0) return Fail("read", "it ends early");
    out += got;
    n -= got;
  }
  return true;
}

bool HeldRows::Replay(const Visit& visit) {
  if (scratch_ == nullptr) {
    for (const std::string& chunk : chunks_) VisitChunk(chunk, visit);
    Clear();
    return true;
  }
  if (!chunks_.back().empty() && !Spill(chunks_.back())) return false;
  OsError err;
  if (!scratch_->Rewind(&err)) return Fail("read", err.text);
  std::string& buffer = chunks_.back();
  for (uint64_t c = spilledChunks_; c > 0; --c) {
    uint64_t length = 0;
    if (!ReadExactly(reinterpret_cast<char*>(&length), sizeof length)) return false;
    buffer.resize(static_cast<size_t>(length));
    if (!ReadExactly(&buffer[0], buffer.size())) return false;
    VisitChunk(buffer, visit);
  }
  Clear();
  return true;
}

}  // namespace ledra
