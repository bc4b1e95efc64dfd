#include "serve/access_rules.h"

#include <gtest/gtest.h>

namespace ledra {
namespace {

TEST(AccessRulesTest, LoopbackHosts) {
  const struct {
    const char* host;
    bool loopback;
  } cases[] = {
      {"127.0.0.1", true}, {"127.1.2.3", true}, {"localhost", true}, {"LOCALHOST", true},
      {"::1", true},       {"0.0.0.0", false},  {"10.0.0.1", false}, {"127.0.0.1.nip.io", false},
      {"127.evil", false}, {"", false},         {"::", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsLoopbackHost(c.host), c.loopback) << c.host;
}

TEST(AccessRulesTest, OnLoopbackOnlyItsOwnHostIsAnswered) {
  AccessRules rules("127.0.0.1", 8765, "", "");
  const struct {
    const char* host;
    Access access;
  } cases[] = {
      {"127.0.0.1:8765", Access::Allowed},
      {"localhost:8765", Access::Allowed},
      {"LocalHost:8765", Access::Allowed},
      {"127.0.0.1", Access::WrongHost},  // not port 80
      {"127.0.0.1:8766", Access::WrongHost},
      {"evil.example:8765", Access::WrongHost},  // DNS rebinding
      {"127.0.0.1.evil.example:8765", Access::WrongHost},
      {"", Access::WrongHost},
  };
  for (const auto& c : cases) EXPECT_EQ(rules.Judge(c.host, "", "", ""), c.access) << c.host;
  AccessRules v6("::1", 80, "", "");
  EXPECT_EQ(v6.Judge("[::1]", "", "", ""), Access::Allowed);
  EXPECT_EQ(v6.Judge("[::1]:80", "", "", ""), Access::Allowed);
  EXPECT_EQ(v6.Judge("::1", "", "", ""), Access::WrongHost);
}

TEST(AccessRulesTest, OffLoopbackTheTokenIsRequired) {
  const std::string token = "0123456789abcdef0123456789abcdef";
  AccessRules rules("0.0.0.0", 8765, token, "login-code-123456");
  const struct {
    std::string authorization;
    std::string header;
    std::string cookie;
    Access access;
  } cases[] = {
      {"", "", "", Access::NoToken},
      {"Bearer " + token, "", "", Access::Allowed},
      {"Bearer wrong", "", "", Access::NoToken},
      {"Basic " + token, "", "", Access::NoToken},
      {"", token, "", Access::Allowed},
      {"", "", "a=1; ledra_token=" + token + "; b=2", Access::Allowed},
      {"", "", "ledra_token=" + token.substr(1), Access::NoToken},
      {"", "", "xledra_token=" + token, Access::NoToken},
      {"", "", "ledra_token=", Access::NoToken},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rules.Judge("anything:8765", c.authorization, c.header, c.cookie), c.access)
        << c.authorization << "|" << c.header << "|" << c.cookie;
  }
  // The one-time link works once.
  EXPECT_FALSE(rules.TakeLoginCode("login-code-000000"));
  EXPECT_TRUE(rules.TakeLoginCode("login-code-123456"));
  EXPECT_FALSE(rules.TakeLoginCode("login-code-123456"));
  EXPECT_FALSE(rules.TakeLoginCode(""));
  EXPECT_NE(rules.TokenCookie().find("HttpOnly"), std::string::npos);
  EXPECT_NE(rules.TokenCookie().find("ledra_token=" + token), std::string::npos);
}

}  // namespace
}  // namespace ledra
