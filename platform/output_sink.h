// Where a program's output goes: standard output in the program, a string in tests. The
// reader writes its results as bytes through these; the platform supplies standard output.
#ifndef LEDRA_PLATFORM_OUTPUT_SINK_H_
#define LEDRA_PLATFORM_OUTPUT_SINK_H_

#include <string>
#include <string_view>

namespace ledra {

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Write(std::string_view bytes) = 0;
  // A line that heads the rows after it (CSV's names of the fields). A sink that joins the
  // outputs of several writers into one gives it once, before the first rows.
  virtual void WriteHeader(std::string_view bytes) { Write(bytes); }
};

class StringSink final : public OutputSink {
 public:
  void Write(std::string_view bytes) override { text.append(bytes.data(), bytes.size()); }
  std::string text;
};

// Standard output: the bytes as written (no line end is translated, results bring their own
// CRLF or NUL), held in a buffer until Flush. Flush returns false when some bytes could not
// be written.
class StandardOutput : public OutputSink {
 public:
  virtual bool Flush() = 0;
};

}  // namespace ledra

#endif  // LEDRA_PLATFORM_OUTPUT_SINK_H_
