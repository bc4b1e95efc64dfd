// Code pages through glibc's iconv.
#include <iconv.h>

#include <cerrno>

#include "platform/code_page.h"

namespace ledra {

namespace {

class IconvDecoder final : public NameDecoder {
 public:
  explicit IconvDecoder(iconv_t cd) : cd_(cd) {}
  ~IconvDecoder() override { iconv_close(cd_); }

  bool Decode(std::string_view bytes, std::string* out) override {
    out->clear();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    bool valid = true;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* to = buffer;
      size_t toLeft = sizeof buffer;
      const size_t r = iconv(cd_, &in, &inLeft, &to, &toLeft);
      out->append(buffer, static_cast<size_t>(to - buffer));
      if (r != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: a byte this code page has no character for, or one cut short.
      out->append("\xEF\xBF\xBD");
      valid = false;
      ++in;
      --inLeft;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return valid;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::unique_ptr<NameDecoder> NewSystemCodePageDecoder(const std::string& codePage,
                                                      std::string* error) {
  const iconv_t cd = iconv_open("UTF-8", codePage.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *error = "unknown encoding '" + codePage + "'";
    return nullptr;
  }
  return std::make_unique<IconvDecoder>(cd);
}

std::string MachineAnsiCodePage() { return std::string(); }

}  // namespace ledra
