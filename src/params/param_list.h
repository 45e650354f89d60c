// An ordered list of name/value pairs that renders itself as a form or query
// string, a block of request header lines, or a flat JSON object text.
//
// Pairs keep the order they were added in and a name may occur more than
// once; every lookup by name takes the first pair with exactly that name.
#pragma once

#include <memory>

#include "platform/text.h"

namespace vyrelo::params {

class ParamList {
 public:
  ParamList() = default;
  // Slot 0.
  virtual ~ParamList() = default;
  // Slot 1: a new list with copies of every pair.
  virtual std::unique_ptr<ParamList> Copy() const;
  // Slot 2: appends a pair; with `utf8` the name and value are stored as
  // their UTF-8 bytes.
  virtual void Add(const Text& name, const Text& value, bool utf8 = false);
  // Slot 3: one pair per "&"-separated piece: the name before the piece's
  // first "=", the value after its last "="; nothing is decoded.
  virtual void AddFromQuery(const Text& text, bool utf8 = false);
  // Slot 4: the first value of that name, "" when there is none.
  virtual Text Get(const Text& name) const;
  // Slot 5: replaces the first value of that name, or adds the pair.
  virtual void Set(const Text& name, const Text& value);
  // Slot 6: name=value pairs joined by "&".
  virtual Text ToQueryString(bool encode = false) const;
  // Slot 7: "name: value" lines joined by CR LF.
  virtual Text ToHeaderBlock(bool encode = false) const;
  // Slots 8 and 9: the caller's list is replaced by copies of all names or
  // values, in order.
  virtual void GetNames(TextList& names) const;
  virtual void GetValues(TextList& values) const;
  // Slot 10.
  virtual void Clear();
  // Slot 11: removes the first pair of that name.
  virtual void Remove(const Text& name);
  // Slot 12: a flat JSON object text; only double quotes in values are
  // escaped.
  virtual Text ToJson() const;
  // Slot 13: every double quote preceded by a backslash.
  virtual Text EscapeQuotes(const Text& text) const;
  // Slot 14: one `affix` removed from the end, then one from the start; the
  // result is stored back into `text` and returned.
  virtual Text StripAffix(Text& text, const Text& affix) const;

  std::size_t Size() const { return names_.size(); }

 protected:
  ParamList(const ParamList&) = default;
  ParamList& operator=(const ParamList&) = default;

 private:
  std::ptrdiff_t IndexOf(const Text& name) const;

  TextList names_;
  TextList values_;
};

// Byte-wise form encoding: letters, digits and - _ . ' ( ) * stay, a space
// becomes "+", every other byte "%XX" with upper-case digits.
Text PercentEncode(const Text& text);

}  // namespace vyrelo::params
