// Times the wildcard matcher against a plain recursive matcher that tries every split of
// the name at each '*', on patterns as an ignore list holds them and on patterns built to
// make the recursive one explode. Not a test: it prints figures and checks nothing but
// that both matchers agree.
//
// Build and run: configure with -DLEDRA_BENCH=ON, build the target match_bench, run it.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cataloguing/recursive_match_testing.h"
#include "cataloguing/wildcard.h"

namespace {

// The matcher as the scan runs it on names of single-byte characters.
int Fast(const char* name, const char* pattern) { return ledra::MatchWildcard(name, pattern); }

int Recursive(const char* name, const char* pattern) {
  return ledra::RecursiveMatch(reinterpret_cast<const unsigned char*>(name),
                               reinterpret_cast<const unsigned char*>(pattern));
}

struct Workload {
  const char* title;
  std::vector<std::pair<std::string, std::string>> cases;  // (name, pattern)
  int rounds;
};

// Nanoseconds per match over all cases and rounds; *matches counts the 1 results so
// the calls cannot be optimised away and both matchers can be compared.
template <typename Matcher>
double NanosPerMatch(const Workload& work, Matcher match, long* matches) {
  const auto start = std::chrono::steady_clock::now();
  long found = 0;
  for (int round = 0; round < work.rounds; ++round) {
    for (const auto& c : work.cases) found += match(c.first.c_str(), c.second.c_str());
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  *matches = found;
  const double calls = static_cast<double>(work.rounds) * work.cases.size();
  return std::chrono::duration<double, std::nano>(elapsed).count() / calls;
}

std::string StarredLetters(int count, char last) {
  std::string pattern = "*";
  for (int i = 0; i < count; ++i) pattern += "a*";
  return pattern + last;
}

}  // namespace

int main() {
  const std::vector<std::string> names = {
      "thumbs.db", "Document 2024-06.docx", "a.tmp",       "~$report.xlsx", "photo_0001.jpg",
      "notes.txt", "build.log.1",           "desktop.ini", "x.y.tmp",       "Program Files",
      "temp"};
  const std::vector<std::string> patterns = {"*.tmp",  "~*",  "thumbs.db", "*.bak",
                                             "[0-9]*", "*.?", "*log*",     "desktop.ini"};
  Workload typical{"typical ignore patterns", {}, 200000};
  for (const std::string& name : names) {
    for (const std::string& pattern : patterns) typical.cases.push_back({name, pattern});
  }

  // A long run of 'a' and a pattern of many '*'-separated 'a' that fails only at its last
  // byte: the recursive matcher tries every way to place the letters.
  const std::string as(40, 'a');
  Workload pathological{"many '*' that almost match",
                        {{as + "c", StarredLetters(6, 'b')},
                         {as + "b", StarredLetters(6, 'c')},
                         {as + "x", StarredLetters(5, '?') + "y"}},
                        3};

  int disagreements = 0;
  for (const Workload* work : {&typical, &pathological}) {
    long fastMatches = 0;
    long slowMatches = 0;
    const double fast = NanosPerMatch(*work, Fast, &fastMatches);
    const double slow = NanosPerMatch(*work, Recursive, &slowMatches);
    if (fastMatches != slowMatches) ++disagreements;
    std::printf("%-28s fast %12.1f ns  recursive %14.1f ns  recursive/fast %10.1f\n", work->title,
                fast, slow, slow / fast);
  }
  if (disagreements != 0) {
    std::printf("the two matchers disagree\n");
    return 1;
  }
  return 0;
}
