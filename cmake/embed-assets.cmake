# Writes the page of `ledra serve` into a C++ source: cmake -DOUTPUT=file.cc -DSOURCE_DIR=dir
# -P embed-assets.cmake. Each file of the page becomes a byte array, so that the program
# serves it from memory and needs nothing installed beside it.
set(assets
    "/|index.html|text/html"
    "/app.js|app.js|text/javascript"
    "/treemap.js|treemap.js|text/javascript"
    "/style.css|style.css|text/css"
    "/favicon.svg|favicon.svg|image/svg+xml")
set(arrays "")
set(table "")
set(index 0)
foreach(asset ${assets})
  string(REPLACE "|" ";" parts "${asset}")
  list(GET parts 0 path)
  list(GET parts 1 file)
  list(GET parts 2 type)
  set(charset "")
  if(type MATCHES "^text/")
    set(charset "; charset=utf-8")
  endif()
  file(READ "${SOURCE_DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR length "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND arrays "const char kAsset${index}[] = {${bytes} 0};\n")
  string(APPEND table "    {\"${path}\", \"${type}${charset}\", std::string_view(kAsset${index}, ${length})},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from serve/page/ by cmake/embed-assets.cmake; do not edit.
#include <string_view>

#include \"serve/web_assets.h\"

namespace ledra {

namespace {

${arrays}
const WebAsset kAssets[] = {
${table}};

}  // namespace

const WebAsset* FindWebAsset(std::string_view path) {
  for (const WebAsset& asset : kAssets) {
    if (asset.path == path) return &asset;
  }
  return nullptr;
}

}  // namespace ledra
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
file(REMOVE "${OUTPUT}.tmp")
