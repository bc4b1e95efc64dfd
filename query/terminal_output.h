// Results shown on a terminal rather than sent to a pipe or a file. Names come from the
// disks catalogued, and any user of those disks may have chosen them: an escape sequence
// in a name must not reach the terminal as a command, nor a line feed forge a result line.
// Pipes and files keep the stored bytes, so that the paths still name real files.
#ifndef LEDRA_QUERY_TERMINAL_OUTPUT_H_
#define LEDRA_QUERY_TERMINAL_OUTPUT_H_

#include <string>
#include <string_view>

#include "query/record_writer.h"

namespace ledra {

// Appends `text` (a name, a path, one cell of text output) with every control character
// written out as LedraCmd's messages write them: C0 controls and DEL as '\n', '\t', '\r'
// or '\x1b', C1 controls as the bytes that carry them ('\xc2\x9b' for U+009B, '\x9b' for
// a lone byte 0x9B, which a terminal in an 8-bit code page obeys too). Everything else,
// other bytes that are not UTF-8 included, stays.
void AppendForTerminal(std::string_view text, std::string* out);

// Passes whole output (JSON, CSV, help) on to `next` with its control characters written
// out as AppendForTerminal does, except the tab and line end that separate columns and
// lines, and a carriage return that begins a CSV line end. Text output escapes each cell
// itself (a line feed in a name included) before it reaches this. Call Finish() after the
// last Write.
class TerminalOutput final : public OutputSink {
 public:
  explicit TerminalOutput(OutputSink& next) : next_(next) {}
  void Write(std::string_view bytes) override;
  // Shows a carriage return still held back for the byte after it.
  void Finish();

 private:
  OutputSink& next_;
  bool heldReturn_ = false;  // the last byte written was '\r'
  std::string buffer_;
};

}  // namespace ledra

#endif  // LEDRA_QUERY_TERMINAL_OUTPUT_H_
