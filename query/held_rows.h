// The rows of one block of text columns, held until the block ends and the widths of its
// columns are known. Each row is kept as its cells' lengths and bytes one after another, in
// chunks, a few bytes a row beside the text; once the chunks pass the memory a
// TextHolding allows, they go to a scratch file instead, one chunk staying in memory, and
// are read back from it in order.
#ifndef LEDRA_QUERY_HELD_ROWS_H_
#define LEDRA_QUERY_HELD_ROWS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/scratch_file.h"
#include "query/record_writer.h"

namespace ledra {

class HeldRows {
 public:
  // Rows past `holding`'s bound go to a scratch file of its platform; with no holding or
  // no platform, every row stays in memory. `holding` must outlive it.
  explicit HeldRows(TextHolding* holding);
  ~HeldRows();

  bool empty() const { return rows_ == 0; }
  // Keeps a row. False, with holding->problem filled and every row dropped, when it had
  // to go to a scratch file that could not be made or written.
  bool Add(const std::vector<std::string>& cells);
  // Gives every row back in the order kept, its cells as views that last the call, then
  // forgets them all. False, with holding->problem filled, when the scratch file could not
  // be read back: the rows given by then are only part of the block.
  using Visit = std::function<void(const std::vector<std::string_view>& cells)>;
  bool Replay(const Visit& visit);
  // Forgets every row (and the scratch file).
  void Clear();

 private:
  // Starts a chunk for a row of `bytes`, sending the full chunks to the scratch file once
  // they hold more than the bound. False when the scratch file fails.
  bool StartChunk(size_t bytes);
  // Appends the chunk to the scratch file: its length, then its bytes.
  bool Spill(const std::string& chunk);
  bool Fail(const char* doing, const std::string& why);
  // Gives the rows of one chunk to `visit`.
  void VisitChunk(std::string_view chunk, const Visit& visit);
  bool ReadExactly(char* out, size_t n);

  TextHolding* const holding_;
  const size_t chunkBytes_;  // the size of a chunk, but for a row larger than it
  std::vector<std::string> chunks_;
  size_t chunkLimit_ = 0;  // of the last chunk: chunkBytes_, or the one row it was made for
  size_t heldBytes_ = 0;   // reserved by the chunks in memory
  uint64_t rows_ = 0;
  std::unique_ptr<ScratchFile> scratch_;  // once rows went there
  uint64_t spilledChunks_ = 0;            // written to it
  std::vector<std::string_view> cells_;   // of the row being given back
};

}  // namespace ledra

#endif  // LEDRA_QUERY_HELD_ROWS_H_
