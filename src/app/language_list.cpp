#include "app/language_list.h"

#include <fstream>
#include <iterator>

#include "app/system_text.h"
#include "platform/codec.h"

namespace vyrelo::app {
namespace {

constexpr std::size_t kMaxIniValueBytes = 10239;

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes, bool& hasHighByte) {
  hasHighByte = false;
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    hasHighByte = true;
    std::size_t extra = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, min = 0x80, cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, min = 0x800, cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, min = 0x10000, cp = c & 0x07u;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      auto t = static_cast<unsigned char>(bytes[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

// A trailing odd byte is no character and is dropped.
Text Utf16BytesToText(std::string_view bytes, bool bigEndian) {
  platform::IcuConverter utf16(bigEndian ? "UTF-16BE" : "UTF-16LE");
  return platform::Utf16ToSystemText(
      utf16.ToUtf16(bytes.substr(0, bytes.size() & ~std::size_t{1})));
}

// Line feeds alone become CR LF. No byte of a multi-byte character in the
// system's charset can be 0x0A, so this is safe byte by byte.
Text NormaliseLineBreaks(std::string_view text) {
  Text out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

// Skips the bytes of value 32 or less at the start, as the lookup does for its
// path, section and key.
Text SkipLeadingControlBytes(const Text& text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  return text.substr(i);
}

// 1-based position of the last `needle`, -1 when there is none.
int FindLast(std::string_view text, std::string_view needle) {
  int last = -1;
  for (int pos = Find(text, needle); pos > 0; pos = Find(text, needle, pos + 1)) last = pos;
  return last;
}

// Cuts to at most `limit` bytes without leaving half a character.
Text CutAtUnitBoundary(const Text& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t unit = UnitLength(text, i);
    if (i + unit > limit) break;
    i += unit;
  }
  return text.substr(0, i);
}

Text StripMatchingQuotes(const Text& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

Text LanguageSectionName() { return Utf8ToText("翻译"); }
Text ChineseLanguageName() { return Utf8ToText("中文"); }

Text DecodeListFile(std::string_view bytes) {
  Text text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = Utf16BytesToText(bytes.substr(2), false);
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    text = Utf16BytesToText(bytes.substr(2), true);
  } else if (StartsWith(bytes, "\xEF\xBB\xBF")) {
    text = Utf8ToText(TextFromBytes(bytes.substr(3)));
  } else {
    Text plain = TextFromBytes(bytes);
    bool hasHighByte = false;
    text = IsValidUtf8(plain, hasHighByte) && hasHighByte ? Utf8ToText(plain) : plain;
  }
  // A decoded zero unit ends the text, as it would in the plain file.
  return NormaliseLineBreaks(TextFromBytes(text));
}

std::optional<Text> ReadListFile(const Text& fileName) {
  std::ifstream in(TextToUtf8String(fileName), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return DecodeListFile(bytes);
}

TextList SectionKeysFromText(const Text& content, const Text& sectionName) {
  const int b = Find(content, "[" + sectionName + "]");
  if (b < 0) return {};
  const int n = static_cast<int>(sectionName.size());
  int e = Find(content, "[", b + n + 1);
  if (e < 0) e = static_cast<int>(content.size()) + 1;
  const int bodyStart = b + n + 4;
  Text body;
  if (bodyStart <= e - 1 && bodyStart <= static_cast<int>(content.size())) {
    body = content.substr(static_cast<std::size_t>(bodyStart - 1),
                          static_cast<std::size_t>(e - bodyStart));
  }
  if (!Contains(body, "=")) return {};

  TextList pieces = Split(body, "=");
  // Only a piece that an "=" closes is a name; the value after the last "="
  // is not. (No trail byte of a double-byte character is "=".)
  if (!EndsWith(body, "=") && !pieces.empty()) pieces.pop_back();
  TextList names;
  names.reserve(pieces.size());
  for (const Text& piece : pieces) {
    int lineBreak = FindLast(piece, "\r\n");
    names.push_back(lineBreak > 0 ? piece.substr(static_cast<std::size_t>(lineBreak + 1)) : piece);
  }
  return Split(Join(names, "|"), "|");
}

int ReadIniSectionKeys(const Text& fileName, const Text& sectionName, TextList& keys) {
  std::optional<Text> content = ReadListFile(fileName);
  if (!content) return 0;
  keys = SectionKeysFromText(*content, sectionName);
  return static_cast<int>(keys.size());
}

std::vector<ChooserItem> LanguageChooserItems(const Text& fileName) {
  TextList names;
  ReadIniSectionKeys(fileName, LanguageSectionName(), names);
  std::vector<ChooserItem> items;
  const Text chinese = ChineseLanguageName();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == chinese) continue;
    items.push_back({names[i], static_cast<int>(i + 1)});
  }
  return items;
}

Text IniValueFromText(const Text& content, const Text& section, const Text& key) {
  const Text wantedSection = Trim(section);
  const Text wantedKey = Trim(key);
  bool inSection = false;
  for (const Text& rawLine : Split(content, "\r\n")) {
    std::size_t start = 0;
    while (start < rawLine.size() && (rawLine[start] == ' ' || rawLine[start] == '\t')) ++start;
    std::string_view line(rawLine);
    line.remove_prefix(start);
    if (!line.empty() && line.front() == '[') {
      int close = Find(line, "]", 2);
      std::string_view name =
          close > 0 ? line.substr(1, static_cast<std::size_t>(close - 2)) : line.substr(1);
      inSection = EqualsNoCase(Trim(name), wantedSection);
      continue;
    }
    if (!inSection) continue;
    int eq = Find(line, "=");
    if (eq < 0) continue;
    if (!EqualsNoCase(Trim(line.substr(0, static_cast<std::size_t>(eq - 1))), wantedKey)) {
      continue;
    }
    Text value = StripMatchingQuotes(Trim(line.substr(static_cast<std::size_t>(eq))));
    return CutAtUnitBoundary(value, kMaxIniValueBytes);
  }
  return {};
}

Text LookupIniValue(const Text& fileName, const Text& section, const Text& key) {
  const Text path = SkipLeadingControlBytes(fileName);
  const Text sectionName = SkipLeadingControlBytes(section);
  const Text keyName = SkipLeadingControlBytes(key);
  if (path.empty() || sectionName.empty() || keyName.empty()) return {};
  std::optional<Text> content = ReadListFile(path);
  if (!content) return {};
  return IniValueFromText(*content, sectionName, keyName);
}

}  // namespace vyrelo::app
