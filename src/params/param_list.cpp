#include "params/param_list.h"

#include "encoding/code_page.h"

namespace vyrelo::params {

std::unique_ptr<ParamList> ParamList::Copy() const {
  return std::unique_ptr<ParamList>(new ParamList(*this));
}

void ParamList::Add(const Text& name, const Text& value, bool utf8) {
  if (utf8) {
    names_.push_back(encoding::TextToUtf8(name));
    values_.push_back(encoding::TextToUtf8(value));
  } else {
    names_.push_back(name);
    values_.push_back(value);
  }
}

void ParamList::AddFromQuery(const Text& text, bool utf8) {
  for (const Text& piece : Split(text, "&")) {
    const std::size_t first = piece.find('=');
    if (first == Text::npos) {
      Add(Text(), Text(), utf8);
      continue;
    }
    Add(piece.substr(0, first), piece.substr(piece.rfind('=') + 1), utf8);
  }
}

std::ptrdiff_t ParamList::IndexOf(const Text& name) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

Text ParamList::Get(const Text& name) const {
  const auto i = IndexOf(name);
  return i < 0 ? Text() : values_[static_cast<std::size_t>(i)];
}

void ParamList::Set(const Text& name, const Text& value) {
  const auto i = IndexOf(name);
  if (i < 0) {
    Add(name, value, false);
  } else {
    values_[static_cast<std::size_t>(i)] = value;
  }
}

Text ParamList::ToQueryString(bool encode) const {
  Text out;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    out += encode ? PercentEncode(names_[i]) : names_[i];
    out += '=';
    out += encode ? PercentEncode(values_[i]) : values_[i];
    out += '&';
  }
  if (!out.empty()) out.pop_back();
  return out;
}

Text ParamList::ToHeaderBlock(bool encode) const {
  TextList lines;
  lines.reserve(names_.size());
  for (std::size_t i = 0; i < names_.size(); ++i) {
    lines.push_back(names_[i] + ": " + (encode ? PercentEncode(values_[i]) : values_[i]));
  }
  return Join(lines, "\r\n");
}

void ParamList::GetNames(TextList& names) const { names = names_; }

void ParamList::GetValues(TextList& values) const { values = values_; }

void ParamList::Clear() {
  names_.clear();
  values_.clear();
}

void ParamList::Remove(const Text& name) {
  const auto i = IndexOf(name);
  if (i < 0) return;
  names_.erase(names_.begin() + i);
  values_.erase(values_.begin() + i);
}

Text ParamList::ToJson() const {
  Text out = "{";
  for (std::size_t i = 0; i < names_.size(); ++i) {
    out += '"' + names_[i] + "\":\"" + EscapeQuotes(values_[i]) + "\",";
  }
  StripAffix(out, ",");
  return out + "}";
}

Text ParamList::EscapeQuotes(const Text& text) const { return ReplaceAll(text, "\"", "\\\""); }

Text ParamList::StripAffix(Text& text, const Text& affix) const {
  if (!affix.empty()) {
    if (EndsWith(text, affix)) text.erase(text.size() - affix.size());
    if (StartsWith(text, affix)) text.erase(0, affix.size());
  }
  return text;
}

Text PercentEncode(const Text& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(text.size() * 3);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    const bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                      b == '-' || b == '_' || b == '.' || b == '\'' || b == '(' || b == ')' ||
                      b == '*';
    if (keep) {
      out += c;
    } else if (b == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

}  // namespace vyrelo::params
