// Answers the API of `ledra serve` by running the subcommand that answers the same question
// on the command line, with the same catalogue options, and collecting its JSON Lines: the
// API's objects are the command line's, written by the same writers. Each answer reads the
// catalogues afresh, so that one LedraCmd has replaced since the last request is read in its
// new version, and one that has gone is gone. Answers are bounded: a page of results at
// most, and a time limit after which the query stops at its next result.
#ifndef LEDRA_SERVE_API_RUNNER_H_
#define LEDRA_SERVE_API_RUNNER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "serve/api_request.h"

namespace ledra {

// The catalogue options of `ledra serve`, given to every subcommand it runs.
struct ServeCatalogs {
  std::vector<std::string> in;
  const char* catalogsVariable = nullptr;  // LEDRA_CATALOGS; must outlive the runner
  bool backups = false;
  std::string encoding;
};

// One JSON answer: the HTTP status and the body.
struct ApiAnswer {
  int httpStatus = 200;
  std::string body;
};

// The JSON body of an error answer: {"error":"TEXT"}.
std::string ErrorBody(const std::string& text);

class ApiRunner {
 public:
  // `platform` must be usable from several threads at once (the reader's is).
  ApiRunner(Platform& platform, ServeCatalogs catalogs, int timeLimitMs);

  // The answer to a JSON call: 200 with {"status":N,"results":[...],"messages":[...],
  // "complete":B,"more":B} where results are the subcommand's JSON objects and status its
  // exit status; /api/volumes adds "damaged":[{"catalog","path","message"}]. 404 when the
  // volume named is not one catalogue. `call` is completed (volume resolved) on the way.
  ApiAnswer Answer(ApiCall call);

  // Resolves call->volume to its catalogue file for the calls that take a file (diff,
  // export), and fills call->volumeFileName. False with *answer set (404) when it names
  // none or several.
  bool ResolveVolume(ApiCall* call, ApiAnswer* answer);

  // Streams the export of a resolved export call through `write`, which returns false once
  // the client has gone (the export then stops). False when the export failed. An export
  // may take kExportTimeFactor times the time limit of other answers.
  bool StreamExport(const ApiCall& call, const std::function<bool(std::string_view)>& write);

 private:
  std::vector<std::string> Argv(const ApiCall& call) const;
  std::string DamagedList();

  Platform& platform_;
  ServeCatalogs catalogs_;
  int timeLimitMs_;
};

}  // namespace ledra

#endif  // LEDRA_SERVE_API_RUNNER_H_
