// The command line of `ledra`, the reader of catalogues: one table of subcommands (volumes,
// find, ls, du, diff, dupes, unique, export, serve; app/ledra_command.h) and the exit status, which
// follows grep: 0 something found or listed, 1 nothing matched, 2 an error (other
// catalogues are still read).
#ifndef LEDRA_APP_LEDRA_CLI_H_
#define LEDRA_APP_LEDRA_CLI_H_

#include <cstdint>
#include <string>

#include "platform/message_sink.h"
#include "platform/platform.h"
#include "query/record_writer.h"

namespace ledra {

enum ReaderExitStatus : int {
  kReaderFound = 0,
  kReaderNothing = 1,
  kReaderError = 2,
};

// What a run of `ledra` needs from its surroundings besides the arguments.
struct ReaderContext {
  Platform& platform;
  OutputSink& out;                         // results and help
  MessageSink& errors;                     // problems, notices and usage errors
  const char* catalogsVariable = nullptr;  // LEDRA_CATALOGS, null when unset
  int64_t now = 0;                         // seconds since 1970, for "ago"
  int threads = 1;                         // default for find
  // The process's standard output itself, for lines that must show at once (the address
  // `serve` prints before it starts answering); null where output is collected (tests).
  StandardOutput* standardOutput = nullptr;
  bool terminal = false;  // `out` is shown on a terminal
  // The code page of names in catalogues of Windows roots when --encoding names none: the
  // machine's ANSI code page on Windows; empty elsewhere, where such names are kept as stored.
  std::string ansiCodePage{};
  // How many bytes of a block of text columns are held in memory before the rest is set
  // aside in a scratch file of `platform` (query/record_writer.h).
  size_t textHoldingBytes = kTextHoldingBytes;

  // Writes `line` to `errors` as one line after "ledra: ", its control characters escaped:
  // the lines name catalogue files and folders, whose names come from the disk.
  void Message(const std::string& line) const;
  // Writes `text` to `errors` after "ledra: " as it stands: a message of several lines by
  // design, whose names are escaped already (query/catalog_selection.h says which).
  void MessageText(const std::string& text) const;
};

// Runs `ledra` with its arguments (argv[0] is the program) and returns the exit status.
int RunReader(int argc, const char* const* argv, ReaderContext& context);

}  // namespace ledra

#endif  // LEDRA_APP_LEDRA_CLI_H_
