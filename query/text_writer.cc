// Text for people. Rows of a Lines layout are written as they come; rows of a Columns
// layout are held until their block ends (another layout, a note, the end) and then written
// aligned, columns two spaces apart, the last column never padded. Two blocks of columns
// in a row are set apart by an empty line. On a terminal each cell and note is shown with
// its control characters escaped, so that a name can neither forge a line nor a column.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "query/record_writer.h"
#include "query/terminal_output.h"

namespace ledra {

namespace {

// Display width of UTF-8 text, counting each code point as one column.
size_t Columns(std::string_view text) {
  size_t n = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

class TextWriter final : public RecordWriter {
 public:
  TextWriter(OutputSink& sink, bool exactBytes, bool terminal)
      : sink_(sink), exactBytes_(exactBytes), terminal_(terminal) {}

  void Write(const ResultRow& row) override {
    const TextLayout& layout = row.Layout();
    row.TextCells(exactBytes_, &cells_);
    if (terminal_) {
      for (std::string& cell : cells_) {
        shown_.clear();
        AppendForTerminal(cell, &shown_);
        cell.swap(shown_);
      }
    }
    if (layout.kind == TextLayout::Kind::Columns) {
      if (&layout != block_) {
        PrintBlock();
        block_ = &layout;
        if (!layout.heading.empty()) Hold(layout.heading);
        if (terminal_ && !layout.terminalHeading.empty()) Hold(layout.terminalHeading);
      }
      Hold(cells_);
      return;
    }
    PrintBlock();
    line_.assign(layout.indent);
    for (size_t i = 0; i < cells_.size(); ++i) {
      if (i > 0) line_.push_back('\t');
      line_.append(cells_[i]);
    }
    line_.push_back('\n');
    sink_.Write(line_);
    afterBlock_ = false;
  }

  void Note(std::string_view line) override {
    PrintBlock();
    line_.clear();
    if (terminal_) {
      AppendForTerminal(line, &line_);
    } else {
      line_.assign(line.data(), line.size());
    }
    line_.push_back('\n');
    sink_.Write(line_);
    afterBlock_ = false;
  }

  void Finish() override { PrintBlock(); }

 private:
  // Keeps a row of the block until it is printed: its cells' bytes one after another in
  // chunks, and their lengths, a few bytes a row beside the text (a block may hold millions
  // of rows, as a diff of two unrelated disks does). The widths grow as rows come.
  void Hold(const std::vector<std::string>& cells) {
    if (widths_.size() < cells.size()) widths_.resize(cells.size(), 0);
    for (size_t i = 0; i < cells.size(); ++i) {
      const std::string& cell = cells[i];
      widths_[i] = std::max(widths_[i], Columns(cell));
      if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < cell.size()) {
        chunks_.emplace_back();
        chunks_.back().reserve(std::max(kChunkBytes, cell.size()));
      }
      chunks_.back().append(cell);
      cellBytes_.push_back(static_cast<uint32_t>(cell.size()));
    }
    rowCells_.push_back(static_cast<uint32_t>(cells.size()));
  }

  void PrintBlock() {
    if (rowCells_.empty()) {
      block_ = nullptr;
      return;
    }
    if (afterBlock_) sink_.Write("\n");
    const std::vector<bool>& right = block_->rightAligned;
    size_t chunk = 0;
    size_t at = 0;
    size_t cellIndex = 0;
    for (const uint32_t cells : rowCells_) {
      line_.clear();
      for (size_t i = 0; i < cells; ++i) {
        const size_t bytes = cellBytes_[cellIndex++];
        // A cell lies whole in one chunk; an empty cell may sit at a chunk's very end.
        while (bytes != 0 && at + bytes > chunks_[chunk].size()) {
          ++chunk;
          at = 0;
        }
        const std::string_view cell =
            bytes == 0 ? std::string_view() : std::string_view(chunks_[chunk]).substr(at, bytes);
        at += bytes;
        const bool last = i + 1 == cells;
        const size_t pad = widths_[i] - Columns(cell);
        const bool rightAligned = i < right.size() && right[i];
        if (rightAligned) line_.append(pad, ' ');
        line_.append(cell.data(), cell.size());
        if (!last) line_.append(rightAligned ? 2 : pad + 2, ' ');
      }
      line_.push_back('\n');
      sink_.Write(line_);
    }
    chunks_.clear();
    cellBytes_.clear();
    rowCells_.clear();
    widths_.clear();
    block_ = nullptr;
    afterBlock_ = true;
  }

  static constexpr size_t kChunkBytes = size_t{1} << 20;

  OutputSink& sink_;
  const bool exactBytes_;
  const bool terminal_;
  std::vector<std::string> cells_;
  std::string shown_;
  std::string line_;
  const TextLayout* block_ = nullptr;  // the layout of the rows held
  std::vector<std::string> chunks_;    // the held cells' bytes
  std::vector<uint32_t> cellBytes_;    // each held cell's length, in order
  std::vector<uint32_t> rowCells_;     // each held row's number of cells
  std::vector<size_t> widths_;         // of each column so far
  bool afterBlock_ = false;            // the last thing written was a block of columns
};

}  // namespace

std::unique_ptr<RecordWriter> NewTextWriter(OutputSink& sink, bool exactBytes, bool terminal) {
  return std::make_unique<TextWriter>(sink, exactBytes, terminal);
}

}  // namespace ledra
