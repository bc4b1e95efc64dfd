// ledra: lists, searches and browses the catalogues LedraCmd writes.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/ledra_cli.h"
#include "platform/platform.h"
#include "query/terminal_output.h"

namespace {

class StandardOutput final : public ledra::OutputSink {
 public:
  void Write(std::string_view bytes) override {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Results are bytes: CSV brings its own CRLF, -0 its NULs.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  ledra::MessageSink errors(std::cerr);
  std::unique_ptr<ledra::Platform> platform = ledra::NewRealPlatform(errors);
  StandardOutput standardOutput;
  // A person reading results is shielded from names that hold terminal commands; a pipe
  // or a file gets the stored bytes.
#ifdef _WIN32
  const bool terminal = _isatty(_fileno(stdout)) != 0;
#else
  const bool terminal = isatty(fileno(stdout)) != 0;
#endif
  ledra::TerminalOutput shown(standardOutput);
  ledra::OutputSink& out = terminal ? static_cast<ledra::OutputSink&>(shown) : standardOutput;
  const unsigned cores = std::thread::hardware_concurrency();
  ledra::ReaderContext context{*platform,
                               out,
                               errors,
                               std::getenv("LEDRA_CATALOGS"),
                               static_cast<int64_t>(std::time(nullptr)),
                               static_cast<int>(cores == 0  ? 1
                                                : cores > 8 ? 8
                                                            : cores)};
  const int status = ledra::RunReader(argc, argv, context);
  if (terminal) shown.Finish();
  if (std::fflush(stdout) != 0 && status != ledra::kReaderError) return ledra::kReaderError;
  return status;
}
