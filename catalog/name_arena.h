// Holds the names of a catalogue's entries back to back in large blocks, so that a
// catalogue of a million entries costs one small allocation per block, not per name.
#ifndef LEDRA_CATALOG_NAME_ARENA_H_
#define LEDRA_CATALOG_NAME_ARENA_H_

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace ledra {

class NameArena {
 public:
  NameArena() = default;
  NameArena(const NameArena&) = delete;
  NameArena& operator=(const NameArena&) = delete;
  NameArena(NameArena&&) = default;
  NameArena& operator=(NameArena&&) = default;

  // Stores a NUL-terminated copy of `name`; the pointer stays valid as long as the arena.
  const char* Add(std::string_view name);
  void Clear();

 private:
  static constexpr size_t kBlockSize = 256 * 1024;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = kBlockSize;  // bytes used in the last block
};

}  // namespace ledra

#endif  // LEDRA_CATALOG_NAME_ARENA_H_
