#include "query/name_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "cataloguing/wildcard.h"
#include "query/name_key.h"
#include "query/name_text.h"

namespace ledra {

namespace {

// The characters a '\' makes literal in a find pattern.
bool Escapable(char c) { return c == '*' || c == '?' || c == '[' || c == ']' || c == '\\'; }

class EverythingMatcher final : public NameMatcher {
 public:
  bool Matches(std::string_view) override { return true; }
  std::unique_ptr<NameMatcher> Clone() const override {
    return std::make_unique<EverythingMatcher>();
  }
};

// A substring without regard to case: the folded pattern is looked for in the folded name.
class SubstringMatcher final : public NameMatcher {
 public:
  explicit SubstringMatcher(const std::string& pattern) { FoldCase(pattern, &pattern_); }
  bool Matches(std::string_view text) override {
    FoldCase(text, &folded_);
    return folded_.find(pattern_) != std::string::npos;
  }
  std::unique_ptr<NameMatcher> Clone() const override {
    return std::make_unique<SubstringMatcher>(*this);
  }

 private:
  std::string pattern_;
  std::string folded_;
};

// A whole-name pattern, run by the matcher of "#IGN" patterns on folded text. Escaped
// characters become one-member sets ('\*' reads "[*]"), which that matcher already has.
class WildcardMatcher final : public NameMatcher {
 public:
  explicit WildcardMatcher(const std::string& pattern) {
    std::string plain;
    for (size_t i = 0; i < pattern.size(); ++i) {
      if (pattern[i] == '\\' && i + 1 < pattern.size() && Escapable(pattern[i + 1])) {
        ++i;
        if (pattern[i] == '\\') {
          plain += '\\';
        } else {
          plain += '[';
          plain += pattern[i];
          plain += ']';
        }
      } else {
        plain += pattern[i];
      }
    }
    FoldCase(plain, &pattern_);
  }
  bool Matches(std::string_view text) override {
    // The matcher reads NUL-terminated text: a name holding a NUL cannot come from a catalogue.
    FoldCase(text, &lowered_);
    return MatchWildcard(lowered_.c_str(), pattern_.c_str()) == 1;
  }
  std::unique_ptr<NameMatcher> Clone() const override {
    auto copy = std::make_unique<WildcardMatcher>(std::string());
    copy->pattern_ = pattern_;
    return copy;
  }

 private:
  std::string pattern_;
  std::string lowered_;
};

// One compiled expression shared by every clone; each clone has its own match data.
class RegexMatcher final : public NameMatcher {
 public:
  explicit RegexMatcher(std::shared_ptr<pcre2_code> code)
      : code_(std::move(code)), data_(pcre2_match_data_create_from_pattern(code_.get(), nullptr)) {}
  ~RegexMatcher() override { pcre2_match_data_free(data_); }
  bool Matches(std::string_view text) override {
    const int rc = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                               0, 0, data_, nullptr);
    return rc >= 0;
  }
  std::unique_ptr<NameMatcher> Clone() const override {
    return std::make_unique<RegexMatcher>(code_);
  }

 private:
  std::shared_ptr<pcre2_code> code_;
  pcre2_match_data* data_;
};

}  // namespace

bool IsSubstringPattern(const std::string& pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size() && Escapable(pattern[i + 1])) {
      ++i;
    } else if (c == '*' || c == '?' || c == '[') {
      return false;
    }
  }
  return true;
}

std::string SubstringOf(const std::string& pattern) {
  std::string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '\\' && i + 1 < pattern.size() && Escapable(pattern[i + 1])) ++i;
    text += pattern[i];
  }
  return text;
}

void FoldCase(std::string_view text, std::string* out) { FoldName(text, out); }

std::vector<std::string> NonAsciiFoldingTo(std::string_view asciiText) {
  // The characters beyond ASCII whose simple folding is an ASCII one. Finding them in the
  // tables costs a pass over every code point, milliseconds that every search would pay
  // at its start; a test makes that pass and compares.
  static const std::pair<char, std::string> kFoldingToAscii[] = {
      {'s', "\xC5\xBF"},      // U+017F LATIN SMALL LETTER LONG S
      {'k', "\xE2\x84\xAA"},  // U+212A KELVIN SIGN
  };
  std::vector<std::string> variants;
  for (const auto& [ascii, utf8] : kFoldingToAscii) {
    for (const char c : asciiText) {
      if (FoldAscii(static_cast<unsigned char>(c)) == static_cast<unsigned char>(ascii)) {
        variants.push_back(utf8);
        break;
      }
    }
  }
  return variants;
}

std::unique_ptr<NameMatcher> NewPatternMatcher(const std::string& pattern) {
  if (pattern.empty()) return std::make_unique<EverythingMatcher>();
  if (!IsSubstringPattern(pattern)) return std::make_unique<WildcardMatcher>(pattern);
  return std::make_unique<SubstringMatcher>(SubstringOf(pattern));
}

std::unique_ptr<NameMatcher> NewRegexMatcher(const std::string& expression, std::string* error) {
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(expression.data()), expression.size(),
                    PCRE2_CASELESS | PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &code, &offset, nullptr);
  if (compiled == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(code, message, sizeof message);
    *error = "invalid regular expression at offset " + std::to_string(offset) + ": " +
             reinterpret_cast<const char*>(message);
    return nullptr;
  }
  // Without a JIT (an unsupported CPU) the interpreter gives the same answers, only slower.
  pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE);
  return std::make_unique<RegexMatcher>(std::shared_ptr<pcre2_code>(compiled, pcre2_code_free));
}

}  // namespace ledra
