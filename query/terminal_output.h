// Results shown on a terminal rather than sent to a pipe or a file. Names come from the
// disks catalogued, and any user of those disks may have chosen them: an escape sequence
// in a name must not reach the terminal as a command. Pipes and files keep the stored
// bytes, so that the paths still name real files.
#ifndef LEDRA_QUERY_TERMINAL_OUTPUT_H_
#define LEDRA_QUERY_TERMINAL_OUTPUT_H_

#include <string>
#include <string_view>

#include "query/record_writer.h"

namespace ledra {

// Passes output on to `next` with every control character written out as LedraCmd's
// messages write them (`\x1b`, `\r`), except the tab and line end that separate columns
// and lines, and a carriage return that begins a CSV line end. Call Finish() after the
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
