#include "platform/text_lines.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_platform.h"

namespace ledra {
namespace {

std::vector<std::string> Pieces(const std::string& content, size_t maxChars = 255) {
  std::ostringstream errorText;
  MessageSink errors(errorText);
  FakePlatform fake(errors);
  fake.AddFileWithContent("C:\\p.txt", content);
  OsError err;
  TextLineReader reader(fake.OpenForReading("C:\\p.txt", &err));
  std::vector<std::string> pieces;
  std::string piece;
  while (reader.ReadPiece(&piece, maxChars)) pieces.push_back(piece);
  return pieces;
}

TEST(TextLineReaderTest, TextModeLikeTheWindowsRuntime) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Pieces(""), V{});
  EXPECT_EQ(Pieces("a\nb"), (V{"a\n", "b"}));
  EXPECT_EQ(Pieces("a\r\nb\r\n"), (V{"a\n", "b\n"}));
  EXPECT_EQ(Pieces("a\rb\r"), (V{"a\rb\r"}));        // a lone CR stays
  EXPECT_EQ(Pieces("a\r\r\nb"), (V{"a\r\n", "b"}));  // CR before CR LF
  EXPECT_EQ(Pieces("a\n\x1a"
                   "b\n"),
            (V{"a\n"}));  // Ctrl-Z ends the file
  EXPECT_EQ(Pieces("a\r\x1a\n"), (V{"a\r"}));
  EXPECT_EQ(Pieces("\n\n"), (V{"\n", "\n"}));
  EXPECT_EQ(Pieces(std::string("a\0b\n", 4)), (V{std::string("a\0b\n", 4)}));
}

TEST(TextLineReaderTest, LongLinesComeInPieces) {
  const std::string line = std::string(600, 'x') + "\n";
  const std::vector<std::string> pieces = Pieces(line);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].size(), 255u);
  EXPECT_EQ(pieces[1].size(), 255u);
  EXPECT_EQ(pieces[2], std::string(90, 'x') + "\n");
  // A line of exactly 255 characters leaves its line feed for the next piece.
  EXPECT_EQ(Pieces(std::string(255, 'y') + "\nz").size(), 3u);
  // Pieces longer than the reader's own block.
  EXPECT_EQ(Pieces(std::string(10000, 'q'), 9000).size(), 2u);
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// A parameter file is read in the encoding an editor saved it in; its lines come as UTF-8
// when it was Unicode, and as its own bytes otherwise.
TEST(TextLineReaderTest, ReadsTheEncodingTheFileWasSavedIn) {
  using V = std::vector<std::string>;
  struct Case {
    const char* what;
    std::string content;
    TextEncoding encoding;
    V pieces;
  };
  const std::string cafe = "Caf\xC3\xA9";                           // UTF-8
  const std::string kana = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF";  // データ
  const std::vector<Case> cases = {
      {"UTF-8 with its mark: the mark is no part of the first line",
       "\xEF\xBB\xBF#DEV C:\\x\r\n#DEV D:\\\r\n",
       TextEncoding::Utf8,
       {"#DEV C:\\x\n", "#DEV D:\\\n"}},
      {"UTF-16LE as Notepad's 'Unicode'",
       Utf16(u"#DEV C:\\Caf\u00E9\r\n#IGN *.tmp", false),
       TextEncoding::Utf16LittleEndian,
       {"#DEV C:\\" + cafe + "\n", "#IGN *.tmp"}},
      {"UTF-16BE",
       Utf16(u"#DEV \u30C7\u30FC\u30BF\n", true),
       TextEncoding::Utf16BigEndian,
       {"#DEV " + kana + "\n"}},
      {"a character outside the BMP, and a lone surrogate",
       Utf16(u"a\U0001F600b\xD800\n", false),
       TextEncoding::Utf16LittleEndian,
       {"a\xF0\x9F\x98\x80"
        "b\xEF\xBF\xBD\n"}},
      {"a code unit whose low byte is Ctrl-Z ends nothing (U+4E1A)",
       Utf16(u"\u4E1A\n", false),
       TextEncoding::Utf16LittleEndian,
       {"\xE4\xB8\x9A\n"}},
      {"Ctrl-Z itself ends UTF-16 text",
       Utf16(u"a\n\x1A"
             u"b\n",
             false),
       TextEncoding::Utf16LittleEndian,
       {"a\n"}},
      {"UTF-8 without a mark (Notepad's default)",
       "#DEV " + cafe + "\n",
       TextEncoding::Utf8,
       {"#DEV " + cafe + "\n"}},
      {"code page 1252 bytes are no UTF-8",
       "#DEV Caf\xE9\n",
       TextEncoding::CodePage,
       {"#DEV Caf\xE9\n"}},
      {"code page 932 bytes are no UTF-8",
       "#DEV \x83\\\x83t\x83g\n",
       TextEncoding::CodePage,
       {"#DEV \x83\\\x83t\x83g\n"}},
      {"an overlong form is no UTF-8",
       "#DEV \xC0\xAF\n",
       TextEncoding::CodePage,
       {"#DEV \xC0\xAF\n"}},
      {"plain ASCII stays as it is", "#DEV C:\\\n", TextEncoding::CodePage, {"#DEV C:\\\n"}},
      {"UTF-8 up to Ctrl-Z, other bytes after it",
       "#DEV " + cafe + "\n\x1A\xFF",
       TextEncoding::Utf8,
       {"#DEV " + cafe + "\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream errorText;
    MessageSink errors(errorText);
    FakePlatform fake(errors);
    fake.AddFileWithContent("C:\\p.txt", c.content);
    OsError err;
    TextLineReader reader(fake.OpenForReading("C:\\p.txt", &err));
    V pieces;
    std::string piece;
    while (reader.ReadPiece(&piece)) pieces.push_back(piece);
    EXPECT_EQ(pieces, c.pieces);
    EXPECT_EQ(reader.encoding(), c.encoding);
    EXPECT_EQ(reader.unicode(), c.encoding != TextEncoding::CodePage);
  }
}

// Pieces of Unicode text count characters, not the bytes of their UTF-8 form.
TEST(TextLineReaderTest, UnicodePiecesCountCharacters) {
  std::u16string line;
  for (int i = 0; i < 300; ++i) line += u'\u8868';  // 表
  std::ostringstream errorText;
  MessageSink errors(errorText);
  FakePlatform fake(errors);
  for (const bool bigEndian : {false, true}) {
    fake.AddFileWithContent("C:\\p.txt", Utf16(line + u"\n", bigEndian));
    OsError err;
    TextLineReader reader(fake.OpenForReading("C:\\p.txt", &err));
    std::string piece;
    ASSERT_TRUE(reader.ReadPiece(&piece, 255));
    EXPECT_EQ(reader.pieceLength(), 255u);
    EXPECT_EQ(piece.size(), 255u * 3);
    ASSERT_TRUE(reader.ReadPiece(&piece, 255));
    EXPECT_EQ(reader.pieceLength(), 46u);  // 45 characters and the line feed
    EXPECT_FALSE(reader.ReadPiece(&piece, 255));
  }
  EXPECT_FALSE(IsUtf8WithNonAscii("ascii only"));
  EXPECT_FALSE(IsUtf8WithNonAscii("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsUtf8WithNonAscii("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(IsUtf8WithNonAscii("\xE3\x83"));          // cut short
  EXPECT_TRUE(IsUtf8WithNonAscii("\xF4\x8F\xBF\xBF"));
}

TEST(MessageSinkTest, ReportsStartOnAFreshLine) {
  std::ostringstream text;
  MessageSink sink(text);
  sink.StartLine();
  sink.Write("Error occured while cataloging A.");
  sink.Write("Error occured while cataloging B.");
  sink.StartLine();
  sink.WriteLine("report");
  sink.StartLine();
  sink.Write("x\n");
  sink.StartLine();
  EXPECT_EQ(text.str(),
            "Error occured while cataloging A.Error occured while cataloging B.\nreport\nx\n");
}

// A status line starts on a line of its own, is rewritten in place (blanking what a longer
// one left), and is blanked out before any other message.
TEST(MessageSinkTest, StatusLineIsClearedBeforeEveryMessage) {
  std::ostringstream text;
  MessageSink sink(text);
  sink.Write("Error occured while cataloging A.");
  sink.ShowStatus("longer one");
  sink.ShowStatus("short");
  sink.Write("Error occured while cataloging B.");
  sink.ShowStatus("again");
  sink.ClearStatus();
  sink.ClearStatus();
  sink.WriteLine("summary");
  EXPECT_EQ(text.str(),
            "Error occured while cataloging A.\n"
            "\rlonger one"
            "\rshort     \rshort"
            "\r     \rError occured while cataloging B.\n"
            "\ragain\r     \r"
            "summary\n");
}

TEST(MessageSinkTest, PlatformReportNamesCauseAndFile) {
  std::ostringstream text;
  MessageSink errors(text);
  FakePlatform fake(errors);
  errors.Write("Error occured while cataloging C:\\x.");
  fake.ReportError("create", "DATA.kvl", OsError{false, 5, "Access is denied."});
  fake.ReportError("delete", "B.kvl", OsError{true, 2, ""});
  EXPECT_EQ(text.str(),
            "Error occured while cataloging C:\\x.\n"
            "LedraCmd: cannot create 'DATA.kvl': Access is denied.\n"
            "LedraCmd: cannot delete 'B.kvl'\n");
}

// Names from the file system cannot forge a line or command the terminal.
TEST(MessageSinkTest, ControlCharactersOfNamesAreEscaped) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"plain.kvl", "plain.kvl"},
      {"a\nFatal Error: x", "a\\nFatal Error: x"},
      {"\x1b[2J\t\r", "\\x1b[2J\\t\\r"},
      {std::string("nul\0\x7f", 5), "nul\\x00\\x7f"},
      {"C:\\dir\\\xe9t\xe9", "C:\\dir\\\xe9t\xe9"},  // backslashes and high bytes stay
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.name), c.shown) << c.shown;
}

}  // namespace
}  // namespace ledra
