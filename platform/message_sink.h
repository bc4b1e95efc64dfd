// Where the program's messages go: standard output or standard error in a run, a string
// in tests. A sink remembers whether its last byte ended a line, so that an error report
// can start on a fresh line after a message that has no line end of its own. On a terminal
// it also holds a status line (a walk's progress) that every other message clears first.
#ifndef LEDRA_PLATFORM_MESSAGE_SINK_H_
#define LEDRA_PLATFORM_MESSAGE_SINK_H_

#include <cstddef>
#include <ostream>
#include <string_view>

namespace ledra {

class MessageSink {
 public:
  explicit MessageSink(std::ostream& out) : out_(out) {}
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;

  // Writes the text as it stands and flushes it.
  void Write(std::string_view text);
  // Writes the text followed by a line end.
  void WriteLine(std::string_view text);
  // Ends the current line if something has been written on it.
  void StartLine();

  // Marks the sink as writing to a terminal `columns` wide (0 when it does not tell); only
  // such a sink is given status lines.
  void SetTerminal(int columns) {
    terminal_ = true;
    columns_ = columns;
  }
  bool terminal() const { return terminal_; }
  int columns() const { return columns_; }

  // Shows `text` (one line, no line end, no wider than the terminal) as the status line,
  // in place of the one shown before. For a terminal only: it writes carriage returns and
  // blanks.
  void ShowStatus(std::string_view text);
  // Blanks the status line out, if one is shown, leaving the cursor at its start.
  void ClearStatus();

 private:
  std::ostream& out_;
  bool atLineStart_ = true;
  bool terminal_ = false;
  int columns_ = 0;
  size_t statusLength_ = 0;  // characters of the status line on screen, 0 for none
};

}  // namespace ledra

#endif  // LEDRA_PLATFORM_MESSAGE_SINK_H_
