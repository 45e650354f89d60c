#include "platform/codec.h"

#include <unicode/ucnv.h>

#include <map>

namespace vyrelo::platform {

void IcuConverter::Closer::operator()(UConverter* c) const { ucnv_close(c); }

IcuConverter::IcuConverter(const char* icuName) : name_(icuName ? icuName : "") {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* raw = name_.empty() ? nullptr : ucnv_open(name_.c_str(), &status);
  // Some aliases answer U_AMBIGUOUS_ALIAS_WARNING, which is still success.
  if (raw == nullptr || U_FAILURE(status)) {
    if (raw) ucnv_close(raw);
    error_ = name_.empty() ? "no charset name" : u_errorName(status);
    return;
  }
  converter_.reset(raw);
  const std::string canonical = ucnv_getName(raw, &status);
  const bool unicodeForm =
      canonical.find("UTF") != std::string::npos || canonical.find("GB18030") != std::string::npos;
  if (!unicodeForm) {
    // Windows writes "?" for a character the code page lacks; ICU's own
    // choice for many single-byte tables is the control character 0x1A.
    UErrorCode subStatus = U_ZERO_ERROR;
    ucnv_setSubstChars(raw, "?", 1, &subStatus);
  }
}

std::u16string IcuConverter::ToUtf16(std::string_view bytes) {
  std::u16string out;
  if (!converter_ || bytes.empty()) return out;
  ucnv_resetToUnicode(converter_.get());
  // No charset gives more UTF-16 units than it has bytes.
  out.resize(bytes.size() + 1);
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(converter_.get(), out.data(), static_cast<int32_t>(out.size()),
                            bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.resize(static_cast<std::size_t>(n) + 1);
    ucnv_resetToUnicode(converter_.get());
    n = ucnv_toUChars(converter_.get(), out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &status);
  }
  if (U_FAILURE(status)) {
    error_ = u_errorName(status);
    return {};
  }
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string IcuConverter::FromUtf16(std::u16string_view units) {
  std::string out;
  if (!converter_ || units.empty()) return out;
  ucnv_resetFromUnicode(converter_.get());
  out.resize(static_cast<std::size_t>(
      UCNV_GET_MAX_BYTES_FOR_STRING(units.size(), ucnv_getMaxCharSize(converter_.get()))));
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_fromUChars(converter_.get(), out.data(), static_cast<int32_t>(out.size()),
                                    units.data(), static_cast<int32_t>(units.size()), &status);
  if (U_FAILURE(status)) {
    error_ = u_errorName(status);
    return {};
  }
  out.resize(static_cast<std::size_t>(n));
  return out;
}

bool CharsetKnown(std::string_view icuName) {
  if (icuName.empty()) return false;
  UErrorCode status = U_ZERO_ERROR;
  const std::string name(icuName);
  return ucnv_getAlias(name.c_str(), 0, &status) != nullptr && U_SUCCESS(status);
}

namespace {

IcuConverter& ThreadConverter(const char* name) {
  thread_local std::map<std::string, IcuConverter, std::less<>> converters;
  auto it = converters.find(name);
  if (it == converters.end()) it = converters.emplace(name, IcuConverter(name)).first;
  return it->second;
}

}  // namespace

std::u16string SystemTextToUtf16(std::string_view text) {
  return ThreadConverter(kSystemCharset).ToUtf16(text);
}

Text Utf16ToSystemText(std::u16string_view units) {
  return ThreadConverter(kSystemCharset).FromUtf16(units);
}

std::u16string Utf8ToUtf16(std::string_view utf8) { return ThreadConverter("UTF-8").ToUtf16(utf8); }

std::string Utf16ToUtf8(std::u16string_view units) {
  return ThreadConverter("UTF-8").FromUtf16(units);
}

std::string CharsetForCodePage(unsigned codePage) {
  switch (codePage) {
    case 0:
    case 936:
    case 54936:
      return kSystemCharset;
    case 65001:
      return "UTF-8";
    case 1200:
      return "UTF-16LE";
    case 1201:
      return "UTF-16BE";
    case 20127:
      return "US-ASCII";
    case 28591:
      return "ISO-8859-1";
    default:
      break;
  }
  for (const char* prefix : {"windows-", "ibm-"}) {
    const std::string name = prefix + std::to_string(codePage);
    if (CharsetKnown(name)) return name;
  }
  return {};
}

}  // namespace vyrelo::platform
