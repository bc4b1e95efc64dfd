#include "cataloguing/wildcard.h"

namespace ledra {
namespace {

enum class SetOutcome { Covered, NotCovered, Unclosed };

// The number of bytes of the character at `at`: two for a lead byte followed by a byte
// other than the NUL, else one (zero at the NUL).
int CharLength(const unsigned char* at, LeadByteTest isLead) {
  if (*at == 0) return 0;
  return isLead(*at) && at[1] != 0 ? 2 : 1;
}

// The order of characters in ranges: single bytes as signed 8-bit numbers, whatever the
// signedness of char here; two-byte characters after all of them.
int RangeValue(const unsigned char* at, int length) {
  if (length == 2) return 0x100 + (at[0] << 8) + at[1];
  return at[0] < 0x80 ? at[0] : at[0] - 0x100;
}

bool SameChar(const unsigned char* a, int aLength, const unsigned char* b, int bLength) {
  return aLength == bLength && a[0] == b[0] && (aLength == 1 || a[1] == b[1]);
}

// Decides one bracket set for the name character at `c` (`length` bytes). `members` points
// just after the '['. On Covered and NotCovered (negation already applied), *after points
// past the closing ']'.
SetOutcome MatchSet(const unsigned char* members, const unsigned char* c, int length,
                    LeadByteTest isLead, const unsigned char** after) {
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
    const int memberLength = CharLength(member, isLead);
    const unsigned char* dash = member + memberLength;
    // A '-' followed by the end or by ']' is no range but an ordinary member.
    if (*dash == '-' && dash[1] != 0 && dash[1] != ']') {
      const unsigned char* last = dash + 1;
      const int lastLength = CharLength(last, isLead);
      const int value = RangeValue(c, length);
      if (RangeValue(member, memberLength) <= value && value <= RangeValue(last, lastLength)) {
        covered = true;
      }
      member = last + lastLength;
    } else {
      if (SameChar(member, memberLength, c, length)) covered = true;
      member += memberLength;
    }
  }
  *after = member + 1;
  return covered != negated ? SetOutcome::Covered : SetOutcome::NotCovered;
}

}  // namespace

// Every element but '*' consumes exactly one character, so the text between two '*' runs
// matches at a given start or not, independently of the rest. Taking its leftmost match is
// then never worse than a later one (the next '*' absorbs whatever lies between), and on a
// mismatch only the last '*' needs to try its next start: the earlier ones can gain nothing
// by absorbing more. This gives the same answers as trying every split recursively.
int MatchWildcardCounted(const char* name, const char* pattern, uint64_t* steps,
                         LeadByteTest isLead) {
  const unsigned char* n = reinterpret_cast<const unsigned char*>(name != nullptr ? name : "");
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(pattern != nullptr ? pattern : "");
  // Where to resume after a mismatch: the element after the last '*' run, and the name
  // character at which the current attempt of that run's remainder began.
  const unsigned char* resumePattern = nullptr;
  const unsigned char* resumeName = nullptr;
  for (;;) {
    ++*steps;
    const int patternLength = CharLength(p, isLead);
    const unsigned char* next = p + patternLength;
    const int nameLength = CharLength(n, isLead);
    bool matched = false;
    switch (patternLength == 2 ? 0x100 : *p) {
      case 0:
        if (*n == 0) return 1;
        break;
      case '*':
        while (*p == '*') ++p;
        if (*p == 0) return 1;
        // What follows the run needs at least one character.
        if (*n == 0) return 0;
        resumePattern = p;
        resumeName = n;
        continue;
      case '?':
        matched = *n != 0;
        break;
      case '[':
        if (*n == 0) break;
        switch (MatchSet(p + 1, n, nameLength, isLead, &next)) {
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
        matched = SameChar(p, patternLength, n, nameLength);
        break;
    }
    if (matched) {
      p = next;
      n += nameLength;
      continue;
    }
    if (resumePattern == nullptr) return 0;
    // The remainder after a '*' run always needs a character, so a start at the name's end
    // cannot succeed.
    resumeName += CharLength(resumeName, isLead);
    if (*resumeName == 0) return 0;
    n = resumeName;
    p = resumePattern;
  }
}

int MatchWildcard(const char* name, const char* pattern, LeadByteTest isLead) {
  uint64_t steps = 0;
  return MatchWildcardCounted(name, pattern, &steps, isLead);
}

}  // namespace ledra
