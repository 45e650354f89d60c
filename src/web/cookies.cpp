#include "web/cookies.h"

namespace vyrelo::web {

namespace {

constexpr std::string_view kItemSeparator = "; ";

// Trimmed, and a final ";" given its space so that splitting at "; " sees it
// as a separator.
void TidyCookieText(Text& text) {
  text = Trim(text);
  if (EndsWith(text, ";")) text += " ";
}

}  // namespace

Text TextBefore(const Text& text, const Text& separator) {
  const int at = Find(text, separator);
  if (at < 0) return {};
  return text.substr(0, static_cast<std::size_t>(at - 1));
}

Text TextBetween(const Text& text, const Text& left, const Text& right) {
  const int leftAt = Find(text, left);
  if (leftAt < 0) return {};
  const int start = leftAt + static_cast<int>(left.size());
  const int rightAt = Find(text, right, start);
  if (rightAt < 0) return {};
  return text.substr(static_cast<std::size_t>(start - 1),
                     static_cast<std::size_t>(rightAt - start));
}

Text CookieName(const Text& item) {
  const int equals = Find(item, "=");
  if (equals < 0) return Trim(item);
  return Trim(std::string_view(item).substr(0, static_cast<std::size_t>(equals - 1)));
}

bool HasCookieNamed(const TextList& items, const Text& name) {
  for (const Text& item : items) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

int IndexOfText(const TextList& list, const Text& text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int>(i) + 1;
  }
  return -1;
}

Text RemoveDuplicateItems(const Text& text, const Text& separator) {
  TextList kept;
  for (const Text& item : Split(text, separator)) {
    if (IndexOfText(kept, item) < 0) kept.push_back(item);
  }
  return Join(kept, separator);
}

Text MergeCookieText(Text& callerCookies, Text& receivedCookies) {
  TidyCookieText(callerCookies);
  TidyCookieText(receivedCookies);
  const TextList oldItems = Split(callerCookies, kItemSeparator);
  TextList merged = Split(receivedCookies, kItemSeparator);
  for (const Text& item : oldItems) {
    if (!HasCookieNamed(merged, CookieName(item))) merged.push_back(item);
  }
  Text result;
  for (const Text& item : merged) {
    if (EndsWith(item, "=deleted")) continue;
    result += item;
    result += kItemSeparator;
  }
  if (!result.empty()) result.resize(result.size() - kItemSeparator.size());
  result = RemoveDuplicateItems(result, Text(kItemSeparator));
  callerCookies = result;
  return result;
}

void SetCookieHeader(const platform::ComObject& request, Text& cookies) {
  if (!cookies.empty() && ContainsNoCase(cookies, "Cookie:")) {
    cookies = RemoveAllNoCase(cookies, "Cookie:");
  }
  platform::CallMethod(request, "SetRequestHeader", {Text("Cookie"), cookies});
}

Text CollectResponseCookies(const Text& responseHeaders) {
  Text collected;
  for (const Text& line : Split(responseHeaders, "\r\n")) {
    if (TextBefore(line, ": ") != "Set-Cookie") continue;
    Text item = Contains(line, ";") ? Trim(TextBetween(line, "Set-Cookie:", ";"))
                                    : Trim(RemoveAllNoCase(line, "Set-Cookie:"));
    collected += item;
    collected += kItemSeparator;
  }
  if (EndsWith(collected, kItemSeparator))
    collected.resize(collected.size() - kItemSeparator.size());
  return collected;
}

}  // namespace vyrelo::web
