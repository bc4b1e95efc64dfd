// The command line of `ledra`, the reader of catalogues: subcommands volumes, find, ls and
// du, the options they share (where the catalogues are, how results are written) and the
// exit status, which follows grep: 0 something found or listed, 1 nothing matched, 2 an
// error (other catalogues are still read).
#ifndef LEDRA_APP_LEDRA_CLI_H_
#define LEDRA_APP_LEDRA_CLI_H_

#include <cstdint>
#include <string>
#include <vector>

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

  // Writes `line` to `errors` as one line after "ledra: ", its control characters escaped:
  // the lines name catalogue files and folders, whose names come from the disk.
  void Message(const std::string& line) const;
};

// Options every subcommand takes.
struct CommonOptions {
  std::vector<std::string> in;
  bool backups = false;
  bool json = false;
  bool csv = false;
  bool bytes = false;
  std::string encoding;
};

// Runs `ledra` with its arguments (argv[0] is the program) and returns the exit status.
int RunReader(int argc, const char* const* argv, ReaderContext& context);

}  // namespace ledra

#endif  // LEDRA_APP_LEDRA_CLI_H_
