// The trigrams an index keeps of each name and the trigrams a query needs, in one fold
// shared by both sides so that narrowing never loses a name the matcher would take.
//
// Names are folded the way every matcher of find can see them as equal: ASCII letters
// lowercased, and the two characters that Unicode simple case folding maps onto ASCII
// letters (U+212A KELVIN SIGN onto 'k', U+017F LONG S onto 's') replaced by those
// letters. Only trigrams of three ASCII bytes are kept. A query contributes the trigrams of
// the runs of ASCII bytes it requires; a non-ASCII byte in a pattern ends a run, since a
// non-ASCII character may fold onto other byte sequences, and two runs never join across
// it. So a query whose literal is all non-ASCII needs no trigram and is answered by a scan.
#ifndef LEDRA_INDEX_NAME_TRIGRAMS_H_
#define LEDRA_INDEX_NAME_TRIGRAMS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ledra {

// A trigram of three ASCII bytes a, b, c: a << 14 | b << 7 | c, below 1 << 21.
constexpr uint32_t kTrigramSpace = uint32_t{1} << 21;

// Writes `name` folded as described above into *out (its capacity reused).
void FoldNameForIndex(std::string_view name, std::string* out);

// Appends the trigrams of the folded name `folded` to *trigrams, with repeats.
void AppendNameTrigrams(std::string_view folded, std::vector<uint32_t>* trigrams);

// The distinct trigrams, sorted, that every name holding all of `runs` must hold. Each run
// is raw pattern text: it is folded and split at non-ASCII bytes here.
std::vector<uint32_t> RequiredTrigrams(const std::vector<std::string>& runs);

}  // namespace ledra

#endif  // LEDRA_INDEX_NAME_TRIGRAMS_H_
