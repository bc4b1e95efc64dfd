#include "platform/message_sink.h"

#include <string>

#include "platform/byte_text.h"

namespace ledra {

void MessageSink::Write(std::string_view text) {
  if (text.empty()) return;
  ClearStatus();
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
  atLineStart_ = text.back() == '\n';
}

void MessageSink::WriteLine(std::string_view text) {
  ClearStatus();
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.put('\n');
  out_.flush();
  atLineStart_ = true;
}

void MessageSink::StartLine() {
  if (!atLineStart_) WriteLine("");
}

void MessageSink::ShowStatus(std::string_view text) {
  // The status line starts on a line of its own: a failure message has no line end.
  if (statusLength_ == 0) StartLine();
  // Carriage return, the new text, then blanks over what is left of a longer old text;
  // no terminal control sequences, which not every console understands.
  std::string line = "\r";
  line += text;
  if (text.size() < statusLength_) {
    line.append(statusLength_ - text.size(), ' ');
    line += '\r';
    line += text;
  }
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
  statusLength_ = text.size();
}

void MessageSink::ClearStatus() {
  if (statusLength_ == 0) return;
  std::string blank = "\r";
  blank.append(statusLength_, ' ');
  blank += '\r';
  out_.write(blank.data(), static_cast<std::streamsize>(blank.size()));
  statusLength_ = 0;
}

std::string EscapeControls(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += "\\x";
      AppendHexByte(b, &out);
    }
  }
  return out;
}

}  // namespace ledra
