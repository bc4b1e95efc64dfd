// `ledra serve`: the catalogues in a web browser. The page and its JSON API are answered by
// the subcommands of this table themselves (serve/), on a loopback address by default, until
// the user stops the program.
#include <atomic>
#include <random>

#include "app/ledra_command.h"
#include "platform/browser_launch.h"
#include "platform/stop_request.h"
#include "serve/access_rules.h"
#include "serve/api_runner.h"
#include "serve/web_server.h"

namespace ledra {

namespace {

constexpr int kDefaultPort = 8765;
constexpr int kTimeLimitMs = 10000;

struct ServeArguments : CommandOptions {
  std::string listen = "127.0.0.1:" + std::to_string(kDefaultPort);
  bool open = false;
  std::string tokenFile;
};

std::unique_ptr<CommandOptions> AddServeOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<ServeArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::None);
  command.add_option("--listen", a->listen,
                     "HOST:PORT to answer on (default 127.0.0.1:8765; port 0: any free one)");
  command.add_flag("--open", a->open, "open the page in the default browser");
  command.add_option("--token-file", a->tokenFile,
                     "the token clients must send, on the file's first line (off loopback; "
                     "default: one made up and printed)");
  return a;
}

// "HOST:PORT", "[V6]:PORT" or ":PORT" (loopback). False when malformed.
bool ParseListen(const std::string& text, std::string* host, int* port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size()) return false;
  *host = text.substr(0, colon);
  if (host->empty()) *host = "127.0.0.1";
  if (host->size() >= 2 && host->front() == '[' && host->back() == ']') {
    *host = host->substr(1, host->size() - 2);
  }
  long value = 0;
  for (char c : text.substr(colon + 1)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > 65535) return false;
  }
  *port = static_cast<int>(value);
  return true;
}

// 32 hexadecimal digits from the system's source of randomness.
std::string RandomSecret() {
  std::random_device random;
  static const char kDigits[] = "0123456789abcdef";
  std::string secret;
  for (int i = 0; i < 32; ++i) secret += kDigits[random() & 15];
  return secret;
}

// The first line of the token file, without its line end; empty when unreadable.
std::string ReadToken(Platform& platform, const std::string& path, std::string* error) {
  OsError err;
  std::unique_ptr<File> file = platform.OpenForReading(path, &err);
  if (!file) {
    *error = "cannot read the token file '" + path + "': " + err.text;
    return "";
  }
  std::string text;
  char buffer[256];
  size_t got = 0;
  while (text.size() < 4096 && file->Read(buffer, sizeof buffer, &got, &err) && got > 0) {
    text.append(buffer, got);
  }
  text = text.substr(0, text.find_first_of("\r\n"));
  if (text.size() < 16) {
    *error = "the token in '" + path + "' is shorter than 16 characters";
    return "";
  }
  return text;
}

void Say(CommandRun& run, const std::string& line) {
  ReaderContext& c = run.context();
  if (c.standardOutput) {
    c.standardOutput->Write(line + "\n");
    c.standardOutput->Flush();
  } else {
    c.out.Write(line + "\n");
  }
}

int RunServeCommand(CommandRun& run, CommandOptions& options) {
  const ServeArguments& a = static_cast<const ServeArguments&>(options);
  std::string host;
  int port = 0;
  if (!ParseListen(a.listen, &host, &port)) {
    return run.Error("--listen takes HOST:PORT, such as 127.0.0.1:8765");
  }
  std::string token;
  std::string loginCode;
  std::string error;
  const bool loopback = IsLoopbackHost(host);
  if (!loopback) {
    token = a.tokenFile.empty() ? RandomSecret() : ReadToken(run.platform(), a.tokenFile, &error);
    if (token.empty()) return run.Error(error);
    loginCode = RandomSecret();
  }
  // Every catalogue folder is checked once at the start, so that a typing error shows now.
  run.Files();
  if (run.failed()) return kReaderError;

  ServeCatalogs catalogs;
  catalogs.in = run.common().in;
  catalogs.catalogsVariable = run.context().catalogsVariable;
  catalogs.backups = run.common().backups;
  catalogs.encoding = run.common().encoding;
  ApiRunner runner(run.platform(), catalogs, kTimeLimitMs);
  std::atomic<WebServer*> running{nullptr};
  // Before any thread starts, so that only the watcher takes the stop signals.
  std::unique_ptr<StopWatch> watch = WatchForStop([&running] {
    if (WebServer* server = running.load()) server->Stop();
  });
  WebServer server(runner, ServerLimits());
  int boundPort = 0;
  if (!server.Bind(host, port, &boundPort, &error)) return run.Error(error);
  AccessRules access(host, boundPort, token, loginCode);
  server.SetAccess(&access);
  const std::string hostPart = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  const std::string address = "http://" + hostPart + ":" + std::to_string(boundPort) + "/";
  std::string link = address;
  if (loopback) {
    Say(run, "ledra serve: open " + address + " (Ctrl-C stops)");
  } else {
    link = address + "?login=" + loginCode;
    Say(run, "ledra serve: open " + link + " once (it sets the token; Ctrl-C stops)");
    if (a.tokenFile.empty()) Say(run, "ledra serve: token " + token);
  }
  if (a.open && !OpenInBrowser(link, &error)) run.Notice(error);
  running = &server;
  const bool served = server.Run();
  running = nullptr;
  watch.reset();
  if (!served) return run.Error("the server stopped: cannot accept connections");
  Say(run, "ledra serve: stopped");
  return kReaderFound;
}

}  // namespace

extern const ReaderCommand kServeCommand{
    "serve", "the catalogues as a web page and a JSON API, until stopped", AddServeOptions,
    RunServeCommand};

}  // namespace ledra
