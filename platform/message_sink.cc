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

}  // namespace ledra
