// CSV: a header row of the first row's field names (through the sink's WriteHeader, so
// that an output joined from several writers has one), then one line per row, LF ends
// (CR LF when asked). Every text field is quoted on every row, numbers and booleans never,
// and an empty cell is a null: engines that guess the dialect from the first rows (DuckDB
// reads 20,480) then see the quote character before the first name with a comma, and
// PostgreSQL tells a null from an empty text.
#include "query/name_text.h"
#include "query/record_writer.h"

namespace ledra {

namespace {

void AppendQuotedCsvCell(std::string_view text, std::string* out) {
  out->push_back('"');
  for (const char c : text) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

class CsvWriter final : public RecordWriter {
 public:
  CsvWriter(OutputSink& sink, bool crlf) : sink_(sink), lineEnd_(crlf ? "\r\n" : "\n") {}
  void Write(const ResultRow& row) override {
    const Record record = row.Fields();
    line_.clear();
    if (!headerWritten_) {
      for (size_t i = 0; i < record.size(); ++i) {
        if (i > 0) line_.push_back(',');
        line_.append(record[i].name);  // plain words: volume, path, size_clamped, ...
      }
      line_.append(lineEnd_);
      sink_.WriteHeader(line_);
      line_.clear();
      headerWritten_ = true;
    }
    for (size_t i = 0; i < record.size(); ++i) {
      if (i > 0) line_.push_back(',');
      const FieldValue& v = record[i].value;
      switch (v.kind) {
        case FieldValue::Kind::Null:
          break;
        case FieldValue::Kind::Integer:
          line_.append(std::to_string(v.integer));
          break;
        case FieldValue::Kind::Boolean:
          line_.append(v.integer ? "true" : "false");
          break;
        case FieldValue::Kind::Text: {
          std::string mended;
          AppendMendedUtf8(v.text, &mended);
          AppendQuotedCsvCell(mended, &line_);
          break;
        }
      }
    }
    line_.append(lineEnd_);
    sink_.Write(line_);
  }

 private:
  OutputSink& sink_;
  const char* lineEnd_;
  std::string line_;
  bool headerWritten_ = false;
};

}  // namespace

std::unique_ptr<RecordWriter> NewCsvWriter(OutputSink& sink, bool crlf) {
  return std::make_unique<CsvWriter>(sink, crlf);
}

}  // namespace ledra
