// Where the translation service lives and how its requests present
// themselves. These are the only settings besides the language list file; they
// live here so that the window, the command line and the tests agree.
#pragma once

#include <optional>

#include "platform/text.h"

namespace vyrelo::app {

// Built-in defaults, used unless a run overrides them.
inline constexpr const char* kDefaultHost = "fanyi.sogou.com";
// The Origin of the browser extension whose requests the service expects.
inline constexpr const char* kDefaultOrigin = "chrome-extension://ohfkfhjpkomfhidgeojbefnlgdnnmbfk";

// Environment variables that override the defaults for a run.
inline constexpr const char* kHostVariable = "VYRELO_HOST";
inline constexpr const char* kOriginVariable = "VYRELO_ORIGIN";

struct ServiceSettings {
  Text host = kDefaultHost;  // HOST or HOST:PORT; also the Host header
  Text origin = kDefaultOrigin;
};

// Defaults, then the environment, then what the command line gave.
ServiceSettings ResolveSettings(const std::optional<Text>& hostOption,
                                const std::optional<Text>& originOption);

// "http://" + host + the service's fixed path and query.
Text ServiceUrl(const ServiceSettings& settings);

// The language list file beside the executable: its directory, a "/" and
// "翻译.ini", as a `Text`.
Text DefaultLanguageListPath();

// The name of the language list file, as a `Text`.
Text LanguageListFileName();

// The directory that holds the running executable, without a trailing "/",
// as a `Text`; "." when the system does not tell.
Text ExecutableDirectory();

}  // namespace vyrelo::app
