// "Adodb.Stream": an in-memory byte stream that reads and writes text in a
// named charset, the stream object the charset conversion drives.
//
// Members: "Type" (1 bytes, 2 text; 2 at first), "Open", "Close", "Write",
// "Read", "Position", "Size", "EOS", "Charset" ("Unicode" at first),
// "ReadText" and "WriteText". ICU does the conversions.
//
// Behaviour kept from the component the callers were written for:
//  - "Open" (no arguments) starts an empty stream, "Close" drops its content;
//    every member but "Type", "Charset" and "Open" needs an open stream.
//  - "Write"/"Read" work in byte mode, "WriteText"/"ReadText" in text mode.
//    Both write at "Position", overwriting and growing the stream, and
//    advance it; both read from "Position" to the end ("Read" optionally a
//    given number of bytes).
//  - "WriteText" into an empty stream starts it with the byte order mark of
//    "UTF-8" (EF BB BF) and of "Unicode"/"UTF-16" (FF FE, little-endian);
//    "ReadText" from position 0 skips a leading mark of its own charset.
//  - Charset names are matched ignoring case. "GBK", "gb2312", "936",
//    "cp936" and "GB18030" are all served by GB18030, the system's own
//    charset: GBK's characters keep their bytes and the characters GBK lacks
//    (Korean, Thai, emoji) take GB18030's four-byte forms instead of "?".
//    gb2312 is a subset of GBK, so its texts read the same. Every other name
//    ICU knows is ICU's ("Big5", "us-ascii", "iso-8859-1", "Windows-1252",
//    "Shift_JIS", ...).
//  - "Charset" accepts any name; a name nobody knows makes "ReadText" and
//    "WriteText" fail ("发现异常"), so a conversion through it gives nothing
//    rather than guessed bytes.
// Text leaves "ReadText" and enters "WriteText" as Unicode; the automation
// layer carries it to and from the caller's `Text` through the system
// charset.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/automation.h"
#include "platform/text.h"

namespace vyrelo::encoding {

inline constexpr const char* kStreamProgId = "Adodb.Stream";
inline constexpr const char* kStreamClsid = "{00000566-0000-0010-8000-00AA006D2EA4}";

inline constexpr int kStreamTypeBinary = 1;
inline constexpr int kStreamTypeText = 2;

// Registers "Adodb.Stream" and its CLSID. Idempotent.
void RegisterStreamObject();

// A new stream object, not through the registry.
std::shared_ptr<platform::AutomationObject> CreateStreamObject();

// How a stream charset name is served: the ICU converter name and the byte
// order mark that "WriteText" starts an empty stream with (may be empty).
struct StreamCharset {
  std::string icuName;
  std::string mark;
};
// nullopt for a name nobody knows.
std::optional<StreamCharset> ResolveStreamCharset(const Text& name);

}  // namespace vyrelo::encoding
