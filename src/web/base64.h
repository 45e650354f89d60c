#pragma once

#include "platform/text.h"

namespace vyrelo::web {

// Standard Base64 (RFC 4648, section 4) on one line, "=" as the fill
// character; empty input gives the empty text.
Text Base64Encode(const Bytes& bytes);

}  // namespace vyrelo::web
