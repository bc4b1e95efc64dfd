#include "platform/message_sink.h"

namespace ledra {

void MessageSink::Write(std::string_view text) {
  if (text.empty()) return;
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
  atLineStart_ = text.back() == '\n';
}

void MessageSink::WriteLine(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.put('\n');
  out_.flush();
  atLineStart_ = true;
}

void MessageSink::StartLine() {
  if (!atLineStart_) WriteLine("");
}

std::string EscapeControls(std::string_view name) {
  static const char kHex[] = "0123456789abcdef";
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
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

}  // namespace ledra
