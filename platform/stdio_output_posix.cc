#include "platform/stdio_output.h"

namespace ledra {

// A terminal shows the bytes in the locale's encoding, UTF-8 nowadays: they pass as written.
std::unique_ptr<StandardOutput> NewStdioOutput() { return NewStreamOutput(); }

}  // namespace ledra
