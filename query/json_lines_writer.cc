// JSON Lines: one object per row, its fields in order, text always valid UTF-8.
#include <cstdio>

#include "query/name_text.h"
#include "query/record_writer.h"

namespace ledra {

void AppendJsonString(std::string_view text, std::string* out) {
  std::string mended;
  if (!IsValidUtf8(text)) {
    AppendMendedUtf8(text, &mended);
    text = mended;
  }
  out->push_back('"');
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
          out->append(escaped);
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
}

namespace {

class JsonLinesWriter final : public RecordWriter {
 public:
  explicit JsonLinesWriter(OutputSink& sink) : sink_(sink) {}
  void Write(const ResultRow& row) override {
    const Record record = row.Fields();
    line_.clear();
    line_.push_back('{');
    bool first = true;
    for (const Field& field : record) {
      if (!first) line_.push_back(',');
      first = false;
      AppendJsonString(field.name, &line_);
      line_.push_back(':');
      switch (field.value.kind) {
        case FieldValue::Kind::Null:
          line_.append("null");
          break;
        case FieldValue::Kind::Integer:
          line_.append(std::to_string(field.value.integer));
          break;
        case FieldValue::Kind::Boolean:
          line_.append(field.value.integer ? "true" : "false");
          break;
        case FieldValue::Kind::Text:
          AppendJsonString(field.value.text, &line_);
          break;
      }
    }
    line_.append("}\n");
    sink_.Write(line_);
  }

 private:
  OutputSink& sink_;
  std::string line_;
};

}  // namespace

std::unique_ptr<RecordWriter> NewJsonLinesWriter(OutputSink& sink) {
  return std::make_unique<JsonLinesWriter>(sink);
}

}  // namespace ledra
