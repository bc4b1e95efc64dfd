#include "serve/web_server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "serve/web_assets.h"

namespace ledra {

// No inline script or style, nothing from another origin, no framing, no plug-ins.
const SecurityHeader kSecurityHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
     "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Frame-Options", "DENY"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Cache-Control", "no-store"},
};
const size_t kSecurityHeaderCount = sizeof(kSecurityHeaders) / sizeof(kSecurityHeaders[0]);

namespace {

const char kJson[] = "application/json; charset=utf-8";

// A fixed number of threads, and a bounded queue of accepted connections before them: when
// it is full, the thread that accepts waits, and further clients wait in the system's
// listen queue, so that no number of clients makes the server grow.
class BoundedPool final : public httplib::TaskQueue {
 public:
  BoundedPool(int threads, int queued) : queued_(static_cast<size_t>(queued)) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  void enqueue(std::function<void()> fn) override {
    std::unique_lock<std::mutex> lock(mutex_);
    roomy_.wait(lock, [&] { return jobs_.size() < queued_ || shutdown_; });
    jobs_.push_back(std::move(fn));
    ready_.notify_one();
  }
  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      shutdown_ = true;
    }
    ready_.notify_all();
    roomy_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return !jobs_.empty() || shutdown_; });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
        roomy_.notify_one();
      }
      job();
    }
  }

  size_t queued_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable roomy_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  bool shutdown_ = false;
};

// Lets a few heavy answers run at once; the others wait a little, then are told to retry.
class HeavyGate {
 public:
  explicit HeavyGate(int atOnce) : free_(atOnce) {}
  bool Enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!freed_.wait_for(lock, std::chrono::seconds(5), [&] { return free_ > 0; })) return false;
    --free_;
    return true;
  }
  void Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++free_;
    freed_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  int free_;
};

bool IsHeavy(const std::string& endpoint) {
  return endpoint == "diff" || endpoint == "dupes" || endpoint == "unique" || endpoint == "export";
}

void SendError(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(ErrorBody(text), kJson);
}

// The export's file name: the catalogue's, with the format's extension.
std::string DownloadName(const ApiCall& call) {
  std::string base = call.volumeFileName;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".kvl") == 0)
    base.resize(base.size() - 4);
  std::string safe;
  for (char c : base) {
    const unsigned char u = static_cast<unsigned char>(c);
    safe += (u < 0x20 || u >= 0x7F || c == '"' || c == '\\' || c == '/') ? '_' : c;
  }
  const std::string extension = call.format == "sqlite" ? "sqlite"
                                : call.format == "ncdu" ? "ncdu.json"
                                                        : call.format;
  return (safe.empty() ? std::string("volume") : safe) + "." + extension;
}

}  // namespace

struct WebServer::Impl {
  Impl(ApiRunner& r, ServerLimits l) : runner(r), limits(l), heavy(l.heavyAtOnce) {}

  void Setup();
  httplib::Server::HandlerResponse Admit(const httplib::Request& req, httplib::Response& res);
  void Api(const httplib::Request& req, httplib::Response& res);
  void Export(ApiCall call, httplib::Response& res);

  ApiRunner& runner;
  ServerLimits limits;
  HeavyGate heavy;
  AccessRules* access = nullptr;
  httplib::Server server;
};

void WebServer::Impl::Setup() {
  const int threads = limits.threads;
  const int queued = limits.queued;
  server.new_task_queue = [threads, queued] { return new BoundedPool(threads, queued); };
  httplib::Headers headers;
  for (size_t i = 0; i < kSecurityHeaderCount; ++i) {
    headers.emplace(kSecurityHeaders[i].name, kSecurityHeaders[i].value);
  }
  server.set_default_headers(headers);
  server.set_payload_max_length(4096);
  // Answers are written in pieces (headers, then the body): without this, the peer's
  // delayed acknowledgement holds each small answer back by some 40 ms.
  server.set_tcp_nodelay(true);
  server.set_read_timeout(limits.socketSeconds, 0);
  server.set_write_timeout(limits.socketSeconds, 0);
  // A kept-alive connection would hold its thread for its next request: one request each,
  // then the client joins the queue again, so that busy clients take turns in order
  // (measured: at 50 clients, p95 101 ms against 305 ms with 4 requests a connection).
  server.set_keep_alive_timeout(1);
  server.set_keep_alive_max_count(1);
  server.set_pre_routing_handler(
      [this](const httplib::Request& req, httplib::Response& res) { return Admit(req, res); });
  server.Get(R"(/api/([a-z]+))",
             [this](const httplib::Request& req, httplib::Response& res) { Api(req, res); });
  server.Get(R"(/[a-z.]*)", [](const httplib::Request& req, httplib::Response& res) {
    const WebAsset* asset = FindWebAsset(req.path);
    if (!asset) return SendError(res, 404, "no such page");
    res.set_content(std::string(asset->bytes), std::string(asset->contentType).c_str());
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    const std::string what = res.status == 404   ? "no such page"
                             : res.status == 414 ? "the request line is too long"
                                                 : "bad request";
    res.set_content(ErrorBody(what), kJson);
  });
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        SendError(res, 500, "the server could not answer");
      });
}

httplib::Server::HandlerResponse WebServer::Impl::Admit(const httplib::Request& req,
                                                        httplib::Response& res) {
  using HandlerResponse = httplib::Server::HandlerResponse;
  if (req.method != "GET" && req.method != "HEAD") {
    SendError(res, 405, "the server only reads: GET and HEAD");
    return HandlerResponse::Handled;
  }
  if (req.path.find('\0') != std::string::npos) {
    SendError(res, 400, "the path holds a NUL byte");
    return HandlerResponse::Handled;
  }
  if (!access->loopback() && req.path == "/" && req.has_param("login") &&
      access->TakeLoginCode(req.get_param_value("login"))) {
    res.status = 303;
    res.set_header("Set-Cookie", access->TokenCookie());
    res.set_header("Location", "/");
    return HandlerResponse::Handled;
  }
  switch (access->Judge(req.get_header_value("Host"), req.get_header_value("Authorization"),
                        req.get_header_value("X-Ledra-Token"), req.get_header_value("Cookie"))) {
    case Access::Allowed:
      return HandlerResponse::Unhandled;
    case Access::WrongHost:
      SendError(res, 403, "this server answers only requests for its own loopback address");
      return HandlerResponse::Handled;
    case Access::NoToken:
      SendError(res, 401,
                "a token is required: open the link the server printed, or send it "
                "as 'Authorization: Bearer TOKEN'");
      return HandlerResponse::Handled;
  }
  return HandlerResponse::Handled;
}

void WebServer::Impl::Api(const httplib::Request& req, httplib::Response& res) {
  const std::string endpoint = req.matches[1];
  ApiParameters parameters(req.params.begin(), req.params.end());
  ApiCall call;
  std::string error;
  if (!BuildApiCall(endpoint, parameters, &call, &error)) {
    return SendError(res, IsApiEndpoint(endpoint) ? 400 : 404, error);
  }
  if (!call.json) return Export(std::move(call), res);
  const bool heavyCall = IsHeavy(call.endpoint);
  if (heavyCall && !heavy.Enter()) {
    return SendError(res, 503, "busy with another long answer; try again shortly");
  }
  ApiAnswer answer = runner.Answer(std::move(call));
  if (heavyCall) heavy.Leave();
  res.status = answer.httpStatus;
  res.set_content(std::move(answer.body), kJson);
}

void WebServer::Impl::Export(ApiCall call, httplib::Response& res) {
  ApiAnswer answer;
  if (!runner.ResolveVolume(&call, &answer)) {
    res.status = answer.httpStatus;
    res.set_content(answer.body, kJson);
    return;
  }
  res.set_header("Content-Disposition", "attachment; filename=\"" + DownloadName(call) + "\"");
  const std::string type = call.format == "csv"      ? "text/csv; charset=utf-8"
                           : call.format == "sqlite" ? "application/vnd.sqlite3"
                           : call.format == "jsonl"  ? "application/x-ndjson; charset=utf-8"
                                                     : "application/json; charset=utf-8";
  // The export streams after the headers have gone; it holds its place among the heavy
  // answers until it has been sent or the client has left.
  if (!heavy.Enter()) {
    return SendError(res, 503, "busy with another long answer; try again shortly");
  }
  res.set_chunked_content_provider(
      type,
      [this, call](size_t, httplib::DataSink& sink) {
        const bool exported = runner.StreamExport(call, [&sink](std::string_view bytes) {
          return sink.is_writable() && sink.write(bytes.data(), bytes.size());
        });
        if (exported) sink.done();
        return exported;
      },
      // Once, even should the response be copied on its way.
      [this, held = std::make_shared<std::atomic<bool>>(true)](bool) {
        if (held->exchange(false)) heavy.Leave();
      });
}

WebServer::WebServer(ApiRunner& runner, ServerLimits limits)
    : impl_(std::make_unique<Impl>(runner, limits)) {
  impl_->Setup();
}

WebServer::~WebServer() = default;

bool WebServer::Bind(const std::string& host, int port, int* boundPort, std::string* error) {
  if (port == 0) {
    *boundPort = impl_->server.bind_to_any_port(host);
    if (*boundPort > 0) return true;
  } else if (impl_->server.bind_to_port(host, port)) {
    *boundPort = port;
    return true;
  }
  *error = "cannot listen on " + host + ":" + std::to_string(port) +
           " (the address is not this machine's, or the port is in use)";
  return false;
}

void WebServer::SetAccess(AccessRules* rules) { impl_->access = rules; }

bool WebServer::Run() { return impl_->server.listen_after_bind(); }

void WebServer::Stop() { impl_->server.stop(); }

}  // namespace ledra
