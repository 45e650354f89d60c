#include "web/fetch_url.h"

#include <cstdint>
#include <limits>

#include "web/base64.h"
#include "web/cookies.h"
#include "web/headers.h"
#include "web/winhttp_request.h"

namespace vyrelo::web {

using platform::CallMethod;
using platform::ComObject;
using platform::Variant;

namespace {

// Seconds to the 32-bit milliseconds the object takes; a count too large
// for 32 bits waits as long as 32 bits allow rather than wrapping negative.
std::int32_t TimeoutMilliseconds(int timeout) {
  if (timeout < 1) return kDefaultTimeoutSeconds * 1000;
  const std::int64_t ms = static_cast<std::int64_t>(timeout) * 1000;
  return ms > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                       : static_cast<std::int32_t>(ms);
}

}  // namespace

Bytes FetchUrl(const Text& url, const FetchOptions& options) {
  // Balanced on every way out, the early one included.
  platform::ComScope com;

  const int method = (options.method < 0 || options.method > 7) ? 0 : options.method;
  const Text verb = kMethodVerbs[method];

  ComObject request;
  if (options.requestObject) {
    platform::CopyObject(request, *options.requestObject);
  } else if (!platform::CreateObject(request, kWinHttpRequestProgId)) {
    return {};
  }

  if (options.timeout != -1) {
    const std::int32_t ms = TimeoutMilliseconds(options.timeout);
    CallMethod(request, "SetTimeouts", {ms, ms, ms, ms});
  }
  if (!options.proxy.empty()) CallMethod(request, "SetProxy", {std::int32_t{2}, options.proxy});
  CallMethod(request, "Open", {verb, url, false});
  if (options.noRedirect) {
    platform::SetProperty(request, "Option",
                          {std::int32_t{kOptionEnableRedirects}, std::int32_t{0}});
  }
  platform::SetProperty(request, "Option",
                        {std::int32_t{kOptionSslErrorIgnoreFlags},
                         std::int32_t{kIgnoreUnknownCa | kIgnoreWrongUsage |
                                      kIgnoreCertNameInvalid | kIgnoreCertDateInvalid}});

  Text block = options.headers;
  if (options.addDefaultHeaders) block = AddDefaultHeaders(block, url, method);
  if (options.normalizeHeaderNames) block = NormalizeHeaderBlock(block);

  if (!options.proxy.empty() && !options.proxyUser.empty()) {
    CallMethod(request, "SetCredentials",
               {options.proxyUser, options.proxyPassword, std::int32_t{options.credentialTarget}});
    if (options.credentialTarget == 1) {
      const Text pair = options.proxyUser + ":" + options.proxyPassword;
      CallMethod(request, "SetRequestHeader",
                 {Text("Proxy-Authorization"), "Basic " + Base64Encode(BytesFromText(pair))});
    }
  }

  if (options.cookies) SetCookieHeader(request, *options.cookies);
  ApplyHeaderBlock(request, block);

  if (!options.bodyBytes.empty()) {
    Variant bytes;
    platform::VariantFromBytes(bytes, options.bodyBytes);
    CallMethod(request, "Send", {bytes});
  } else {
    CallMethod(request, "Send", {options.body});
  }

  Variant bodyVariant = platform::GetVariantProperty(request, "ResponseBody");
  Bytes body = platform::VariantToBytes(bodyVariant);
  platform::ClearVariant(bodyVariant);
  const Text headers = platform::GetTextProperty(request, "GetAllResponseHeaders");
  if (options.responseHeaders) *options.responseHeaders = headers;
  const int status = TruncateToInt32(platform::GetNumberProperty(request, "Status"));
  if (options.status) *options.status = status;

  Text received = CollectResponseCookies(headers);
  if (options.mergeCookies && options.cookies) {
    received = MergeCookieText(*options.cookies, received);
  }
  if (options.cookiesOut) *options.cookiesOut = received;

  platform::ClearObject(request);
  return body;
}

}  // namespace vyrelo::web
