#include "query/record_writer.h"

#include <algorithm>
#include <cstdio>

#include "query/name_text.h"

namespace ledra {

FieldValue FieldValue::Integer(int64_t v) {
  FieldValue f;
  f.kind = Kind::Integer;
  f.integer = v;
  return f;
}

FieldValue FieldValue::Boolean(bool v) {
  FieldValue f;
  f.kind = Kind::Boolean;
  f.integer = v ? 1 : 0;
  return f;
}

FieldValue FieldValue::Text(std::string v) {
  FieldValue f;
  f.kind = Kind::Text;
  f.text = std::move(v);
  return f;
}

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

class JsonWriter final : public RecordWriter {
 public:
  explicit JsonWriter(OutputSink& sink) : sink_(sink) {}
  void Write(const Record& record) override {
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

class CsvWriter final : public RecordWriter {
 public:
  explicit CsvWriter(OutputSink& sink) : sink_(sink) {}
  void Write(const Record& record) override {
    line_.clear();
    if (!headerWritten_) {
      for (size_t i = 0; i < record.size(); ++i) {
        if (i > 0) line_.push_back(',');
        AppendCsvCell(record[i].name, &line_);
      }
      line_.append("\r\n");
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

std::unique_ptr<RecordWriter> NewJsonWriter(OutputSink& sink) {
  return std::make_unique<JsonWriter>(sink);
}

std::unique_ptr<RecordWriter> NewCsvWriter(OutputSink& sink) {
  return std::make_unique<CsvWriter>(sink);
}

namespace {

// Display width of UTF-8 text, counting each code point as one column.
size_t Columns(std::string_view text) {
  size_t n = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

}  // namespace

void TextTable::Print(OutputSink& sink) const {
  std::vector<size_t> widths;
  for (const auto& row : rows_) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Columns(row[i]));
  }
  std::string line;
  for (const auto& row : rows_) {
    line.clear();
    for (size_t i = 0; i < row.size(); ++i) {
      const bool last = i + 1 == row.size();
      const size_t pad = widths[i] - Columns(row[i]);
      const bool right = i < right_.size() && right_[i];
      if (right) line.append(pad, ' ');
      line.append(row[i]);
      if (!last) line.append(right ? 2 : pad + 2, ' ');
    }
    line.push_back('\n');
    sink.Write(line);
  }
}

}  // namespace ledra
