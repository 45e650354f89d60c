#include "encoding/code_page.h"

#include <cstring>

#include "platform/codec.h"

namespace vyrelo::encoding {

namespace {

// Codes units are carried as little-endian byte pairs whatever the machine.
std::u16string UnitsFromBytes(const Bytes& utf16) {
  std::u16string units;
  units.reserve(utf16.size() / 2);
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(utf16[i] | (utf16[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  return units;
}

Bytes BytesFromUnits(std::u16string_view units, bool terminator) {
  Bytes out;
  out.reserve(units.size() * 2 + 2);
  for (char16_t u : units) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  if (terminator) {
    out.push_back(0);
    out.push_back(0);
  }
  return out;
}

std::u16string Decode(std::string_view bytes, unsigned codePage) {
  const std::string charset = platform::CharsetForCodePage(codePage);
  if (charset.empty()) return {};
  if (charset == platform::kSystemCharset) return platform::SystemTextToUtf16(bytes);
  platform::IcuConverter converter(charset.c_str());
  return converter.ToUtf16(bytes);
}

std::string Encode(std::u16string_view units, unsigned codePage) {
  const std::string charset = platform::CharsetForCodePage(codePage);
  if (charset.empty()) return {};
  if (charset == platform::kSystemCharset) return platform::Utf16ToSystemText(units);
  if (charset == "UTF-8") return platform::Utf16ToUtf8(units);
  platform::IcuConverter converter(charset.c_str());
  return converter.FromUtf16(units);
}

std::string_view UpToNul(const Bytes& bytes) {
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const void* nul = std::memchr(data, 0, bytes.size());
  return {data,
          nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : bytes.size()};
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
  const std::u16string units = UnitsFromBytes(utf16);
  if (units.empty()) return {};
  return BytesFromText(TextFromBytes(Encode(units, codePage)));
}

Text Utf16ToText(const Bytes& utf16, std::optional<unsigned> codePage) {
  return TextFromBytes(Utf16ToCodePage(utf16, codePage.value_or(0)));
}

Text TextToUtf8(const Text& text) { return Utf16ToText(TextToUtf16(text, false), 65001); }

}  // namespace vyrelo::encoding
