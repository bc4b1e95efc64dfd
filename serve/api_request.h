// The questions `ledra serve` answers under /api/, checked before anything is read: every
// parameter is known, single, short, free of NUL bytes, and a path stays below the scan
// root of its volume. A valid request becomes the argument vector of the subcommand that
// answers the same question on the command line, so that the two cannot drift apart.
#ifndef LEDRA_SERVE_API_REQUEST_H_
#define LEDRA_SERVE_API_REQUEST_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ledra {

// The query parameters of one request, decoded, in the order they came (a name may repeat;
// that is refused).
using ApiParameters = std::vector<std::pair<std::string, std::string>>;

// The longest value a parameter may have, in bytes.
constexpr size_t kParameterLimit = 1024;

// How a request names its volume to the subcommand.
enum class VolumeUse {
  None,      // the request takes no volume (volumes, dupes; find without one)
  Selector,  // passed on as given; the subcommand selects among the catalogues itself
  File,      // resolved by the server to the catalogue's file path first (diff, export),
             // since the subcommand would also take the name of any file for a catalogue
};

// One API request as the subcommand that answers it.
struct ApiCall {
  std::string endpoint;                // "find", "ls", ...
  std::vector<std::string> arguments;  // after the subcommand's name; the common options
                                       // (--in, --backups, --encoding) are the server's
  VolumeUse volumeUse = VolumeUse::None;
  std::string volume;          // the selector of the request's volume, if any
  std::string volumeFileName;  // the file name of the catalogue it names, once resolved
  size_t volumeAt = 0;         // index in `arguments` to receive the file path (File)
  uint64_t offset = 0;         // results to pass over
  uint64_t limit = 0;          // results to return at most (0: all, for exports)
  bool json = true;            // false for an export, sent as its bytes
  std::string format;          // export: csv, jsonl, ncdu or sqlite
};

// Whether /api/NAME is an endpoint of the API.
bool IsApiEndpoint(const std::string& name);

// Checks the parameters of /api/ENDPOINT and builds its call. False with *error, a sentence
// for the JSON answer of a 400, when the endpoint is unknown or a parameter is not allowed.
bool BuildApiCall(const std::string& endpoint, const ApiParameters& parameters, ApiCall* call,
                  std::string* error);

// Whether `path` names a folder below a scan root and nothing else: components separated by
// '/' or '\', none of them '.' or '..', no leading separator, no drive, no NUL. "" is the
// scan root itself.
bool IsRelativeFolderPath(const std::string& path);

}  // namespace ledra

#endif  // LEDRA_SERVE_API_REQUEST_H_
