// Standard output for both real platforms: the C library's stream, with a buffer of its own
// (each platform prepares the stream first where its system needs it), or on a Windows
// console the console's own wide-character calls, so that names beyond the code page show
// as themselves.
#ifndef LEDRA_PLATFORM_STDIO_OUTPUT_H_
#define LEDRA_PLATFORM_STDIO_OUTPUT_H_

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/output_sink.h"

namespace ledra {

// The process's standard output; call once, before anything is written to it. A pipe or a
// file receives the bytes as written; a Windows console shows them read as UTF-8.
// (stdio_output_posix.cc, stdio_output_win32.cc)
std::unique_ptr<StandardOutput> NewStdioOutput();

// Standard output through the C library's stream, the bytes as written.
std::unique_ptr<StandardOutput> NewStreamOutput();

// The length of the longest prefix of `text` that ends on no unfinished UTF-8 sequence: what
// can be shown now while the rest of a character is still to come. Bytes that cannot be
// part of a sequence count as whole.
size_t WholeUtf8Prefix(std::string_view text);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_STDIO_OUTPUT_H_
