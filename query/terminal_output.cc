#include "query/terminal_output.h"

#include "platform/message_sink.h"

namespace ledra {

void TerminalOutput::Write(std::string_view bytes) {
  buffer_.clear();
  size_t start = 0;
  if (heldReturn_ && !bytes.empty()) {
    buffer_ += bytes.front() == '\n' ? "\r" : "\\r";
    heldReturn_ = false;
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if ((b >= 0x20 && b != 0x7F) || b == '\n' || b == '\t') continue;
    buffer_.append(bytes.data() + start, i - start);
    start = i + 1;
    if (b != '\r') {
      buffer_ += EscapeControls(bytes.substr(i, 1));
    } else if (i + 1 == bytes.size()) {
      heldReturn_ = true;  // a CSV line end may be cut between two writes
    } else {
      buffer_ += bytes[i + 1] == '\n' ? "\r" : "\\r";
    }
  }
  buffer_.append(bytes.data() + start, bytes.size() - start);
  if (!buffer_.empty()) next_.Write(buffer_);
}

void TerminalOutput::Finish() {
  if (!heldReturn_) return;
  heldReturn_ = false;
  next_.Write("\\r");
}

}  // namespace ledra
