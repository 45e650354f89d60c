#include "encoding/code_page.h"

#include <bit>
#include <cstring>

#include "platform/codec.h"

namespace vyrelo::encoding {

namespace {

// The number of whole 16-bit units before the first zero unit. Four units are
// tested at a time: a zero unit is a zero 16-bit lane of the word, whatever
// the byte order. This runs over every UTF-16 input, so it is kept fast.
std::size_t CountUnitsBeforeNul(const Bytes& utf16) {
  const std::size_t total = utf16.size() / 2;
  constexpr std::uint64_t kLow = 0x0001000100010001ull;
  constexpr std::uint64_t kHigh = 0x8000800080008000ull;
  std::size_t i = 0;
  for (; i + 4 <= total; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, utf16.data() + 2 * i, sizeof word);
    if (((word - kLow) & ~word & kHigh) != 0) break;
  }
  while (i < total && (utf16[2 * i] | utf16[2 * i + 1]) != 0) ++i;
  return i;
}

// UTF-16 travels as little-endian byte pairs whatever the machine; on a
// little-endian machine that is one copy.
std::u16string UnitsFromBytes(const Bytes& utf16) {
  std::u16string units(CountUnitsBeforeNul(utf16), u'\0');
  if constexpr (std::endian::native == std::endian::little) {
    if (!units.empty()) std::memcpy(units.data(), utf16.data(), units.size() * 2);
  } else {
    for (std::size_t i = 0; i < units.size(); ++i) {
      units[i] = static_cast<char16_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8));
    }
  }
  return units;
}

Bytes BytesFromUnits(std::u16string_view units, bool terminator) {
  Bytes out(units.size() * 2 + (terminator ? 2 : 0), 0);
  if constexpr (std::endian::native == std::endian::little) {
    if (!units.empty()) std::memcpy(out.data(), units.data(), units.size() * 2);
  } else {
    for (std::size_t i = 0; i < units.size(); ++i) {
      out[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
      out[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
  }
  return out;
}

std::u16string Decode(std::string_view bytes, unsigned codePage) {
  const std::string charset = platform::CharsetForCodePage(codePage);
  if (charset.empty()) return {};
  if (charset == platform::kSystemCharset) return platform::SystemTextToUtf16(bytes);
  if (charset == "UTF-8") return platform::Utf8ToUtf16(bytes);
  platform::IcuConverter converter(charset.c_str());
  return converter.ToUtf16(bytes);
}

// The encoded bytes up to their first zero byte. The units hold no zero, so
// only a 16-bit target can produce one.
std::string Encode(std::u16string_view units, unsigned codePage) {
  const std::string charset = platform::CharsetForCodePage(codePage);
  if (charset.empty()) return {};
  std::string out;
  if (charset == platform::kSystemCharset) {
    out = platform::Utf16ToSystemText(units);
  } else if (charset == "UTF-8") {
    out = platform::Utf16ToUtf8(units);
  } else {
    platform::IcuConverter converter(charset.c_str());
    out = converter.FromUtf16(units);
    const std::size_t nul = out.find('\0');
    if (nul != std::string::npos) out.resize(nul);
  }
  return out;
}

std::string_view UpToNul(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string_view UpToNul(const Bytes& bytes) {
  return UpToNul(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

Bytes CodePageToUtf16(const Bytes& bytes, unsigned codePage) {
  const std::string_view input = UpToNul(bytes);
  if (input.empty()) return {};
  const std::u16string units = Decode(input, codePage);
  if (units.empty()) return {};
  // A decoded zero unit cannot occur (the input holds no zero byte), so the
  // terminator below is the string's only one.
  return BytesFromUnits(units, true);
}

Bytes CutUtf16AtNul(const Bytes& utf16, bool appendTerminator) {
  if (utf16.size() < 2) return {};
  std::size_t i = 0;
  while (i + 2 <= utf16.size() && (utf16[i] != 0 || utf16[i + 1] != 0)) i += 2;
  if (i == 0) return {};
  Bytes out(utf16.begin(), utf16.begin() + static_cast<std::ptrdiff_t>(i));
  if (appendTerminator) {
    out.push_back(0);
    out.push_back(0);
  }
  return out;
}

Bytes TextToUtf16(const Text& text, bool omitTerminator) {
  Bytes units = CodePageToUtf16(BytesFromText(text), 936);
  if (omitTerminator) units = CutUtf16AtNul(units, false);
  return units;
}

Bytes Utf16ToCodePage(const Bytes& utf16, unsigned codePage) {
  return BytesFromText(Utf16ToText(utf16, codePage));
}

Text Utf16ToText(const Bytes& utf16, std::optional<unsigned> codePage) {
  const std::u16string units = UnitsFromBytes(utf16);
  if (units.empty()) return {};
  return Encode(units, codePage.value_or(0));
}

// The same result as TextToUtf16 followed by Utf16ToText with code page 65001,
// without carrying the UTF-16 form through byte arrays: this runs on every
// request body.
Text TextToUtf8(const Text& text) { return Encode(Decode(UpToNul(text), 936), 65001); }

}  // namespace vyrelo::encoding
