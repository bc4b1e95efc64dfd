#include "serve/api_request.h"

#include <algorithm>
#include <map>

#include "app/ledra_command.h"
#include "query/entry_output.h"
#include "query/find_query.h"

namespace ledra {

namespace {

constexpr uint64_t kLargestPage = 10000;
constexpr uint64_t kLargestOffset = 10000000;

// What an endpoint accepts: its parameters, and the page it returns when none is asked.
struct EndpointRule {
  std::vector<const char*> parameters;
  uint64_t defaultLimit;  // 0: the endpoint is not paged
};

const std::map<std::string, EndpointRule>& Rules() {
  static const std::map<std::string, EndpointRule> rules = {
      {"volumes", {{}, 0}},
      {"find",
       {{"q", "type", "size", "newer", "older", "volume", "regex", "path", "limit", "offset"},
        100}},
      {"ls", {{"volume", "path", "sort", "limit", "offset"}, 500}},
      {"du", {{"volume", "path", "depth", "limit", "offset"}, 500}},
      {"diff", {{"volume", "top", "limit", "offset"}, 500}},
      {"dupes", {{"by", "mtime", "min-size", "limit", "offset"}, 500}},
      {"unique", {{"volume", "min-size", "limit", "offset"}, 500}},
      {"export", {{"volume", "format"}, 0}},
  };
  return rules;
}

// The checked parameters of one request.
class Values {
 public:
  const std::string* Find(const char* name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
  }
  std::string Text(const char* name) const {
    const std::string* v = Find(name);
    return v ? *v : std::string();
  }
  std::map<std::string, std::string> values_;
};

bool ParseCount(const std::string& text, uint64_t largest, uint64_t* value) {
  if (text.empty() || text.size() > 12) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n > largest) return false;
  *value = n;
  return true;
}

bool ParseSwitch(const std::string& text, bool* on) {
  static const char* const kOn[] = {"1", "true", "yes", "on"};
  static const char* const kOff[] = {"", "0", "false", "no", "off"};
  for (const char* t : kOn) {
    if (text == t) return *on = true;
  }
  for (const char* t : kOff) {
    if (text == t) {
      *on = false;
      return true;
    }
  }
  return false;
}

// Reads `name` as a count in [smallest, largest] into *value when given.
bool CountParameter(const Values& v, const char* name, uint64_t smallest, uint64_t largest,
                    uint64_t* value, std::string* error) {
  const std::string* text = v.Find(name);
  if (!text) return true;
  uint64_t n = 0;
  if (!ParseCount(*text, largest, &n) || n < smallest) {
    *error = std::string(name) + " takes a whole number from " + std::to_string(smallest) + " to " +
             std::to_string(largest);
    return false;
  }
  *value = n;
  return true;
}

bool VolumeParameter(const Values& v, bool required, bool allowColon, ApiCall* call,
                     std::string* error) {
  const std::string* volume = v.Find("volume");
  if (!volume || volume->empty()) {
    if (!required) return true;
    *error = "volume is required";
    return false;
  }
  if (!allowColon && volume->find(':') != std::string::npos) {
    *error = "volume may not hold ':' here; name the volume by its catalogue file or serial";
    return false;
  }
  call->volume = *volume;
  return true;
}

bool MinSizeParameter(const Values& v, ApiCall* call, std::string* error) {
  const std::string* text = v.Find("min-size");
  if (!text) return true;
  int64_t bytes = 0;
  if (!ParseMinSize(*text, &bytes)) {
    *error = "min-size takes a byte count with K, M, G or T";
    return false;
  }
  call->arguments.push_back("--min-size=" + *text);
  return true;
}

bool BuildFind(const Values& v, ApiCall* call, std::string* error) {
  std::vector<std::string>& a = call->arguments;
  const std::string type = v.Text("type");
  if (!type.empty()) {
    if (type != "f" && type != "d") {
      *error = "type takes f or d";
      return false;
    }
    a.push_back("--type=" + type);
  }
  if (const std::string* size = v.Find("size")) {
    SizeFilter filter;
    if (!ParseSizeFilter(*size, &filter)) {
      *error = "size takes +N, -N or N with K, M, G or T";
      return false;
    }
    a.push_back("--size=" + *size);
  }
  for (const char* name : {"newer", "older"}) {
    const std::string* date = v.Find(name);
    if (!date || date->empty()) continue;
    int64_t t = 0;
    if (!ParseLocalTime(*date, &t)) {
      *error = std::string(name) + " takes YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS";
      return false;
    }
    a.push_back(std::string("--") + name + "=" + *date);
  }
  if (!VolumeParameter(v, false, true, call, error)) return false;
  if (!call->volume.empty()) {
    call->volumeUse = VolumeUse::Selector;
    a.push_back("--volume=" + call->volume);
  }
  bool path = false;
  if (!ParseSwitch(v.Text("path"), &path)) {
    *error = "path takes 1 or 0";
    return false;
  }
  if (path) a.push_back("--path");
  const std::string regex = v.Text("regex");
  const std::string pattern = v.Text("q");
  if (!regex.empty() && !pattern.empty()) {
    *error = "give either q or regex, not both";
    return false;
  }
  if (!regex.empty()) a.push_back("--regex=" + regex);
  // One more result than the page holds tells whether another page follows.
  a.push_back("--limit=" + std::to_string(call->offset + call->limit + 1));
  if (!pattern.empty()) {
    a.push_back("--");
    a.push_back(pattern);
  }
  return true;
}

bool BuildFolder(const Values& v, bool list, ApiCall* call, std::string* error) {
  if (!VolumeParameter(v, true, false, call, error)) return false;
  call->volumeUse = VolumeUse::Selector;
  const std::string path = v.Text("path");
  if (!IsRelativeFolderPath(path)) {
    *error = "path must name a folder below the scan root: no '..', no leading separator";
    return false;
  }
  if (list) {
    const std::string sort = v.Text("sort");
    if (!sort.empty() && sort != "name" && sort != "size" && sort != "time") {
      *error = "sort takes name, size or time";
      return false;
    }
    call->arguments.push_back("--sort=" + (sort.empty() ? std::string("name") : sort));
  } else {
    uint64_t depth = 1;
    if (!CountParameter(v, "depth", 0, 4, &depth, error)) return false;
    call->arguments.push_back("--depth=" + std::to_string(depth));
  }
  call->arguments.push_back("--");
  call->arguments.push_back(call->volume + (path.empty() ? "" : ":" + path));
  return true;
}

bool BuildRest(const std::string& endpoint, const Values& v, ApiCall* call, std::string* error) {
  std::vector<std::string>& a = call->arguments;
  if (endpoint == "diff") {
    if (!VolumeParameter(v, true, true, call, error)) return false;
    uint64_t top = 20;
    if (!CountParameter(v, "top", 0, 1000, &top, error)) return false;
    a.push_back("--top=" + std::to_string(top));
    call->volumeUse = VolumeUse::File;
  } else if (endpoint == "dupes") {
    const std::string by = v.Text("by");
    if (!by.empty() && by != "name" && by != "size") {
      *error = "by takes name or size";
      return false;
    }
    if (!by.empty()) a.push_back("--by=" + by);
    bool sameTime = false;
    if (!ParseSwitch(v.Text("mtime"), &sameTime)) {
      *error = "mtime takes 1 or 0";
      return false;
    }
    if (sameTime) a.push_back("--mtime");
    return MinSizeParameter(v, call, error);
  } else if (endpoint == "unique") {
    if (!VolumeParameter(v, true, true, call, error)) return false;
    if (!MinSizeParameter(v, call, error)) return false;
    call->volumeUse = VolumeUse::Selector;
  } else if (endpoint == "export") {
    if (!VolumeParameter(v, true, true, call, error)) return false;
    const std::string format = v.Text("format");
    if (format != "csv" && format != "jsonl" && format != "ncdu" && format != "sqlite") {
      *error = "format takes csv, jsonl, ncdu or sqlite";
      return false;
    }
    call->format = format;
    call->json = false;
    a.push_back("--format=" + format);
    call->volumeUse = VolumeUse::File;
  } else {
    return true;  // volumes
  }
  if (endpoint == "dupes") return true;
  a.push_back("--");
  call->volumeAt = a.size();
  a.push_back(call->volume);
  return true;
}

}  // namespace

bool IsApiEndpoint(const std::string& name) { return Rules().count(name) != 0; }

bool IsRelativeFolderPath(const std::string& path) {
  if (path.size() > kParameterLimit || path.find('\0') != std::string::npos) return false;
  if (path.empty()) return true;
  if (path[0] == '/' || path[0] == '\\') return false;
  if (path.size() >= 2 && path[1] == ':') return false;  // a drive: 'C:' or 'C:\x'
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

bool BuildApiCall(const std::string& endpoint, const ApiParameters& parameters, ApiCall* call,
                  std::string* error) {
  auto rule = Rules().find(endpoint);
  if (rule == Rules().end()) {
    *error = "no such endpoint: /api/" + endpoint;
    return false;
  }
  Values v;
  for (const auto& [name, value] : parameters) {
    const auto& known = rule->second.parameters;
    const std::string& given = name;  // a lambda may not capture a structured binding in C++17
    if (std::none_of(known.begin(), known.end(), [&](const char* k) { return given == k; })) {
      *error = "unknown parameter for /api/" + endpoint + ": " + name.substr(0, 64);
      return false;
    }
    if (!v.values_.emplace(name, value).second) {
      *error = "parameter given twice: " + name;
      return false;
    }
    if (value.size() > kParameterLimit) {
      *error = name + " is longer than " + std::to_string(kParameterLimit) + " bytes";
      return false;
    }
    if (value.find('\0') != std::string::npos) {
      *error = name + " holds a NUL byte";
      return false;
    }
  }
  *call = ApiCall();
  call->endpoint = endpoint;
  call->limit = rule->second.defaultLimit;
  if (call->limit != 0) {
    if (!CountParameter(v, "limit", 1, kLargestPage, &call->limit, error)) return false;
    if (!CountParameter(v, "offset", 0, kLargestOffset, &call->offset, error)) return false;
  }
  if (endpoint != "export") call->arguments.push_back("--json");
  if (endpoint == "find") return BuildFind(v, call, error);
  if (endpoint == "ls" || endpoint == "du") return BuildFolder(v, endpoint == "ls", call, error);
  return BuildRest(endpoint, v, call, error);
}

}  // namespace ledra
