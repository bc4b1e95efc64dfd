#include "platform/stdio_output.h"

#include <cstdio>

namespace ledra {

namespace {

class StreamOutput final : public StandardOutput {
 public:
  StreamOutput() { std::setvbuf(stdout, buffer_, _IOFBF, sizeof buffer_); }
  void Write(std::string_view bytes) override {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }
  bool Flush() override { return std::fflush(stdout) == 0; }

 private:
  // Lives as long as the process writes: the stream keeps using it until exit.
  static char buffer_[1 << 16];
};

char StreamOutput::buffer_[1 << 16];

}  // namespace

std::unique_ptr<StandardOutput> NewStreamOutput() { return std::make_unique<StreamOutput>(); }

size_t WholeUtf8Prefix(std::string_view text) {
  // A sequence is at most four bytes: only the last three can belong to an unfinished one.
  const size_t size = text.size();
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto c = static_cast<unsigned char>(text[size - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return length > back ? size - back : size;
  }
  return size;
}

}  // namespace ledra
