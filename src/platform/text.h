// The system's text type and the text helpers that every subsystem shares.
//
// A `Text` holds bytes in the system's own code page (GB18030; see codec.h for
// why), `Bytes` a counted byte array. Positions are 1-based byte positions and
// a search that finds nothing gives -1. Every search and split steps over a
// double-byte unit (a byte of 0x80 or more and the byte after it) as a whole,
// so a match never starts inside a multi-byte character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyrelo {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
using TextList = std::vector<Text>;

// The bytes up to the first zero byte.
Text TextFromBytes(const Bytes& bytes);
Text TextFromBytes(std::string_view bytes);
// The text's bytes, without a terminator.
Bytes BytesFromText(std::string_view text);

// Length of the unit that starts at `offset` (0-based): 2 for a lead byte of
// 0x80 or more that has a byte after it, else 1.
inline std::size_t UnitLength(std::string_view text, std::size_t offset) {
  return (static_cast<unsigned char>(text[offset]) >= 0x80 && offset + 1 < text.size()) ? 2 : 1;
}

// 1-based position of the first `needle` at or after the 1-based position
// `start`, stepping over double-byte units; -1 when there is none. An empty
// needle is found at `start` when `start` lies within the text or just past it.
int Find(std::string_view text, std::string_view needle, int start = 1);
// The same, folding ASCII letters only, and only where they stand as
// single-byte characters: a double-byte character's second byte is never
// folded.
int FindNoCase(std::string_view text, std::string_view needle, int start = 1);
bool Contains(std::string_view text, std::string_view needle);
bool ContainsNoCase(std::string_view text, std::string_view needle);

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// Pieces between separators in order. A leading separator or two adjacent
// separators give an empty piece; a separator at the very end gives no empty
// last piece; the empty text gives no pieces.
TextList Split(std::string_view text, std::string_view separator);
Text Join(const TextList& pieces, std::string_view separator);

// Every occurrence replaced, scanning left to right without rescanning.
Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
// Every occurrence removed, matching ASCII letters in any case.
Text RemoveAllNoCase(std::string_view text, std::string_view what);
// Every byte equal to `byte` removed.
Text RemoveByte(std::string_view text, char byte);

// Removes ASCII spaces and the full-width space (A1 A1) at both ends; tabs,
// CR and LF stay.
Text Trim(std::string_view text);

char ToUpperAscii(char c);
char ToLowerAscii(char c);
Text ToUpperAscii(std::string_view text);
Text ToLowerAscii(std::string_view text);
// Equal but for the case of ASCII letters (single-byte characters only).
bool EqualsNoCase(std::string_view a, std::string_view b);

// Integers as "%d", doubles as "%.13g".
Text FormatInt(long long value);
Text FormatDouble(double value);

// Converts a double to a 32-bit integer truncating toward zero; values out of
// range or NaN give 0 rather than undefined behaviour.
std::int32_t TruncateToInt32(double value);

}  // namespace vyrelo
