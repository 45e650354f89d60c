#include "app/settings.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/system_text.h"

namespace vyrelo::app {
namespace {

std::optional<Text> FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return Utf8ToText(value);
}

}  // namespace

ServiceSettings ResolveSettings(const std::optional<Text>& hostOption,
                                const std::optional<Text>& originOption) {
  ServiceSettings settings;
  if (auto host = FromEnvironment(kHostVariable)) settings.host = *host;
  if (auto origin = FromEnvironment(kOriginVariable)) settings.origin = *origin;
  if (hostOption) settings.host = *hostOption;
  if (originOption) settings.origin = *originOption;
  return settings;
}

Text ServiceUrl(const ServiceSettings& settings) {
  return "http://" + settings.host +
         "/se/translate_3in1?h=3C6A1D0E58B27F94E0D3A6C71B5F28D4&r=0000&v=10.0.2.33514?";
}

Text LanguageListFileName() { return Utf8ToText("翻译.ini"); }

Text ExecutableDirectory() {
  std::string buffer(4096, '\0');
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return ".";
  buffer.resize(static_cast<std::size_t>(length));
  std::size_t slash = buffer.rfind('/');
  if (slash == std::string::npos) return ".";
  buffer.resize(slash == 0 ? 1 : slash);
  return Utf8ToText(buffer);
}

Text DefaultLanguageListPath() {
  Text dir = ExecutableDirectory();
  if (!dir.empty() && dir.back() == '/') return dir + LanguageListFileName();
  return dir + "/" + LanguageListFileName();
}

}  // namespace vyrelo::app
