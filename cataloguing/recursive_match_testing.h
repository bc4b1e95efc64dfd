// The wildcard matcher as the ignore-list rules state it, step by step, with a recursive
// call for every start after a '*' run. Exponential on many '*', so only short patterns are
// fed to it; tests and the matcher benchmark hold the fast matcher to it.
#ifndef LEDRA_CATALOGUING_RECURSIVE_MATCH_TESTING_H_
#define LEDRA_CATALOGUING_RECURSIVE_MATCH_TESTING_H_

namespace ledra {

inline int RecursiveMatch(const unsigned char* name, const unsigned char* pattern) {
  for (;;) {
    if (*pattern == 0) return *name == 0 ? 1 : 0;
    if (*pattern == '?') {
      if (*name == 0) return 0;
      ++name;
      ++pattern;
      continue;
    }
    if (*pattern == '*') {
      while (*pattern == '*') ++pattern;
      if (*pattern == 0) return 1;
      if (*name == 0) return 0;
      for (; *name != 0; ++name) {
        if (RecursiveMatch(name, pattern) == 1) return 1;
      }
      return 0;
    }
    if (*pattern == '[') {
      if (*name == 0) return 0;
      ++pattern;
      bool negated = false;
      if (*pattern == '^') {
        negated = true;
        ++pattern;
      }
      bool covered = false;
      bool first = true;
      for (;;) {
        if (*pattern == 0) return 0;
        if (*pattern == ']' && !first) break;
        first = false;
        if (pattern[1] == '-' && pattern[2] != 0 && pattern[2] != ']') {
          const int low = static_cast<signed char>(pattern[0]);
          const int high = static_cast<signed char>(pattern[2]);
          const int byte = static_cast<signed char>(*name);
          if (low <= byte && byte <= high) covered = true;
          pattern += 3;
        } else {
          if (*pattern == *name) covered = true;
          ++pattern;
        }
      }
      ++pattern;  // the closing ']'
      if (covered == negated) return 0;
      ++name;
      continue;
    }
    if (*pattern != *name) return 0;
    ++pattern;
    ++name;
  }
}

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_RECURSIVE_MATCH_TESTING_H_
