// Text for people. Rows of a Lines layout are written as they come; rows of a Columns
// layout are held until their block ends (another layout, a note, the end) and then written
// aligned, columns two spaces apart, the last column never padded. Two blocks of columns
// in a row are set apart by an empty line. On a terminal each cell and note is shown with
// its control characters escaped, so that a name can neither forge a line nor a column.
#include <algorithm>

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
        if (!layout.heading.empty()) rows_.push_back(layout.heading);
        if (terminal_ && !layout.terminalHeading.empty()) rows_.push_back(layout.terminalHeading);
      }
      rows_.push_back(cells_);
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
  void PrintBlock() {
    if (rows_.empty()) {
      block_ = nullptr;
      return;
    }
    if (afterBlock_) sink_.Write("\n");
    std::vector<size_t> widths;
    for (const auto& row : rows_) {
      if (widths.size() < row.size()) widths.resize(row.size(), 0);
      for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Columns(row[i]));
    }
    const std::vector<bool>& right = block_->rightAligned;
    for (const auto& row : rows_) {
      line_.clear();
      for (size_t i = 0; i < row.size(); ++i) {
        const bool last = i + 1 == row.size();
        const size_t pad = widths[i] - Columns(row[i]);
        const bool rightAligned = i < right.size() && right[i];
        if (rightAligned) line_.append(pad, ' ');
        line_.append(row[i]);
        if (!last) line_.append(rightAligned ? 2 : pad + 2, ' ');
      }
      line_.push_back('\n');
      sink_.Write(line_);
    }
    rows_.clear();
    block_ = nullptr;
    afterBlock_ = true;
  }

  OutputSink& sink_;
  const bool exactBytes_;
  const bool terminal_;
  std::vector<std::string> cells_;
  std::string shown_;
  std::string line_;
  const TextLayout* block_ = nullptr;  // the layout of the rows held
  std::vector<std::vector<std::string>> rows_;
  bool afterBlock_ = false;  // the last thing written was a block of columns
};

}  // namespace

std::unique_ptr<RecordWriter> NewTextWriter(OutputSink& sink, bool exactBytes, bool terminal) {
  return std::make_unique<TextWriter>(sink, exactBytes, terminal);
}

}  // namespace ledra
