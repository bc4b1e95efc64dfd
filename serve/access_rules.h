// Who may ask `ledra serve` anything. On a loopback address only requests whose Host names
// that address (or localhost) are answered, so that a page of another site cannot reach the
// catalogues by pointing its own host name at 127.0.0.1. On any other address every request
// must bring the server's token: in a header for scripts, or in a cookie that a one-time
// link sets for a browser.
#ifndef LEDRA_SERVE_ACCESS_RULES_H_
#define LEDRA_SERVE_ACCESS_RULES_H_

#include <mutex>
#include <string>

namespace ledra {

// Whether `host` (an address or a name, without port or brackets) is a loopback one:
// 127.0.0.0/8, ::1 or localhost.
bool IsLoopbackHost(const std::string& host);

// The name of the cookie that carries the token.
extern const char kTokenCookie[];

enum class Access {
  Allowed,
  WrongHost,  // 403: the Host header does not name the loopback address served
  NoToken,    // 401: the token is missing or wrong
};

class AccessRules {
 public:
  // `listenHost` and `port` as bound; `token` is required unless the host is a loopback
  // one; `loginCode` is the one-time code of the printed link (empty: none).
  AccessRules(std::string listenHost, int port, std::string token, std::string loginCode);

  bool loopback() const { return loopback_; }

  // Judges one request by its Host header, its "Authorization: Bearer TOKEN" or
  // "X-Ledra-Token" header and its Cookie header.
  Access Judge(const std::string& hostHeader, const std::string& authorization,
               const std::string& tokenHeader, const std::string& cookie) const;

  // True the first time `code` is the login code, never again: the link it came in may
  // stay in a browser's history or a terminal's scrollback.
  bool TakeLoginCode(const std::string& code);

  // The Set-Cookie value that hands the token to a browser.
  std::string TokenCookie() const;

 private:
  bool HostAllowed(const std::string& hostHeader) const;
  bool TokenMatches(const std::string& presented) const;

  std::string listenHost_;
  int port_;
  bool loopback_;
  std::string token_;
  std::mutex loginMutex_;
  std::string loginCode_;
};

}  // namespace ledra

#endif  // LEDRA_SERVE_ACCESS_RULES_H_
