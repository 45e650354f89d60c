// Crossings between the system's text and the UTF-8 of this system's file
// names, command line and terminal.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace vyrelo::app {

Text Utf8ToText(std::string_view utf8);
std::string TextToUtf8String(std::string_view text);

}  // namespace vyrelo::app
