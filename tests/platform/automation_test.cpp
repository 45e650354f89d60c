// The automation layer driven through small objects registered by the tests.
#include "platform/automation.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "platform/codec.h"

namespace vyrelo::platform {
namespace {

constexpr const char* kProgId = "Vyrelo.TestObject";
constexpr const char* kClsid = "{6B1F3C2A-0D4E-4F5A-9B8C-7D6E5F4A3B2C}";

// A small object with one member per path through the layer. It counts the
// live instances so that the tests can see references being released.
class TestObject final : public MemberTableObject {
 public:
  static int& Alive() {
    static int alive = 0;
    return alive;
  }

  TestObject() {
    ++Alive();
    AddMethod("Add", {{ParamType::Double}, {ParamType::Double}},
              [](InvokeKind, std::span<const Variant> a, Variant& r) {
                r = Variant(a[0].DoubleValue() + a[1].DoubleValue());
                return CallResult::Success();
              });
    AddMethod("Echo", {{ParamType::Any}}, [](InvokeKind, std::span<const Variant> a, Variant& r) {
      r = a[0];
      return CallResult::Success();
    });
    AddMethod("Concat", {{ParamType::Text}, {ParamType::Text, true}},
              [](InvokeKind, std::span<const Variant> a, Variant& r) {
                r = Variant(a[0].SystemText() + (a.size() > 1 ? a[1].SystemText() : "|"));
                return CallResult::Success();
              });
    AddMethod("Half", {{ParamType::Int32}}, [](InvokeKind, std::span<const Variant> a, Variant& r) {
      r = Variant(std::int32_t{a[0].IntValue() / 2});
      return CallResult::Success();
    });
    AddMethod("Negate", {{ParamType::Bool}},
              [](InvokeKind, std::span<const Variant> a, Variant& r) {
                r = Variant(!a[0].BoolValue());
                return CallResult::Success();
              });
    AddMethod("Fail", {}, [](InvokeKind, std::span<const Variant>, Variant&) {
      return CallResult::Failure(CallStatus::Exception, "deliberate failure");
    });
    AddMethod("Answer", {}, [](InvokeKind, std::span<const Variant>, Variant& r) {
      r = Variant(std::int32_t{42});
      return CallResult::Success();
    });
    AddMethod("Inspect", {{ParamType::Text}},
              [this](InvokeKind, std::span<const Variant> a, Variant& r) {
                const Text* bytes = a[0].SourceBytes();
                sourceBytes = bytes ? *bytes : "<none>";
                unicode = a[0].Unicode();
                r = Variant::FromUnicode(a[0].Unicode() + u"!");
                return CallResult::Success();
              });
    AddProperty("Value", {ParamType::Any},
                [this](InvokeKind kind, std::span<const Variant> a, Variant& r) {
                  if (kind == InvokeKind::PropertyPut) {
                    value = a.back();
                  } else {
                    r = value;
                  }
                  return CallResult::Success();
                });
    AddProperty(
        "ReadOnly", {ParamType::Text},
        [](InvokeKind, std::span<const Variant>, Variant& r) {
          r = Variant("fixed");
          return CallResult::Success();
        },
        true, false);
    AddProperty("Item", {ParamType::Text},
                [this](InvokeKind kind, std::span<const Variant> a, Variant& r) {
                  if (kind == InvokeKind::PropertyPut) {
                    items[a[0].IntValue()] = a[1].SystemText();
                  } else {
                    r = Variant(items[a[0].IntValue()]);
                  }
                  return CallResult::Success();
                },
                true, true, {{ParamType::Int32}});
  }
  ~TestObject() override { --Alive(); }

  Variant value;
  std::map<int, Text> items;
  Text sourceBytes;
  std::u16string unicode;
};

class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterObject(
        kProgId, [] { return std::make_shared<TestObject>(); }, kClsid);
    ASSERT_TRUE(CreateObject(obj_, kProgId));
  }
  TestObject& Object() { return *static_cast<TestObject*>(obj_.Get()); }

  ComScope com_;
  ComObject obj_;
};

TEST_F(AutomationTest, EachFailureHasItsText) {
  ComObject empty;
  struct Case {
    const char* name;
    std::function<void()> call;
    const char* text;
  } cases[] = {
      {"empty_object",
       [&] {
         CallMethod(empty, "Add", {1, 2});
       },
       "对象为空"},
      {"unknown_name", [&] { CallMethod(obj_, "NoSuchMember"); }, "未找到指定属性或方法"},
      {"too_many_arguments",
       [&] {
         std::vector<Variant> args(kMaxCallArguments + 1, Variant(1));
         CallVariantMethod(obj_, "Echo", std::span<const Variant>(args));
       },
       "提供了过多的参数"},
      {"bad_param_count",
       [&] {
         CallMethod(obj_, "Echo", {1, 2});
       },
       "参数数目错误"},
      {"required_left_out", [&] { CallMethod(obj_, "Add", {1}); }, "必需的参数数据被省略"},
      {"type_mismatch",
       [&] {
         CallMethod(obj_, "Add", {"one", 2});
       },
       "类型不匹配"},
      {"overflow", [&] { CallMethod(obj_, "Half", {Variant(1e20)}); }, "溢出"},
      {"result_mismatch",
       [&] {
         CallNumberMethod(obj_, "Concat", {"a", "b"});
       },
       "执行成功，但返回值类型不匹配"},
      {"result_not_an_object", [&] { CallObjectMethod(obj_, "Answer"); },
       "执行成功，但返回值类型不匹配"},
      {"exception", [&] { CallMethod(obj_, "Fail"); }, "发现异常"},
      {"put_on_read_only", [&] { SetProperty(obj_, "ReadOnly", {"x"}); }, "未找到指定成员"},
      {"put_on_method", [&] { SetProperty(obj_, "Answer", {1}); }, "未找到指定成员"},
      {"create_unknown",
       [&] {
         ComObject o;
         CreateObject(o, "No.Such.Object");
       },
       "其他原因调用失败"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.call();
    EXPECT_EQ(GetAutomationError(obj_), c.text);
    // A successful call clears the record.
    EXPECT_EQ(CallNumberMethod(obj_, "Add", {1, 2}), 3.0);
    EXPECT_EQ(GetAutomationError(obj_), "");
    EXPECT_EQ(GetAutomationErrorDetail(), "");
  }
  CallMethod(obj_, "Fail");
  EXPECT_EQ(GetAutomationErrorDetail(), "deliberate failure");
}

TEST_F(AutomationTest, FailedCallsGiveEmptyResults) {
  EXPECT_EQ(CallTextMethod(obj_, "Fail"), "");
  EXPECT_EQ(CallNumberMethod(obj_, "Fail"), 0.0);
  EXPECT_FALSE(CallBoolMethod(obj_, "Fail"));
  EXPECT_TRUE(CallObjectMethod(obj_, "Fail").Empty());
  EXPECT_TRUE(CallVariantMethod(obj_, "Fail").IsEmpty());
  EXPECT_FALSE(SetProperty(obj_, "NoSuch", {1}));
}

TEST_F(AutomationTest, ArgumentsAndResultsAreCoerced) {
  struct Case {
    const char* name;
    std::function<Text()> call;
    const char* expected;
  } cases[] = {
      {"text_to_number",
       [&] {
         return CallTextMethod(obj_, "Add", {"2", " 3.5 "});
       },
       "5.5"},
      {"bool_to_number",
       [&] {
         return CallTextMethod(obj_, "Add", {true, 1});
       },
       "0"},
      {"number_to_text",
       [&] {
         return CallTextMethod(obj_, "Concat", {5, 2.5});
       },
       "52.5"},
      {"bool_to_text",
       [&] {
         return CallTextMethod(obj_, "Concat", {true, false});
       },
       "TrueFalse"},
      {"optional_left_out", [&] { return CallTextMethod(obj_, "Concat", {"a"}); }, "a|"},
      {"text_to_bool", [&] { return CallTextMethod(obj_, "Negate", {"false"}); }, "True"},
      {"number_text_to_bool", [&] { return CallTextMethod(obj_, "Negate", {"0"}); }, "True"},
      {"number_to_bool", [&] { return CallTextMethod(obj_, "Negate", {2.0}); }, "False"},
      {"double_rounds_to_int", [&] { return CallTextMethod(obj_, "Half", {Variant(5.5)}); }, "3"},
      {"empty_to_int", [&] { return CallTextMethod(obj_, "Half", {Variant()}); }, "0"},
      {"result_text_to_number",
       [&] { return FormatDouble(CallNumberMethod(obj_, "Echo", {"12.25"})); }, "12.25"},
      {"result_text_to_bool",
       [&] { return Text(CallBoolMethod(obj_, "Echo", {"True"}) ? "yes" : "no"); }, "yes"},
      {"result_number_to_bool",
       [&] { return Text(CallBoolMethod(obj_, "Echo", {Variant(0.0)}) ? "yes" : "no"); }, "no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.expected);
    EXPECT_EQ(GetAutomationError(obj_), "");
  }
}

TEST_F(AutomationTest, PropertiesAndMethodsReachEachOther) {
  // A property getter calls a method without arguments.
  EXPECT_EQ(GetNumberProperty(obj_, "Answer"), 42.0);
  EXPECT_EQ(GetTextProperty(obj_, "answer"), "42");
  // A method call on a property is a get, and with arguments a put.
  CallMethod(obj_, "Value", {"stored"});
  EXPECT_EQ(GetAutomationError(obj_), "");
  EXPECT_EQ(CallTextMethod(obj_, "Value"), "stored");
  EXPECT_TRUE(SetProperty(obj_, "VALUE", {Variant(2.5)}));
  EXPECT_EQ(GetVariantProperty(obj_, "Value").Type(), VariantType::Double);
  EXPECT_EQ(GetTextProperty(obj_, "ReadOnly"), "fixed");
  // Arguments before the last are indexes.
  EXPECT_TRUE(SetProperty(obj_, "Item", {Variant(3), "three"}));
  EXPECT_TRUE(SetProperty(obj_, "Item", {"7", "seven"}));
  EXPECT_EQ(CallTextMethod(obj_, "Item", {Variant(3)}), "three");
  EXPECT_EQ(Object().items.at(7), "seven");
  EXPECT_FALSE(SetProperty(obj_, "Item", {"x", "bad index"}));
  EXPECT_EQ(GetAutomationError(obj_), "类型不匹配");
}

TEST_F(AutomationTest, TextArgumentsKeepTheirBytesAndTheirCharacters) {
  const std::u16string units = u"\uD55C\uAD6D\U0001F600\u4E2D";
  const Text text = Utf16ToSystemText(units);
  ASSERT_EQ(SystemTextToUtf16(text), units);
  EXPECT_EQ(CallTextMethod(obj_, "Inspect", {text}), text + "!");
  EXPECT_EQ(Object().sourceBytes, text);
  EXPECT_EQ(Object().unicode, units);
  // A text born Unicode has no source bytes.
  CallMethod(obj_, "Inspect", {Variant::FromUnicode(units)});
  EXPECT_EQ(Object().sourceBytes, "<none>");
  EXPECT_EQ(Object().unicode, units);
}

TEST_F(AutomationTest, CreatesByProgIdIgnoringCaseAndByClsid) {
  for (const char* name : {"vyrelo.testobject", "VYRELO.TESTOBJECT", kClsid,
                           "{6b1f3c2a-0d4e-4f5a-9b8c-7d6e5f4a3b2c}"}) {
    SCOPED_TRACE(name);
    ComObject o;
    EXPECT_TRUE(CreateObject(o, name));
    EXPECT_FALSE(IsEmptyObject(o));
    EXPECT_EQ(CallNumberMethod(o, "Answer"), 42.0);
  }
  // Failure leaves the holder as it was; success replaces its reference.
  ComObject held = obj_;
  EXPECT_FALSE(CreateObject(held, "{00000000-0000-0000-0000-000000000000}"));
  EXPECT_EQ(held, obj_);
  EXPECT_TRUE(CreateObject(held, kProgId));
  EXPECT_FALSE(held == obj_);
  EXPECT_EQ(obj_.UseCount(), 1);
}

TEST_F(AutomationTest, CreationNeedsAnInitialisedThread) {
  bool created = true;
  Text error;
  std::thread([&] {
    ComObject o;
    created = CreateObject(o, kProgId);
    error = GetAutomationError(o);
  }).join();
  EXPECT_FALSE(created);
  EXPECT_EQ(error, "其他原因调用失败");
  std::thread([&] {
    ComScope scope;
    ComObject o;
    created = CreateObject(o, kProgId);
  }).join();
  EXPECT_TRUE(created);
}

TEST_F(AutomationTest, InitialisationIsCountedPerThread) {
  const int before = ComInitCount();
  CoInitialize();
  CoInitialize();
  EXPECT_EQ(ComInitCount(), before + 2);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(ComInitCount(), before);
}

TEST_F(AutomationTest, AnOverrideReplacesTheFactoryForItsScope) {
  {
    ScopedObjectOverride none(kProgId, nullptr);
    ComObject o;
    EXPECT_FALSE(CreateObject(o, kProgId));
    EXPECT_TRUE(o.Empty());
  }
  {
    int made = 0;
    ScopedObjectOverride counting("VYRELO.TestObject", [&made] {
      ++made;
      return std::make_shared<TestObject>();
    });
    ComObject o;
    EXPECT_TRUE(CreateObject(o, kProgId));
    EXPECT_EQ(made, 1);
  }
  ComObject o;
  EXPECT_TRUE(CreateObject(o, kProgId));
  {
    ScopedObjectOverride fresh("Vyrelo.NotRegistered",
                               [] { return std::make_shared<TestObject>(); });
    EXPECT_TRUE(CreateObject(o, "Vyrelo.NotRegistered"));
  }
  ComObject gone;
  EXPECT_FALSE(CreateObject(gone, "Vyrelo.NotRegistered"));
}

TEST_F(AutomationTest, ReferencesAreCounted) {
  const int alive = TestObject::Alive();
  ComObject copy;
  CopyObject(copy, obj_);
  EXPECT_EQ(obj_.UseCount(), 2);
  EXPECT_EQ(copy, obj_);
  {
    ComObject third = copy;
    EXPECT_EQ(obj_.UseCount(), 3);
  }
  EXPECT_EQ(obj_.UseCount(), 2);
  ClearObject(obj_);
  EXPECT_TRUE(IsEmptyObject(obj_));
  EXPECT_EQ(TestObject::Alive(), alive);
  ClearObject(copy);
  EXPECT_EQ(TestObject::Alive(), alive - 1);
  // An object handed out as a result is one more reference.
  ComObject maker;
  ASSERT_TRUE(CreateObject(maker, kProgId));
  SetProperty(maker, "Value", {Variant(maker)});
  ComObject got = CallObjectMethod(maker, "Value");
  EXPECT_EQ(got, maker);
  SetProperty(maker, "Value", {Variant()});
  EXPECT_EQ(maker.UseCount(), 2);
}

TEST_F(AutomationTest, ByteArraysTravelInVariants) {
  Variant v;
  VariantFromBytes(v, Bytes{0, 1, 0xFF});
  EXPECT_EQ(v.Type(), VariantType::ByteArray);
  EXPECT_EQ(VariantToBytes(CallVariantMethod(obj_, "Echo", {v})), (Bytes{0, 1, 0xFF}));
  EXPECT_TRUE(VariantToBytes(Variant("text")).empty());
  CallTextMethod(obj_, "Concat", {v});
  EXPECT_EQ(GetAutomationError(obj_), "类型不匹配");
  ClearVariant(v);
  EXPECT_TRUE(v.IsEmpty());
}

}  // namespace
}  // namespace vyrelo::platform
