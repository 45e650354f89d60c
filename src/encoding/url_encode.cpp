#include "encoding/url_encode.h"

#include "script/script_host.h"

namespace vyrelo::encoding {

Text UrlEncode(const Text& text, int mode) {
  // A fresh engine per call, released before returning: nothing is cached.
  script::ScriptHost host;
  const char* function = mode == kUrlEncodeUriComponent ? "encodeURIComponent" : "encodeURI";
  Text encoded = host.Run(function, text);
  return encoded;
}

}  // namespace vyrelo::encoding
