#include "platform/platform.h"

#include <cstdint>
#include <limits>

namespace ledra {

void Platform::ReportError(const std::string& action, const std::string& path, const OsError& err) {
  errors_.StartLine();
  std::string line = "LedraCmd: cannot " + action + " '" + EscapeControls(path) + "'";
  if (!err.text.empty()) line += ": " + err.text;
  errors_.WriteLine(line);
}

std::string Platform::WithoutTrailingSeparator(std::string path) const {
  if (EndsWithSeparator(path, Separator(), LeadBytes())) path.pop_back();
  return path;
}

std::string Platform::FolderOfFile(const std::string& fullPath) const {
  return ledra::FolderOfFile(fullPath, Separator(), LeadBytes());
}

std::unique_ptr<MappedFile> Platform::MapForReading(const std::string& path, OsError* err) {
  return MapRegularFile(path, err);
}

std::unique_ptr<ScratchFile> Platform::OpenScratchFile(OsError* err) {
  return OpenSystemScratchFile(err);
}

void Platform::Report(const std::string& text) {
  errors_.StartLine();
  errors_.WriteLine("LedraCmd: " + text);
}

int32_t ClampTime(int64_t seconds) {
  if (seconds > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (seconds < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(seconds);
}

}  // namespace ledra
