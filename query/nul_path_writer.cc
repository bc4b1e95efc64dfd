// -0: the full path of each entry, each ending in a NUL, for `xargs -0`. Nothing else.
#include "query/record_writer.h"

namespace ledra {

namespace {

class NulPathWriter final : public RecordWriter {
 public:
  explicit NulPathWriter(OutputSink& sink) : sink_(sink) {}
  void Write(const ResultRow& row) override {
    line_.assign(row.FullPath());
    line_.push_back('\0');
    sink_.Write(line_);
  }

 private:
  OutputSink& sink_;
  std::string line_;
};

}  // namespace

std::unique_ptr<RecordWriter> NewNulPathWriter(OutputSink& sink) {
  return std::make_unique<NulPathWriter>(sink);
}

}  // namespace ledra
