// The round trip to the translation service: one POST that imitates the
// browser extension's request, and the pick of the translated text out of the
// JSON reply.
#pragma once

#include <string>

#include "app/settings.h"
#include "app/translation.h"
#include "platform/text.h"

namespace vyrelo::app {

// What became of the request, for the command line's error line.
struct RequestDiagnostics {
  int status = 0;             // HTTP status; 0 when nothing arrived
  std::size_t bodyBytes = 0;  // bytes of the reply body as it arrived
  std::string networkError;   // the request's failure in words, when it failed
};

// Sends the text to the service and returns the reply in the system's text.
// The text goes as "encodeURIComponent" encodes it, so that "&", "+", "#" and
// "=" reach the service as the user typed them.
Text RequestTranslation(const Text& from, const Text& to, const Text& text,
                        const ServiceSettings& settings = {},
                        RequestDiagnostics* diagnostics = nullptr);

// The value at `path` of the JSON reply, as the user sees it, or
// "JSON解析失败" when the reply does not parse. `parsed` (when given) tells the
// two apart, since a translation could itself read "JSON解析失败".
Text PickJsonField(const Text& reply, const Text& path, bool* parsed = nullptr);

// The text shown when the reply cannot be parsed.
Text ParseFailureText();

// Translation through the service with these settings; safe to call from any
// thread, every object is made and released inside the call.
TranslateFunction ServiceTranslator(ServiceSettings settings);

// Registers every automation object the round trip creates; idempotent.
void RegisterSystemObjects();

}  // namespace vyrelo::app
