// Standard output through the C library's stream, with a buffer of its own, for both real
// platforms (each prepares the stream first where its system needs it).
#ifndef LEDRA_PLATFORM_STDIO_OUTPUT_H_
#define LEDRA_PLATFORM_STDIO_OUTPUT_H_

#include <memory>

#include "platform/output_sink.h"

namespace ledra {

// The process's standard output; call once, before anything is written to it.
std::unique_ptr<StandardOutput> NewStdioOutput();

}  // namespace ledra

#endif  // LEDRA_PLATFORM_STDIO_OUTPUT_H_
