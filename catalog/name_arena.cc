#include "catalog/name_arena.h"

#include <cstring>

namespace ledra {

const char* NameArena::Add(std::string_view name) {
  const size_t need = name.size() + 1;
  if (need > kBlockSize) {
    // A name longer than a block gets a block of its own, kept before the current one
    // so that the current block's free room stays in use.
    auto own = std::make_unique<char[]>(need);
    std::memcpy(own.get(), name.data(), name.size());
    own[name.size()] = '\0';
    const char* stored = own.get();
    blocks_.insert(blocks_.empty() ? blocks_.end() : blocks_.end() - 1, std::move(own));
    return stored;
  }
  if (used_ + need > kBlockSize) {
    blocks_.push_back(std::make_unique<char[]>(kBlockSize));
    used_ = 0;
  }
  char* stored = blocks_.back().get() + used_;
  std::memcpy(stored, name.data(), name.size());
  stored[name.size()] = '\0';
  used_ += need;
  return stored;
}

void NameArena::Clear() {
  blocks_.clear();
  used_ = kBlockSize;
}

}  // namespace ledra
