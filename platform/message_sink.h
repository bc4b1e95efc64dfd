// Where the program's messages go: standard output or standard error in a run, a string
// in tests. A sink remembers whether its last byte ended a line, so that an error report
// can start on a fresh line after a message that has no line end of its own.
#ifndef LEDRA_PLATFORM_MESSAGE_SINK_H_
#define LEDRA_PLATFORM_MESSAGE_SINK_H_

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

 private:
  std::ostream& out_;
  bool atLineStart_ = true;
};

}  // namespace ledra

#endif  // LEDRA_PLATFORM_MESSAGE_SINK_H_
