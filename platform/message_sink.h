// Where the program's messages go: standard output or standard error in a run, a string
// in tests. A sink remembers whether its last byte ended a line, so that an error report
// can start on a fresh line after a message that has no line end of its own.
#ifndef LEDRA_PLATFORM_MESSAGE_SINK_H_
#define LEDRA_PLATFORM_MESSAGE_SINK_H_

#include <ostream>
#include <string>
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

 private:
  std::ostream& out_;
  bool atLineStart_ = true;
};

// A name from the file system as a message may show it: control characters (0x00 to
// 0x1F and 0x7F) become '\n', '\t', '\r' or '\xHH', so that no name can forge a line
// or send the terminal a command. Backslashes and bytes from 0x80 stay as they are.
std::string EscapeControls(std::string_view name);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_MESSAGE_SINK_H_
