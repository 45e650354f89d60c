// The Script Control: an automation object that hosts a JScript engine
// (Duktape), created by the names "ScriptControl" and
// "MSScriptControl.ScriptControl".
//
// Members: Language, AddCode, Eval, ExecuteStatement, Run, Reset, Timeout,
// State, AllowUI, SitehWnd and Error. Each instance owns one engine: global
// declarations and functions persist between its calls, nothing is shared
// between instances. "Language" accepts "JScript" and "JavaScript" (ignoring
// ASCII case) and reads back as set; any other language (such as "vbs") is
// refused: the put fails with "发现异常" and the language stays as it was.
//
// Values: a text argument reaches the script as its Unicode characters; a
// result comes back as
//   string            -> text
//   number            -> a 32-bit integer when it is one, else a double
//   boolean           -> boolean
//   undefined, null   -> empty
//   object, function  -> the text of String(value)
// The last is what a caller reading such a result as text got from the COM
// control (an object's default value is its text); this engine hands out no
// script objects.
//
// Safety: these engines evaluate text that arrives from the network.
//  - Every call (AddCode, Eval, ExecuteStatement, Run) runs under the
//    instance's Timeout, in milliseconds (negative: no limit; 10000 by
//    default). A script still running at the deadline fails with a
//    RangeError that no catch block can swallow (the engine throws it again
//    at every instruction until the call has unwound).
//  - Each instance's engine may allocate at most `ScriptLimits::memoryBytes`.
//  - Recursion is bounded by Duktape's own limits and by a check of the real
//    native stack, so deep nesting ends in a RangeError on any thread.
//    Duktape's limits (1000 nested native calls, 2500 compiler levels) need
//    a few MiB of stack; a thread that runs scripts is best given 8 MiB, as
//    the main thread has. On a smaller stack the check stops scripts sooner.
//  - A regular expression runs in native code that the interrupt counter
//    does not reach. The deadline still gets there through the native stack
//    check, which the matcher passes at every backtracking step, so a
//    catastrophic pattern stops at the deadline too. What no check reaches
//    is a single native pass without calls or backtracking (a regular
//    expression's straight scan, a join or a repeat); its length is bounded
//    by the memory cap, and Duktape's own regular expression step limit
//    (1e9 steps) remains behind it.
//  - The engine sees nothing of the machine: only the standard built-ins
//    (no file, network, environment, process or timer access) and what the
//    caller's code defines. Duktape's own `Duktape` global is removed.
// A script that times out, runs out of memory or stack, does not compile or
// throws fails its call like any script error: the result is empty, the
// last-error text is "发现异常" with the reason in GetAutomationErrorDetail,
// and the "Error" object describes it. The instance stays usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/automation.h"

namespace vyrelo::script {

inline constexpr const char* kScriptControlProgId = "ScriptControl";
inline constexpr const char* kScriptControlLongProgId = "MSScriptControl.ScriptControl";
inline constexpr const char* kScriptControlClsid = "{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}";

inline constexpr int kDefaultTimeoutMs = 10000;
inline constexpr std::size_t kDefaultMemoryBytes = std::size_t{256} << 20;

struct ScriptLimits {
  std::size_t memoryBytes = kDefaultMemoryBytes;
};

// The "Number" of the Error object for each kind of failure. They sit in
// JScript's range of error numbers (0x800A....), borrowing JScript's code
// where one means the same.
enum ScriptErrorNumber : std::int32_t {
  kErrorNone = 0,
  kErrorThrown = static_cast<std::int32_t>(0x800A139E),     // a thrown value; Error, EvalError
  kErrorSyntax = static_cast<std::int32_t>(0x800A03EA),     // SyntaxError: does not compile
  kErrorType = static_cast<std::int32_t>(0x800A138F),       // TypeError
  kErrorReference = static_cast<std::int32_t>(0x800A1391),  // ReferenceError
  kErrorRange = static_cast<std::int32_t>(0x800A13A5),      // RangeError
  kErrorUri = static_cast<std::int32_t>(0x800A13A1),        // URIError
  kErrorOutOfMemory = static_cast<std::int32_t>(0x800A0007),
  kErrorOutOfStack = static_cast<std::int32_t>(0x800A001C),  // a recursion limit
  kErrorTimeout = static_cast<std::int32_t>(0x800A1B58),
  kErrorUnknownProcedure = static_cast<std::int32_t>(0x80020006),  // Run of a missing function
  kErrorEngine = static_cast<std::int32_t>(0x8000FFFF),            // the engine itself failed
};

// Registers "ScriptControl" and "MSScriptControl.ScriptControl" (and the
// CLSID). Idempotent.
void RegisterScriptObjects();

// A new Script Control instance, for callers that need other limits (tests).
std::shared_ptr<platform::AutomationObject> CreateScriptControl(const ScriptLimits& limits = {});

}  // namespace vyrelo::script
