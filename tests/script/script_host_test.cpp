// ScriptHost over the real Script Control, over a recording stand-in that
// shows exactly which calls reach the control, and without a control.
#include "script/script_host.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/automation.h"
#include "script/script_control.h"

namespace vyrelo::script {
namespace {

using namespace vyrelo::platform;

class ScriptHostTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterScriptObjects(); }
};

TEST_F(ScriptHostTest, DrivesTheScriptControl) {
  ScriptHost host;
  EXPECT_EQ(host.GetError(), "");
  host.AddCode("function greet(a, b) { return 'hi ' + a + (b === undefined ? '' : b) }");
  EXPECT_EQ(host.GetError(), "");
  EXPECT_EQ(host.Run("greet", Text("you")), "hi you");
  EXPECT_EQ(host.Run("greet", Text("you"), Text("!")), "hi you!");
  EXPECT_TRUE(host.ExecuteStatement("var later = 6 * 7"));
  EXPECT_EQ(host.Eval("later"), "42");
  EXPECT_FALSE(host.ExecuteStatement("this is not script"));
  EXPECT_EQ(host.GetError(), "发现异常");
  EXPECT_EQ(host.Eval("later + 1"), "43");
  EXPECT_EQ(host.GetError(), "");
  host.Reset();
  EXPECT_EQ(host.Eval("typeof later"), "undefined");
  EXPECT_EQ(host.Run("encodeURIComponent", Text("a b")), "a%20b");
  host.Nop();
}

TEST_F(ScriptHostTest, PropertiesWriteAndReadBack) {
  ScriptHost host;
  EXPECT_EQ(host.Language(), "JScript");
  EXPECT_EQ(host.Language(1), "JScript");  // "vbs" is refused; the read-back stays
  EXPECT_EQ(host.Language(2), "JScript");
  EXPECT_EQ(host.Timeout(500), 500);
  EXPECT_EQ(host.Timeout(), -1);
  EXPECT_EQ(host.State(), 0);
  EXPECT_EQ(host.State(1), 1);
  EXPECT_EQ(host.State(), 1);
  EXPECT_TRUE(host.AllowUI());
  EXPECT_FALSE(host.AllowUI(false));
  EXPECT_FALSE(host.AllowUI());
  EXPECT_EQ(host.SitehWnd(), 0);
  EXPECT_EQ(host.SitehWnd(4242), 4242);
  EXPECT_EQ(host.SitehWnd(), 4242);
}

TEST_F(ScriptHostTest, ControlAndCopiesShareTheInstance) {
  const int before = ComInitCount();
  {
    auto host = std::make_unique<ScriptHost>();
    EXPECT_EQ(ComInitCount(), before + 1);
    host->Eval("var shared = 'same'");
    ComObject control = host->GetControl();
    ASSERT_FALSE(control.Empty());
    EXPECT_EQ(CallTextMethod(control, "Eval", {"shared"}), "same");
    std::unique_ptr<ScriptHost> copy = host->Copy();
    EXPECT_EQ(ComInitCount(), before + 1);
    EXPECT_EQ(copy->Eval("shared"), "same");
    // The copy outlives the original and keeps the instance alive.
    host.reset();
    EXPECT_EQ(ComInitCount(), before);
    EXPECT_EQ(copy->Eval("shared"), "same");
    const long uses = control.UseCount();
    copy.reset();
    EXPECT_EQ(control.UseCount(), uses - 1);
  }
  EXPECT_EQ(ComInitCount(), before);
}

TEST_F(ScriptHostTest, AHostWithoutAControlFailsEveryCall) {
  ScopedObjectOverride missing("ScriptControl", nullptr);
  const int before = ComInitCount();
  {
    ScriptHost host;
    EXPECT_EQ(host.Eval("1"), "");
    EXPECT_EQ(host.GetError(), "对象为空");
    EXPECT_FALSE(host.ExecuteStatement("var a = 1"));
    EXPECT_EQ(host.GetError(), "对象为空");
    EXPECT_EQ(host.Run("encodeURI", Text("x")), "");
    EXPECT_EQ(host.Language(), "");
    EXPECT_EQ(host.Timeout(5), 0);
    EXPECT_EQ(host.State(), 0);
    EXPECT_FALSE(host.AllowUI(true));
    EXPECT_EQ(host.SitehWnd(), 0);
    EXPECT_TRUE(host.GetControl().Empty());
    host.AddCode("function f() {}");
    host.Reset();
    EXPECT_EQ(host.GetError(), "对象为空");
  }
  EXPECT_EQ(ComInitCount(), before);
}

// A stand-in for the control that records every call it receives.
class RecordingControl final : public MemberTableObject {
 public:
  explicit RecordingControl(std::vector<std::string>* log) : log_(log) {
    for (const char* name : {"Language", "Timeout", "State", "AllowUI", "SitehWnd"}) {
      AddProperty(name, {ParamType::Any},
                  [this, name](InvokeKind kind, std::span<const Variant> args, Variant& result) {
                    if (kind == InvokeKind::PropertyPut) {
                      Variant text;
                      CoerceVariant(args.back(), ParamType::Text, text);
                      log_->push_back(std::string("put ") + name + "=" + text.SystemText());
                      values_[name] = args.back();
                    } else {
                      result = values_[name];
                    }
                    return CallResult::Success();
                  });
    }
    std::vector<ParamSpec> runParams(7, ParamSpec{ParamType::Text, true});
    AddMethod("Run", runParams, [this](InvokeKind, std::span<const Variant> args, Variant&) {
      std::string call = "Run(";
      for (std::size_t i = 0; i < args.size(); ++i) {
        call += (i ? "," : "") + args[i].SystemText();
      }
      log_->push_back(call + ")");
      return CallResult::Success();
    });
  }

 private:
  std::vector<std::string>* log_;
  std::map<std::string, Variant> values_;
};

TEST_F(ScriptHostTest, PassesExactlyTheArgumentsGiven) {
  std::vector<std::string> log;
  ScopedObjectOverride recording("ScriptControl",
                                 [&log] { return std::make_shared<RecordingControl>(&log); });
  ScriptHost host;
  ASSERT_EQ(log, std::vector<std::string>{"put Language=JScript"});
  const std::optional<Text> none;
  struct Case {
    const char* name;
    std::function<void()> call;
    std::vector<std::string> expected;
  } cases[] = {
      {"run_no_arguments", [&] { host.Run("f"); }, {"Run(f)"}},
      {"run_first_only", [&] { host.Run("encodeURI", Text("t")); }, {"Run(encodeURI,t)"}},
      {"run_stops_at_first_left_out",
       [&] { host.Run("f", Text("1"), none, Text("3")); },
       {"Run(f,1)"}},
      {"run_all_six",
       [&] { host.Run("f", Text("1"), Text("2"), Text("3"), Text("4"), Text("5"), Text("6")); },
       {"Run(f,1,2,3,4,5,6)"}},
      {"language_default", [&] { host.Language(); }, {"put Language=JScript"}},
      {"language_vbs", [&] { host.Language(1); }, {"put Language=vbs"}},
      {"language_other_writes_nothing", [&] { host.Language(2); }, {}},
      {"timeout_left_out_writes_minus_one", [&] { host.Timeout(); }, {"put Timeout=-1"}},
      {"timeout_given", [&] { host.Timeout(250); }, {"put Timeout=250"}},
      {"state_left_out_writes_nothing", [&] { host.State(); }, {}},
      {"state_given", [&] { host.State(3); }, {"put State=3"}},
      {"allowui_left_out_writes_nothing", [&] { host.AllowUI(); }, {}},
      {"allowui_given", [&] { host.AllowUI(false); }, {"put AllowUI=False"}},
      {"sitehwnd_left_out_writes_nothing", [&] { host.SitehWnd(); }, {}},
      {"sitehwnd_given", [&] { host.SitehWnd(9); }, {"put SitehWnd=9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    c.call();
    EXPECT_EQ(log, c.expected);
  }
}

}  // namespace
}  // namespace vyrelo::script
