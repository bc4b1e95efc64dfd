// The program's arguments as the system holds them. Windows keeps the command line in
// UTF-16, and the char arguments its C runtime hands to main() are that line converted to
// the ANSI code page, best fit included: a name the code page lacks arrives changed, and no
// longer names its file. So on Windows the arguments are taken from the wide command line
// and converted for their use; on POSIX they are the bytes main() received.
#ifndef LEDRA_PLATFORM_COMMAND_LINE_H_
#define LEDRA_PLATFORM_COMMAND_LINE_H_

#include <deque>
#include <string>
#include <vector>

namespace ledra {

// What the arguments are converted to on Windows.
enum class ArgumentText {
  // Paths as the platform of LedraCmd takes them (Platform::PathFromUtf8 of the argument):
  // ANSI text, with a component the code page lacks in the form the platform reads back,
  // so that '-f D:\表\p.txt' opens that very file in any code page.
  PlatformPaths,
  // UTF-8 throughout (ledra, whose platform then takes UTF-8 paths: Platform::UseUtf8Paths).
  Utf8,
};

class CommandLine {
 public:
  // `argc` and `argv` are main()'s, which POSIX keeps and Windows replaces by the wide
  // command line converted to `text` (main()'s own are kept if the wide line cannot be had).
  CommandLine(int argc, char** argv, ArgumentText text);
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  int argc() const { return static_cast<int>(arguments_.size()); }
  // Null-terminated, as main()'s; valid while this object lives.
  const char* const* argv() const { return pointers_.data(); }

  // The value of an environment variable in the same text, or null when it is not set;
  // valid while this object lives.
  const char* Environment(const char* name);

 private:
  std::vector<std::string> arguments_;
  std::vector<const char*> pointers_;
  ArgumentText text_;
  std::deque<std::string> environment_;  // never moves what it holds
};

}  // namespace ledra

#endif  // LEDRA_PLATFORM_COMMAND_LINE_H_
