#include "index/pattern_literals.h"

#include <cctype>
#include <cstddef>
#include <cstring>

namespace ledra {

namespace {

// Collects runs: characters are appended to the current run until a break.
class Runs {
 public:
  void Add(char c) { current_.push_back(c), lastInRun_ = true; }
  void Break() {
    if (!current_.empty()) runs_.push_back(current_);
    current_.clear();
    lastInRun_ = false;
  }
  // A quantifier that makes the atom before optional (?, *, {0,...}).
  void DropLast() {
    if (lastInRun_) current_.pop_back();
    Break();
  }
  std::vector<std::string> Take() {
    Break();
    return std::move(runs_);
  }

 private:
  std::vector<std::string> runs_;
  std::string current_;
  bool lastInRun_ = false;
};

// Skips a bracket class starting at expression[i] == '['; the index after its ']', or
// npos when it is not closed.
size_t SkipClass(std::string_view e, size_t i) {
  ++i;
  if (i < e.size() && e[i] == '^') ++i;
  if (i < e.size() && e[i] == ']') ++i;  // a ']' first is a member
  while (i < e.size()) {
    if (e[i] == '\\') {
      i += 2;
    } else if (e[i] == '[' && i + 1 < e.size() && e[i + 1] == ':') {
      const size_t close = e.find(":]", i + 2);
      if (close == std::string_view::npos) return std::string_view::npos;
      i = close + 2;
    } else if (e[i] == ']') {
      return i + 1;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

// Skips a group starting at e[i] == '('; the index after its ')', or npos.
size_t SkipGroup(std::string_view e, size_t i) {
  int depth = 0;
  while (i < e.size()) {
    const char c = e[i];
    if (c == '\\') {
      i += 2;
    } else if (c == '[') {
      i = SkipClass(e, i);
      if (i == std::string_view::npos) return i;
    } else {
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) return i + 1;
      ++i;
    }
  }
  return std::string_view::npos;
}

// Parses a counted quantifier at e[i] == '{'; sets *least and returns the index after
// '}', or npos when it is none.
size_t ParseCount(std::string_view e, size_t i, unsigned* least) {
  size_t j = i + 1;
  unsigned n = 0;
  bool digits = false;
  while (j < e.size() && e[j] >= '0' && e[j] <= '9') {
    n = n * 10 + static_cast<unsigned>(e[j] - '0');
    if (n > 100000) n = 100000;
    digits = true;
    ++j;
  }
  bool comma = false;
  if (j < e.size() && e[j] == ',') {
    comma = true;
    ++j;
    while (j < e.size() && e[j] >= '0' && e[j] <= '9') ++j;
  }
  if (j >= e.size() || e[j] != '}' || (!digits && !comma)) return std::string_view::npos;
  *least = digits ? n : 0;
  return j + 1;
}

}  // namespace

std::vector<std::string> PatternRuns(std::string_view pattern) {
  Runs runs;
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    // '\' makes the wildcard characters, the set brackets and itself plain, as the
    // matchers read a pattern; before any other character it is a character of its own.
    if (c == '\\' && i + 1 < pattern.size() &&
        std::string_view("*?[]\\").find(pattern[i + 1]) != std::string_view::npos) {
      runs.Add(pattern[i + 1]);
      i += 2;
    } else if (c == '*' || c == '?') {
      runs.Break();
      ++i;
    } else if (c == '[') {
      runs.Break();
      // The first member stands for itself, even ']'; an open set matches nothing, and
      // what follows it is no run of a match.
      size_t j = i + 1;
      if (j < pattern.size() && pattern[j] == '^') ++j;
      const size_t close = pattern.find(']', j + 1);
      if (close == std::string_view::npos) return runs.Take();
      i = close + 1;
    } else {
      runs.Add(c);
      ++i;
    }
  }
  return runs.Take();
}

std::vector<std::string> RegexRuns(std::string_view e) {
  if (e.find("(?") != std::string_view::npos || e.find("(*") != std::string_view::npos ||
      e.find("\\Q") != std::string_view::npos || e.find("\\E") != std::string_view::npos) {
    return {};
  }
  Runs runs;
  for (size_t i = 0; i < e.size();) {
    const auto c = static_cast<unsigned char>(e[i]);
    switch (c) {
      case '|':
        return {};  // alternatives at the top level: nothing is certain
      case ')':
        return {};
      case '\\': {
        if (i + 1 >= e.size()) return {};
        const auto d = static_cast<unsigned char>(e[i + 1]);
        if (d < 0x80 && std::ispunct(d)) {
          runs.Add(static_cast<char>(d));
          i += 2;
        } else if (d < 0x80 && std::strchr("dDwWsSbBhHvVRAzZGKX", d) != nullptr && d != 0) {
          runs.Break();
          i += 2;
        } else {
          return {};  // escapes with arguments, back references, control characters
        }
        break;
      }
      case '[':
        runs.Break();
        i = SkipClass(e, i);
        if (i == std::string_view::npos) return {};
        break;
      case '(':
        runs.Break();
        i = SkipGroup(e, i);
        if (i == std::string_view::npos) return {};
        break;
      case '?':
      case '*':
        runs.DropLast();
        ++i;
        if (i < e.size() && (e[i] == '?' || e[i] == '+')) ++i;
        break;
      case '+':
        runs.Break();
        ++i;
        if (i < e.size() && (e[i] == '?' || e[i] == '+')) ++i;
        break;
      case '{': {
        unsigned least = 0;
        const size_t after = ParseCount(e, i, &least);
        if (after == std::string_view::npos) return {};
        if (least == 0) {
          runs.DropLast();
        } else {
          runs.Break();
        }
        i = after;
        if (i < e.size() && (e[i] == '?' || e[i] == '+')) ++i;
        break;
      }
      case '.':
      case '^':
      case '$':
        runs.Break();
        ++i;
        break;
      default:
        if (c >= 0x80 || c < 0x20) {
          runs.Break();  // a character that may fold onto other bytes
        } else {
          runs.Add(static_cast<char>(c));
        }
        ++i;
        break;
    }
  }
  return runs.Take();
}

}  // namespace ledra
