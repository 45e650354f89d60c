// ScriptHost: one Script Control instance set to JScript, with one operation
// per member of the control that the system uses.
//
// The operations are virtual in a fixed slot order (0 destructor, 1 copy,
// then ExecuteStatement, Eval, Reset, GetError, GetControl, Run, Language,
// Timeout, State, AllowUI, SitehWnd, AddCode, Nop). Nothing throws: when the
// control could not be created every operation gives "", 0, false or an empty
// object, and GetError gives "对象为空".
//
// Per-thread initialisation: the constructor calls CoInitialize and the
// destructor CoUninitialize, on the thread that uses the host. A copy shares
// the instance without initialising again, and so its destructor does not
// uninitialise either: every CoInitialize is matched once, whatever the
// order in which the original and its copies go.
#pragma once

#include <memory>
#include <optional>

#include "platform/automation.h"

namespace vyrelo::script {

class ScriptHost {
 public:
  ScriptHost();
  virtual ~ScriptHost();  // slot 0
  ScriptHost& operator=(const ScriptHost&) = delete;

  // Slot 1: a new host sharing this one's instance.
  virtual std::unique_ptr<ScriptHost> Copy() const;
  // Slot 2: true when the control reports no error.
  virtual bool ExecuteStatement(const Text& statement);
  virtual Text Eval(const Text& expression);  // slot 3
  virtual void Reset();                       // slot 4
  // Slot 5: "" after a successful call, else the last-error text.
  virtual Text GetError();
  // Slot 6: a new reference to the instance, owned by the caller.
  virtual platform::ComObject GetControl();
  // Slot 7: the optional arguments are passed from the first up to, not
  // including, the first one left out.
  virtual Text Run(const Text& procedure, const std::optional<Text>& arg1 = std::nullopt,
                   const std::optional<Text>& arg2 = std::nullopt,
                   const std::optional<Text>& arg3 = std::nullopt,
                   const std::optional<Text>& arg4 = std::nullopt,
                   const std::optional<Text>& arg5 = std::nullopt,
                   const std::optional<Text>& arg6 = std::nullopt);
  // Slot 8: 0 sets "JScript", 1 sets "vbs" (which the control refuses), any
  // other value writes nothing; gives the language read back.
  virtual Text Language(int which = 0);
  // Slot 9: always writes the time-out, -1 (none) when it is left out.
  virtual int Timeout(std::optional<int> milliseconds = std::nullopt);
  // Slots 10 to 12: write only when a value is given; give the value read back.
  virtual int State(std::optional<int> value = std::nullopt);
  virtual bool AllowUI(std::optional<bool> flag = std::nullopt);
  virtual int SitehWnd(std::optional<int> windowHandle = std::nullopt);
  virtual void AddCode(const Text& code);  // slot 13
  virtual void Nop();                      // slot 14

 private:
  struct ShareTag {};
  ScriptHost(ShareTag, const platform::ComObject& control);

  platform::ComObject control_;
  bool ownsComInit_ = true;
};

}  // namespace vyrelo::script
