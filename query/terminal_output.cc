#include "query/terminal_output.h"

#include "platform/byte_text.h"
#include "platform/message_sink.h"
#include "query/name_text.h"

namespace ledra {

namespace {

// The length of the well-formed UTF-8 character that starts at text[at] (a byte of 0x80
// or above), or 0 when none does.
size_t CharacterAt(std::string_view text, size_t at) {
  for (size_t n = 2; n <= 4 && at + n <= text.size(); ++n) {
    if (IsValidUtf8(text.substr(at, n))) return n;
  }
  return 0;
}

bool IsC1(unsigned char b) { return b >= 0x80 && b <= 0x9F; }

void AppendEscapedBytes(std::string_view bytes, std::string* out) {
  for (const char c : bytes) {
    out->append("\\x");
    AppendHexByte(static_cast<unsigned char>(c), out);
  }
}

// Appends text[at...] up to the end, or up to the first C0 control or DEL for the caller
// to judge; returns where it stopped. C1 controls, as characters or lone bytes, are
// escaped on the way.
size_t AppendUpToControl(std::string_view text, size_t at, std::string* out) {
  size_t start = at;
  while (at < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[at]);
    if (b < 0x20 || b == 0x7F) break;
    if (b < 0x80) {
      ++at;
      continue;
    }
    const size_t n = CharacterAt(text, at);
    const bool c1 =
        n == 2 ? b == 0xC2 && IsC1(static_cast<unsigned char>(text[at + 1])) : n == 0 && IsC1(b);
    if (!c1) {
      at += n == 0 ? 1 : n;
      continue;
    }
    out->append(text.data() + start, at - start);
    const size_t length = n == 0 ? 1 : n;
    AppendEscapedBytes(text.substr(at, length), out);
    at += length;
    start = at;
  }
  out->append(text.data() + start, at - start);
  return at;
}

}  // namespace

void AppendForTerminal(std::string_view text, std::string* out) {
  size_t at = 0;
  while ((at = AppendUpToControl(text, at, out)) < text.size()) {
    out->append(EscapeControls(text.substr(at, 1)));
    ++at;
  }
}

void TerminalOutput::Write(std::string_view bytes) {
  buffer_.clear();
  size_t at = 0;
  if (heldReturn_ && !bytes.empty()) {
    buffer_ += bytes.front() == '\n' ? "\r" : "\\r";
    heldReturn_ = false;
  }
  while ((at = AppendUpToControl(bytes, at, &buffer_)) < bytes.size()) {
    const char c = bytes[at];
    if (c == '\n' || c == '\t') {
      buffer_ += c;
    } else if (c != '\r') {
      buffer_ += EscapeControls(bytes.substr(at, 1));
    } else if (at + 1 == bytes.size()) {
      heldReturn_ = true;  // a CSV line end may be cut between two writes
    } else {
      buffer_ += bytes[at + 1] == '\n' ? "\r" : "\\r";
    }
    ++at;
  }
  if (!buffer_.empty()) next_.Write(buffer_);
}

void TerminalOutput::Finish() {
  if (!heldReturn_) return;
  heldReturn_ = false;
  next_.Write("\\r");
}

}  // namespace ledra
