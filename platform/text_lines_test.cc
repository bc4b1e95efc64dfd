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
