#include "query/record_writer.h"

#include "query/sorted_results.h"

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

std::unique_ptr<RecordWriter> MakeRecordWriter(const OutputSettings& settings, OutputSink& sink) {
  if (settings.keep != nullptr) return settings.keep->NewWriter();
  switch (settings.format) {
    case OutputFormat::Json:
      return NewJsonLinesWriter(sink);
    case OutputFormat::Csv:
      return NewCsvWriter(sink, settings.crlf);
    case OutputFormat::NulPaths:
      return NewNulPathWriter(sink);
    case OutputFormat::Text:
      break;
  }
  return NewTextWriter(sink, settings.exactBytes, settings.terminal, settings.holding);
}

}  // namespace ledra
