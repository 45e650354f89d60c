// The automation layer: objects created by name from a registry and driven
// late-bound by member name, with values carried in `Variant`s.
//
// This is the system's own small object model. An object declares its
// members (name, kind, parameter types); the layer finds a member by name
// ignoring ASCII case, checks and coerces the arguments the way automation
// does (number <-> text <-> boolean), invokes it, converts the result to what
// the caller asked for, and records the outcome in a per-thread last-error
// text that every caller can read with `GetAutomationError`.
//
// Text crosses into an object as Unicode: a `Variant` made from a `Text`
// decodes it through the system charset when the object asks for its
// Unicode form, and a Unicode result comes back to the caller as a `Text`
// through the same charset, so no character is lost. An object that needs a
// text argument's own bytes (a request body) can still read them unchanged
// with `Variant::SourceBytes`.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/text.h"

namespace vyrelo::platform {

class AutomationObject;

// One counted reference to an automation object, or empty. Copying adds a
// reference; `Clear` (or destruction) releases it.
class ComObject {
 public:
  ComObject() = default;
  explicit ComObject(std::shared_ptr<AutomationObject> object) : object_(std::move(object)) {}

  bool Empty() const { return object_ == nullptr; }
  void Clear() { object_.reset(); }
  AutomationObject* Get() const { return object_.get(); }
  long UseCount() const { return object_.use_count(); }

  bool operator==(const ComObject& other) const { return object_ == other.object_; }

 private:
  std::shared_ptr<AutomationObject> object_;
};

enum class VariantType { Empty, Bool, Int32, Double, Text, ByteArray, Object };

// An owned automation value.
class Variant {
 public:
  Variant() = default;
  Variant(bool value) : value_(value) {}
  Variant(std::int32_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  // A text in the system's own charset; its bytes are kept as given.
  Variant(const Text& text) : value_(MakeText(text)) {}
  Variant(const char* text) : value_(MakeText(Text(text ? text : ""))) {}
  Variant(ComObject object) : value_(std::move(object)) {}

  static Variant FromUnicode(std::u16string units);
  static Variant FromBytes(Bytes bytes);

  VariantType Type() const;
  bool IsEmpty() const { return Type() == VariantType::Empty; }

  bool BoolValue() const { return std::get<bool>(value_); }
  std::int32_t IntValue() const { return std::get<std::int32_t>(value_); }
  double DoubleValue() const { return std::get<double>(value_); }
  const Bytes& ByteArray() const { return *std::get<SharedBytes>(value_); }
  const ComObject& ObjectValue() const { return std::get<ComObject>(value_); }

  // A text variant's characters in the system charset and in UTF-16; either
  // form is derived from the other on first use.
  const Text& SystemText() const;
  const std::u16string& Unicode() const;
  // A text variant's bytes exactly as the caller gave them, when it was made
  // from a `Text`; nullptr for a text that was born Unicode.
  const Text* SourceBytes() const;

 private:
  struct TextValue {
    std::optional<Text> system;
    std::optional<std::u16string> unicode;
    bool fromSystem = true;
  };
  // Texts and byte arrays are shared between copies: a request body or a
  // reply passes through several Variants on its way and is never changed in
  // place, so copying it each time would only cost.
  using SharedText = std::shared_ptr<TextValue>;
  using SharedBytes = std::shared_ptr<const Bytes>;
  static SharedText MakeText(Text text) {
    return std::make_shared<TextValue>(TextValue{std::move(text), std::nullopt, true});
  }
  std::variant<std::monostate, bool, std::int32_t, double, SharedText, SharedBytes, ComObject>
      value_;
};

// The outcome of one call. The codes mirror automation's own, so that each has
// its fixed last-error text (see `StatusText`).
enum class CallStatus {
  Ok,
  EmptyObject,       // 对象为空
  NoDispatch,        // 指定对象没有调用接口
  UnknownName,       // 未找到指定属性或方法
  NoTypeInfo,        // 指定对象没有类型信息
  TooManyArguments,  // 提供了过多的参数
  BadArgumentKind,   // 参数数据类型错误
  ResultMismatch,    // 执行成功，但返回值类型不匹配
  BadParamCount,     // 参数数目错误
  BadVarType,        // 参数类型值无效
  Exception,         // 发现异常
  MemberNotFound,    // 未找到指定成员
  NoNamedArgs,       // 不支持命名参数
  Overflow,          // 溢出
  ParamNotFound,     // 未找到指定参数
  TypeMismatch,      // 类型不匹配
  ParamNotOptional,  // 必需的参数数据被省略
  Other,             // 其他原因调用失败
};

// The last-error text of a status ("" for Ok).
const char* StatusText(CallStatus status);

// What an object's member expects of one parameter. `Any` takes a value as
// it comes; the other kinds are coerced to.
enum class ParamType { Any, Bool, Int32, Double, Text, ByteArray, Object };

struct ParamSpec {
  ParamType type = ParamType::Any;
  bool optional = false;
};

enum class MemberKind { Method, Property };
enum class InvokeKind { Method, PropertyGet, PropertyPut };

struct MemberInfo {
  std::string name;  // as the object spells it; looked up ignoring ASCII case
  MemberKind kind = MemberKind::Method;
  // A method's parameters, or a property's index parameters.
  std::vector<ParamSpec> params;
  bool readable = true;   // properties: get allowed
  bool writable = false;  // properties: put allowed
  ParamSpec value;        // properties: the type a put coerces its value to
};

struct CallResult {
  CallStatus status = CallStatus::Ok;
  // Why, in words, for a failure: the library's reason, the script error.
  std::string detail;

  static CallResult Success() { return {}; }
  static CallResult Failure(CallStatus s, std::string why = {}) { return {s, std::move(why)}; }
  bool Ok() const { return status == CallStatus::Ok; }
};

// An object reached late-bound. Implementations declare their members once and
// receive calls with arguments already coerced to the declared types (a
// property put gets the index arguments first and the value last); optional
// parameters that were left out are absent from `args`.
class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  virtual const std::vector<MemberInfo>& Members() const = 0;
  virtual CallResult Invoke(std::size_t member, InvokeKind kind, std::span<const Variant> args,
                            Variant& result) = 0;
};

// A base for objects whose members are handlers: each member is declared
// together with the function that serves it.
class MemberTableObject : public AutomationObject {
 public:
  using Handler = std::function<CallResult(InvokeKind, std::span<const Variant>, Variant&)>;

  const std::vector<MemberInfo>& Members() const override { return members_; }
  CallResult Invoke(std::size_t member, InvokeKind kind, std::span<const Variant> args,
                    Variant& result) override {
    return handlers_.at(member)(kind, args, result);
  }

 protected:
  void AddMethod(std::string name, std::vector<ParamSpec> params, Handler handler) {
    members_.push_back({std::move(name), MemberKind::Method, std::move(params), true, false, {}});
    handlers_.push_back(std::move(handler));
  }
  // A property; its handler sees PropertyGet with the indexes, or
  // PropertyPut with the indexes and the value last.
  void AddProperty(std::string name, ParamSpec value, Handler handler, bool readable = true,
                   bool writable = true, std::vector<ParamSpec> indexes = {}) {
    members_.push_back(
        {std::move(name), MemberKind::Property, std::move(indexes), readable, writable, value});
    handlers_.push_back(std::move(handler));
  }

 private:
  std::vector<MemberInfo> members_;
  std::vector<Handler> handlers_;
};

// --- Per-thread initialisation ----------------------------------------------

// Balanced per thread. Objects can only be created on a thread that has
// initialised; `ComInitCount` tells how deep the current thread is.
void CoInitialize();
void CoUninitialize();
int ComInitCount();

// RAII for code (tests, tools) that owns a thread's initialisation.
class ComScope {
 public:
  ComScope() { CoInitialize(); }
  ~ComScope() { CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// --- The registry of creatable objects -----------------------------------------

using ObjectFactory = std::function<std::shared_ptr<AutomationObject>()>;

// Registers a factory under a ProgID (matched ignoring ASCII case) and,
// optionally, a CLSID text "{...}". A later registration of the same name
// replaces the earlier one.
void RegisterObject(const Text& progId, ObjectFactory factory, const Text& clsid = {});

// Replaces the factory of a ProgID for as long as the guard lives, then puts
// the previous one back; a null factory makes creation fail. For tests.
class ScopedObjectOverride {
 public:
  ScopedObjectOverride(const Text& progId, ObjectFactory factory);
  ~ScopedObjectOverride();
  ScopedObjectOverride(const ScopedObjectOverride&) = delete;
  ScopedObjectOverride& operator=(const ScopedObjectOverride&) = delete;

 private:
  Text progId_;
  std::optional<ObjectFactory> previous_;
};

// --- The calls ------------------------------------------------------------------

// Text starting with "{" is a CLSID, anything else a ProgID. Success releases
// the reference `obj` held before and gives true; failure changes nothing.
bool CreateObject(ComObject& obj, const Text& progId);

using Args = std::initializer_list<Variant>;

void CallMethod(const ComObject& obj, const Text& name, Args args = {});
Text CallTextMethod(const ComObject& obj, const Text& name, Args args = {});
double CallNumberMethod(const ComObject& obj, const Text& name, Args args = {});
bool CallBoolMethod(const ComObject& obj, const Text& name, Args args = {});
ComObject CallObjectMethod(const ComObject& obj, const Text& name, Args args = {});
Variant CallVariantMethod(const ComObject& obj, const Text& name, Args args = {});
// The same with an argument list built at run time.
Variant CallVariantMethod(const ComObject& obj, const Text& name, std::span<const Variant> args);
Text CallTextMethod(const ComObject& obj, const Text& name, std::span<const Variant> args);

Text GetTextProperty(const ComObject& obj, const Text& name);
double GetNumberProperty(const ComObject& obj, const Text& name);
bool GetBoolProperty(const ComObject& obj, const Text& name);
Variant GetVariantProperty(const ComObject& obj, const Text& name);

// Arguments before the last are indexes; the last is the value.
bool SetProperty(const ComObject& obj, const Text& name, Args indexesAndValue);

void CopyObject(ComObject& dst, const ComObject& src);
void ClearObject(ComObject& obj);
bool IsEmptyObject(const ComObject& obj);

void VariantFromBytes(Variant& v, const Bytes& bytes);
Bytes VariantToBytes(const Variant& v);
void ClearVariant(Variant& v);

// "" when the last call on this thread succeeded, else its text. The object
// is not consulted: the record is the thread's.
Text GetAutomationError(const ComObject& obj);
// The reason behind the last failure on this thread, in words (may be empty).
std::string GetAutomationErrorDetail();

// The most arguments one call may carry.
inline constexpr std::size_t kMaxCallArguments = 16;

// --- Helpers for objects ------------------------------------------------------

// Finds a member ignoring ASCII case; nullopt when there is none.
std::optional<std::size_t> FindMember(const std::vector<MemberInfo>& members,
                                      std::string_view name);

// Coerces a value to a parameter type as automation does; fails with
// TypeMismatch or Overflow.
CallResult CoerceVariant(const Variant& in, ParamType type, Variant& out);

}  // namespace vyrelo::platform
