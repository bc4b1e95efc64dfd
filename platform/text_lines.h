// Reads the parameter file as the C runtime's text mode does on Windows, on every
// platform alike: "\r\n" arrives as "\n" and a Ctrl-Z character ends the file.
//
// The file is read in the encoding it was saved in, as Windows editors save it: a UTF-8,
// UTF-16LE or UTF-16BE byte-order mark decides; without one, a file that is valid UTF-8 and
// holds a byte above 127 is UTF-8; anything else is text in the system's code page, handed
// on byte for byte as it always was. Text read from a Unicode encoding comes as UTF-8, and
// the caller turns what it needs into names and paths of its platform.
#ifndef LEDRA_PLATFORM_TEXT_LINES_H_
#define LEDRA_PLATFORM_TEXT_LINES_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace ledra {

// The encoding a parameter file was found in.
enum class TextEncoding { CodePage, Utf8, Utf16LittleEndian, Utf16BigEndian };

class TextLineReader {
 public:
  explicit TextLineReader(std::unique_ptr<File> file) : file_(std::move(file)) {}

  // Reads the next piece of a line: at most maxChars characters (characters of the decoded
  // text: a two-byte character of UTF-16 or a multi-byte one of UTF-8 counts once), the
  // line feed included when it fits. False at the end of the file when nothing was read. A
  // read error counts as the end of the file.
  bool ReadPiece(std::string* piece, size_t maxChars = 255);
  // How many characters the last piece held (its bytes, for text in the code page).
  size_t pieceLength() const { return pieceLength_; }
  // Whether the file could not be read (as opposed to having ended): no file, a folder
  // opened as a file, an I/O error at its start.
  bool readFailed() const { return readFailed_; }
  // The encoding the file was read in; known once the first piece was asked for.
  TextEncoding encoding() const { return encoding_; }
  // Whether pieces are UTF-8 decoded from a Unicode file rather than the file's own bytes.
  bool unicode() const { return encoding_ != TextEncoding::CodePage; }

 private:
  // Reads the whole file and decodes it into characters_ (or bytes_).
  void Load();
  // The next character in text mode, or -1 at the end.
  long NextChar();
  long NextRawChar();

  std::unique_ptr<File> file_;
  bool loaded_ = false;
  bool readFailed_ = false;
  TextEncoding encoding_ = TextEncoding::CodePage;
  std::u32string characters_;  // the text: code points, or bytes for the code page
  size_t position_ = 0;
  long pending_ = -2;  // a character read ahead after a '\r'; -2 when none
  size_t pieceLength_ = 0;
};

// Whether `bytes` is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF) and holds at least one byte above 127.
bool IsUtf8WithNonAscii(const std::string& bytes);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_TEXT_LINES_H_
