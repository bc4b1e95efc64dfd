#include "query/catalog_encoding.h"

#include <utility>
#include <vector>

#include "catalog/catalog_reader.h"
#include "platform/byte_text.h"
#include "platform/platform.h"
#include "query/name_text.h"

namespace ledra {

bool IsWindowsRoot(std::string_view root) {
  if (root.size() >= 2 && root[0] == '\\' && root[1] == '\\') return true;
  if (root.size() < 2 || root[1] != ':') return false;
  const char drive = LowerAscii(root[0]);
  return drive >= 'a' && drive <= 'z';
}

namespace {

// UTF-8 names as they are; the others through the code page.
class Utf8OrCodePage final : public NameDecoder {
 public:
  explicit Utf8OrCodePage(std::unique_ptr<NameDecoder> codePage) : codePage_(std::move(codePage)) {}
  bool Decode(std::string_view bytes, std::string* out) override {
    if (!IsValidUtf8(bytes)) return codePage_->Decode(bytes, out);
    out->assign(bytes.data(), bytes.size());
    return true;
  }

 private:
  std::unique_ptr<NameDecoder> codePage_;
};

}  // namespace

std::string CatalogCodePage(std::string_view root, const NameEncoding& encoding) {
  if (!IsWindowsRoot(root)) return std::string();
  return encoding.option.empty() ? encoding.machine : encoding.option;
}

bool DecodesNames(std::string_view root, const NameEncoding& encoding) {
  return !CatalogCodePage(root, encoding).empty() || !encoding.option.empty();
}

std::unique_ptr<NameDecoder> CatalogDecoder(Platform& platform, std::string_view root,
                                            const NameEncoding& encoding, std::string* error,
                                            bool keepBytes) {
  const std::string codePage = CatalogCodePage(root, encoding);
  if (!codePage.empty()) return platform.NewCodePageDecoder(codePage, error);
  if (!encoding.option.empty()) {
    std::unique_ptr<NameDecoder> fallback = platform.NewCodePageDecoder(encoding.option, error);
    if (!fallback) return nullptr;
    return std::make_unique<Utf8OrCodePage>(std::move(fallback));
  }
  return keepBytes ? NewStoredUtf8Decoder() : NewUtf8Decoder();
}

bool CheckEncoding(Platform& platform, const NameEncoding& encoding, std::string* error) {
  for (const std::string* codePage : {&encoding.option, &encoding.machine}) {
    if (!codePage->empty() && !platform.NewCodePageDecoder(*codePage, error)) return false;
  }
  return true;
}

void DecodeNames(NameDecoder& decoder, CatalogContents* contents) {
  CatalogHeader& h = contents->header;
  for (std::string* text : {&h.root, &h.folder0Path, &h.volumeName, &h.alias, &h.displayName}) {
    std::string decoded;
    decoder.Decode(*text, &decoded);
    *text = std::move(decoded);
  }
  auto bytes = std::make_shared<std::string>();
  if (contents->bytes) *bytes = *contents->bytes;
  // Every name is written first and pointed at after, once the bytes no longer move.
  std::vector<std::pair<size_t, size_t>> places(contents->entries.size());
  std::string decoded;
  for (size_t i = 0; i < contents->entries.size(); ++i) {
    decoder.Decode(contents->entries[i].name, &decoded);
    places[i] = {bytes->size(), decoded.size()};
    bytes->append(decoded);
  }
  for (size_t i = 0; i < contents->entries.size(); ++i) {
    contents->entries[i].name = std::string_view(bytes->data() + places[i].first, places[i].second);
  }
  contents->bytes = std::move(bytes);
}

}  // namespace ledra
