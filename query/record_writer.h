// The output formats shared by every subcommand of `ledra`: JSON Lines (one object per
// result), CSV (a header row, then RFC 4180 quoting) and aligned text columns for people.
// A subcommand hands each result over as a list of named fields; the writer decides the
// spelling. JSON is always valid UTF-8: text fields are checked and mended on the way out.
#ifndef LEDRA_QUERY_RECORD_WRITER_H_
#define LEDRA_QUERY_RECORD_WRITER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ledra {

// Where output goes: standard output in the program, a string in tests.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Write(std::string_view bytes) = 0;
};

class StringSink final : public OutputSink {
 public:
  void Write(std::string_view bytes) override { text.append(bytes.data(), bytes.size()); }
  std::string text;
};

// One field's value. Text is UTF-8 (already converted from the catalogue's encoding).
struct FieldValue {
  enum class Kind { Null, Integer, Boolean, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  std::string text;

  static FieldValue Null() { return FieldValue(); }
  static FieldValue Integer(int64_t v);
  static FieldValue Boolean(bool v);
  static FieldValue Text(std::string v);
};

struct Field {
  std::string name;  // snake_case
  FieldValue value;
};

using Record = std::vector<Field>;

enum class OutputFormat { Text, Json, Csv, NulPaths };

// Writes records in one machine format. Every record of one writer has the same fields in
// the same order (CSV takes its header row from the first); a field that does not apply to
// a record is Null (CSV: an empty cell) and may be left out of JSON by the caller.
class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  virtual void Write(const Record& record) = 0;
};

// JSON Lines or CSV onto `sink`, which must outlive the writer.
std::unique_ptr<RecordWriter> NewJsonWriter(OutputSink& sink);
std::unique_ptr<RecordWriter> NewCsvWriter(OutputSink& sink);

// Rows of text cells printed as aligned columns once all are in. Columns are separated by
// two spaces; right-aligned columns suit numbers. The last column is never padded.
class TextTable {
 public:
  explicit TextTable(std::vector<bool> rightAligned) : right_(std::move(rightAligned)) {}
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  bool empty() const { return rows_.empty(); }
  void Print(OutputSink& sink) const;

 private:
  std::vector<bool> right_;
  std::vector<std::vector<std::string>> rows_;
};

// Appends `text` as a JSON string literal (quotes included).
void AppendJsonString(std::string_view text, std::string* out);
// Appends one CSV cell, quoted when it holds a comma, a quote, CR or LF.
void AppendCsvCell(std::string_view text, std::string* out);

}  // namespace ledra

#endif  // LEDRA_QUERY_RECORD_WRITER_H_
