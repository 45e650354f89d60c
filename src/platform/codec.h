// Character conversion over ICU, the one place the system touches ICU's
// converters.
//
// The system's own text is GB18030, not code page 936 (GBK). Code page 936
// cannot hold Korean, Thai, Arabic, Vietnamese letters with their marks, emoji
// and many more: every such character would turn into "?" on its way into or
// out of the program, and a translation to or from those languages would be
// destroyed. GB18030 is a superset of GBK in which every character GBK holds
// keeps exactly the same bytes, so GBK files and texts read the same, while
// every other character takes a four-byte form instead of "?". Wherever the
// system speaks of code page 936, of the machine's ANSI code page or of "GBK",
// this is the converter that serves.
//
// A four-byte GB18030 character is two double-byte units to the text helpers:
// its first and third bytes are 0x81 or more, so no ASCII byte ever matches
// inside one.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/text.h"

struct UConverter;

namespace vyrelo::platform {

inline constexpr const char* kSystemCharset = "gb18030";

// One open ICU converter. A converter that ICU refused is not valid: its
// conversions give empty results and `Error()` keeps ICU's reason.
class IcuConverter {
 public:
  explicit IcuConverter(const char* icuName);
  IcuConverter(IcuConverter&&) noexcept = default;
  IcuConverter& operator=(IcuConverter&&) noexcept = default;

  bool Valid() const { return converter_ != nullptr; }
  const std::string& Error() const { return error_; }
  const std::string& Name() const { return name_; }

  // Invalid input becomes U+FFFD; the whole input is converted, zero bytes
  // included.
  std::u16string ToUtf16(std::string_view bytes);
  // Characters the target cannot hold become its substitution character ("?"
  // for legacy code pages, U+FFFD for the Unicode forms).
  std::string FromUtf16(std::u16string_view units);

 private:
  struct Closer {
    void operator()(UConverter* c) const;
  };
  std::unique_ptr<UConverter, Closer> converter_;
  std::string name_;
  std::string error_;
};

// Whether ICU knows a converter of this name (aliases included).
bool CharsetKnown(std::string_view icuName);

// The system's own text to and from UTF-16, through a converter kept per
// thread.
std::u16string SystemTextToUtf16(std::string_view text);
Text Utf16ToSystemText(std::u16string_view units);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view units);

// The ICU converter name for a Windows code page number: 0 (the machine's
// ANSI code page) and 936 give the system's own charset, 65001 UTF-8, 1200 and
// 1201 UTF-16LE/BE, others "windows-NNN" or "ibm-NNN" where ICU has one; "" for
// a number nobody knows.
std::string CharsetForCodePage(unsigned codePage);

}  // namespace vyrelo::platform
