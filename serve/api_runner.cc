#include "serve/api_runner.h"

#include <chrono>
#include <sstream>
#include <utility>

#include "app/ledra_cli.h"
#include "platform/message_sink.h"
#include "query/catalog_selection.h"
#include "query/export_command.h"
#include "query/record_writer.h"

namespace ledra {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExportTimeFactor = 30;

// Thrown by a sink to end the query that writes into it: the page is full, the time is up
// or the client has gone. The query's own objects let go of what they hold as it unwinds.
struct QueryCut {
  bool timedOut = false;
};

// Keeps the JSON lines of one page of results: passes over `offset` lines, keeps `limit`,
// and ends the query at the line after them, which tells that more would follow.
class PageSink final : public OutputSink {
 public:
  PageSink(uint64_t offset, uint64_t limit, Clock::time_point deadline)
      : offset_(offset), limit_(limit), deadline_(deadline) {}

  void Write(std::string_view bytes) override {
    if (Clock::now() > deadline_) throw QueryCut{true};
    pending_.append(bytes.data(), bytes.size());
    size_t start = 0;
    for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
      TakeLine(std::string_view(pending_).substr(start, end - start));
    }
    pending_.erase(0, start);
  }

  bool more = false;
  uint64_t kept = 0;
  std::string results;  // the kept lines joined by commas

 private:
  void TakeLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return;
    if (skipped_ < offset_) {
      ++skipped_;
      return;
    }
    if (limit_ != 0 && kept == limit_) {
      more = true;
      throw QueryCut{false};
    }
    if (kept++ != 0) results += ',';
    results.append(line.data(), line.size());
  }

  uint64_t offset_;
  uint64_t limit_;
  Clock::time_point deadline_;
  uint64_t skipped_ = 0;
  std::string pending_;
};

// Passes an export's bytes on to the client in blocks as they come.
class StreamSink final : public OutputSink {
 public:
  StreamSink(const std::function<bool(std::string_view)>& write, Clock::time_point deadline)
      : write_(write), deadline_(deadline) {}
  void Write(std::string_view bytes) override {
    buffer_.append(bytes.data(), bytes.size());
    if (buffer_.size() >= kBlock) Flush();
  }
  void Flush() {
    if (Clock::now() > deadline_) throw QueryCut{true};
    if (!buffer_.empty() && !write_(buffer_)) throw QueryCut{false};
    buffer_.clear();
  }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  const std::function<bool(std::string_view)>& write_;
  Clock::time_point deadline_;
  std::string buffer_;
};

std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(text, &out);
  return out;
}

// The lines a run wrote to its error sink, as a JSON array.
std::string MessageArray(const std::string& text, const std::string& extra) {
  std::string out = "[";
  std::istringstream lines(text);
  bool first = true;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    if (!first) out += ',';
    first = false;
    out += JsonString(line);
  }
  if (!extra.empty()) out += std::string(first ? "" : ",") + JsonString(extra);
  return out + "]";
}

std::vector<CatalogFile> ListedFiles(Platform& platform, const ServeCatalogs& c,
                                     std::vector<std::string>* problems) {
  const char listSeparator = platform.Separator() == '\\' ? ';' : ':';
  std::vector<std::string> unreadable;
  std::vector<CatalogFile> files = ListCatalogFiles(
      platform, CatalogFolders(c.in, c.catalogsVariable, listSeparator), c.backups, &unreadable);
  ReadHeaders(platform, &files, problems);
  return files;
}

}  // namespace

std::string ErrorBody(const std::string& text) { return "{\"error\":" + JsonString(text) + "}"; }

ApiRunner::ApiRunner(Platform& platform, ServeCatalogs catalogs, int timeLimitMs)
    : platform_(platform), catalogs_(std::move(catalogs)), timeLimitMs_(timeLimitMs) {}

std::vector<std::string> ApiRunner::Argv(const ApiCall& call) const {
  std::vector<std::string> argv = {"ledra", call.endpoint};
  for (const std::string& folder : catalogs_.in) argv.push_back("--in=" + folder);
  if (catalogs_.backups) argv.push_back("--backups");
  if (!catalogs_.encoding.empty()) argv.push_back("--encoding=" + catalogs_.encoding);
  argv.insert(argv.end(), call.arguments.begin(), call.arguments.end());
  return argv;
}

bool ApiRunner::ResolveVolume(ApiCall* call, ApiAnswer* answer) {
  std::vector<std::string> problems;
  const std::vector<CatalogFile> files = ListedFiles(platform_, catalogs_, &problems);
  size_t chosen = 0;
  std::string error;
  if (!SelectCatalog(files, call->volume, &chosen, &error)) {
    answer->httpStatus = 404;
    answer->body = ErrorBody(error);
    return false;
  }
  if (call->volumeUse == VolumeUse::File) call->arguments[call->volumeAt] = files[chosen].path;
  call->volumeFileName = files[chosen].fileName;
  return true;
}

std::string ApiRunner::DamagedList() {
  std::vector<std::string> problems;
  const std::vector<CatalogFile> files = ListedFiles(platform_, catalogs_, &problems);
  std::string out = "[";
  bool first = true;
  for (const CatalogFile& f : files) {
    if (f.headerRead) continue;
    std::string message;
    for (const std::string& p : problems) {
      if (p.compare(0, f.path.size() + 1, f.path + ":") == 0) message = p;
    }
    if (!first) out += ',';
    first = false;
    out += "{\"catalog\":" + JsonString(f.fileName) + ",\"path\":" + JsonString(f.path) +
           ",\"message\":" + JsonString(EscapeControls(message)) + "}";
  }
  return out + "]";
}

ApiAnswer ApiRunner::Answer(ApiCall call) {
  ApiAnswer answer;
  if (call.volumeUse != VolumeUse::None && !ResolveVolume(&call, &answer)) return answer;
  const std::vector<std::string> argv = Argv(call);
  std::vector<const char*> pointers;
  for (const std::string& a : argv) pointers.push_back(a.c_str());

  PageSink page(call.offset, call.limit, Clock::now() + std::chrono::milliseconds(timeLimitMs_));
  std::ostringstream errorText;
  MessageSink errors(errorText);
  ReaderContext context{platform_, page, errors, catalogs_.catalogsVariable, platform_.Now(), 1};
  int status = kReaderFound;
  bool complete = true;
  std::string cut;
  try {
    status = RunReader(static_cast<int>(pointers.size()), pointers.data(), context);
  } catch (const QueryCut& c) {
    complete = false;
    status = page.kept > 0 ? kReaderFound : kReaderNothing;
    if (c.timedOut) {
      cut = "ledra: the query was stopped after " + std::to_string(timeLimitMs_) +
            " ms; narrow it down";
    }
  }
  answer.body = "{\"status\":" + std::to_string(status) + ",\"results\":[" + page.results +
                "],\"messages\":" + MessageArray(errorText.str(), cut) +
                ",\"complete\":" + (complete ? "true" : "false") +
                ",\"more\":" + (page.more ? "true" : "false");
  if (call.endpoint == "volumes") answer.body += ",\"damaged\":" + DamagedList();
  answer.body += "}";
  return answer;
}

bool ApiRunner::StreamExport(const ApiCall& call,
                             const std::function<bool(std::string_view)>& write) {
  // An export is every entry of a volume: it may take longer than a page of results.
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(timeLimitMs_) * kExportTimeFactor;
  if (call.format == "sqlite") {
    // SQLite writes a database, not a stream: it is built in memory and sent whole.
    CatalogFile file;
    file.path = call.arguments[call.volumeAt];
    file.fileName = call.volumeFileName;
    std::string bytes;
    std::string error;
    if (!ExportSqliteToMemory(platform_, file, catalogs_.encoding, &bytes, &error)) return false;
    return write(bytes);
  }
  StreamSink sink(write, deadline);
  std::ostringstream errorText;
  MessageSink errors(errorText);
  ReaderContext context{platform_, sink, errors, catalogs_.catalogsVariable, platform_.Now(), 1};
  const std::vector<std::string> argv = Argv(call);
  std::vector<const char*> pointers;
  for (const std::string& a : argv) pointers.push_back(a.c_str());
  try {
    const int status = RunReader(static_cast<int>(pointers.size()), pointers.data(), context);
    sink.Flush();
    return status != kReaderError;
  } catch (const QueryCut&) {
    return false;
  }
}

}  // namespace ledra
