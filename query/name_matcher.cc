#include "query/name_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <array>
#include <cstring>

#include "cataloguing/ignore_list.h"
#include "cataloguing/wildcard.h"
#include "query/name_key.h"

namespace ledra {

namespace {

class EverythingMatcher final : public NameMatcher {
 public:
  bool Matches(std::string_view) override { return true; }
  std::unique_ptr<NameMatcher> Clone() const override {
    return std::make_unique<EverythingMatcher>();
  }
};

// Case-insensitive (ASCII) substring: the rarer of the first byte's two cases is found with
// memchr, then the rest compared through the fold.
class SubstringMatcher final : public NameMatcher {
 public:
  explicit SubstringMatcher(std::string pattern) : pattern_(std::move(pattern)) {
    for (char& c : pattern_) c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
    first_ = static_cast<unsigned char>(pattern_[0]);
    upperFirst_ =
        first_ >= 'a' && first_ <= 'z' ? static_cast<unsigned char>(first_ - 'a' + 'A') : first_;
  }
  bool Matches(std::string_view text) override {
    const size_t m = pattern_.size();
    if (text.size() < m) return false;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text.data());
    const size_t last = text.size() - m;
    for (size_t i = 0; i <= last; ++i) {
      if (t[i] != first_ && t[i] != upperFirst_) continue;
      size_t j = 1;
      while (j < m && FoldAscii(t[i + j]) == static_cast<unsigned char>(pattern_[j])) ++j;
      if (j == m) return true;
    }
    return false;
  }
  std::unique_ptr<NameMatcher> Clone() const override {
    return std::make_unique<SubstringMatcher>(*this);
  }

 private:
  std::string pattern_;
  unsigned char first_;
  unsigned char upperFirst_;
};

class WildcardMatcher final : public NameMatcher {
 public:
  explicit WildcardMatcher(const std::string& pattern) { LowercaseName(pattern, &pattern_); }
  bool Matches(std::string_view text) override {
    // The matcher reads NUL-terminated text: a name holding a NUL cannot come from a catalogue.
    LowercaseName(text, &lowered_);
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
  return pattern.find_first_of("*?[") == std::string::npos;
}

std::unique_ptr<NameMatcher> NewPatternMatcher(const std::string& pattern) {
  if (pattern.empty()) return std::make_unique<EverythingMatcher>();
  if (!IsSubstringPattern(pattern)) return std::make_unique<WildcardMatcher>(pattern);
  return std::make_unique<SubstringMatcher>(pattern);
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
