// The whole life of one run: finds the parameter file named on the command line, makes its
// folder the working folder, reads its "#IGN" and "#DEV" lines and hands every device line
// to the Cataloger.
#ifndef LEDRA_APP_DRIVER_H_
#define LEDRA_APP_DRIVER_H_

#include <string>

#include "platform/message_sink.h"
#include "platform/platform.h"

namespace ledra {

// Exit statuses of a run.
enum ExitStatus : int {
  kExitOk = 0,
  kExitStartFailed = 1,
  kExitUsage = 2,  // arguments given, but no "-f parameter_file" among them
  // The parameter file cannot be read, or its folder takes no new file.
  kExitCannotReadParameters = 3,
  kExitFolderBusy = 4,  // the working folder's lock was held for kLockWaitSeconds
  // The run went through every device line, but at least one device was not catalogued.
  kExitDeviceFailed = 5,
};

// How long a run waits for the working folder's lock before it gives up.
constexpr int kLockWaitSeconds = 300;

// Looks through arguments 1 to argc - 2 for "-name" or "/name" (name compared without
// regard to case); the first match puts the argument after it into `value` and returns 1.
// Without a match `value` becomes `defaultValue` and the result is 0.
int FindOption(int argc, const char* const* argv, const char* name, std::string* value,
               const std::string& defaultValue);

// Runs the program: "Add: " lines go to `out`, usage, fatal and device messages to
// `errors`. Returns the exit status.
int RunDriver(int argc, const char* const* argv, Platform& platform, MessageSink& out,
              MessageSink& errors);

}  // namespace ledra

#endif  // LEDRA_APP_DRIVER_H_
