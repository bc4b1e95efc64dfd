#include "query/terminal_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

TEST(TerminalOutputTest, ControlCharactersInNamesCannotReachTheTerminal) {
  struct Case {
    const char* what;
    std::vector<std::string> writes;
    std::string shown;
  };
  const Case cases[] = {
      {"plain text and separators pass", {"a\tb\n", "c d\n"}, "a\tb\nc d\n"},
      {"an escape sequence is shown, not obeyed", {"x\x1b[2Jy\n"}, "x\\x1b[2Jy\n"},
      {"bell, backspace and delete", {std::string("\a\b\x7f", 3)}, "\\x07\\x08\\x7f"},
      {"NUL", {std::string("a\0b", 3)}, "a\\x00b"},
      {"a lone carriage return could overwrite the line", {"evil\rgood\n"}, "evil\\rgood\n"},
      {"a CSV line end stays", {"a,b\r\n"}, "a,b\r\n"},
      {"a CSV line end cut between writes", {"a,b\r", "\nc\r\n"}, "a,b\r\nc\r\n"},
      {"a return at a write's end, then a name", {"a\r", "b"}, "a\\rb"},
      {"a return at the very end", {"a\r"}, "a\\r"},
      {"UTF-8 and high bytes beyond C1 stay", {"caf\xc3\xa9 \xff\n"}, "caf\xc3\xa9 \xff\n"},
      {"C1 controls, as characters or lone bytes",
       {"a\xc2\x9b"
        "1m b\x9b"
        "1m\n"},
       "a\\xc2\\x9b1m b\\x9b1m\n"},
      {"bytes 0x80 to 0x9F inside a character stay",
       {"\xe2\x80\x9cq\xe2\x80\x9d"},
       "\xe2\x80\x9cq\xe2\x80\x9d"},
  };
  for (const Case& c : cases) {
    StringSink sink;
    TerminalOutput out(sink);
    for (const std::string& w : c.writes) out.Write(w);
    out.Finish();
    EXPECT_EQ(sink.text, c.shown) << c.what;
  }
}

// A cell of text output: nothing in a name may end its line, move to another column or
// reach the terminal as a command; every other character, and bytes that are not UTF-8,
// show as they are.
TEST(TerminalOutputTest, NamesInTextCellsShowEveryControlEscaped) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"new\nline.txt", "new\\nline.txt"},
      {"Photos:\xe2\x88\x95"
       "etc\n",
       "Photos:\xe2\x88\x95"
       "etc\\n"},
      {"tab\there", "tab\\there"},
      {"cr\rlf", "cr\\rlf"},
      {"esc\x1b[31mred", "esc\\x1b[31mred"},
      {"csi\xc2\x9b"
       "31m",
       "csi\\xc2\\x9b"
       "31m"},
      {"raw\x9b"
       "31m",
       "raw\\x9b"
       "31m"},
      {"bad\xffutf8", "bad\xffutf8"},
      {"\xc3\xa9t\xc3\xa9 \xe2\x80\x9c\xe2\x80\x9d", "\xc3\xa9t\xc3\xa9 \xe2\x80\x9c\xe2\x80\x9d"},
      {"C:\\Users\\x", "C:\\Users\\x"},
      {std::string("nul\0", 4), "nul\\x00"},
  };
  for (const auto& c : cases) {
    std::string shown;
    AppendForTerminal(c.name, &shown);
    EXPECT_EQ(shown, c.shown) << c.name;
  }
}

}  // namespace
}  // namespace ledra
