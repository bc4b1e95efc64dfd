#include "cataloguing/wildcard.h"

namespace ledra {
namespace {

enum class SetOutcome { Covered, NotCovered, Unclosed };

// Ranges order bytes as signed 8-bit numbers, whatever the signedness of char here.
int SignedByte(unsigned char byte) { return byte < 0x80 ? byte : byte - 0x100; }

// Decides one bracket set for one name byte. `members` points just after the '['. On
// Covered and NotCovered (negation already applied), *after points past the closing ']'.
SetOutcome MatchSet(const unsigned char* members, unsigned char byte, const unsigned char** after) {
  bool negated = false;
  if (*members == '^') {
    negated = true;
    ++members;
  }
  bool covered = false;
  const unsigned char* member = members;
  // The first member is taken even when it is ']', so ']' only closes from the second on.
  while (member == members || *member != ']') {
    if (*member == 0) return SetOutcome::Unclosed;
    // A '-' followed by the end or by ']' is no range but an ordinary member.
    if (member[1] == '-' && member[2] != 0 && member[2] != ']') {
      const int value = SignedByte(byte);
      if (SignedByte(member[0]) <= value && value <= SignedByte(member[2])) covered = true;
      member += 3;
    } else {
      if (*member == byte) covered = true;
      ++member;
    }
  }
  *after = member + 1;
  return covered != negated ? SetOutcome::Covered : SetOutcome::NotCovered;
}

}  // namespace

// Every element but '*' consumes exactly one byte, so the text between two '*' runs matches
// at a given start or not, independently of the rest. Taking its leftmost match is then
// never worse than a later one (the next '*' absorbs whatever lies between), and on a
// mismatch only the last '*' needs to try its next start: the earlier ones can gain nothing
// by absorbing more. This gives the same answers as trying every split recursively.
int MatchWildcardCounted(const char* name, const char* pattern, uint64_t* steps) {
  const unsigned char* n = reinterpret_cast<const unsigned char*>(name != nullptr ? name : "");
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(pattern != nullptr ? pattern : "");
  // Where to resume after a mismatch: the element after the last '*' run, and the name
  // byte at which the current attempt of that run's remainder began.
  const unsigned char* resumePattern = nullptr;
  const unsigned char* resumeName = nullptr;
  for (;;) {
    ++*steps;
    const unsigned char* next = p + 1;
    bool matched = false;
    switch (*p) {
      case 0:
        if (*n == 0) return 1;
        break;
      case '*':
        while (*p == '*') ++p;
        if (*p == 0) return 1;
        // What follows the run needs at least one byte.
        if (*n == 0) return 0;
        resumePattern = p;
        resumeName = n;
        continue;
      case '?':
        matched = *n != 0;
        break;
      case '[':
        if (*n == 0) break;
        switch (MatchSet(p + 1, *n, &next)) {
          case SetOutcome::Covered:
            matched = true;
            break;
          case SetOutcome::NotCovered:
            break;
          case SetOutcome::Unclosed:
            // An open set swallows the rest of the pattern and can never be passed, so no
            // other split of the name can succeed either.
            return 0;
        }
        break;
      default:
        matched = *p == *n;
        break;
    }
    if (matched) {
      p = next;
      ++n;
      continue;
    }
    if (resumePattern == nullptr) return 0;
    // The remainder after a '*' run always needs a byte, so a start at the name's end
    // cannot succeed.
    ++resumeName;
    if (*resumeName == 0) return 0;
    n = resumeName;
    p = resumePattern;
  }
}

int MatchWildcard(const char* name, const char* pattern) {
  uint64_t steps = 0;
  return MatchWildcardCounted(name, pattern, &steps);
}

}  // namespace ledra
