// What `ledra find` tests each name (or full path) against. A pattern without '*', '?' or
// '[' is a substring; with them, the whole name must match, with the wildcard rules of
// "#IGN" patterns, except that '\' before '*', '?', '[', ']' or '\' makes that character
// stand for itself. Either way case is folded: by Unicode simple case folding where the
// name is valid UTF-8, A to Z only where it is not (query/name_key.h). A regular expression (PCRE2
// with its JIT, UTF mode, invalid UTF-8 tolerated) is unanchored and case-insensitive.
#ifndef LEDRA_QUERY_NAME_MATCHER_H_
#define LEDRA_QUERY_NAME_MATCHER_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ledra {

class NameMatcher {
 public:
  virtual ~NameMatcher() = default;
  // True when `text` matches. Not safe to share between threads: Clone() for each.
  virtual bool Matches(std::string_view text) = 0;
  virtual std::unique_ptr<NameMatcher> Clone() const = 0;
};

// True when a find PATTERN is a plain substring (no '*', '?' or '[' but escaped ones).
bool IsSubstringPattern(const std::string& pattern);
// The text a substring PATTERN stands for: its escapes ('\*', '\[', ...) taken away.
std::string SubstringOf(const std::string& pattern);
// The matcher for a find PATTERN; an empty pattern matches everything.
std::unique_ptr<NameMatcher> NewPatternMatcher(const std::string& pattern);
// The matcher for --regex; null with *error filled when the expression does not compile.
std::unique_ptr<NameMatcher> NewRegexMatcher(const std::string& expression, std::string* error);

// Writes `text` into *out with its case folded as the matchers fold it: each code point by
// its Unicode simple case folding (one code point for one: 'É' to 'é', 'ς' and 'Σ' to 'σ',
// 'ẞ' to 'ß', while 'ß' stays) when `text` is valid UTF-8, else A to Z lowercased where no
// byte of 0x80 or above comes just before (query/name_key.h), every other byte kept.
void FoldCase(std::string_view text, std::string* out);

// For an ASCII substring: the UTF-8 of every other character whose folding is that of one of
// its characters ('ſ' for 's', the Kelvin sign for 'k'). A search that compares bytes
// folded as ASCII must look at names holding one of these with the full matcher too.
std::vector<std::string> NonAsciiFoldingTo(std::string_view asciiText);

}  // namespace ledra

#endif  // LEDRA_QUERY_NAME_MATCHER_H_
