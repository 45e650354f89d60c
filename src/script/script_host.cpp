#include "script/script_host.h"

#include <vector>

namespace vyrelo::script {

using namespace vyrelo::platform;

ScriptHost::ScriptHost() {
  CoInitialize();
  // A failed creation leaves `control_` empty; every call then fails on its
  // own with "对象为空".
  CreateObject(control_, "ScriptControl");
  SetProperty(control_, "Language", {"JScript"});
}

ScriptHost::ScriptHost(ShareTag, const ComObject& control) : ownsComInit_(false) {
  CopyObject(control_, control);
}

ScriptHost::~ScriptHost() {
  ClearObject(control_);
  if (ownsComInit_) CoUninitialize();
}

std::unique_ptr<ScriptHost> ScriptHost::Copy() const {
  return std::unique_ptr<ScriptHost>(new ScriptHost(ShareTag{}, control_));
}

bool ScriptHost::ExecuteStatement(const Text& statement) {
  CallNumberMethod(control_, "ExecuteStatement", {statement});
  return GetAutomationError(control_).empty();
}

Text ScriptHost::Eval(const Text& expression) {
  return CallTextMethod(control_, "Eval", {expression});
}

void ScriptHost::Reset() { CallNumberMethod(control_, "Reset"); }

Text ScriptHost::GetError() { return GetAutomationError(control_); }

ComObject ScriptHost::GetControl() {
  ComObject copy;
  CopyObject(copy, control_);
  return copy;
}

Text ScriptHost::Run(const Text& procedure, const std::optional<Text>& arg1,
                     const std::optional<Text>& arg2, const std::optional<Text>& arg3,
                     const std::optional<Text>& arg4, const std::optional<Text>& arg5,
                     const std::optional<Text>& arg6) {
  std::vector<Variant> args{Variant(procedure)};
  for (const std::optional<Text>* arg : {&arg1, &arg2, &arg3, &arg4, &arg5, &arg6}) {
    if (!arg->has_value()) break;
    args.emplace_back(**arg);
  }
  return CallTextMethod(control_, "Run", std::span<const Variant>(args));
}

Text ScriptHost::Language(int which) {
  if (which == 0) {
    SetProperty(control_, "Language", {"JScript"});
  } else if (which == 1) {
    SetProperty(control_, "Language", {"vbs"});
  }
  return GetTextProperty(control_, "Language");
}

int ScriptHost::Timeout(std::optional<int> milliseconds) {
  SetProperty(control_, "Timeout", {Variant(std::int32_t{milliseconds.value_or(-1)})});
  return TruncateToInt32(GetNumberProperty(control_, "Timeout"));
}

int ScriptHost::State(std::optional<int> value) {
  if (value) SetProperty(control_, "State", {Variant(std::int32_t{*value})});
  return TruncateToInt32(GetNumberProperty(control_, "State"));
}

bool ScriptHost::AllowUI(std::optional<bool> flag) {
  if (flag) SetProperty(control_, "AllowUI", {Variant(*flag)});
  return GetBoolProperty(control_, "AllowUI");
}

int ScriptHost::SitehWnd(std::optional<int> windowHandle) {
  if (windowHandle) SetProperty(control_, "SitehWnd", {Variant(std::int32_t{*windowHandle})});
  return TruncateToInt32(GetNumberProperty(control_, "SitehWnd"));
}

void ScriptHost::AddCode(const Text& code) { CallNumberMethod(control_, "AddCode", {code}); }

void ScriptHost::Nop() {}

}  // namespace vyrelo::script
