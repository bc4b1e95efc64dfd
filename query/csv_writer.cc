// CSV: a header row of the first row's field names (through the sink's WriteHeader, so
// that an output joined from several writers has one), then one line per row, CRLF ends.
#include "query/name_text.h"
#include "query/record_writer.h"

namespace ledra {

void AppendCsvCell(std::string_view text, std::string* out) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out->append(text.data(), text.size());
    return;
  }
  out->push_back('"');
  for (const char c : text) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

namespace {

class CsvWriter final : public RecordWriter {
 public:
  explicit CsvWriter(OutputSink& sink) : sink_(sink) {}
  void Write(const ResultRow& row) override {
    const Record record = row.Fields();
    line_.clear();
    if (!headerWritten_) {
      for (size_t i = 0; i < record.size(); ++i) {
        if (i > 0) line_.push_back(',');
        AppendCsvCell(record[i].name, &line_);
      }
      line_.append("\r\n");
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
          AppendCsvCell(mended, &line_);
          break;
        }
      }
    }
    line_.append("\r\n");
    sink_.Write(line_);
  }

 private:
  OutputSink& sink_;
  std::string line_;
  bool headerWritten_ = false;
};

}  // namespace

std::unique_ptr<RecordWriter> NewCsvWriter(OutputSink& sink) {
  return std::make_unique<CsvWriter>(sink);
}

}  // namespace ledra
