// Text for people. Rows of a Lines layout are written as they come; rows of a Columns
// layout are held until their block ends (another layout, a note, the end) and then written
// aligned, columns two spaces apart, the last column never padded. Two blocks of columns
// in a row are set apart by an empty line. On a terminal each cell and note is shown with
// its control characters escaped, so that a name can neither forge a line nor a column.
// A large block is held in a scratch file (query/held_rows.h); once that fails, nothing
// more is written, and the run reports the failure.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "query/held_rows.h"
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
  TextWriter(OutputSink& sink, bool exactBytes, bool terminal, TextHolding* holding)
      : sink_(sink),
        exactBytes_(exactBytes),
        terminal_(terminal),
        holding_(holding),
        held_(holding) {}

  void Write(const ResultRow& row) override {
    if (Failed()) return;
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
        if (Failed()) return;
        block_ = &layout;
        if (!layout.heading.empty()) Hold(layout.heading);
        if (terminal_ && !layout.terminalHeading.empty()) Hold(layout.terminalHeading);
      }
      Hold(cells_);
      return;
    }
    PrintBlock();
    if (Failed()) return;
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
    if (Failed()) return;
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
  bool Failed() const { return holding_ != nullptr && !holding_->problem.empty(); }

  // Keeps a row of the block until it is printed. The widths grow as rows come.
  void Hold(const std::vector<std::string>& cells) {
    if (widths_.size() < cells.size()) widths_.resize(cells.size(), 0);
    for (size_t i = 0; i < cells.size(); ++i) {
      widths_[i] = std::max(widths_[i], Columns(cells[i]));
    }
    held_.Add(cells);
  }

  void PrintBlock() {
    if (held_.empty() || Failed()) {
      held_.Clear();
      widths_.clear();
      block_ = nullptr;
      return;
    }
    if (afterBlock_) sink_.Write("\n");
    const std::vector<bool>& right = block_->rightAligned;
    held_.Replay([&](const std::vector<std::string_view>& cells) {
      line_.clear();
      for (size_t i = 0; i < cells.size(); ++i) {
        const std::string_view cell = cells[i];
        const bool last = i + 1 == cells.size();
        const size_t pad = widths_[i] - Columns(cell);
        const bool rightAligned = i < right.size() && right[i];
        if (rightAligned) line_.append(pad, ' ');
        line_.append(cell.data(), cell.size());
        if (!last) line_.append(rightAligned ? 2 : pad + 2, ' ');
      }
      line_.push_back('\n');
      sink_.Write(line_);
    });
    widths_.clear();
    block_ = nullptr;
    afterBlock_ = true;
  }

  OutputSink& sink_;
  const bool exactBytes_;
  const bool terminal_;
  TextHolding* const holding_;
  std::vector<std::string> cells_;
  std::string shown_;
  std::string line_;
  const TextLayout* block_ = nullptr;  // the layout of the rows held
  HeldRows held_;                      // the rows of the block
  std::vector<size_t> widths_;         // of each column so far
  bool afterBlock_ = false;            // the last thing written was a block of columns
};

}  // namespace

std::unique_ptr<RecordWriter> NewTextWriter(OutputSink& sink, bool exactBytes, bool terminal,
                                            TextHolding* holding) {
  return std::make_unique<TextWriter>(sink, exactBytes, terminal, holding);
}

}  // namespace ledra
