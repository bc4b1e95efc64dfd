// Finds a substring, ASCII letters without regard to case, in a long run of bytes: the
// whole entry table of a catalogue at once rather than name by name. Candidates are found
// sixteen bytes at a time by the pattern's first and last byte, then compared in full.
// find uses it to tell which names hold the pattern while the table is walked.
#ifndef LEDRA_QUERY_SUBSTRING_SCANNER_H_
#define LEDRA_QUERY_SUBSTRING_SCANNER_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace ledra {

class SubstringScanner {
 public:
  // `pattern` must not be empty.
  explicit SubstringScanner(std::string_view pattern);

  // The offset in `text` of the first occurrence that starts at `from` or later;
  // text.size() when there is none.
  size_t Find(std::string_view text, size_t from) const;

 private:
  bool MatchesAt(const unsigned char* at) const;

  std::string folded_;  // the pattern with A to Z lowercased
};

}  // namespace ledra

#endif  // LEDRA_QUERY_SUBSTRING_SCANNER_H_
