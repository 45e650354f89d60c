// Conversions between the system's text, UTF-16LE (as `Bytes`, low byte
// first) and other Windows code pages, always by way of UTF-16.
//
// Inputs are read as zero-terminated strings: each operation reads up to its
// first zero byte (or zero 16-bit unit) and ignores the rest. Code page 936 and
// 0 (the machine's ANSI code page) name the system's own charset, GB18030
// (see platform/codec.h); 65001 is UTF-8. A code page nobody knows converts
// nothing: the result is empty.
#pragma once

#include <optional>

#include "platform/text.h"

namespace vyrelo::encoding {

// UTF-16LE bytes ending with a zero unit; empty for empty input.
Bytes CodePageToUtf16(const Bytes& bytes, unsigned codePage);
// The units before the first zero unit, and a zero unit after them when
// `appendTerminator` is true; a trailing odd byte is dropped.
Bytes CutUtf16AtNul(const Bytes& utf16, bool appendTerminator = false);
// The text as UTF-16LE, with the closing zero unit unless `omitTerminator`.
Bytes TextToUtf16(const Text& text, bool omitTerminator = false);
// The UTF-16 string in the code page, without a terminator.
Bytes Utf16ToCodePage(const Bytes& utf16, unsigned codePage);
// The UTF-16 string as a `Text` in the code page (the system's own when left
// out).
Text Utf16ToText(const Bytes& utf16, std::optional<unsigned> codePage = std::nullopt);
// The text's UTF-8 bytes, held in a `Text` made only to be sent.
Text TextToUtf8(const Text& text);

}  // namespace vyrelo::encoding
