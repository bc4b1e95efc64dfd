// The runs of text a find pattern requires: every name it matches holds each run, as
// written or in another case. An index narrows a query to the names holding them; the
// scan uses them to pass over names before running a regular expression. Runs are raw
// pattern text (ASCII case not folded); an empty list requires nothing.
#ifndef LEDRA_INDEX_PATTERN_LITERALS_H_
#define LEDRA_INDEX_PATTERN_LITERALS_H_

#include <string>
#include <string_view>
#include <vector>

namespace ledra {

// A plain substring pattern requires itself; a wildcard pattern (with '*', '?' or a
// '[set]') the runs between them; the empty pattern nothing.
std::vector<std::string> PatternRuns(std::string_view pattern);

// What a regular expression (PCRE2 syntax, caseless) requires. Only what can be read
// off its top level with certainty is taken: literal characters in sequence, each ending a
// run where it is optional, repeated or followed by anything but another literal. An
// alternation at the top level, option settings, verbs, \Q...\E and escapes with
// arguments make the whole expression require nothing.
std::vector<std::string> RegexRuns(std::string_view expression);

}  // namespace ledra

#endif  // LEDRA_INDEX_PATTERN_LITERALS_H_
