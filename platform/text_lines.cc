#include "platform/text_lines.h"

namespace ledra {

namespace {
constexpr int kCtrlZ = 0x1A;
}

int TextLineReader::NextRawByte() {
  if (ended_) return -1;
  if (position_ >= filled_) {
    size_t got = 0;
    OsError err;
    if (!file_ || !file_->Read(buffer_, sizeof buffer_, &got, &err)) {
      readFailed_ = true;
      ended_ = true;
      return -1;
    }
    if (got == 0) {
      ended_ = true;
      return -1;
    }
    filled_ = got;
    position_ = 0;
  }
  int c = static_cast<unsigned char>(buffer_[position_++]);
  if (c == kCtrlZ) {
    ended_ = true;
    return -1;
  }
  return c;
}

int TextLineReader::NextChar() {
  int c;
  if (pending_ != -2) {
    c = pending_;
    pending_ = -2;
  } else {
    c = NextRawByte();
  }
  if (c != '\r') return c;
  int next = NextRawByte();
  if (next == '\n') return '\n';
  pending_ = next;
  return '\r';
}

bool TextLineReader::ReadPiece(std::string* piece, size_t maxChars) {
  piece->clear();
  while (piece->size() < maxChars) {
    int c = NextChar();
    if (c < 0) break;
    piece->push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !piece->empty();
}

}  // namespace ledra
