// The page of `ledra serve`: one HTML document, its script and its style, compiled into the
// program (cmake/embed-assets.cmake turns serve/page/ into a source file at build time), so
// that nothing is installed beside the program and nothing is fetched from another host.
#ifndef LEDRA_SERVE_WEB_ASSETS_H_
#define LEDRA_SERVE_WEB_ASSETS_H_

#include <string_view>

namespace ledra {

struct WebAsset {
  std::string_view path;         // "/", "/app.js", ...
  std::string_view contentType;  // with its charset
  std::string_view bytes;
};

// The asset served at `path`, or null.
const WebAsset* FindWebAsset(std::string_view path);

}  // namespace ledra

#endif  // LEDRA_SERVE_WEB_ASSETS_H_
