// A stand-in for the request object that lists every call it receives, in
// order and with its arguments, and answers with a response the test chose.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/automation.h"

namespace vyrelo::testing {

class RecordingRequest : public platform::MemberTableObject {
 public:
  // What the fake answers after Send.
  Bytes responseBody;
  Text responseHeaders;
  std::int32_t responseStatus = 200;
  bool failSend = false;

  // One line per call: 'Open(GET|http://x|false)', 'Option[6]=0'.
  std::vector<std::string> calls;

  RecordingRequest() {
    using platform::ParamSpec;
    using platform::ParamType;
    const ParamSpec any{ParamType::Any, true};
    const std::vector<ParamSpec> anyArgs(4, any);
    for (const char* name :
         {"SetTimeouts", "SetProxy", "Open", "SetCredentials", "SetRequestHeader", "Send"}) {
      AddMethod(name, anyArgs,
                [this, name](platform::InvokeKind, std::span<const platform::Variant> args,
                             platform::Variant&) {
                  calls.push_back(Render(name, args));
                  if (std::string(name) == "Send" && failSend) {
                    return platform::CallResult::Failure(platform::CallStatus::Exception,
                                                         "the fake refused to send");
                  }
                  return platform::CallResult::Success();
                });
    }
    AddProperty("Option", any,
                [this](platform::InvokeKind kind, std::span<const platform::Variant> args,
                       platform::Variant&) {
                  if (kind == platform::InvokeKind::PropertyPut && args.size() == 2) {
                    calls.push_back("Option[" + Show(args[0]) + "]=" + Show(args[1]));
                  }
                  return platform::CallResult::Success();
                },
                true, true, {ParamSpec{ParamType::Int32, false}});
    AddProperty(
        "ResponseBody", any,
        [this](platform::InvokeKind, std::span<const platform::Variant>,
               platform::Variant& result) {
          calls.push_back("ResponseBody");
          result = platform::Variant::FromBytes(responseBody);
          return platform::CallResult::Success();
        },
        true, false);
    AddMethod("GetAllResponseHeaders", {},
              [this](platform::InvokeKind, std::span<const platform::Variant>,
                     platform::Variant& result) {
                calls.push_back("GetAllResponseHeaders");
                result = platform::Variant(responseHeaders);
                return platform::CallResult::Success();
              });
    AddProperty(
        "Status", any,
        [this](platform::InvokeKind, std::span<const platform::Variant>,
               platform::Variant& result) {
          calls.push_back("Status");
          result = platform::Variant(responseStatus);
          return platform::CallResult::Success();
        },
        true, false);
  }

  // The recorded calls to one member, in order.
  std::vector<std::string> CallsTo(const std::string& member) const {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
      if (call.rfind(member, 0) == 0) found.push_back(call);
    }
    return found;
  }

  static std::string Show(const platform::Variant& v) {
    using platform::VariantType;
    switch (v.Type()) {
      case VariantType::Empty:
        return "<empty>";
      case VariantType::Bool:
        return v.BoolValue() ? "true" : "false";
      case VariantType::Int32:
        return std::to_string(v.IntValue());
      case VariantType::Double:
        return std::to_string(v.DoubleValue());
      case VariantType::Text:
        return v.SystemText();
      case VariantType::ByteArray:
        return "bytes:" + std::string(v.ByteArray().begin(), v.ByteArray().end());
      case VariantType::Object:
        return "<object>";
    }
    return "?";
  }

 private:
  static std::string Render(const std::string& name, std::span<const platform::Variant> args) {
    std::string line = name + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i > 0) line += "|";
      line += Show(args[i]);
    }
    return line + ")";
  }
};

}  // namespace vyrelo::testing
