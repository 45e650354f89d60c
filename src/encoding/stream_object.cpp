#include "encoding/stream_object.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <utility>

#include "platform/codec.h"

namespace vyrelo::encoding {

using platform::CallResult;
using platform::CallStatus;
using platform::InvokeKind;
using platform::ParamSpec;
using platform::ParamType;
using platform::Variant;

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16LeMark[] = "\xFF\xFE";

// Names served by the system's own charset instead of ICU's table of the
// same name (see the header for why).
constexpr const char* kSystemCharsetNames[] = {"gbk",   "gb2312",  "936",         "cp936",
                                               "ms936", "gb18030", "windows-936", "x-gbk"};

CallResult Fail(std::string why) {
  return CallResult::Failure(CallStatus::Exception, std::move(why));
}

class StreamObject : public platform::MemberTableObject {
 public:
  StreamObject() {
    AddProperty("Type", {ParamType::Int32}, [this](InvokeKind kind, auto args, Variant& result) {
      if (kind == InvokeKind::PropertyGet) {
        result = Variant(type_);
        return CallResult::Success();
      }
      const std::int32_t type = args.back().IntValue();
      if (type != kStreamTypeBinary && type != kStreamTypeText)
        return Fail("stream type must be 1 (bytes) or 2 (text)");
      // As with the component: the type changes only at the start, so that
      // no reader is left in the middle of a character.
      if (open_ && position_ != 0) return Fail("the type can change only at position 0");
      type_ = type;
      return CallResult::Success();
    });
    AddProperty("Charset", {ParamType::Text}, [this](InvokeKind kind, auto args, Variant& result) {
      if (kind == InvokeKind::PropertyGet) {
        result = Variant(charset_);
        return CallResult::Success();
      }
      charset_ = args.back().SystemText();
      return CallResult::Success();
    });
    AddProperty("Position", {ParamType::Int32},
                [this](InvokeKind kind, auto args, Variant& result) {
                  if (!open_) return NotOpen();
                  if (kind == InvokeKind::PropertyGet) {
                    result = Variant(static_cast<std::int32_t>(position_));
                    return CallResult::Success();
                  }
                  const std::int32_t position = args.back().IntValue();
                  if (position < 0) return Fail("negative stream position");
                  position_ = static_cast<std::size_t>(position);
                  return CallResult::Success();
                });
    AddProperty(
        "Size", {ParamType::Int32},
        [this](InvokeKind, auto, Variant& result) {
          if (!open_) return NotOpen();
          result = Variant(static_cast<std::int32_t>(data_.size()));
          return CallResult::Success();
        },
        true, false);
    AddProperty(
        "EOS", {ParamType::Bool},
        [this](InvokeKind, auto, Variant& result) {
          if (!open_) return NotOpen();
          result = Variant(position_ >= data_.size());
          return CallResult::Success();
        },
        true, false);
    AddMethod("Open", {}, [this](InvokeKind, auto, Variant&) {
      if (open_) return Fail("the stream is already open");
      open_ = true;
      data_.clear();
      position_ = 0;
      return CallResult::Success();
    });
    AddMethod("Close", {}, [this](InvokeKind, auto, Variant&) {
      if (!open_) return NotOpen();
      open_ = false;
      data_.clear();
      data_.shrink_to_fit();
      position_ = 0;
      return CallResult::Success();
    });
    AddMethod("Write", {{ParamType::ByteArray}}, [this](InvokeKind, auto args, Variant&) {
      if (!open_) return NotOpen();
      if (type_ != kStreamTypeBinary) return Fail("Write needs a stream of type 1 (bytes)");
      const Bytes& bytes = args[0].ByteArray();
      Put(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      return CallResult::Success();
    });
    AddMethod("Read", {{ParamType::Int32, true}}, [this](InvokeKind, auto args, Variant& result) {
      if (!open_) return NotOpen();
      if (type_ != kStreamTypeBinary) return Fail("Read needs a stream of type 1 (bytes)");
      std::size_t count = Remaining();
      if (!args.empty() && args[0].IntValue() >= 0)
        count = std::min(count, static_cast<std::size_t>(args[0].IntValue()));
      else if (!args.empty() && args[0].IntValue() != -1)
        return Fail("Read takes a byte count or -1 for all");
      const auto* from = reinterpret_cast<const std::uint8_t*>(data_.data()) + Start();
      result = Variant::FromBytes(Bytes(from, from + count));
      position_ = Start() + count;
      return CallResult::Success();
    });
    AddMethod("ReadText", {{ParamType::Int32, true}},
              [this](InvokeKind, auto args, Variant& result) {
                if (!open_) return NotOpen();
                if (type_ != kStreamTypeText)
                  return Fail("ReadText needs a stream of type 2 (text)");
                if (!args.empty() && args[0].IntValue() != -1)
                  return Fail("ReadText reads the whole rest of the stream only (-1)");
                const auto charset = ResolveStreamCharset(charset_);
                if (!charset) return Fail("unknown charset \"" + charset_ + "\"");
                platform::IcuConverter converter(charset->icuName.c_str());
                if (!converter.Valid()) return Fail(charset->icuName + ": " + converter.Error());
                std::string_view rest = std::string_view(data_).substr(Start());
                if (Start() == 0 && !charset->mark.empty() && rest.starts_with(charset->mark))
                  rest.remove_prefix(charset->mark.size());
                std::u16string units = converter.ToUtf16(rest);
                if (units.empty() && !rest.empty()) return Fail(converter.Error());
                position_ = data_.size();
                result = Variant::FromUnicode(std::move(units));
                return CallResult::Success();
              });
    AddMethod("WriteText", {{ParamType::Text}, {ParamType::Int32, true}},
              [this](InvokeKind, auto args, Variant&) {
                if (!open_) return NotOpen();
                if (type_ != kStreamTypeText)
                  return Fail("WriteText needs a stream of type 2 (text)");
                const auto charset = ResolveStreamCharset(charset_);
                if (!charset) return Fail("unknown charset \"" + charset_ + "\"");
                platform::IcuConverter converter(charset->icuName.c_str());
                if (!converter.Valid()) return Fail(charset->icuName + ": " + converter.Error());
                std::u16string units = args[0].Unicode();
                // Option 1 writes a line: the text and a line separator.
                if (args.size() > 1 && args[1].IntValue() == 1) units += u"\r\n";
                if (units.empty()) return CallResult::Success();
                const std::string encoded = converter.FromUtf16(units);
                if (encoded.empty()) return Fail(converter.Error());
                if (data_.empty() && position_ == 0) Put(charset->mark);
                Put(encoded);
                return CallResult::Success();
              });
  }

 private:
  static CallResult NotOpen() { return Fail("the stream is not open"); }

  // A position past the end reads as the end.
  std::size_t Start() const { return std::min(position_, data_.size()); }
  std::size_t Remaining() const { return data_.size() - Start(); }

  // Writes at the position, overwriting and growing; a gap left by a
  // position past the end is filled with zero bytes.
  void Put(std::string_view bytes) {
    if (position_ + bytes.size() > data_.size()) data_.resize(position_ + bytes.size(), '\0');
    std::copy(bytes.begin(), bytes.end(), data_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ += bytes.size();
  }

  bool open_ = false;
  std::int32_t type_ = kStreamTypeText;
  Text charset_ = "Unicode";
  std::string data_;
  std::size_t position_ = 0;
};

}  // namespace

std::optional<StreamCharset> ResolveStreamCharset(const Text& name) {
  const Text folded = ToLowerAscii(Trim(name));
  if (folded.empty()) return std::nullopt;
  for (const char* systemName : kSystemCharsetNames) {
    if (folded == systemName) return StreamCharset{platform::kSystemCharset, {}};
  }
  // The component's "Unicode" is UTF-16 little-endian with a mark; ICU's
  // "UTF-16" would write big-endian.
  if (folded == "unicode" || folded == "utf-16") return StreamCharset{"UTF-16LE", kUtf16LeMark};
  if (!platform::CharsetKnown(folded)) return std::nullopt;
  platform::IcuConverter probe(folded.c_str());
  if (!probe.Valid()) return std::nullopt;
  StreamCharset charset{folded, {}};
  if (RemoveByte(RemoveByte(folded, '-'), '_') == "utf8") charset.mark = kUtf8Mark;
  return charset;
}

std::shared_ptr<platform::AutomationObject> CreateStreamObject() {
  return std::make_shared<StreamObject>();
}

void RegisterStreamObject() {
  static std::once_flag once;
  std::call_once(
      once, [] { platform::RegisterObject(kStreamProgId, &CreateStreamObject, kStreamClsid); });
}

}  // namespace vyrelo::encoding
