// The HTTP request object behind the ProgID "WinHttp.WinHttpRequest.5.1",
// served over libcurl.
//
// It keeps the members and the effect of the platform's request object that
// this system relies on: SetTimeouts, SetProxy, Open (synchronous only),
// Option (redirects, certificate errors to ignore), SetCredentials,
// SetRequestHeader, Send, ResponseBody, GetAllResponseHeaders, Status. Each
// Send runs one complete exchange on the calling thread.
//
// Hardening beyond the platform object: a header name or value that could
// smuggle a second header is refused, the response body is capped, only http
// and https are spoken (also after redirects), and every failure of Send
// leaves curl's reason in the thread's last-error detail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation.h"

namespace vyrelo::web {

inline constexpr const char* kWinHttpRequestProgId = "WinHttp.WinHttpRequest.5.1";
inline constexpr const char* kWinHttpRequestClsid = "{2087C2F4-2CEF-4953-A8AB-66779B670495}";

// The most response body one request object holds before the exchange is
// given up as failed: a hostile server must not exhaust memory.
inline constexpr std::size_t kDefaultMaxResponseBytes = std::size_t{256} << 20;

// The option numbers the object understands.
inline constexpr int kOptionSslErrorIgnoreFlags = 4;
inline constexpr int kOptionEnableRedirects = 6;

// Certificate errors that option 4 may ignore.
inline constexpr std::int32_t kIgnoreUnknownCa = 0x0100;
inline constexpr std::int32_t kIgnoreWrongUsage = 0x0200;
inline constexpr std::int32_t kIgnoreCertNameInvalid = 0x1000;
inline constexpr std::int32_t kIgnoreCertDateInvalid = 0x2000;

class WinHttpRequest : public platform::MemberTableObject {
 public:
  explicit WinHttpRequest(std::size_t maxResponseBytes = DefaultMaxResponseBytes());
  ~WinHttpRequest() override;

  // The limit that objects made by the registry get; tests lower it to see
  // the refusal without moving hundreds of megabytes.
  static std::size_t DefaultMaxResponseBytes();
  static void SetDefaultMaxResponseBytes(std::size_t limit);

  struct Timeouts {
    // Milliseconds; 0 or below waits without limit, as the platform object does.
    std::int32_t resolve = 0;
    std::int32_t connect = 60000;
    std::int32_t send = 30000;
    std::int32_t receive = 30000;
  };

 private:
  struct Response;

  platform::CallResult SetTimeouts(std::span<const platform::Variant> args);
  platform::CallResult SetProxy(std::span<const platform::Variant> args);
  platform::CallResult Open(std::span<const platform::Variant> args);
  platform::CallResult OpenChecked(std::span<const platform::Variant> args);
  platform::CallResult Option(platform::InvokeKind kind, std::span<const platform::Variant> args,
                              platform::Variant& result);
  platform::CallResult SetCredentials(std::span<const platform::Variant> args);
  platform::CallResult SetRequestHeader(std::span<const platform::Variant> args);
  platform::CallResult Send(std::span<const platform::Variant> args);
  platform::CallResult ResponseAvailable() const;

  std::size_t maxResponseBytes_;
  Timeouts timeouts_;

  enum class ProxyMode { Default, Direct, Named };
  ProxyMode proxyMode_ = ProxyMode::Default;
  std::string proxyServer_;
  std::string proxyBypass_;

  bool opened_ = false;
  std::string verb_;
  std::string url_;  // UTF-8, non-ASCII percent-encoded
  bool followRedirects_ = true;
  std::int32_t ignoredCertErrors_ = 0;

  struct Credentials {
    bool set = false;
    std::string user;
    std::string password;
  };
  Credentials serverCredentials_;
  Credentials proxyCredentials_;

  std::vector<std::pair<std::string, std::string>> headers_;

  std::unique_ptr<Response> response_;
  std::string openError_;  // why the last Open failed
  std::string sendError_;  // why the last Send failed; empty after success
};

// Registers the request object under its ProgID and CLSID. Safe to call any
// number of times.
void RegisterWebObjects();

}  // namespace vyrelo::web
