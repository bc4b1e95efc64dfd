// Reads the parameter file as the C runtime's text mode does on Windows, on every
// platform alike: "\r\n" arrives as "\n" and a Ctrl-Z byte ends the file.
#ifndef LEDRA_PLATFORM_TEXT_LINES_H_
#define LEDRA_PLATFORM_TEXT_LINES_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace ledra {

class TextLineReader {
 public:
  explicit TextLineReader(std::unique_ptr<File> file) : file_(std::move(file)) {}

  // Reads the next piece of a line: at most maxChars characters, the line feed included
  // when it fits. False at the end of the file when nothing was read. A read error counts
  // as the end of the file.
  bool ReadPiece(std::string* piece, size_t maxChars = 255);
  // Whether the file could not be read (as opposed to having ended): no file, a folder
  // opened as a file, an I/O error.
  bool readFailed() const { return readFailed_; }

 private:
  // The next byte in text mode, or -1 at the end.
  int NextChar();
  int NextRawByte();

  std::unique_ptr<File> file_;
  char buffer_[4096];
  size_t position_ = 0;
  size_t filled_ = 0;
  bool ended_ = false;
  bool readFailed_ = false;
  int pending_ = -2;  // a byte read ahead after a '\r'; -2 when none
};

}  // namespace ledra

#endif  // LEDRA_PLATFORM_TEXT_LINES_H_
