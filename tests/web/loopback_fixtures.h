// Reusable pieces for tests that talk HTTP on loopback: an httplib server on a
// port chosen at run time, a gate that holds a handler until the test lets it
// go, a temporary directory, certificates made with the openssl command, and
// a tinyproxy process with Basic authentication.
//
// Everything binds to 127.0.0.1 only, and every wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include "support/test_support.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyrelo::testing {

// Holds handlers until opened; once open it stays open. A bounded wait, so a
// test that forgets to open it still ends.
class Gate {
 public:
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }
  bool Wait(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, limit, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// An httplib server (plain or TLS) on 127.0.0.1 and a port it picked itself,
// listening on its own thread from Start() until Stop() or destruction.
class LoopbackServer {
 public:
  LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}
  // TLS with the given PEM files.
  LoopbackServer(const std::string& certFile, const std::string& keyFile)
      : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())) {}
  ~LoopbackServer() { Stop(); }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  httplib::Server& Http() { return *server_; }
  bool Valid() const { return server_->is_valid(); }

  // Binds and starts listening; false when either failed.
  bool Start() {
    // Without it every kept-alive exchange waits out the delayed ACK.
    server_->set_tcp_nodelay(true);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return WaitUntil([this] { return server_->is_running(); });
  }

  void Stop() {
    if (thread_.joinable()) {
      server_->stop();
      thread_.join();
    }
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/") const {
    return std::string(dynamic_cast<httplib::SSLServer*>(server_.get()) ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = -1;
};

// A server that takes one request at a time, keeps its head exactly as it
// arrived (request line and header lines, bytes unchanged) and answers with
// the bytes it was given (by default a plain 200 with the body "ok"). For
// tests about what goes on the wire. A silent server accepts connections and
// then neither reads nor writes until it is destroyed.
class RawCaptureServer {
 public:
  static constexpr const char* kOkAnswer =
      "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
  enum class Mode { Answer, Silent };

  explicit RawCaptureServer(std::string answer = kOkAnswer, Mode mode = Mode::Answer)
      : answer_(std::move(answer)), mode_(mode) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RawCaptureServer() {
    stopping_ = true;
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
    for (int fd : held_) ::close(fd);
  }
  RawCaptureServer(const RawCaptureServer&) = delete;
  RawCaptureServer& operator=(const RawCaptureServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // The last request's head, up to and including the empty line, and body.
  std::string Head() {
    std::lock_guard lock(mutex_);
    return head_;
  }
  std::string Body() {
    std::lock_guard lock(mutex_);
    return body_;
  }

 private:
  void Serve() {
    while (!stopping_) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      if (mode_ == Mode::Silent) {
        held_.push_back(client);
        continue;
      }
      std::string data;
      char buffer[4096];
      std::size_t headEnd = std::string::npos;
      std::size_t wanted = 0;
      while (true) {
        if (headEnd == std::string::npos) {
          headEnd = data.find("\r\n\r\n");
          if (headEnd != std::string::npos) {
            headEnd += 4;
            const std::string head = data.substr(0, headEnd);
            const std::size_t at = head.find("\r\nContent-Length: ");
            wanted = at == std::string::npos ? 0 : std::stoul(head.substr(at + 18));
          }
        }
        if (headEnd != std::string::npos && data.size() >= headEnd + wanted) break;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
      }
      {
        std::lock_guard lock(mutex_);
        head_ = headEnd == std::string::npos ? data : data.substr(0, headEnd);
        body_ = headEnd == std::string::npos ? std::string() : data.substr(headEnd);
      }
      (void)::send(client, answer_.data(), answer_.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  std::string answer_;
  Mode mode_;
  std::vector<int> held_;  // silent mode: connections kept open, untouched
  int listener_ = -1;
  int port_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::string head_;
  std::string body_;
};

// Runs a shell command with its output sent to `log`; true on exit status 0.
inline bool RunQuietly(const std::string& command, const std::string& log) {
  const std::string full = command + " >>'" + log + "' 2>&1";
  return std::system(full.c_str()) == 0;
}

struct CertificateFiles {
  std::string cert;
  std::string key;
};

// Self-signed server certificates made with the openssl command.
class CertificateMaker {
 public:
  explicit CertificateMaker(const TempDir& dir) : dir_(dir) {}

  // Valid from now for a month, for the names in `subjectAltName`
  // ("IP:127.0.0.1", "DNS:other.example" ...).
  bool SelfSigned(const std::string& name, const std::string& subjectAltName,
                  CertificateFiles& out) {
    out = Files(name);
    return RunQuietly(
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
        " -keyout '" +
            out.key + "' -out '" + out.cert +
            "' -days 30"
            " -subj /CN=vyrelo-test -addext 'subjectAltName=" +
            subjectAltName + "'",
        Log());
  }

  // Valid for one day in 2020 and long expired: `openssl ca` is the one
  // openssl 3.0 command that takes explicit start and end dates.
  bool Expired(const std::string& name, const std::string& subjectAltName, CertificateFiles& out) {
    out = Files(name);
    const std::string caDir = dir_.File(name + "-ca");
    std::filesystem::create_directories(caDir);
    { std::ofstream(caDir + "/index.txt"); }
    { std::ofstream(caDir + "/serial") << "1000\n"; }
    const std::string config = caDir + "/ca.cnf";
    std::ofstream(config) << "[ ca ]\ndefault_ca = test_ca\n"
                             "[ test_ca ]\n"
                             "database = "
                          << caDir
                          << "/index.txt\n"
                             "new_certs_dir = "
                          << caDir
                          << "\n"
                             "serial = "
                          << caDir
                          << "/serial\n"
                             "default_md = sha256\n"
                             "policy = any_name\n"
                             "copy_extensions = copy\n"
                             "unique_subject = no\n"
                             "[ any_name ]\ncommonName = supplied\n";
    const std::string request = caDir + "/request.csr";
    return RunQuietly(
               "openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
               " -keyout '" +
                   out.key + "' -out '" + request +
                   "'"
                   " -subj /CN=vyrelo-test -addext 'subjectAltName=" +
                   subjectAltName + "'",
               Log()) &&
           RunQuietly("openssl ca -batch -notext -config '" + config + "' -selfsign -keyfile '" +
                          out.key + "' -in '" + request + "' -out '" + out.cert +
                          "' -startdate 20200101000000Z -enddate 20200102000000Z",
                      Log());
  }

  std::string Log() const { return dir_.File("openssl.log"); }

 private:
  CertificateFiles Files(const std::string& name) const {
    return {dir_.File(name + "-cert.pem"), dir_.File(name + "-key.pem")};
  }
  const TempDir& dir_;
};

// tinyproxy in the foreground on a free loopback port, asking for Basic
// authentication (none when `user` is empty). Stopped with SIGTERM on Stop() or destruction.
class TinyproxyProcess {
 public:
  static constexpr const char* kBinary = "/usr/bin/tinyproxy";

  TinyproxyProcess() = default;
  ~TinyproxyProcess() { Stop(); }
  TinyproxyProcess(const TinyproxyProcess&) = delete;
  TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

  // False (with the reason in `why`) when it could not be started or never
  // accepted a connection.
  bool Start(const TempDir& dir, const std::string& user, const std::string& password,
             std::string& why) {
    port_ = FreeLoopbackPort();
    if (port_ <= 0) {
      why = "no free loopback port";
      return false;
    }
    const std::string config = dir.File("tinyproxy.conf");
    log_ = dir.File("tinyproxy.log");
    // No User/Group lines: run as root, tinyproxy warns and stays the
    // current user, which is what a test wants.
    std::ofstream(config) << "Port " << port_ << "\n"
                          << "Listen 127.0.0.1\n"
                          << "Timeout 30\n"
                          << "MaxClients 20\n"
                          << "Allow 127.0.0.1\n"
                          << "LogLevel Warning\n";
    if (!user.empty())
      std::ofstream(config, std::ios::app) << "BasicAuth " << user << " " << password << "\n";
    pid_ = ::fork();
    if (pid_ < 0) {
      why = "fork failed";
      return false;
    }
    if (pid_ == 0) {
      const int logFd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (logFd >= 0) {
        ::dup2(logFd, STDOUT_FILENO);
        ::dup2(logFd, STDERR_FILENO);
      }
      ::execl(kBinary, kBinary, "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (!WaitUntil([this] { return LoopbackAccepts(port_) || Exited(); })) {
      why = "tinyproxy never accepted connections; see " + log_;
      return false;
    }
    if (Exited()) {
      why = "tinyproxy exited at start; see " + log_;
      return false;
    }
    return true;
  }

  void Stop() {
    if (pid_ > 0) {
      if (!exited_) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
      }
      pid_ = -1;
    }
  }

  int Port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  bool Exited() {
    if (exited_) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) exited_ = true;
    return exited_;
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int port_ = -1;
  std::string log_;
};

}  // namespace vyrelo::testing
