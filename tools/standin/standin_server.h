// A stand-in for the translation service, for tests and for trying the window
// without the real service.
//
// It answers POST "/se/translate_3in1" with a reply chosen by the request's
// "text" field (see `ReplyKinds` in standin_server.cpp and the README), and it
// keeps the last request exactly as it arrived, header order included, for
// GET "/__last" and for `LastRequest`.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vyrelo::standin {

struct RecordedRequest {
  std::string method;
  std::string target;  // path and query as sent
  std::string body;
  // Header names and values in the order and spelling they arrived in.
  std::vector<std::pair<std::string, std::string>> headers;
  // Form fields of the body, decoded ("+" as a space, as a form reader does).
  std::vector<std::pair<std::string, std::string>> form;

  std::string Header(const std::string& name) const;     // first, any case; "" if absent
  std::string FormField(const std::string& name) const;  // first; "" if absent
};

// What the service would answer for one translation request.
struct Reply {
  int status = 200;
  std::string contentType = "application/json; charset=utf-8";
  std::string body;
  bool slow = false;  // held back before it is sent
};

// The reply for a request whose decoded fields are `text` and `to`.
Reply ChooseReply(const std::string& text, const std::string& to);

// Decodes an application/x-www-form-urlencoded body.
std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& body);

// The request as JSON, the answer of GET "/__last".
std::string RecordedRequestJson(const RecordedRequest& request);

class StandinServer {
 public:
  StandinServer();
  ~StandinServer();
  StandinServer(const StandinServer&) = delete;
  StandinServer& operator=(const StandinServer&) = delete;

  // Binds (port 0: a free port) and serves on a thread of its own; returns the
  // port, or -1 when binding failed.
  int Start(const std::string& host = "127.0.0.1", int port = 0);
  // Releases held replies and stops; returns when the server has stopped.
  void Stop();
  int Port() const;
  // "127.0.0.1:PORT", as the client's host setting.
  std::string HostAndPort() const;

  std::optional<RecordedRequest> LastRequest() const;
  // Requests of the service's path answered or being answered so far.
  int RequestCount() const;

  // A slow reply waits this long, or until `ReleaseSlowReplies`.
  void SetSlowDelay(std::chrono::milliseconds delay);
  void ReleaseSlowReplies();
  int SlowRepliesWaiting() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace vyrelo::standin
