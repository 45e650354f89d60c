#include "web/winhttp_request.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <atomic>
#include <chrono>
#include <climits>

#include "platform/codec.h"
#include "web/curl_transfer.h"

namespace vyrelo::web {

using platform::CallResult;
using platform::CallStatus;
using platform::InvokeKind;
using platform::ParamSpec;
using platform::ParamType;
using platform::Variant;
using platform::VariantType;

namespace {

std::atomic<std::size_t> g_defaultMaxResponseBytes{kDefaultMaxResponseBytes};

CallResult Refuse(std::string why) {
  return CallResult::Failure(CallStatus::Exception, std::move(why));
}

// HTTP's token characters: what a method or a header name may consist of.
bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum &&
        std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool HoldsLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The platform object takes a URL as Unicode and sends its non-ASCII
// characters as percent-encoded UTF-8; spaces are encoded too, control
// characters make the URL invalid.
bool PrepareUrl(const Variant& url, std::string& out, std::string& why) {
  const std::string utf8 = platform::Utf16ToUtf8(url.Unicode());
  out.clear();
  static const char* const kHex = "0123456789ABCDEF";
  for (unsigned char c : utf8) {
    if (c < 0x20 || c == 0x7F) {
      why = "the URL holds a control character";
      return false;
    }
    if (c >= 0x80 || c == ' ') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  CURLU* parsed = curl_url();
  if (!parsed) {
    why = "out of memory while reading the URL";
    return false;
  }
  bool ok = false;
  const CURLUcode code = curl_url_set(parsed, CURLUPART_URL, out.c_str(), 0);
  if (code != CURLUE_OK) {
    why = std::string("the URL is invalid: ") + curl_url_strerror(code);
  } else {
    char* scheme = nullptr;
    char* host = nullptr;
    curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
    curl_url_get(parsed, CURLUPART_HOST, &host, 0);
    const std::string schemeText = scheme ? scheme : "";
    if (schemeText != "http" && schemeText != "https") {
      why = "the URL scheme \"" + schemeText + "\" is not supported; only http and https are";
    } else if (!host || host[0] == '\0') {
      why = "the URL has no host";
    } else {
      ok = true;
    }
    curl_free(scheme);
    curl_free(host);
  }
  curl_url_cleanup(parsed);
  return ok;
}

// --- Certificate errors to ignore -----------------------------------------------------

int IgnoredErrorsIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

bool ErrorIgnored(int error, std::int32_t flags) {
  switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return (flags & kIgnoreUnknownCa) != 0;
    case X509_V_ERR_INVALID_PURPOSE:
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
      return (flags & kIgnoreWrongUsage) != 0;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return (flags & kIgnoreCertDateInvalid) != 0;
    default:
      return false;
  }
}

// OpenSSL asks about each problem of the chain in turn; an ignored one is
// cleared so that the final verdict only counts the problems that remain.
int VerifyCertificate(int preverified, X509_STORE_CTX* store) {
  if (preverified) return 1;
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  const auto* flags = ssl ? static_cast<const std::int32_t*>(
                                SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), IgnoredErrorsIndex()))
                          : nullptr;
  if (flags && ErrorIgnored(X509_STORE_CTX_get_error(store), *flags)) {
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
  }
  return 0;
}

CURLcode ConfigureSslContext(CURL*, void* sslContext, void* ignoredFlags) {
  auto* context = static_cast<SSL_CTX*>(sslContext);
  SSL_CTX_set_ex_data(context, IgnoredErrorsIndex(), ignoredFlags);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &VerifyCertificate);
  return CURLE_OK;
}

}  // namespace

// --- One exchange -----------------------------------------------------------------------

struct WinHttpRequest::Response {
  long status = 0;
  std::string headers;
  Bytes body;
};

namespace {

// What the callbacks of one Send share.
struct Exchange {
  CurlTransfer* transfer = nullptr;
  std::size_t maxBody = 0;
  Bytes body;
  // The header lines of the response being read; a new status line starts
  // them over, so after a redirect or an interim "100 Continue" only the
  // final response's lines remain.
  std::vector<std::string> headerLines;

  std::int32_t sendTimeout = 0;
  std::int32_t receiveTimeout = 0;
  std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
  curl_off_t lastUp = -1;
  curl_off_t lastDown = -1;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::size_t n = size * count;
  if (n > exchange.maxBody - exchange.body.size()) {
    exchange.transfer->SetAbortReason("the response body is larger than " +
                                      std::to_string(exchange.maxBody) + " bytes");
    return 0;
  }
  exchange.body.insert(exchange.body.end(), data, data + n);
  return n;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::size_t n = size * count;
  std::string line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (StartsWith(line, "HTTP/")) {
    exchange.headerLines.clear();
  } else if (!line.empty()) {
    exchange.headerLines.push_back(std::move(line));
  }
  return n;
}

// Ends an exchange that moved no byte for longer than the time-out of what it
// was doing: sending while the body is still going out, receiving after.
// Connecting is bounded by the connect time-out instead.
int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t uploadTotal,
               curl_off_t uploaded) {
  auto& exchange = *static_cast<Exchange*>(user);
  const auto now = std::chrono::steady_clock::now();
  curl_off_t connectedAfter = 0;
  curl_easy_getinfo(exchange.transfer->Handle(), CURLINFO_CONNECT_TIME_T, &connectedAfter);
  if (connectedAfter == 0 || downloaded != exchange.lastDown || uploaded != exchange.lastUp) {
    exchange.lastDown = downloaded;
    exchange.lastUp = uploaded;
    exchange.lastProgress = now;
    return 0;
  }
  const bool sending = uploadTotal > 0 && uploaded < uploadTotal;
  const std::int32_t limit = sending ? exchange.sendTimeout : exchange.receiveTimeout;
  if (limit <= 0) return 0;
  if (now - exchange.lastProgress >= std::chrono::milliseconds(limit)) {
    exchange.transfer->SetAbortReason(std::string(sending ? "sending" : "receiving") +
                                      " made no progress for " + std::to_string(limit) + " ms");
    return 1;
  }
  return 0;
}

}  // namespace

// --- The object ---------------------------------------------------------------------------

std::size_t WinHttpRequest::DefaultMaxResponseBytes() { return g_defaultMaxResponseBytes.load(); }

void WinHttpRequest::SetDefaultMaxResponseBytes(std::size_t limit) {
  g_defaultMaxResponseBytes.store(limit);
}

WinHttpRequest::WinHttpRequest(std::size_t maxResponseBytes) : maxResponseBytes_(maxResponseBytes) {
  const ParamSpec integer{ParamType::Int32, false};
  const ParamSpec text{ParamType::Text, false};
  const ParamSpec optionalText{ParamType::Text, true};
  const ParamSpec optionalAny{ParamType::Any, true};

  AddMethod(
      "SetTimeouts", {integer, integer, integer, integer},
      [this](InvokeKind, std::span<const Variant> args, Variant&) { return SetTimeouts(args); });
  AddMethod("SetProxy", {integer, optionalText, optionalText},
            [this](InvokeKind, std::span<const Variant> args, Variant&) { return SetProxy(args); });
  AddMethod("Open", {text, text, optionalAny},
            [this](InvokeKind, std::span<const Variant> args, Variant&) { return Open(args); });
  AddProperty("Option", ParamSpec{ParamType::Any, false},
              [this](InvokeKind kind, std::span<const Variant> args, Variant& result) {
                return Option(kind, args, result);
              },
              true, true, {integer});
  AddMethod(
      "SetCredentials", {text, text, integer},
      [this](InvokeKind, std::span<const Variant> args, Variant&) { return SetCredentials(args); });
  AddMethod("SetRequestHeader", {text, text},
            [this](InvokeKind, std::span<const Variant> args, Variant&) {
              return SetRequestHeader(args);
            });
  AddMethod("Send", {optionalAny},
            [this](InvokeKind, std::span<const Variant> args, Variant&) { return Send(args); });
  AddProperty(
      "ResponseBody", ParamSpec{},
      [this](InvokeKind, std::span<const Variant>, Variant& result) {
        CallResult r = ResponseAvailable();
        if (r.Ok()) result = Variant::FromBytes(response_->body);
        return r;
      },
      true, false);
  AddMethod("GetAllResponseHeaders", {},
            [this](InvokeKind, std::span<const Variant>, Variant& result) {
              CallResult r = ResponseAvailable();
              if (r.Ok()) result = Variant(Text(response_->headers));
              return r;
            });
  AddProperty(
      "Status", ParamSpec{},
      [this](InvokeKind, std::span<const Variant>, Variant& result) {
        CallResult r = ResponseAvailable();
        if (r.Ok()) result = Variant(static_cast<std::int32_t>(response_->status));
        return r;
      },
      true, false);
}

WinHttpRequest::~WinHttpRequest() = default;

CallResult WinHttpRequest::ResponseAvailable() const {
  if (response_) return CallResult::Success();
  // Repeating the reason of the failed Send keeps it as the thread's detail
  // for whoever reads the response next.
  return Refuse(sendError_.empty() ? "no response is available: Send has not completed"
                                   : sendError_);
}

CallResult WinHttpRequest::SetTimeouts(std::span<const Variant> args) {
  timeouts_ = {args[0].IntValue(), args[1].IntValue(), args[2].IntValue(), args[3].IntValue()};
  return CallResult::Success();
}

CallResult WinHttpRequest::SetProxy(std::span<const Variant> args) {
  const std::int32_t setting = args[0].IntValue();
  switch (setting) {
    case 0:
      proxyMode_ = ProxyMode::Default;
      proxyServer_.clear();
      proxyBypass_.clear();
      return CallResult::Success();
    case 1:
      proxyMode_ = ProxyMode::Direct;
      proxyServer_.clear();
      proxyBypass_.clear();
      return CallResult::Success();
    case 2: {
      const Text server = args.size() > 1 ? args[1].SystemText() : Text();
      if (Trim(server).empty()) return Refuse("SetProxy 2 needs a proxy server");
      if (HoldsLineBreakOrNul(server)) return Refuse("the proxy server name is invalid");
      proxyMode_ = ProxyMode::Named;
      proxyServer_ = Trim(server);
      // The platform lists bypassed hosts separated by ";", libcurl by ",".
      proxyBypass_ = args.size() > 2 ? ReplaceAll(args[2].SystemText(), ";", ",") : Text();
      return CallResult::Success();
    }
    default:
      return Refuse("SetProxy takes 0 (default), 1 (direct) or 2 (named proxy)");
  }
}

CallResult WinHttpRequest::Open(std::span<const Variant> args) {
  opened_ = false;
  headers_.clear();
  serverCredentials_ = {};
  proxyCredentials_ = {};
  response_.reset();
  sendError_.clear();
  openError_.clear();
  const CallResult r = OpenChecked(args);
  if (!r.Ok()) openError_ = r.detail;
  return r;
}

CallResult WinHttpRequest::OpenChecked(std::span<const Variant> args) {
  if (args.size() > 2) {
    Variant async;
    CallResult r = platform::CoerceVariant(args[2], ParamType::Bool, async);
    if (!r.Ok()) return r;
    if (async.BoolValue()) return Refuse("asynchronous requests are not supported");
  }
  const Text verb = args[0].SystemText();
  if (!IsToken(verb)) return Refuse("the method \"" + verb + "\" is not a valid HTTP method");
  std::string why;
  if (!PrepareUrl(args[1], url_, why)) return Refuse(why);
  verb_ = verb;
  opened_ = true;
  return CallResult::Success();
}

CallResult WinHttpRequest::Option(InvokeKind kind, std::span<const Variant> args, Variant& result) {
  const std::int32_t index = args[0].IntValue();
  if (kind == InvokeKind::PropertyGet) {
    if (index == kOptionEnableRedirects) {
      result = Variant(followRedirects_);
    } else if (index == kOptionSslErrorIgnoreFlags) {
      result = Variant(ignoredCertErrors_);
    } else {
      return Refuse("option " + FormatInt(index) + " is not supported");
    }
    return CallResult::Success();
  }
  const Variant& value = args.back();
  Variant coerced;
  if (index == kOptionEnableRedirects) {
    CallResult r = platform::CoerceVariant(value, ParamType::Bool, coerced);
    if (!r.Ok()) return r;
    followRedirects_ = coerced.BoolValue();
    return CallResult::Success();
  }
  if (index == kOptionSslErrorIgnoreFlags) {
    CallResult r = platform::CoerceVariant(value, ParamType::Int32, coerced);
    if (!r.Ok()) return r;
    ignoredCertErrors_ = coerced.IntValue();
    return CallResult::Success();
  }
  return Refuse("option " + FormatInt(index) + " is not supported");
}

CallResult WinHttpRequest::SetCredentials(std::span<const Variant> args) {
  const std::int32_t target = args[2].IntValue();
  if (target != 0 && target != 1) return Refuse("SetCredentials takes 0 (server) or 1 (proxy)");
  Credentials& c = target == 0 ? serverCredentials_ : proxyCredentials_;
  c.set = true;
  c.user = args[0].SystemText();
  c.password = args[1].SystemText();
  return CallResult::Success();
}

CallResult WinHttpRequest::SetRequestHeader(std::span<const Variant> args) {
  const Text name = args[0].SystemText();
  const Text value = args[1].SystemText();
  if (!IsToken(name)) return Refuse("the header name \"" + name + "\" is not a valid token");
  // A line break would start a header of the caller's choosing inside ours.
  if (HoldsLineBreakOrNul(value))
    return Refuse("the value of header " + name + " holds a line break or a zero byte");
  for (auto& [existing, existingValue] : headers_) {
    if (EqualsNoCase(existing, name)) {
      existing = name;
      existingValue = value;
      return CallResult::Success();
    }
  }
  headers_.emplace_back(name, value);
  return CallResult::Success();
}

CallResult WinHttpRequest::Send(std::span<const Variant> args) {
  response_.reset();
  auto fail = [this](std::string why) {
    sendError_ = why;
    return Refuse(std::move(why));
  };
  if (!opened_) {
    return fail(openError_.empty() ? "Open must be called before Send"
                                   : "the request was not opened: " + openError_);
  }

  // The body: a byte array as its bytes, a text as the caller's own bytes
  // (a text born Unicode as UTF-8), a number or boolean as its text.
  bool hasBody = false;
  std::string body;
  if (!args.empty() && !args[0].IsEmpty()) {
    const Variant& given = args[0];
    if (given.Type() == VariantType::ByteArray) {
      body.assign(given.ByteArray().begin(), given.ByteArray().end());
    } else if (given.Type() == VariantType::Text) {
      const Text* source = given.SourceBytes();
      body = source ? *source : platform::Utf16ToUtf8(given.Unicode());
    } else {
      Variant asText;
      CallResult r = platform::CoerceVariant(given, ParamType::Text, asText);
      if (!r.Ok()) return fail("the body must be a text or a byte array");
      body = asText.SystemText();
    }
    hasBody = true;
  }

  CurlTransfer transfer;
  if (!transfer.Valid()) return fail("libcurl could not create a handle");
  Exchange exchange;
  exchange.transfer = &transfer;
  exchange.maxBody = maxResponseBytes_;
  exchange.sendTimeout = timeouts_.send;
  exchange.receiveTimeout = timeouts_.receive;

  transfer.Set(CURLOPT_URL, url_.c_str());
  transfer.Set(CURLOPT_NOSIGNAL, 1L);
  transfer.Set(CURLOPT_PROTOCOLS_STR, "http,https");
  transfer.Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // The platform object speaks HTTP/1.1; HTTP/2 would also lower-case every
  // response header name, which the cookie collection depends on.
  transfer.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  transfer.Set(CURLOPT_FOLLOWLOCATION, followRedirects_ ? 1L : 0L);
  transfer.Set(CURLOPT_MAXREDIRS, 10L);
  transfer.Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxResponseBytes_));

  // Time-outs: resolving and connecting are one phase to libcurl.
  auto finite = [](std::int32_t ms) { return ms > 0; };
  // No limit: as long as a 32-bit count allows, some 24 days.
  long connectLimit = INT32_MAX;
  if (finite(timeouts_.connect)) {
    connectLimit = static_cast<long>(timeouts_.connect) +
                   (finite(timeouts_.resolve) ? static_cast<long>(timeouts_.resolve) : 0L);
  }
  transfer.Set(CURLOPT_CONNECTTIMEOUT_MS, connectLimit);
  transfer.Set(CURLOPT_NOPROGRESS, 0L);
  transfer.Set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
  transfer.Set(CURLOPT_XFERINFODATA, &exchange);
  transfer.Set(CURLOPT_WRITEFUNCTION, &OnBody);
  transfer.Set(CURLOPT_WRITEDATA, &exchange);
  transfer.Set(CURLOPT_HEADERFUNCTION, &OnHeader);
  transfer.Set(CURLOPT_HEADERDATA, &exchange);

  // The verb as given. GET and POST keep libcurl's own handling, so that a
  // redirected POST turns into a GET as browsers do; HEAD must not wait for
  // a body.
  const bool isGet = verb_ == "GET";
  const bool isPost = verb_ == "POST";
  const bool isHead = verb_ == "HEAD";
  if (isHead) {
    transfer.Set(CURLOPT_NOBODY, 1L);
  } else if (isGet && !hasBody) {
    transfer.Set(CURLOPT_HTTPGET, 1L);
  } else {
    if (hasBody || isPost || verb_ == "PUT") {
      transfer.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      transfer.Set(CURLOPT_POSTFIELDS, body.data());
    }
    if (!isPost) transfer.Set(CURLOPT_CUSTOMREQUEST, verb_.c_str());
  }

  // Proxy.
  if (proxyMode_ == ProxyMode::Direct) {
    transfer.Set(CURLOPT_PROXY, "");
  } else if (proxyMode_ == ProxyMode::Named) {
    transfer.Set(CURLOPT_PROXY, proxyServer_.c_str());
    // The named proxy serves every host but the bypass list, whatever the
    // environment's no_proxy says.
    transfer.Set(CURLOPT_NOPROXY, proxyBypass_.c_str());
  }

  // Credentials are given when the server or the proxy asks for them.
  if (serverCredentials_.set) {
    transfer.Set(CURLOPT_USERNAME, serverCredentials_.user.c_str());
    transfer.Set(CURLOPT_PASSWORD, serverCredentials_.password.c_str());
    transfer.Set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
  }
  if (proxyCredentials_.set) {
    transfer.Set(CURLOPT_PROXYUSERNAME, proxyCredentials_.user.c_str());
    transfer.Set(CURLOPT_PROXYPASSWORD, proxyCredentials_.password.c_str());
    transfer.Set(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
  }

  // Certificates: verified, except for the errors option 4 says to ignore.
  std::int32_t ignored = ignoredCertErrors_;
  transfer.Set(CURLOPT_SSL_VERIFYPEER, 1L);
  transfer.Set(CURLOPT_SSL_VERIFYHOST, (ignored & kIgnoreCertNameInvalid) ? 0L : 2L);
  if (ignored & (kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreCertDateInvalid)) {
    transfer.Set(CURLOPT_SSL_CTX_FUNCTION, &ConfigureSslContext);
    transfer.Set(CURLOPT_SSL_CTX_DATA, &ignored);
  }

  // Headers: the caller's in call order, and none of libcurl's own choosing.
  bool callerContentType = false;
  bool callerExpect = false;
  bool callerAccept = false;
  for (const auto& [name, value] : headers_) {
    // The length always comes from the body actually sent.
    if (EqualsNoCase(name, "Content-Length")) continue;
    callerContentType = callerContentType || EqualsNoCase(name, "Content-Type");
    callerExpect = callerExpect || EqualsNoCase(name, "Expect");
    callerAccept = callerAccept || EqualsNoCase(name, "Accept");
    // "Name;" is libcurl's spelling of a header with an empty value.
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    // Proxy credentials go to the proxy only, never to the server.
    if (EqualsNoCase(name, "Proxy-Authorization")) {
      transfer.AddProxyHeader(line);
    } else {
      transfer.AddHeader(line);
    }
  }
  if (!callerContentType) transfer.AddHeader("Content-Type:");
  if (!callerExpect) transfer.AddHeader("Expect:");
  if (!callerAccept) transfer.AddHeader("Accept:");

  if (!transfer.Perform()) return fail(transfer.Error());

  auto response = std::make_unique<Response>();
  response->status = transfer.ResponseCode();
  response->body = std::move(exchange.body);
  for (std::size_t i = 0; i < exchange.headerLines.size(); ++i) {
    if (i > 0) response->headers += "\r\n";
    response->headers += exchange.headerLines[i];
  }
  response_ = std::move(response);
  sendError_.clear();
  return CallResult::Success();
}

void RegisterWebObjects() {
  // Registering again replaces the entry with an equal one.
  platform::RegisterObject(
      kWinHttpRequestProgId, [] { return std::make_shared<WinHttpRequest>(); },
      kWinHttpRequestClsid);
}

}  // namespace vyrelo::web
