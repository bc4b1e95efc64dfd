// What `ledra find` tests each name (or full path) against. A pattern without '*', '?' or
// '[' is a substring, ASCII letters compared without regard to case; with them, the whole
// name must match, with the wildcard rules and case folding of "#IGN" patterns. A regular
// expression (PCRE2 with its JIT, UTF mode, invalid UTF-8 tolerated) is unanchored and
// case-insensitive.
#ifndef LEDRA_QUERY_NAME_MATCHER_H_
#define LEDRA_QUERY_NAME_MATCHER_H_

#include <memory>
#include <string>
#include <string_view>

namespace ledra {

class NameMatcher {
 public:
  virtual ~NameMatcher() = default;
  // True when `text` matches. Not safe to share between threads: Clone() for each.
  virtual bool Matches(std::string_view text) = 0;
  virtual std::unique_ptr<NameMatcher> Clone() const = 0;
};

// True when a find PATTERN is a plain substring (no '*', '?' or '[').
bool IsSubstringPattern(const std::string& pattern);
// The matcher for a find PATTERN; an empty pattern matches everything.
std::unique_ptr<NameMatcher> NewPatternMatcher(const std::string& pattern);
// The matcher for --regex; null with *error filled when the expression does not compile.
std::unique_ptr<NameMatcher> NewRegexMatcher(const std::string& expression, std::string* error);

}  // namespace ledra

#endif  // LEDRA_QUERY_NAME_MATCHER_H_
