#include "app/system_text.h"

#include "platform/codec.h"

namespace vyrelo::app {

Text Utf8ToText(std::string_view utf8) {
  return platform::Utf16ToSystemText(platform::Utf8ToUtf16(utf8));
}

std::string TextToUtf8String(std::string_view text) {
  return platform::Utf16ToUtf8(platform::SystemTextToUtf16(text));
}

}  // namespace vyrelo::app
