#include "query/sorted_results.h"

#include <algorithm>
#include <string_view>

namespace ledra {

class KeepingWriter final : public RecordWriter {
 public:
  KeepingWriter(KeptResults& kept, bool exactBytes) : kept_(kept), exactBytes_(exactBytes) {}
  ~KeepingWriter() override { Finish(); }

  void Write(const ResultRow& row) override {
    KeptResults::Row kept;
    kept.fields = row.Fields();
    row.TextCells(exactBytes_, &kept.cells);
    kept.layout = &row.Layout();
    kept.fullPath = std::string(row.FullPath());
    rows_.push_back(std::move(kept));
  }
  void Finish() override {
    if (!rows_.empty()) kept_.Add(std::move(rows_));
    rows_.clear();
  }

 private:
  KeptResults& kept_;
  const bool exactBytes_;
  std::vector<KeptResults::Row> rows_;
};

namespace {

// A kept row given back to a writer.
class KeptRow final : public ResultRow {
 public:
  explicit KeptRow(const KeptResults::Row& row) : row_(row) {}
  Record Fields() const override { return row_.fields; }
  const TextLayout& Layout() const override { return *row_.layout; }
  void TextCells(bool, std::vector<std::string>* cells) const override { *cells = row_.cells; }
  std::string_view FullPath() const override { return row_.fullPath; }

 private:
  const KeptResults::Row& row_;
};

const FieldValue* FieldOf(const Record& fields, std::string_view name) {
  for (const Field& f : fields) {
    if (f.name == name) return &f.value;
  }
  return nullptr;
}

std::string_view TextOf(const Record& fields, std::string_view name) {
  const FieldValue* v = FieldOf(fields, name);
  return v != nullptr && v->kind == FieldValue::Kind::Text ? std::string_view(v->text)
                                                           : std::string_view();
}

int64_t IntegerOf(const Record& fields, std::string_view name) {
  const FieldValue* v = FieldOf(fields, name);
  return v != nullptr && v->kind == FieldValue::Kind::Integer ? v->integer : 0;
}

// The name of a row: its name field, else the last component of its path.
std::string_view NameOf(const Record& fields) {
  if (FieldOf(fields, "name") != nullptr) return TextOf(fields, "name");
  std::string_view path = TextOf(fields, "path");
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  const size_t at = path.find_last_of("/\\");
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

// <0, 0 or >0 as a comes before, with or after b in `order`, before any reversal.
int Compare(ResultOrder order, const Record& a, const Record& b) {
  switch (order) {
    case ResultOrder::Name:
      return NameOf(a).compare(NameOf(b));
    case ResultOrder::Size: {
      const int64_t x = IntegerOf(a, "size"), y = IntegerOf(b, "size");
      return x > y ? -1 : x < y ? 1 : 0;
    }
    case ResultOrder::Time: {
      const int64_t x = IntegerOf(a, "modified_epoch"), y = IntegerOf(b, "modified_epoch");
      return x > y ? -1 : x < y ? 1 : 0;
    }
    case ResultOrder::Path:
    case ResultOrder::Found:
      break;
  }
  return 0;
}

// Volume, then catalogue file, then path: the order of ties, and of --sort path.
int CompareWhere(const Record& a, const Record& b) {
  for (const char* field : {"volume", "catalog", "path"}) {
    if (const int c = TextOf(a, field).compare(TextOf(b, field)); c != 0) return c;
  }
  return 0;
}

}  // namespace

bool ParseResultOrder(const std::string& text, ResultOrder* order) {
  const struct {
    const char* text;
    ResultOrder order;
  } kOrders[] = {{"name", ResultOrder::Name},
                 {"size", ResultOrder::Size},
                 {"time", ResultOrder::Time},
                 {"path", ResultOrder::Path}};
  for (const auto& o : kOrders) {
    if (text == o.text) {
      *order = o.order;
      return true;
    }
  }
  return false;
}

std::unique_ptr<RecordWriter> KeptResults::NewWriter() {
  return std::make_unique<KeepingWriter>(*this, exactBytes_);
}

void KeptResults::Add(std::vector<Row>&& rows) {
  std::lock_guard<std::mutex> lock(mutex_);
  batches_.push_back(std::move(rows));
}

uint64_t KeptResults::WriteSorted(ResultOrder order, bool reverse, uint64_t limit,
                                  const OutputSettings& settings, OutputSink& out) {
  std::vector<const Row*> rows;
  for (const auto& batch : batches_) {
    for (const Row& row : batch) rows.push_back(&row);
  }
  if (order != ResultOrder::Found) {
    std::stable_sort(rows.begin(), rows.end(), [&](const Row* a, const Row* b) {
      int c = Compare(order, a->fields, b->fields);
      if (c == 0) c = CompareWhere(a->fields, b->fields);
      return reverse ? c > 0 : c < 0;
    });
  } else if (reverse) {
    std::reverse(rows.begin(), rows.end());
  }
  if (limit != 0 && rows.size() > limit) rows.resize(limit);
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  for (const Row* row : rows) writer->Write(KeptRow(*row));
  writer->Finish();
  return rows.size();
}

}  // namespace ledra
