// Finds a substring, ASCII letters without regard to case, in a long run of bytes: the
// whole entry table of a catalogue at once rather than name by name. Candidates are found
// sixteen bytes at a time by the two bytes of the pattern that are rarest in file names,
// then compared in full.
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

  // Whether an occurrence lies wholly in text[begin, end). Calls for one text must come
  // with begin never decreasing; Restart() before the next text. The text is searched a
  // window ahead of the caller only, so that the bytes are still in the cache when the
  // caller reads them in turn.
  bool Occurs(std::string_view text, size_t begin, size_t end) {
    // Most names end before the next known occurrence could: one comparison decides.
    return end >= clearBefore_ && Search(text, begin, end);
  }
  void Restart() { examined_ = 0, next_ = kNone, clearBefore_ = 0; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  static constexpr size_t kWindow = 32 * 1024;

  bool MatchesAt(const unsigned char* at) const;
  bool Search(std::string_view text, size_t begin, size_t end);

  std::string folded_;  // the pattern with A to Z lowercased
  size_t rare1_ = 0;    // the places in the pattern of its two rarest bytes
  size_t rare2_ = 0;
  size_t examined_ = 0;  // no occurrence starts before this, except at next_
  size_t next_ = kNone;  // the occurrence found last
  // No occurrence lies wholly before this (counted from the latest begin): the next one
  // known, or the end of what was examined, plus the pattern's length.
  size_t clearBefore_ = 0;
};

}  // namespace ledra

#endif  // LEDRA_QUERY_SUBSTRING_SCANNER_H_
