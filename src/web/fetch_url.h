// One synchronous HTTP request through the request object
// "WinHttp.WinHttpRequest.5.1", with default headers, a cookie jar kept in
// the caller's text, proxy with credentials and time-outs.
#pragma once

#include "platform/automation.h"
#include "platform/text.h"

namespace vyrelo::web {

// The verbs by method index; an index outside 0..7 means GET.
inline constexpr const char* kMethodVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                               "OPTIONS", "DELETE", "TRACE", "CONNECT"};

inline constexpr int kDefaultTimeoutSeconds = 15;

struct FetchOptions {
  int method = 0;           // index into kMethodVerbs; 1 (POST) also adds a Content-Type
  Text body;                // sent as text when bodyBytes is empty
  Text headers;             // extra request headers, a CR LF block; never changed
  bool noRedirect = false;  // true: a redirect response is returned as itself
  Bytes bodyBytes;          // sent instead of body when not empty
  Text proxy;               // a named proxy server; empty: the machine's settings
  int timeout = 0;          // seconds; -1 keeps the object's own, below 1 means 15
  Text proxyUser;           // credentials, used only with a proxy
  Text proxyPassword;
  int credentialTarget = 1;  // 0: the server, 1: the proxy (also "Proxy-Authorization")
  bool mergeCookies = true;  // merge received cookies into *cookies
  bool addDefaultHeaders = true;
  bool normalizeHeaderNames = true;

  // In and out: when given, sent as the "Cookie" header, cleaned of
  // "Cookie:" and, with mergeCookies, replaced by the merged cookie text. A
  // null pointer (not given) differs from a pointer to an empty text.
  Text* cookies = nullptr;
  // Out: the response's cookies, or the merged text.
  Text* cookiesOut = nullptr;
  // Out: the response's header lines without the status line, CR LF joined.
  Text* responseHeaders = nullptr;
  // Out: the HTTP status, 0 when the request failed.
  int* status = nullptr;
  // When given, the request runs on this object instead of a new one; the
  // caller's reference is left as it was.
  platform::ComObject* requestObject = nullptr;
};

// Sends the request and returns the response body; empty when there is none
// or the request failed. Nothing throws: when the request object cannot be
// made, no output is touched; any other failure leaves an empty body, empty
// headers and status 0, with the reason in GetAutomationErrorDetail().
Bytes FetchUrl(const Text& url, const FetchOptions& options = {});

}  // namespace vyrelo::web
