// The HTTP side of `ledra serve`: the embedded page and the JSON API, every answer with
// headers that keep a browser from running anything but the page's own script, behind the
// access rules, on a fixed number of threads. The HTTP library stays inside web_server.cc.
#ifndef LEDRA_SERVE_WEB_SERVER_H_
#define LEDRA_SERVE_WEB_SERVER_H_

#include <memory>
#include <string>

#include "serve/access_rules.h"
#include "serve/api_runner.h"

namespace ledra {

// What bounds the server's use of the machine.
struct ServerLimits {
  int threads = 8;         // requests answered at once
  int queued = 64;         // connections accepted and waiting for a thread
  int heavyAtOnce = 1;     // dupes, unique, diff and exports, which read whole catalogues
  int socketSeconds = 10;  // a client that sends or reads nothing for so long is dropped
};

// The headers every answer carries.
struct SecurityHeader {
  const char* name;
  const char* value;
};
extern const SecurityHeader kSecurityHeaders[];
extern const size_t kSecurityHeaderCount;

class WebServer {
 public:
  WebServer(ApiRunner& runner, ServerLimits limits);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds `host`:`port` (0: a free port); *boundPort receives the port. False with *error.
  bool Bind(const std::string& host, int port, int* boundPort, std::string* error);
  // The rules every request passes first; must be set before Run and outlive the server.
  void SetAccess(AccessRules* rules);
  // Answers requests until Stop; false when the server could not run.
  bool Run();
  // Ends Run from any thread (the one that waits for the user's stop).
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ledra

#endif  // LEDRA_SERVE_WEB_SERVER_H_
