// Cookies as plain text: items "name=value" joined by "; ". Only names and
// values survive; domains, paths and expiry are dropped. The caller keeps the
// text between requests, which makes it a simple cookie jar.
#pragma once

#include "platform/automation.h"
#include "platform/text.h"

namespace vyrelo::web {

// The text before the first `separator` (case-sensitive); empty when there is
// none.
Text TextBefore(const Text& text, const Text& separator);
// The text after the first `left` up to the first `right` at or after that
// point; empty when either is missing.
Text TextBetween(const Text& text, const Text& left, const Text& right);
// The item's text before its first "=", or the whole item, trimmed.
Text CookieName(const Text& item);
bool HasCookieNamed(const TextList& items, const Text& name);
// 1-based index of the first item equal to `text`, -1 when none is.
int IndexOfText(const TextList& list, const Text& text);
// The items of `text` without exact repeats, in order of first occurrence.
Text RemoveDuplicateItems(const Text& text, const Text& separator);

// Merges received cookies into the caller's: received first, then the old
// ones no received cookie replaces, without "=deleted" items and exact
// repeats. Both arguments are trimmed in place (a final ";" gains a space);
// the caller's text also receives the result, and a copy is returned.
Text MergeCookieText(Text& callerCookies, Text& receivedCookies);

// Removes every "Cookie:" (any case) from the caller's text in place and sets
// the "Cookie" request header from it, also when the text is empty.
void SetCookieHeader(const platform::ComObject& request, Text& cookies);

// The items of the response's exact "Set-Cookie: " lines, attributes after
// the first ";" dropped, joined by "; ", in line order.
Text CollectResponseCookies(const Text& responseHeaders);

}  // namespace vyrelo::web
