// On a console the bytes are shown through WriteConsoleW: the console would otherwise read
// them in its own code page, so that UTF-8 names turn into other characters.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/stdio_output.h"

namespace ledra {

namespace {

class ConsoleOutput final : public StandardOutput {
 public:
  explicit ConsoleOutput(HANDLE console) : console_(console) {}

  void Write(std::string_view bytes) override {
    pending_.append(bytes.data(), bytes.size());
    if (pending_.size() >= kHeld) Show(WholeUtf8Prefix(pending_));
  }

  bool Flush() override {
    Show(pending_.size());
    return ok_;
  }

 private:
  static constexpr size_t kHeld = 1 << 16;

  // Shows the first `length` pending bytes read as UTF-8 (an invalid byte as U+FFFD).
  void Show(size_t length) {
    if (length == 0) return;
    const int n = static_cast<int>(length);
    const int wide = MultiByteToWideChar(CP_UTF8, 0, pending_.data(), n, nullptr, 0);
    if (wide > 0) {
      wide_.resize(static_cast<size_t>(wide));
      MultiByteToWideChar(CP_UTF8, 0, pending_.data(), n, &wide_[0], wide);
      size_t written = 0;
      while (written < wide_.size()) {
        DWORD done = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide_.size() - written, 8192));
        if (!WriteConsoleW(console_, wide_.data() + written, chunk, &done, nullptr) || done == 0) {
          ok_ = false;
          break;
        }
        written += done;
      }
    } else {
      ok_ = false;
    }
    pending_.erase(0, length);
  }

  HANDLE console_;
  std::string pending_;
  std::wstring wide_;
  bool ok_ = true;
};

}  // namespace

std::unique_ptr<StandardOutput> NewStdioOutput() {
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
    return std::make_unique<ConsoleOutput>(handle);
  }
  return NewStreamOutput();
}

}  // namespace ledra
