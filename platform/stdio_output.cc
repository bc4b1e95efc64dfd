#include "platform/stdio_output.h"

#include <cstdio>

namespace ledra {

namespace {

class StdioOutput final : public StandardOutput {
 public:
  StdioOutput() { std::setvbuf(stdout, buffer_, _IOFBF, sizeof buffer_); }
  void Write(std::string_view bytes) override {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }
  bool Flush() override { return std::fflush(stdout) == 0; }

 private:
  // Lives as long as the process writes: the stream keeps using it until exit.
  static char buffer_[1 << 16];
};

char StdioOutput::buffer_[1 << 16];

}  // namespace

std::unique_ptr<StandardOutput> NewStdioOutput() { return std::make_unique<StdioOutput>(); }

}  // namespace ledra
