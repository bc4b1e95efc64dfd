#include "serve/access_rules.h"

#include <cctype>
#include <utility>

namespace ledra {

const char kTokenCookie[] = "ledra_token";

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Compares in a time that depends on the lengths only, so that the answer's timing does
// not tell how much of a guessed token was right.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

// The value of cookie `name` in a Cookie header ("a=1; b=2"), empty when absent.
std::string CookieValue(const std::string& header, const std::string& name) {
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::string pair = header.substr(at, end - at);
    const size_t first = pair.find_first_not_of(' ');
    pair = first == std::string::npos ? "" : pair.substr(first);
    const size_t equals = pair.find('=');
    if (equals != std::string::npos && pair.compare(0, equals, name) == 0) {
      return pair.substr(equals + 1);
    }
    at = end + 1;
  }
  return "";
}

}  // namespace

bool IsLoopbackHost(const std::string& host) {
  const std::string h = Lower(host);
  if (h == "localhost" || h == "::1") return true;
  if (h.compare(0, 4, "127.") != 0) return false;
  int dots = 0;
  for (char c : h) {
    if (c == '.') {
      ++dots;
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return dots == 3;
}

AccessRules::AccessRules(std::string listenHost, int port, std::string token, std::string loginCode)
    : listenHost_(Lower(std::move(listenHost))),
      port_(port),
      loopback_(IsLoopbackHost(listenHost_)),
      token_(std::move(token)),
      loginCode_(std::move(loginCode)) {}

bool AccessRules::HostAllowed(const std::string& hostHeader) const {
  const std::string host = Lower(hostHeader);
  const std::string port = std::to_string(port_);
  std::string names[] = {listenHost_, "localhost"};
  if (listenHost_ == "::1") names[0] = "[::1]";
  for (const std::string& name : names) {
    if (host == name + ":" + port) return true;
    if (port_ == 80 && host == name) return true;
  }
  return false;
}

bool AccessRules::TokenMatches(const std::string& presented) const {
  return SameSecret(presented, token_);
}

Access AccessRules::Judge(const std::string& hostHeader, const std::string& authorization,
                          const std::string& tokenHeader, const std::string& cookie) const {
  if (loopback_) return HostAllowed(hostHeader) ? Access::Allowed : Access::WrongHost;
  const std::string bearer = "Bearer ";
  if (authorization.compare(0, bearer.size(), bearer) == 0 &&
      TokenMatches(authorization.substr(bearer.size()))) {
    return Access::Allowed;
  }
  if (TokenMatches(tokenHeader) || TokenMatches(CookieValue(cookie, kTokenCookie))) {
    return Access::Allowed;
  }
  return Access::NoToken;
}

bool AccessRules::TakeLoginCode(const std::string& code) {
  std::lock_guard<std::mutex> lock(loginMutex_);
  if (!SameSecret(code, loginCode_)) return false;
  loginCode_.clear();
  return true;
}

std::string AccessRules::TokenCookie() const {
  return std::string(kTokenCookie) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

}  // namespace ledra
