// One translation as the window and the command line see it: the round trip
// behind a function, so that either can run against a fake.
#pragma once

#include <functional>
#include <string>

#include "platform/text.h"

namespace vyrelo::app {

struct TranslationOutcome {
  Text result;         // what the other box shows
  bool parsed = true;  // false: the reply did not parse ("JSON解析失败")
  std::string reason;  // why it did not, in words (UTF-8)
};

using TranslateFunction =
    std::function<TranslationOutcome(const Text& from, const Text& to, const Text& text)>;

// The code of Chinese, the fixed other side of every translation.
inline constexpr const char* kChineseCode = "zh-CHS";

}  // namespace vyrelo::app
