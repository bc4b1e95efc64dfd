#include "query/entry_output.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "catalog/format.h"
#include "platform/local_time.h"
#include "platform/volume_serial.h"
#include "query/name_text.h"

namespace ledra {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

Record EntryRecord(const EntryFacts& f) {
  Record r;
  r.reserve(14);
  r.push_back({"volume", FieldValue::Text(f.volume)});
  r.push_back({"catalog", FieldValue::Text(f.catalog)});
  r.push_back({"path", FieldValue::Text(f.path)});
  r.push_back({"name", FieldValue::Text(f.name)});
  r.push_back({"type", FieldValue::Text(f.folder ? "folder" : "file")});
  r.push_back({"size", FieldValue::Integer(f.size)});
  r.push_back({"size_clamped", FieldValue::Boolean(f.clamped)});
  r.push_back({"files", f.folder ? FieldValue::Integer(f.files) : FieldValue::Null()});
  r.push_back({"modified", FieldValue::Text(UtcIsoText(f.modified))});
  r.push_back({"modified_epoch", FieldValue::Integer(f.modified)});
  r.push_back(
      {"name_bytes", f.nameValid ? FieldValue::Null() : FieldValue::Text(HexBytes(f.rawName))});
  r.push_back({"serial", FieldValue::Text(SerialText(f.serial))});
  r.push_back({"parent", FieldValue::Integer(f.parent)});
  r.push_back(
      {"folder", f.folderNumber < 0 ? FieldValue::Null() : FieldValue::Integer(f.folderNumber)});
  return r;
}

void SetPlace(const CatalogHeader& header, const CatalogEntry& entry, EntryFacts* facts) {
  facts->serial = header.serial;
  facts->parent = entry.folderIndex;
  facts->folderNumber = entry.IsFolder() ? static_cast<int64_t>(entry.FolderNumber()) : -1;
}

const TextLayout& EntryLineLayout() {
  static const TextLayout layout;
  return layout;
}

void EntryLineCells(std::string_view volume, std::string_view path, double size, bool clamped,
                    int64_t modified, bool exactBytes, std::vector<std::string>* cells,
                    char folderMark) {
  cells->resize(3);
  std::string& where = (*cells)[0];
  where.assign(volume.data(), volume.size());
  where.push_back(':');
  where.append(path.data(), path.size());
  if (folderMark != 0 && (path.empty() || path.back() != folderMark)) where.push_back(folderMark);
  (*cells)[1] = SizeText(size, clamped, exactBytes);
  (*cells)[2] = LocalTimeText(modified);
}

void EntryRow::TextCells(bool exactBytes, std::vector<std::string>* cells) const {
  EntryLineCells(facts_.volume, facts_.path, static_cast<double>(facts_.size), facts_.clamped,
                 facts_.modified, exactBytes, cells);
}

std::string HumanSize(double bytes) {
  static const char kUnits[] = "KMGTPE";
  // The reader refuses figures like these; a sum or a caller's mistake must still print.
  if (std::isnan(bytes)) return "?";
  if (bytes < 0)
    return bytes > -1024 ? std::to_string(static_cast<int64_t>(bytes)) : "-" + HumanSize(-bytes);
  if (std::isinf(bytes)) return "inf";
  if (bytes < 1024) return std::to_string(static_cast<int64_t>(bytes));
  double value = bytes;
  int unit = -1;
  while (value >= 1024 && unit < 5) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (value < 10) {
    std::snprintf(text, sizeof text, "%.1f%c", std::floor(value * 10) / 10, kUnits[unit]);
  } else if (value < 1024) {
    std::snprintf(text, sizeof text, "%.0f%c", std::floor(value), kUnits[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.3g%c", value, kUnits[unit]);
  }
  return text;
}

std::string SizeText(double bytes, bool clamped, bool exactBytes) {
  if (clamped) return exactBytes ? ">=2147483648" : ">=2.0G";
  if (exactBytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", bytes);
    return text;
  }
  return HumanSize(bytes);
}

std::string LocalTimeText(int64_t epoch) {
  char text[32] = "?";
  std::tm local{};
  if (ToLocalTime(epoch, &local)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

std::string UtcIsoText(int64_t epoch) {
  const int64_t days = (epoch >= 0 ? epoch : epoch - 86399) / 86400;
  const int64_t seconds = epoch - days * 86400;
  int64_t year;
  unsigned month;
  unsigned day;
  CivilFromDays(days, &year, &month, &day);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(year),
                month, day, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return text;
}

std::string AgoText(int64_t epoch, int64_t now) {
  const int64_t d = now - epoch;
  if (d < 0) return "in the future";
  struct Unit {
    int64_t seconds;
    const char* name;
  };
  static const Unit kUnits[] = {{365 * 86400, "year"}, {30 * 86400, "month"}, {86400, "day"},
                                {3600, "hour"},        {60, "minute"},        {1, "second"}};
  for (const Unit& u : kUnits) {
    if (d >= u.seconds || u.seconds == 1) {
      const int64_t n = d / u.seconds;
      return std::to_string(n) + " " + u.name + (n == 1 ? "" : "s") + " ago";
    }
  }
  return "";
}

bool ParseLocalTime(std::string_view text, int64_t* epoch) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const std::string s(text);
  int used = 0;
  if (s.size() == 10) {
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 || used != 10)
      return false;
  } else if (s.size() == 19) {
    if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &used) != 6 ||
        used != 19) {
      return false;
    }
  } else {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return FromLocalTime(&tm, epoch);
}

}  // namespace ledra
