// URL encoding by the script engine's own global functions, so the result is
// exactly ECMAScript's: every character outside the function's unescaped set
// becomes the percent escapes of its UTF-8 bytes, upper-case hexadecimal.
#pragma once

#include "platform/text.h"

namespace vyrelo::encoding {

enum UrlEncodeMode : int {
  kUrlEncodeUri = 0,           // encodeURI: keeps the reserved characters & = + / ? # ...
  kUrlEncodeUriComponent = 1,  // encodeURIComponent: escapes them as well
};

// Encodes `text` with "encodeURI" (mode 0 and any value other than 1) or
// "encodeURIComponent" (mode 1). A fresh ScriptHost serves each call; ""
// when the engine cannot be created or refuses the call.
Text UrlEncode(const Text& text, int mode = kUrlEncodeUri);

}  // namespace vyrelo::encoding
