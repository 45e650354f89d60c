#include "web/headers.h"

namespace vyrelo::web {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

}  // namespace

Text HeaderName(const Text& line) {
  const int colon = Find(line, ":");
  if (colon < 0) return {};
  return Trim(std::string_view(line).substr(0, static_cast<std::size_t>(colon - 1)));
}

Text HeaderValue(const Text& line) {
  const int colon = Find(line, ":");
  if (colon < 0) return {};
  return Trim(std::string_view(line).substr(static_cast<std::size_t>(colon)));
}

Text CapitalizeFirst(const Text& text) {
  if (text.empty()) return text;
  Text result = text;
  if (result[0] >= 'a' && result[0] <= 'z') result[0] = ToUpperAscii(result[0]);
  return result;
}

Text NormalizeHeaderBlock(const Text& block) {
  TextList kept;
  for (const Text& line : Split(block, kLineBreak)) {
    const int colon = Find(line, ":");
    if (colon < 0) continue;
    const Text name = line.substr(0, static_cast<std::size_t>(colon - 1));
    const Text rest = line.substr(static_cast<std::size_t>(colon - 1));
    Text capitalised;
    if (!Contains(name, "-")) {
      capitalised = CapitalizeFirst(name);
    } else {
      TextList pieces;
      for (const Text& piece : Split(name, "-")) pieces.push_back(CapitalizeFirst(piece));
      capitalised = Join(pieces, "-");
      // Splitting gives no piece after a final "-"; put that "-" back.
      if (EndsWith(name, "-")) capitalised += "-";
    }
    kept.push_back(capitalised + rest);
  }
  return Join(kept, kLineBreak);
}

Text AddDefaultHeaders(const Text& block, const Text& url, int methodIndex) {
  Text result = block;
  if (!ContainsNoCase(result, "Accept:")) result += "\r\nAccept: */*";
  if (!ContainsNoCase(result, "Referer:")) result += "\r\nReferer: " + url;
  if (!ContainsNoCase(result, "Accept-Language:")) result += "\r\nAccept-Language: zh-cn";
  if (!ContainsNoCase(result, "User-Agent:")) {
    result += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  }
  if (methodIndex == 1 && !ContainsNoCase(result, "Content-Type:")) {
    result += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  return result;
}

void ApplyHeaderBlock(const platform::ComObject& request, const Text& block) {
  if (!Contains(block, kLineBreak)) {
    platform::CallMethod(request, "SetRequestHeader", {HeaderName(block), HeaderValue(block)});
    return;
  }
  for (const Text& line : Split(block, kLineBreak)) {
    if (line.empty()) continue;
    const Text name = HeaderName(line);
    const Text value = HeaderValue(line);
    if (name == "Connection" && value == "keep-alive") continue;
    platform::CallMethod(request, "SetRequestHeader", {name, value});
  }
}

}  // namespace vyrelo::web
