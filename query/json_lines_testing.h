// A strict reader of the JSON Lines that the writers produce, for tests that parse the
// output back: one object per line whose values are strings, integers, booleans or null.
// It refuses what a strict JSON parser refuses (a raw control character or invalid UTF-8
// in a string, an unknown escape, a lone surrogate, trailing bytes), so that a line it
// accepts is one any consumer accepts.
#ifndef LEDRA_QUERY_JSON_LINES_TESTING_H_
#define LEDRA_QUERY_JSON_LINES_TESTING_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "query/record_writer.h"

namespace ledra {
namespace test {

class JsonLineParser {
 public:
  // Parses `line` (without its LF) into *record; false with *error otherwise.
  static bool Parse(std::string_view line, Record* record, std::string* error) {
    JsonLineParser p(line);
    record->clear();
    if (!p.Take('{')) return p.Fail("no '{'", error);
    for (bool first = true; !p.Peek('}'); first = false) {
      if (!first && !p.Take(',')) return p.Fail("no ','", error);
      Field field;
      if (!p.String(&field.name) || !p.Take(':') || !p.Value(&field.value)) {
        return p.Fail("bad member", error);
      }
      record->push_back(std::move(field));
    }
    if (!p.Take('}') || p.at_ != line.size()) return p.Fail("bytes after the object", error);
    return true;
  }

 private:
  explicit JsonLineParser(std::string_view s) : s_(s) {}

  bool Fail(const char* what, std::string* error) const {
    *error = std::string(what) + " at byte " + std::to_string(at_);
    return false;
  }
  bool Peek(char c) const { return at_ < s_.size() && s_[at_] == c; }
  bool Take(char c) { return Peek(c) ? (++at_, true) : false; }
  bool Word(std::string_view w) {
    if (s_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  bool Value(FieldValue* v) {
    if (Word("null")) return *v = FieldValue::Null(), true;
    if (Word("true")) return *v = FieldValue::Boolean(true), true;
    if (Word("false")) return *v = FieldValue::Boolean(false), true;
    if (Peek('"')) {
      std::string text;
      if (!String(&text)) return false;
      *v = FieldValue::Text(std::move(text));
      return true;
    }
    const size_t start = at_;
    Take('-');
    const size_t digits = at_;
    while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    if (at_ == digits || (s_[digits] == '0' && at_ - digits > 1)) return false;
    *v = FieldValue::Integer(std::stoll(std::string(s_.substr(start, at_ - start))));
    return true;
  }

  bool Hex4(uint32_t* u) {
    const std::string_view digits = s_.substr(at_, 4);
    if (digits.size() < 4 || digits.find_first_not_of("0123456789abcdefABCDEF") != digits.npos) {
      return false;
    }
    *u = static_cast<uint32_t>(std::stoul(std::string(s_.substr(at_, 4)), nullptr, 16));
    at_ += 4;
    return true;
  }

  static void AppendUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  // One well-formed UTF-8 sequence of a string's raw bytes.
  bool RawCodePoint(std::string* out) {
    const unsigned char c = static_cast<unsigned char>(s_[at_]);
    const size_t n = c < 0x80                 ? 1
                     : c >= 0xC2 && c <= 0xDF ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 0;
    if (n == 0 || at_ + n > s_.size()) return false;
    uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t i = 1; i < n; ++i) {
      const unsigned char t = static_cast<unsigned char>(s_[at_ + i]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    out->append(s_.substr(at_, n));
    at_ += n;
    return true;
  }

  bool String(std::string* out) {
    out->clear();
    if (!Take('"')) return false;
    while (at_ < s_.size() && s_[at_] != '"') {
      if (static_cast<unsigned char>(s_[at_]) < 0x20) return false;
      if (s_[at_] != '\\') {
        if (!RawCodePoint(out)) return false;
        continue;
      }
      if (++at_ == s_.size()) return false;
      const char e = s_[at_++];
      const std::string_view simple = "\"\\/bfnrt";
      const std::string_view meaning = "\"\\/\b\f\n\r\t";
      if (simple.find(e) != std::string_view::npos) {
        out->push_back(meaning[simple.find(e)]);
        continue;
      }
      uint32_t u = 0;
      if (e != 'u' || !Hex4(&u) || (u >= 0xDC00 && u <= 0xDFFF)) return false;
      if (u >= 0xD800 && u <= 0xDBFF) {
        uint32_t low = 0;
        if (!Word("\\u") || !Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      }
      AppendUtf8(u, out);
    }
    return Take('"');
  }

  std::string_view s_;
  size_t at_ = 0;
};

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_QUERY_JSON_LINES_TESTING_H_
