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

std::string CatalogCodePage(std::string_view root, const std::string& ansiEncoding) {
  return IsWindowsRoot(root) ? ansiEncoding : std::string();
}

std::unique_ptr<NameDecoder> CatalogDecoder(Platform& platform, std::string_view root,
                                            const std::string& ansiEncoding, std::string* error,
                                            bool keepBytes) {
  const std::string codePage = CatalogCodePage(root, ansiEncoding);
  if (!codePage.empty()) return platform.NewCodePageDecoder(codePage, error);
  return keepBytes ? NewStoredUtf8Decoder() : NewUtf8Decoder();
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
