#include "standin_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace vyrelo::standin {
namespace {

constexpr const char* kServicePath = "/se/translate_3in1";

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out.push_back(ch);
        }
    }
  }
  return out + "\"";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string FormDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string Dit(const std::string& jsonValue) {
  return "{\"data\":{\"translate\":{\"dit\":" + jsonValue + "}}}";
}

// A socket stream that keeps every byte it reads, so that the request's
// header lines can be seen as they were sent: the library's own request keeps
// headers sorted by name.
class RecordingStream final : public httplib::Stream {
 public:
  RecordingStream(int sock, int timeoutMs) : sock_(sock), timeoutMs_(timeoutMs) {}

  bool is_readable() const override { return Wait(POLLIN); }
  bool is_writable() const override { return Wait(POLLOUT); }
  ssize_t read(char* ptr, size_t size) override {
    if (!Wait(POLLIN)) return -1;
    ssize_t n = ::recv(sock_, ptr, size, 0);
    if (n > 0) recorded_.append(ptr, static_cast<std::size_t>(n));
    return n;
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (!Wait(POLLOUT)) return -1;
    return ::send(sock_, ptr, size, MSG_NOSIGNAL);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(ip, port, true);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(ip, port, false);
  }
  int socket() const override { return sock_; }

  const std::string& Recorded() const { return recorded_; }

 private:
  bool Wait(short events) const {
    pollfd pfd{sock_, events, 0};
    int r = ::poll(&pfd, 1, timeoutMs_);
    return r > 0 && (pfd.revents & (events | POLLHUP)) != 0;
  }
  void Address(std::string& ip, int& port, bool remote) const {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    int r = remote ? ::getpeername(sock_, reinterpret_cast<sockaddr*>(&addr), &len)
                   : ::getsockname(sock_, reinterpret_cast<sockaddr*>(&addr), &len);
    ip.clear();
    port = 0;
    if (r != 0 || addr.ss_family != AF_INET) return;
    auto* in = reinterpret_cast<sockaddr_in*>(&addr);
    char buffer[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer);
    ip = buffer;
    port = ntohs(in->sin_port);
  }

  int sock_;
  int timeoutMs_;
  std::string recorded_;
};

thread_local const RecordingStream* tCurrentStream = nullptr;

std::vector<std::pair<std::string, std::string>> RawHeaders(const std::string& raw) {
  std::vector<std::pair<std::string, std::string>> headers;
  std::size_t pos = raw.find("\r\n");
  while (pos != std::string::npos) {
    std::size_t start = pos + 2;
    std::size_t end = raw.find("\r\n", start);
    if (end == std::string::npos || end == start) break;
    std::string line = raw.substr(start, end - start);
    std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::size_t v = colon + 1;
      while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
      headers.emplace_back(line.substr(0, colon), line.substr(v));
    }
    pos = end;
  }
  return headers;
}

class RecordingServer final : public httplib::Server {
 private:
  // One request per connection: the recording then belongs to exactly one
  // request.
  bool process_and_close_socket(int sock) override {
    RecordingStream stream(sock, 5000);
    tCurrentStream = &stream;
    bool closed = false;
    bool ok = process_request(stream, true, closed, nullptr);
    tCurrentStream = nullptr;
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
  }
};

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [n, v] : headers) {
    if (EqualsIgnoringCase(n, name)) return v;
  }
  return {};
}

std::string RecordedRequest::FormField(const std::string& name) const {
  for (const auto& [n, v] : form) {
    if (n == name) return v;
  }
  return {};
}

std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& body) {
  std::vector<std::pair<std::string, std::string>> fields;
  std::size_t start = 0;
  while (start <= body.size() && !body.empty()) {
    std::size_t amp = body.find('&', start);
    std::string piece =
        body.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
    std::size_t eq = piece.find('=');
    if (eq == std::string::npos) {
      fields.emplace_back(FormDecode(piece), "");
    } else {
      fields.emplace_back(FormDecode(piece.substr(0, eq)), FormDecode(piece.substr(eq + 1)));
    }
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
  return fields;
}

Reply ChooseReply(const std::string& text, const std::string& to) {
  Reply reply;
  if (text == "__number__") {
    reply.body = Dit("42");
  } else if (text == "__float__") {
    reply.body = Dit("0.1");
  } else if (text == "__bool__") {
    reply.body = Dit("true");
  } else if (text == "__null__") {
    reply.body = Dit("null");
  } else if (text == "__object__") {
    reply.body = Dit("{\"a\":1,\"b\":\"x\"}");
  } else if (text == "__array__") {
    reply.body = Dit("[1,\"two\",null]");
  } else if (text == "__missing__") {
    reply.body = "{\"data\":{\"other\":1}}";
  } else if (text == "__notjson__") {
    reply.contentType = "text/html";
    reply.body = "<html><body>Service unavailable</body></html>";
  } else if (text == "__status500__") {
    reply.status = 500;
    reply.contentType = "text/html";
    reply.body = "<html><body>Internal error</body></html>";
  } else if (text == "__empty__") {
    reply.body.clear();
  } else if (text == "__crlf__") {
    reply.body =
        "{\r\n  \"data\": {\r\n    \"translate\": {\r\n      \"dit\": \"line breaks\"\r\n"
        "    }\r\n  }\r\n}\r\n";
  } else if (text == "__korean__") {
    reply.body = Dit(JsonString("안녕하세요, 세계"));
  } else if (text == "__escapes__") {
    reply.body = Dit("\"quote \\\" backslash \\\\ slash \\/ e\\u00e9\"");
  } else if (text == "__deep__") {
    // Nesting that the parser takes on a thread with the main thread's
    // stack, and that a small thread stack cannot hold.
    constexpr std::size_t kDepth = 900;
    reply.body = Dit(std::string(kDepth, '[') + std::string(kDepth, ']'));
  } else if (text == "__slow__") {
    reply.slow = true;
    reply.body = Dit(JsonString("[" + to + "] slow"));
  } else {
    reply.body = Dit(JsonString("[" + to + "] " + text));
  }
  return reply;
}

std::string RecordedRequestJson(const RecordedRequest& request) {
  std::string out = "{\"method\":" + JsonString(request.method) +
                    ",\"target\":" + JsonString(request.target) +
                    ",\"body\":" + JsonString(request.body) + ",\"headers\":[";
  for (std::size_t i = 0; i < request.headers.size(); ++i) {
    if (i > 0) out += ",";
    out += "[" + JsonString(request.headers[i].first) + "," +
           JsonString(request.headers[i].second) + "]";
  }
  return out + "]}";
}

struct StandinServer::State {
  RecordingServer server;
  std::thread thread;
  int port = -1;

  mutable std::mutex mutex;
  std::condition_variable released;
  std::optional<RecordedRequest> last;
  int requestCount = 0;
  std::chrono::milliseconds slowDelay{3000};
  unsigned long long releaseGeneration = 0;
  int slowWaiting = 0;
  bool stopping = false;
};

StandinServer::StandinServer() : state_(std::make_shared<State>()) {
  State* s = state_.get();
  s->server.Post(kServicePath, [s](const httplib::Request& req, httplib::Response& res) {
    RecordedRequest record;
    record.method = req.method;
    record.target = req.target;
    record.body = req.body;
    record.headers = tCurrentStream ? RawHeaders(tCurrentStream->Recorded())
                                    : std::vector<std::pair<std::string, std::string>>{};
    record.form = ParseForm(req.body);
    Reply reply = ChooseReply(record.FormField("text"), record.FormField("to"));
    {
      std::unique_lock lock(s->mutex);
      s->last = record;
      ++s->requestCount;
      if (reply.slow) {
        ++s->slowWaiting;
        const auto generation = s->releaseGeneration;
        s->released.wait_for(lock, s->slowDelay,
                             [&] { return s->stopping || s->releaseGeneration != generation; });
        --s->slowWaiting;
      }
    }
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
  });
  s->server.Get("/__last", [s](const httplib::Request&, httplib::Response& res) {
    std::lock_guard lock(s->mutex);
    if (!s->last) {
      res.status = 404;
      res.set_content("{}", "application/json");
      return;
    }
    res.set_content(RecordedRequestJson(*s->last), "application/json; charset=utf-8");
  });
}

StandinServer::~StandinServer() { Stop(); }

int StandinServer::Start(const std::string& host, int port) {
  if (state_->thread.joinable()) return state_->port;
  int bound = port == 0 ? state_->server.bind_to_any_port(host)
                        : (state_->server.bind_to_port(host, port) ? port : -1);
  if (bound < 0) return -1;
  state_->port = bound;
  state_->thread = std::thread([s = state_.get()] { s->server.listen_after_bind(); });
  // stop() is a no-op until the server runs, so Stop() right after Start()
  // would wait forever without this.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!state_->server.is_running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  return bound;
}

void StandinServer::Stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->released.notify_all();
  if (state_->thread.joinable()) {
    state_->server.stop();
    state_->thread.join();
  }
}

int StandinServer::Port() const { return state_->port; }

std::string StandinServer::HostAndPort() const {
  return "127.0.0.1:" + std::to_string(state_->port);
}

std::optional<RecordedRequest> StandinServer::LastRequest() const {
  std::lock_guard lock(state_->mutex);
  return state_->last;
}

int StandinServer::RequestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->requestCount;
}

void StandinServer::SetSlowDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(state_->mutex);
  state_->slowDelay = delay;
}

void StandinServer::ReleaseSlowReplies() {
  {
    std::lock_guard lock(state_->mutex);
    ++state_->releaseGeneration;
  }
  state_->released.notify_all();
}

int StandinServer::SlowRepliesWaiting() const {
  std::lock_guard lock(state_->mutex);
  return state_->slowWaiting;
}

}  // namespace vyrelo::standin
