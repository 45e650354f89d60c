#include "platform/automation.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>

#include "platform/codec.h"

namespace vyrelo::platform {

// --- Variant ----------------------------------------------------------------------

Variant Variant::FromUnicode(std::u16string units) {
  Variant v;
  v.value_ = std::make_shared<TextValue>(TextValue{std::nullopt, std::move(units), false});
  return v;
}

Variant Variant::FromBytes(Bytes bytes) {
  Variant v;
  v.value_ = std::make_shared<const Bytes>(std::move(bytes));
  return v;
}

VariantType Variant::Type() const {
  switch (value_.index()) {
    case 1:
      return VariantType::Bool;
    case 2:
      return VariantType::Int32;
    case 3:
      return VariantType::Double;
    case 4:
      return VariantType::Text;
    case 5:
      return VariantType::ByteArray;
    case 6:
      return VariantType::Object;
    default:
      return VariantType::Empty;
  }
}

const Text& Variant::SystemText() const {
  // The other form is cached in the shared value; Variants are used by one
  // thread at a time, as automation objects are.
  TextValue& text = *std::get<SharedText>(value_);
  if (!text.system) text.system = Utf16ToSystemText(*text.unicode);
  return *text.system;
}

const std::u16string& Variant::Unicode() const {
  TextValue& text = *std::get<SharedText>(value_);
  if (!text.unicode) text.unicode = SystemTextToUtf16(*text.system);
  return *text.unicode;
}

const Text* Variant::SourceBytes() const {
  const TextValue& text = *std::get<SharedText>(value_);
  return text.fromSystem ? &*text.system : nullptr;
}

// --- Status texts -------------------------------------------------------------------

const char* StatusText(CallStatus status) {
  switch (status) {
    case CallStatus::Ok:
      return "";
    case CallStatus::EmptyObject:
      return "对象为空";
    case CallStatus::NoDispatch:
      return "指定对象没有调用接口";
    case CallStatus::UnknownName:
      return "未找到指定属性或方法";
    case CallStatus::NoTypeInfo:
      return "指定对象没有类型信息";
    case CallStatus::TooManyArguments:
      return "提供了过多的参数";
    case CallStatus::BadArgumentKind:
      return "参数数据类型错误";
    case CallStatus::ResultMismatch:
      return "执行成功，但返回值类型不匹配";
    case CallStatus::BadParamCount:
      return "参数数目错误";
    case CallStatus::BadVarType:
      return "参数类型值无效";
    case CallStatus::Exception:
      return "发现异常";
    case CallStatus::MemberNotFound:
      return "未找到指定成员";
    case CallStatus::NoNamedArgs:
      return "不支持命名参数";
    case CallStatus::Overflow:
      return "溢出";
    case CallStatus::ParamNotFound:
      return "未找到指定参数";
    case CallStatus::TypeMismatch:
      return "类型不匹配";
    case CallStatus::ParamNotOptional:
      return "必需的参数数据被省略";
    case CallStatus::Other:
      return "其他原因调用失败";
  }
  return "其他原因调用失败";
}

// --- Per-thread state ----------------------------------------------------------------

namespace {

struct ThreadState {
  int initCount = 0;
  Text lastError;
  std::string lastDetail;
};

ThreadState& State() {
  thread_local ThreadState state;
  return state;
}

void Record(const CallResult& r) {
  State().lastError = StatusText(r.status);
  State().lastDetail = r.Ok() ? std::string() : r.detail;
}

}  // namespace

void CoInitialize() { ++State().initCount; }

void CoUninitialize() {
  if (State().initCount > 0) --State().initCount;
}

int ComInitCount() { return State().initCount; }

Text GetAutomationError(const ComObject&) { return State().lastError; }

std::string GetAutomationErrorDetail() { return State().lastDetail; }

// --- Registry -------------------------------------------------------------------------

namespace {

struct Registry {
  std::mutex mutex;
  std::map<Text, ObjectFactory> byProgId;  // keys folded to lower case
  std::map<Text, Text> progIdByClsid;      // folded CLSID -> folded ProgID
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterObject(const Text& progId, ObjectFactory factory, const Text& clsid) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  const Text key = ToLowerAscii(progId);
  r.byProgId[key] = std::move(factory);
  if (!clsid.empty()) r.progIdByClsid[ToLowerAscii(clsid)] = key;
}

ScopedObjectOverride::ScopedObjectOverride(const Text& progId, ObjectFactory factory)
    : progId_(ToLowerAscii(progId)) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.byProgId.find(progId_);
  if (it != r.byProgId.end()) previous_ = it->second;
  r.byProgId[progId_] = std::move(factory);
}

ScopedObjectOverride::~ScopedObjectOverride() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  if (previous_) {
    r.byProgId[progId_] = std::move(*previous_);
  } else {
    r.byProgId.erase(progId_);
  }
}

bool CreateObject(ComObject& obj, const Text& progId) {
  if (ComInitCount() == 0) {
    Record(CallResult::Failure(CallStatus::Other, "CoInitialize was not called on this thread"));
    return false;
  }
  ObjectFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    Text key = ToLowerAscii(progId);
    if (StartsWith(progId, "{")) {
      auto c = r.progIdByClsid.find(key);
      key = c == r.progIdByClsid.end() ? Text() : c->second;
    }
    auto it = r.byProgId.find(key);
    if (it != r.byProgId.end()) factory = it->second;
  }
  if (!factory) {
    Record(CallResult::Failure(CallStatus::Other, "no object is registered as " + progId));
    return false;
  }
  std::shared_ptr<AutomationObject> made = factory();
  if (!made) {
    Record(CallResult::Failure(CallStatus::Other, "the object " + progId + " could not be made"));
    return false;
  }
  obj = ComObject(std::move(made));
  Record(CallResult::Success());
  return true;
}

void CopyObject(ComObject& dst, const ComObject& src) { dst = src; }

void ClearObject(ComObject& obj) { obj.Clear(); }

bool IsEmptyObject(const ComObject& obj) { return obj.Empty(); }

void VariantFromBytes(Variant& v, const Bytes& bytes) { v = Variant::FromBytes(bytes); }

Bytes VariantToBytes(const Variant& v) {
  return v.Type() == VariantType::ByteArray ? v.ByteArray() : Bytes();
}

void ClearVariant(Variant& v) { v = Variant(); }

// --- Coercion -------------------------------------------------------------------------

std::optional<std::size_t> FindMember(const std::vector<MemberInfo>& members,
                                      std::string_view name) {
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (EqualsNoCase(members[i].name, name)) return i;
  }
  return std::nullopt;
}

namespace {

// A number written as text, as automation reads one: optional spaces around
// a decimal number. Hexadecimal and other forms are not numbers here.
std::optional<double> ParseNumber(const Text& text) {
  const Text trimmed = Trim(text);
  if (trimmed.empty()) return std::nullopt;
  for (char c : trimmed) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
      return std::nullopt;
    }
  }
  char* end = nullptr;
  const double value = std::strtod(trimmed.c_str(), &end);
  if (end != trimmed.c_str() + trimmed.size()) return std::nullopt;
  return value;
}

Text NumberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return Text(buffer, static_cast<std::size_t>(n));
}

CallResult ToInt32(double value, Variant& out) {
  // Automation rounds half to even when it narrows a double.
  const double rounded = std::nearbyint(value);
  if (std::isnan(rounded) || rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max()) {
    return CallResult::Failure(CallStatus::Overflow, "value does not fit a 32-bit integer");
  }
  out = Variant(static_cast<std::int32_t>(rounded));
  return CallResult::Success();
}

CallResult Mismatch() { return CallResult::Failure(CallStatus::TypeMismatch); }

}  // namespace

CallResult CoerceVariant(const Variant& in, ParamType type, Variant& out) {
  const VariantType from = in.Type();
  switch (type) {
    case ParamType::Any:
      out = in;
      return CallResult::Success();
    case ParamType::Bool:
      switch (from) {
        case VariantType::Empty:
          out = Variant(false);
          return CallResult::Success();
        case VariantType::Bool:
          out = in;
          return CallResult::Success();
        case VariantType::Int32:
          out = Variant(in.IntValue() != 0);
          return CallResult::Success();
        case VariantType::Double:
          out = Variant(in.DoubleValue() != 0.0);
          return CallResult::Success();
        case VariantType::Text: {
          const Text& t = in.SystemText();
          if (EqualsNoCase(Trim(t), "true")) {
            out = Variant(true);
            return CallResult::Success();
          }
          if (EqualsNoCase(Trim(t), "false")) {
            out = Variant(false);
            return CallResult::Success();
          }
          if (auto n = ParseNumber(t)) {
            out = Variant(*n != 0.0);
            return CallResult::Success();
          }
          return Mismatch();
        }
        default:
          return Mismatch();
      }
    case ParamType::Int32:
      switch (from) {
        case VariantType::Empty:
          out = Variant(std::int32_t{0});
          return CallResult::Success();
        case VariantType::Bool:
          out = Variant(std::int32_t{in.BoolValue() ? -1 : 0});
          return CallResult::Success();
        case VariantType::Int32:
          out = in;
          return CallResult::Success();
        case VariantType::Double:
          return ToInt32(in.DoubleValue(), out);
        case VariantType::Text:
          if (auto n = ParseNumber(in.SystemText())) return ToInt32(*n, out);
          return Mismatch();
        default:
          return Mismatch();
      }
    case ParamType::Double:
      switch (from) {
        case VariantType::Empty:
          out = Variant(0.0);
          return CallResult::Success();
        case VariantType::Bool:
          out = Variant(in.BoolValue() ? -1.0 : 0.0);
          return CallResult::Success();
        case VariantType::Int32:
          out = Variant(static_cast<double>(in.IntValue()));
          return CallResult::Success();
        case VariantType::Double:
          out = in;
          return CallResult::Success();
        case VariantType::Text:
          if (auto n = ParseNumber(in.SystemText())) {
            out = Variant(*n);
            return CallResult::Success();
          }
          return Mismatch();
        default:
          return Mismatch();
      }
    case ParamType::Text:
      switch (from) {
        case VariantType::Empty:
          out = Variant(Text());
          return CallResult::Success();
        case VariantType::Bool:
          out = Variant(Text(in.BoolValue() ? "True" : "False"));
          return CallResult::Success();
        case VariantType::Int32:
          out = Variant(FormatInt(in.IntValue()));
          return CallResult::Success();
        case VariantType::Double:
          out = Variant(NumberText(in.DoubleValue()));
          return CallResult::Success();
        case VariantType::Text:
          out = in;
          return CallResult::Success();
        default:
          return Mismatch();
      }
    case ParamType::ByteArray:
      if (from == VariantType::ByteArray) {
        out = in;
        return CallResult::Success();
      }
      return Mismatch();
    case ParamType::Object:
      if (from == VariantType::Object) {
        out = in;
        return CallResult::Success();
      }
      return Mismatch();
  }
  return Mismatch();
}

// --- Dispatch ---------------------------------------------------------------------------

namespace {

CallResult CoerceArguments(std::span<const ParamSpec> params, std::span<const Variant> args,
                           std::vector<Variant>& out) {
  if (args.size() > params.size()) {
    return CallResult::Failure(CallStatus::BadParamCount,
                               "takes at most " + std::to_string(params.size()) + " arguments");
  }
  for (std::size_t i = args.size(); i < params.size(); ++i) {
    if (!params[i].optional) {
      return CallResult::Failure(CallStatus::ParamNotOptional,
                                 "argument " + std::to_string(i + 1) + " is required");
    }
  }
  out.clear();
  out.reserve(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    Variant coerced;
    CallResult r = CoerceVariant(args[i], params[i].type, coerced);
    if (!r.Ok()) {
      if (r.detail.empty()) r.detail = "argument " + std::to_string(i + 1) + " has the wrong type";
      return r;
    }
    out.push_back(std::move(coerced));
  }
  return CallResult::Success();
}

CallResult InvokeAs(AutomationObject& object, std::size_t index, const MemberInfo& member,
                    InvokeKind kind, std::span<const Variant> args, Variant& result) {
  std::vector<Variant> coerced;
  CallResult r;
  if (kind == InvokeKind::PropertyPut) {
    if (args.empty()) return CallResult::Failure(CallStatus::BadParamCount, "no value to set");
    r = CoerceArguments(member.params, args.first(args.size() - 1), coerced);
    if (!r.Ok()) return r;
    Variant value;
    r = CoerceVariant(args.back(), member.value.type, value);
    if (!r.Ok()) return r;
    coerced.push_back(std::move(value));
  } else {
    r = CoerceArguments(member.params, args, coerced);
    if (!r.Ok()) return r;
  }
  result = Variant();
  return object.Invoke(index, kind, coerced, result);
}

enum class Want { Method, Get, Put };

CallResult Dispatch(const ComObject& obj, const Text& name, Want want,
                    std::span<const Variant> args, Variant& result) {
  result = Variant();
  if (obj.Empty()) return CallResult::Failure(CallStatus::EmptyObject);
  if (args.size() > kMaxCallArguments) return CallResult::Failure(CallStatus::TooManyArguments);
  AutomationObject& object = *obj.Get();
  const auto& members = object.Members();
  const auto index = FindMember(members, name);
  if (!index) return CallResult::Failure(CallStatus::UnknownName, "no member named " + name);
  const MemberInfo& member = members[*index];

  if (member.kind == MemberKind::Method) {
    if (want == Want::Put)
      return CallResult::Failure(CallStatus::MemberNotFound, name + " is a method");
    // A property getter reaches a method by calling it without arguments.
    return InvokeAs(object, *index, member, InvokeKind::Method,
                    want == Want::Get ? std::span<const Variant>() : args, result);
  }
  switch (want) {
    case Want::Get:
      if (!member.readable)
        return CallResult::Failure(CallStatus::MemberNotFound, name + " cannot be read");
      return InvokeAs(object, *index, member, InvokeKind::PropertyGet, {}, result);
    case Want::Put:
      if (!member.writable)
        return CallResult::Failure(CallStatus::MemberNotFound, name + " cannot be set");
      return InvokeAs(object, *index, member, InvokeKind::PropertyPut, args, result);
    case Want::Method: {
      // A method call on a property is tried as a get, then as a put.
      CallResult got = member.readable
                           ? InvokeAs(object, *index, member, InvokeKind::PropertyGet, args, result)
                           : CallResult::Failure(CallStatus::MemberNotFound);
      if (got.Ok() || !member.writable || args.empty()) return got;
      if (got.status != CallStatus::BadParamCount && got.status != CallStatus::MemberNotFound)
        return got;
      return InvokeAs(object, *index, member, InvokeKind::PropertyPut, args, result);
    }
  }
  return CallResult::Failure(CallStatus::Other);
}

// Converts a call's result to what the caller asked for; a result that does
// not convert is the binding's own failure.
template <typename T>
T Convert(const Variant& value, ParamType type, T empty, T (*take)(const Variant&)) {
  Variant coerced;
  if (!CoerceVariant(value, type, coerced).Ok()) {
    Record(CallResult::Failure(CallStatus::ResultMismatch, "the result does not convert"));
    return empty;
  }
  return take(coerced);
}

Variant Run(const ComObject& obj, const Text& name, Want want, std::span<const Variant> args,
            bool& ok) {
  Variant result;
  const CallResult r = Dispatch(obj, name, want, args, result);
  Record(r);
  ok = r.Ok();
  if (!ok) result = Variant();
  return result;
}

std::span<const Variant> AsSpan(Args args) { return {args.begin(), args.size()}; }

Text TakeText(const Variant& v) { return v.SystemText(); }
double TakeDouble(const Variant& v) { return v.DoubleValue(); }
bool TakeBool(const Variant& v) { return v.BoolValue(); }

Text ResultText(const Variant& v, bool ok) {
  return ok ? Convert<Text>(v, ParamType::Text, Text(), &TakeText) : Text();
}
double ResultNumber(const Variant& v, bool ok) {
  return ok ? Convert<double>(v, ParamType::Double, 0.0, &TakeDouble) : 0.0;
}
bool ResultBool(const Variant& v, bool ok) {
  return ok ? Convert<bool>(v, ParamType::Bool, false, &TakeBool) : false;
}

}  // namespace

void CallMethod(const ComObject& obj, const Text& name, Args args) {
  bool ok = false;
  Run(obj, name, Want::Method, AsSpan(args), ok);
}

Text CallTextMethod(const ComObject& obj, const Text& name, Args args) {
  return CallTextMethod(obj, name, AsSpan(args));
}

Text CallTextMethod(const ComObject& obj, const Text& name, std::span<const Variant> args) {
  bool ok = false;
  const Variant v = Run(obj, name, Want::Method, args, ok);
  return ResultText(v, ok);
}

double CallNumberMethod(const ComObject& obj, const Text& name, Args args) {
  bool ok = false;
  const Variant v = Run(obj, name, Want::Method, AsSpan(args), ok);
  return ResultNumber(v, ok);
}

bool CallBoolMethod(const ComObject& obj, const Text& name, Args args) {
  bool ok = false;
  const Variant v = Run(obj, name, Want::Method, AsSpan(args), ok);
  return ResultBool(v, ok);
}

ComObject CallObjectMethod(const ComObject& obj, const Text& name, Args args) {
  bool ok = false;
  const Variant v = Run(obj, name, Want::Method, AsSpan(args), ok);
  if (!ok) return {};
  if (v.Type() != VariantType::Object) {
    Record(CallResult::Failure(CallStatus::ResultMismatch, "the result is not an object"));
    return {};
  }
  return v.ObjectValue();
}

Variant CallVariantMethod(const ComObject& obj, const Text& name, Args args) {
  return CallVariantMethod(obj, name, AsSpan(args));
}

Variant CallVariantMethod(const ComObject& obj, const Text& name, std::span<const Variant> args) {
  bool ok = false;
  return Run(obj, name, Want::Method, args, ok);
}

Text GetTextProperty(const ComObject& obj, const Text& name) {
  bool ok = false;
  const Variant v = Run(obj, name, Want::Get, {}, ok);
  return ResultText(v, ok);
}

double GetNumberProperty(const ComObject& obj, const Text& name) {
  bool ok = false;
  const Variant v = Run(obj, name, Want::Get, {}, ok);
  return ResultNumber(v, ok);
}

bool GetBoolProperty(const ComObject& obj, const Text& name) {
  bool ok = false;
  const Variant v = Run(obj, name, Want::Get, {}, ok);
  return ResultBool(v, ok);
}

Variant GetVariantProperty(const ComObject& obj, const Text& name) {
  bool ok = false;
  return Run(obj, name, Want::Get, {}, ok);
}

bool SetProperty(const ComObject& obj, const Text& name, Args indexesAndValue) {
  bool ok = false;
  Run(obj, name, Want::Put, AsSpan(indexesAndValue), ok);
  return ok;
}

}  // namespace vyrelo::platform
