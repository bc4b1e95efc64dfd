#include "cataloguing/walk_progress.h"

#include <cstdio>
#include <iterator>

namespace ledra {

namespace {

constexpr size_t kDefaultColumns = 80;

std::string Elapsed(double seconds) {
  const long total = static_cast<long>(seconds);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

std::string HumanSize(double bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024.0) return std::to_string(static_cast<long long>(bytes)) + " bytes";
  size_t unit = 0;
  bytes /= 1024.0;
  while (bytes >= 1024.0 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
  return text;
}

// Where to cut `text` so that at most `room` bytes remain at its end, without starting
// inside a UTF-8 sequence.
size_t TailStart(const std::string& text, size_t room) {
  size_t start = text.size() - room;
  while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
    ++start;
  }
  return start;
}

}  // namespace

std::string EscapeForMessage(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

WalkProgress::WalkProgress(MessageSink& errors, int columns)
    : errors_(errors),
      columns_(columns > 0 ? static_cast<size_t>(columns) : kDefaultColumns),
      start_(std::chrono::steady_clock::now()) {}

double WalkProgress::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string WalkProgress::StatusLine(size_t folders, size_t entries, double seconds,
                                     const std::string& folder, size_t columns) {
  const size_t width = columns > 1 ? columns - 1 : 1;
  std::string line = std::to_string(folders) + " folders, " + std::to_string(entries) +
                     " entries, " + Elapsed(seconds) + "  ";
  const std::string path = EscapeForMessage(folder);
  if (line.size() + path.size() <= width) return line + path;
  constexpr char kCut[] = "...";
  const size_t fixed = line.size() + sizeof kCut - 1;
  if (fixed >= width) return line.substr(0, width);
  return line + kCut + path.substr(TailStart(path, width - fixed));
}

void WalkProgress::Walking(size_t folders, size_t entries, const std::string& folder) {
  const auto now = std::chrono::steady_clock::now();
  if (anyShown_ && now - shown_ < kInterval) return;
  anyShown_ = true;
  shown_ = now;
  errors_.ShowStatus(StatusLine(folders, entries, Seconds(), folder, columns_));
}

void WalkProgress::Finish(const VolumeCatalog& stored) {
  const double total = stored.folders.empty() ? 0.0 : stored.folders[0].totalSize;
  errors_.WriteLine("Wrote " + EscapeForMessage(stored.filePath) + " (version " +
                    std::to_string(stored.version) + "): " +
                    std::to_string(stored.entries.size()) + " entries, " +
                    std::to_string(stored.folders.size()) + " folders, " + HumanSize(total) +
                    " in " + Elapsed(Seconds()));
}

void WalkProgress::Abandon() { errors_.ClearStatus(); }

}  // namespace ledra
