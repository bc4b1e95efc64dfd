#include "platform/platform.h"

#include <cstdint>
#include <limits>

namespace ledra {

void Platform::ReportError(const std::string& action, const std::string& path,
                           const OsError& err) {
  errors_.StartLine();
  std::string line = "LedraCmd: cannot " + action + " '" + path + "'";
  if (!err.text.empty()) line += ": " + err.text;
  errors_.WriteLine(line);
}

std::unique_ptr<MappedFile> Platform::MapForReading(const std::string& path, OsError* err) {
  return MapRegularFile(path, err);
}

int32_t ClampTime(int64_t seconds) {
  if (seconds > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (seconds < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(seconds);
}

}  // namespace ledra
