// Request header blocks: header lines joined by CR LF, as `FetchUrl` takes
// its extra headers. Only CR LF separates lines; a bare CR or LF stays inside
// its line (the request object refuses such a value later).
#pragma once

#include "platform/automation.h"
#include "platform/text.h"

namespace vyrelo::web {

// The text before the first ":" of a line, trimmed; empty without a ":".
Text HeaderName(const Text& line);
// The text after the first ":" of a line, trimmed; empty without a ":".
Text HeaderValue(const Text& line);
// The first byte raised to upper case when it is an ASCII lower-case letter.
Text CapitalizeFirst(const Text& text);
// The block without its colon-less (and empty) lines, each header name with
// its first letter and every letter after a "-" raised to upper case; the
// rest of each line stays byte for byte.
Text NormalizeHeaderBlock(const Text& block);

// The block with the default headers it lacks appended, each after a CR LF:
// Accept, Referer (the URL), Accept-Language, User-Agent and, for the POST
// method index 1, Content-Type. A search ignores ASCII case and matches
// anywhere in the block.
Text AddDefaultHeaders(const Text& block, const Text& url, int methodIndex);

// Hands the block to the request object, one "SetRequestHeader" per line. A
// block without CR LF is one header, passed on whatever it holds; in a longer
// block empty lines and the line 'Connection: keep-alive' are skipped. A call
// the object refuses fails alone.
void ApplyHeaderBlock(const platform::ComObject& request, const Text& block);

}  // namespace vyrelo::web
