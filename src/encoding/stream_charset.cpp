#include "encoding/stream_charset.h"

#include <cstdint>

#include "encoding/stream_object.h"
#include "platform/automation.h"

namespace vyrelo::encoding {

using namespace vyrelo::platform;

Bytes StreamRecode(const Bytes& bytes, const Text& fromCharset, const Text& toCharset,
                   std::optional<int> readPosition) {
  // Each call after a failed one fails too, so the sequence simply runs on
  // and "Read" gives nothing.
  ComObject stream;
  CreateObject(stream, kStreamProgId);
  SetProperty(stream, "Type", {std::int32_t{kStreamTypeBinary}});
  CallMethod(stream, "Open");
  Variant input;
  VariantFromBytes(input, bytes);
  CallMethod(stream, "Write", {input});
  SetProperty(stream, "Position", {std::int32_t{0}});
  SetProperty(stream, "Type", {std::int32_t{kStreamTypeText}});
  SetProperty(stream, "Charset", {fromCharset});
  const Text decoded = CallTextMethod(stream, "ReadText");
  CallMethod(stream, "Close");
  CallMethod(stream, "Open");
  SetProperty(stream, "Charset", {toCharset});
  CallMethod(stream, "WriteText", {decoded});
  SetProperty(stream, "Position", {std::int32_t{0}});
  SetProperty(stream, "Type", {std::int32_t{kStreamTypeBinary}});
  if (readPosition) SetProperty(stream, "Position", {std::int32_t{*readPosition}});
  Variant output = CallVariantMethod(stream, "Read");
  Bytes result = VariantToBytes(output);
  ClearVariant(output);
  ClearVariant(input);
  ClearObject(stream);
  return result;
}

Bytes ConvertCharset(const Bytes& bytes, Text& fromCharset, Text& toCharset,
                     std::optional<int> readPosition) {
  if (fromCharset.empty()) fromCharset = kDefaultFromCharset;
  if (toCharset.empty()) toCharset = kDefaultToCharset;
  CoInitialize();
  Bytes result = StreamRecode(bytes, fromCharset, toCharset, readPosition);
  CoUninitialize();
  return result;
}

Bytes ConvertCharset(const Bytes& bytes) {
  Text fromCharset;
  Text toCharset;
  return ConvertCharset(bytes, fromCharset, toCharset);
}

}  // namespace vyrelo::encoding
