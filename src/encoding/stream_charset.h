// Re-encoding of byte arrays from one charset to another through the stream
// object ("Adodb.Stream", see stream_object.h).
#pragma once

#include <optional>

#include "platform/text.h"

namespace vyrelo::encoding {

inline constexpr const char* kDefaultFromCharset = "UTF-8";
inline constexpr const char* kDefaultToCharset = "GBK";

// The bytes decoded with `fromCharset` and encoded with `toCharset`; with
// `readPosition`, that many leading bytes of the re-encoded data are left out
// (a "UTF-8" or "Unicode" target starts with its byte order mark, 3 or 2
// bytes). An empty charset counts as left out: it takes its default ("UTF-8",
// "GBK"), which is also written back into the caller's variable. Initialises
// the automation layer on the calling thread for the length of the call.
// Failures, an unknown charset among them, give empty bytes.
Bytes ConvertCharset(const Bytes& bytes, Text& fromCharset, Text& toCharset,
                     std::optional<int> readPosition = std::nullopt);
// Both charsets left out: "UTF-8" to "GBK".
Bytes ConvertCharset(const Bytes& bytes);

// The worker: drives one stream object, no defaults. The automation layer
// must be initialised on the calling thread.
Bytes StreamRecode(const Bytes& bytes, const Text& fromCharset, const Text& toCharset,
                   std::optional<int> readPosition = std::nullopt);

}  // namespace vyrelo::encoding
