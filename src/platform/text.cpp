#include "platform/text.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace vyrelo {

Text TextFromBytes(const Bytes& bytes) {
  return TextFromBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Text TextFromBytes(std::string_view bytes) {
  const std::size_t end = bytes.find('\0');
  return Text(bytes.substr(0, end));
}

Bytes BytesFromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

namespace {

// Whether each byte of `needle` stands alone (a single-byte unit). Case is
// folded on those only: the second byte of a double-byte character may have a
// letter's value, and folding it would make two different characters equal.
std::vector<bool> SingleByteUnits(std::string_view needle) {
  std::vector<bool> single(needle.size(), false);
  for (std::size_t i = 0; i < needle.size();) {
    const std::size_t len = UnitLength(needle, i);
    single[i] = len == 1;
    i += len;
  }
  return single;
}

int FindImpl(std::string_view text, std::string_view needle, int start, bool foldCase) {
  if (start < 1) start = 1;
  std::size_t offset = static_cast<std::size_t>(start - 1);
  if (offset > text.size()) return -1;
  if (needle.empty()) return start;
  const std::vector<bool> single = foldCase ? SingleByteUnits(needle) : std::vector<bool>();
  while (offset + needle.size() <= text.size()) {
    bool match = true;
    for (std::size_t k = 0; k < needle.size(); ++k) {
      const char a = text[offset + k];
      const char b = needle[k];
      if (a != b && !(foldCase && single[k] && ToLowerAscii(a) == ToLowerAscii(b))) {
        match = false;
        break;
      }
    }
    if (match) return static_cast<int>(offset + 1);
    offset += UnitLength(text, offset);
  }
  return -1;
}

}  // namespace

int Find(std::string_view text, std::string_view needle, int start) {
  return FindImpl(text, needle, start, false);
}

int FindNoCase(std::string_view text, std::string_view needle, int start) {
  return FindImpl(text, needle, start, true);
}

bool Contains(std::string_view text, std::string_view needle) { return Find(text, needle) > 0; }

bool ContainsNoCase(std::string_view text, std::string_view needle) {
  return FindNoCase(text, needle) > 0;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

TextList Split(std::string_view text, std::string_view separator) {
  TextList pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t pieceStart = 0;
  for (;;) {
    const int at = Find(text, separator, static_cast<int>(pieceStart) + 1);
    if (at < 0) break;
    const std::size_t found = static_cast<std::size_t>(at - 1);
    pieces.emplace_back(text.substr(pieceStart, found - pieceStart));
    pieceStart = found + separator.size();
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

Text Join(const TextList& pieces, std::string_view separator) {
  Text out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out.append(separator);
    out.append(pieces[i]);
  }
  return out;
}

namespace {

template <typename FindFn>
Text ReplaceImpl(std::string_view text, std::string_view from, std::string_view to, FindFn find) {
  if (from.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const int at = find(text, from, static_cast<int>(pos) + 1);
    if (at < 0) break;
    const std::size_t found = static_cast<std::size_t>(at - 1);
    out.append(text.substr(pos, found - pos));
    out.append(to);
    pos = found + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace

Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  return ReplaceImpl(text, from, to,
                     [](std::string_view t, std::string_view n, int s) { return Find(t, n, s); });
}

Text RemoveAllNoCase(std::string_view text, std::string_view what) {
  return ReplaceImpl(text, what, {}, [](std::string_view t, std::string_view n, int s) {
    return FindNoCase(t, n, s);
  });
}

Text RemoveByte(std::string_view text, char byte) {
  Text out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != byte) out.push_back(c);
  }
  return out;
}

Text Trim(std::string_view text) {
  // Walks whole units from the left, so the second byte of a double-byte
  // character is never taken for half of a full-width space.
  auto spaceUnit = [&](std::size_t i, std::size_t len) {
    if (len == 1) return text[i] == ' ';
    return static_cast<unsigned char>(text[i]) == 0xA1 &&
           static_cast<unsigned char>(text[i + 1]) == 0xA1;
  };
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = UnitLength(text, i);
    if (!spaceUnit(i, len)) {
      if (begin == text.size()) begin = i;
      end = i + len;
    }
    i += len;
  }
  if (begin >= end) return Text();
  return Text(text.substr(begin, end - begin));
}

char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

Text ToUpperAscii(std::string_view text) {
  Text out(text);
  for (char& c : out) c = ToUpperAscii(c);
  return out;
}

Text ToLowerAscii(std::string_view text) {
  Text out(text);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const std::size_t len = UnitLength(a, i);
    if (len == 1 ? ToLowerAscii(a[i]) != ToLowerAscii(b[i]) : a.compare(i, len, b, i, len) != 0) {
      return false;
    }
    i += len;
  }
  return true;
}

Text FormatInt(long long value) {
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, "%lld", value);
  return Text(buffer, static_cast<std::size_t>(n));
}

Text FormatDouble(double value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%.13g", value);
  return Text(buffer, static_cast<std::size_t>(n));
}

std::int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  const double t = std::trunc(value);
  if (t < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      t > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return 0;
  }
  return static_cast<std::int32_t>(t);
}

}  // namespace vyrelo
