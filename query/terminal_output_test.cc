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
      {"UTF-8 and high bytes stay", {"caf\xc3\xa9 \x81\n"}, "caf\xc3\xa9 \x81\n"},
  };
  for (const Case& c : cases) {
    StringSink sink;
    TerminalOutput out(sink);
    for (const std::string& w : c.writes) out.Write(w);
    out.Finish();
    EXPECT_EQ(sink.text, c.shown) << c.what;
  }
}

}  // namespace
}  // namespace ledra
