#include "script/script_control.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "script/duk_heap.h"

namespace vyrelo::script {

using platform::CallResult;
using platform::CallStatus;
using platform::ComObject;
using platform::InvokeKind;
using platform::MemberTableObject;
using platform::ParamSpec;
using platform::ParamType;
using platform::Variant;
using platform::VariantType;

namespace {

// The last script error of one instance, as its Error object shows it.
struct ErrorRecord {
  std::int32_t number = kErrorNone;
  Text source;
  std::u16string description;
  std::u16string text;
  std::int32_t line = 0;
  std::int32_t column = 0;

  void Clear() { *this = ErrorRecord(); }
};

// The object the "Error" property hands out: a live view of the instance's
// last error, as the COM control's Error object is.
class ScriptErrorObject final : public MemberTableObject {
 public:
  explicit ScriptErrorObject(std::shared_ptr<ErrorRecord> record) : record_(std::move(record)) {
    AddNumber("Number", [](const ErrorRecord& r) { return r.number; });
    AddNumber("HelpContext", [](const ErrorRecord&) { return std::int32_t{0}; });
    AddNumber("Line", [](const ErrorRecord& r) { return r.line; });
    AddNumber("Column", [](const ErrorRecord& r) { return r.column; });
    AddText("Source", [](const ErrorRecord& r) { return Variant(r.source); });
    AddText("Description",
            [](const ErrorRecord& r) { return Variant::FromUnicode(r.description); });
    AddText("HelpFile", [](const ErrorRecord&) { return Variant(Text()); });
    AddText("Text", [](const ErrorRecord& r) { return Variant::FromUnicode(r.text); });
    AddMethod("Clear", {}, [this](InvokeKind, std::span<const Variant>, Variant&) {
      record_->Clear();
      return CallResult::Success();
    });
  }

 private:
  template <typename Get>
  void AddNumber(const char* name, Get get) {
    AddProperty(
        name, {ParamType::Int32},
        [this, get](InvokeKind, std::span<const Variant>, Variant& result) {
          result = Variant(get(*record_));
          return CallResult::Success();
        },
        true, false);
  }
  template <typename Get>
  void AddText(const char* name, Get get) {
    AddProperty(
        name, {ParamType::Text},
        [this, get](InvokeKind, std::span<const Variant>, Variant& result) {
          result = get(*record_);
          return CallResult::Success();
        },
        true, false);
  }

  std::shared_ptr<ErrorRecord> record_;
};

// --- One call into the engine ------------------------------------------------------
//
// Everything the engine-side functions below touch lives in `Request`: they
// run between Duktape frames that unwind with longjmp, so they keep no local
// object with a destructor.

enum class RequestKind { Eval, Execute, AddCode, Run };

struct PreparedArg {
  VariantType type = VariantType::Empty;
  double number = 0;
  bool flag = false;
  std::string text;  // CESU-8
};

enum class ResultType { Empty, Text, Number, Bool };

struct Request {
  RequestKind kind = RequestKind::Eval;
  std::string source;  // CESU-8 code, or the procedure's name for Run
  std::vector<PreparedArg> args;
  bool wantResult = true;

  bool scriptOk = false;
  bool notCallable = false;
  ResultType resultType = ResultType::Empty;
  std::string resultText;
  double resultNumber = 0;
  bool resultBool = false;

  duk_errcode_t errorCode = DUK_ERR_NONE;
  bool isErrorObject = false;
  std::string errorName;
  std::string errorMessage;
  std::string errorString;
  double errorLine = 0;
};

void CopyString(duk_context* ctx, duk_idx_t idx, std::string& out) {
  duk_size_t len = 0;
  const char* s = duk_get_lstring(ctx, idx, &len);
  if (s) {
    out.assign(s, len);
  } else {
    out.clear();
  }
}

duk_ret_t DescribeError(duk_context* ctx, void* udata) {
  auto* req = static_cast<Request*>(udata);
  req->errorCode = duk_get_error_code(ctx, 0);
  req->isErrorObject = duk_is_error(ctx, 0) != 0;
  duk_dup(ctx, 0);
  duk_safe_to_string(ctx, -1);
  CopyString(ctx, -1, req->errorString);
  duk_pop(ctx);
  if (req->isErrorObject) {
    duk_get_prop_string(ctx, 0, "lineNumber");
    req->errorLine = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : 0;
    duk_pop(ctx);
    duk_get_prop_string(ctx, 0, "name");
    duk_safe_to_string(ctx, -1);
    CopyString(ctx, -1, req->errorName);
    duk_pop(ctx);
    duk_get_prop_string(ctx, 0, "message");
    duk_safe_to_string(ctx, -1);
    CopyString(ctx, -1, req->errorMessage);
    duk_pop(ctx);
  } else {
    req->errorMessage = req->errorString;
  }
  return 0;
}

void StoreError(duk_context* ctx, Request* req) {
  req->scriptOk = false;
  // Reading the error may run script code (a getter on the thrown object);
  // what could not be read stays empty.
  duk_safe_call(ctx, &DescribeError, req, 1, 0);
}

duk_ret_t ToText(duk_context* ctx, void*) {
  duk_to_string(ctx, 0);
  return 1;
}

void StoreResult(duk_context* ctx, Request* req) {
  req->scriptOk = true;
  switch (duk_get_type(ctx, -1)) {
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NULL:
      req->resultType = ResultType::Empty;
      return;
    case DUK_TYPE_BOOLEAN:
      req->resultType = ResultType::Bool;
      req->resultBool = duk_get_boolean(ctx, -1) != 0;
      return;
    case DUK_TYPE_NUMBER:
      req->resultType = ResultType::Number;
      req->resultNumber = duk_get_number(ctx, -1);
      return;
    case DUK_TYPE_STRING:
      if (!duk_is_symbol(ctx, -1)) {
        req->resultType = ResultType::Text;
        CopyString(ctx, -1, req->resultText);
        return;
      }
      break;
    default:
      break;
  }
  // Objects, functions, buffers and symbols: their String() text, which may
  // run the object's own toString and so may throw.
  if (duk_safe_call(ctx, &ToText, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
    StoreError(ctx, req);
    return;
  }
  req->resultType = ResultType::Text;
  CopyString(ctx, -1, req->resultText);
}

void PushArg(duk_context* ctx, const PreparedArg& arg) {
  switch (arg.type) {
    case VariantType::Bool:
      duk_push_boolean(ctx, arg.flag);
      break;
    case VariantType::Int32:
    case VariantType::Double:
      duk_push_number(ctx, arg.number);
      break;
    case VariantType::Text:
      duk_push_lstring(ctx, arg.text.data(), arg.text.size());
      break;
    default:
      duk_push_undefined(ctx);
      break;
  }
}

duk_ret_t CallProcedure(duk_context* ctx, void* udata) {
  auto* req = static_cast<Request*>(udata);
  duk_push_global_object(ctx);
  duk_get_prop_lstring(ctx, -1, req->source.data(), req->source.size());
  if (!duk_is_callable(ctx, -1)) {
    req->notCallable = true;
    return 1;
  }
  for (std::size_t i = 0; i < req->args.size(); ++i) PushArg(ctx, req->args[i]);
  duk_call(ctx, static_cast<duk_idx_t>(req->args.size()));
  return 1;
}

duk_ret_t Execute(duk_context* ctx, void* udata) {
  auto* req = static_cast<Request*>(udata);
  duk_int_t rc;
  if (req->kind == RequestKind::Run) {
    rc = duk_safe_call(ctx, &CallProcedure, req, 0, 1);
  } else {
    // Eval and ExecuteStatement run as eval code in the global scope (a
    // `var` becomes a global that a later `delete` can remove, the value of
    // the last expression statement is the result); AddCode runs as a
    // program, as a script file would.
    duk_push_string(ctx, req->kind == RequestKind::AddCode ? "code" : "eval");
    const duk_uint_t flags = req->kind == RequestKind::AddCode ? 0 : DUK_COMPILE_EVAL;
    rc = duk_compile_raw(ctx, req->source.data(), req->source.size(),
                         1 | flags | DUK_COMPILE_SAFE | DUK_COMPILE_NOSOURCE);
    if (rc == DUK_EXEC_SUCCESS) {
      duk_push_global_object(ctx);
      rc = duk_pcall_method(ctx, 0);
    }
  }
  if (rc == DUK_EXEC_SUCCESS) {
    if (req->notCallable) {
      req->scriptOk = true;
    } else if (req->wantResult) {
      StoreResult(ctx, req);
    } else {
      req->scriptOk = true;
    }
  } else {
    StoreError(ctx, req);
  }
  return 0;
}

// --- The control --------------------------------------------------------------------

bool IsRecursionLimit(const std::string& message) {
  static const char* const kLimits[] = {"C stack depth limit", "callstack limit",
                                        "compiler recursion limit", "recursion limit",
                                        "valstack limit"};
  for (const char* limit : kLimits) {
    if (message.find(limit) != std::string::npos) return true;
  }
  return false;
}

// The source line `line` (1-based) of a script, for the Error object's Text.
std::u16string SourceLine(const std::u16string& code, std::int32_t line) {
  if (line < 1) return {};
  std::size_t start = 0;
  for (std::int32_t n = 1; n < line; ++n) {
    const std::size_t nl = code.find(u'\n', start);
    if (nl == std::u16string::npos) return {};
    start = nl + 1;
  }
  std::size_t end = code.find(u'\n', start);
  if (end == std::u16string::npos) end = code.size();
  if (end > start && code[end - 1] == u'\r') --end;
  return code.substr(start, end - start);
}

Variant NumberVariant(double value) {
  // JScript hands out a whole number that fits as a 32-bit integer (-0
  // included: its text is "0").
  if (std::isfinite(value) && std::trunc(value) == value &&
      value >= std::numeric_limits<std::int32_t>::min() &&
      value <= std::numeric_limits<std::int32_t>::max()) {
    return Variant(static_cast<std::int32_t>(value));
  }
  return Variant(value);
}

std::u16string Ascii16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class ScriptControl final : public MemberTableObject {
 public:
  explicit ScriptControl(const ScriptLimits& limits)
      : heap_(limits.memoryBytes),
        memoryLimit_(limits.memoryBytes),
        error_(std::make_shared<ErrorRecord>()),
        errorObject_(std::make_shared<ScriptErrorObject>(error_)) {
    AddProperty("Language", {ParamType::Text},
                [this](InvokeKind kind, std::span<const Variant> args, Variant& result) {
                  return Language(kind, args, result);
                });
    AddMethod("AddCode", {{ParamType::Text}},
              [this](InvokeKind, std::span<const Variant> args, Variant& result) {
                return RunScript(RequestKind::AddCode, args[0], {}, result);
              });
    AddMethod("Eval", {{ParamType::Text}},
              [this](InvokeKind, std::span<const Variant> args, Variant& result) {
                return RunScript(RequestKind::Eval, args[0], {}, result);
              });
    AddMethod("ExecuteStatement", {{ParamType::Text}},
              [this](InvokeKind, std::span<const Variant> args, Variant& result) {
                return RunScript(RequestKind::Execute, args[0], {}, result);
              });
    std::vector<ParamSpec> runParams{{ParamType::Text}};
    for (int i = 0; i < 6; ++i) runParams.push_back({ParamType::Any, true});
    AddMethod("Run", std::move(runParams),
              [this](InvokeKind, std::span<const Variant> args, Variant& result) {
                return RunScript(RequestKind::Run, args[0], args.subspan(1), result);
              });
    AddMethod("Reset", {}, [this](InvokeKind, std::span<const Variant>, Variant&) {
      heap_.Reset();
      error_->Clear();
      if (!heap_.Valid()) return EngineFailure(heap_.CreationError());
      return CallResult::Success();
    });
    AddIntProperty("Timeout", timeout_);
    AddIntProperty("State", state_);
    AddIntProperty("SitehWnd", siteHwnd_);
    AddProperty("AllowUI", {ParamType::Bool},
                [this](InvokeKind kind, std::span<const Variant> args, Variant& result) {
                  if (kind == InvokeKind::PropertyPut) {
                    allowUi_ = args.back().BoolValue();
                  } else {
                    result = Variant(allowUi_);
                  }
                  return CallResult::Success();
                });
    AddProperty(
        "Error", {ParamType::Object},
        [this](InvokeKind, std::span<const Variant>, Variant& result) {
          result = Variant(errorObject_);
          return CallResult::Success();
        },
        true, false);
  }

 private:
  void AddIntProperty(const char* name, std::int32_t& field) {
    AddProperty(name, {ParamType::Int32},
                [&field](InvokeKind kind, std::span<const Variant> args, Variant& result) {
                  if (kind == InvokeKind::PropertyPut) {
                    field = args.back().IntValue();
                  } else {
                    result = Variant(field);
                  }
                  return CallResult::Success();
                });
  }

  CallResult Language(InvokeKind kind, std::span<const Variant> args, Variant& result) {
    if (kind != InvokeKind::PropertyPut) {
      result = Variant(language_);
      return CallResult::Success();
    }
    const Text& wanted = args.back().SystemText();
    if (!EqualsNoCase(wanted, "JScript") && !EqualsNoCase(wanted, "JavaScript")) {
      return CallResult::Failure(CallStatus::Exception, "the script language '" + wanted +
                                                            "' is not available; only JScript");
    }
    language_ = wanted;
    return CallResult::Success();
  }

  CallResult EngineFailure(const std::string& why) {
    error_->Clear();
    error_->number = kErrorEngine;
    error_->source = "JScript engine";
    error_->description = Ascii16(why);
    return CallResult::Failure(CallStatus::Exception, why);
  }

  CallResult RunScript(RequestKind kind, const Variant& source, std::span<const Variant> args,
                       Variant& result) {
    Request req;
    req.kind = kind;
    req.wantResult = kind == RequestKind::Eval || kind == RequestKind::Run;
    const std::u16string& code = source.Unicode();
    req.source = detail::Utf16ToCesu8(code);
    for (const Variant& arg : args) {
      PreparedArg prepared;
      prepared.type = arg.Type();
      switch (arg.Type()) {
        case VariantType::Empty:
          break;
        case VariantType::Bool:
          prepared.flag = arg.BoolValue();
          break;
        case VariantType::Int32:
          prepared.number = arg.IntValue();
          break;
        case VariantType::Double:
          prepared.number = arg.DoubleValue();
          break;
        case VariantType::Text:
          prepared.text = detail::Utf16ToCesu8(arg.Unicode());
          break;
        default:
          return CallResult::Failure(CallStatus::TypeMismatch,
                                     "a script takes texts, numbers and booleans only");
      }
      req.args.push_back(std::move(prepared));
    }

    const detail::CallOutcome outcome = heap_.Call(&Execute, &req, timeout_);
    if (outcome.completed && req.scriptOk) {
      error_->Clear();
      if (req.notCallable) {
        error_->number = kErrorUnknownProcedure;
        error_->source = "JScript runtime error";
        error_->description = u"Unknown name: " + code;
        return CallResult::Failure(CallStatus::UnknownName,
                                   "the script has no function named " + source.SystemText());
      }
      switch (req.resultType) {
        case ResultType::Empty:
          result = Variant();
          break;
        case ResultType::Text:
          result = Variant::FromUnicode(detail::Cesu8ToUtf16(req.resultText));
          break;
        case ResultType::Number:
          result = NumberVariant(req.resultNumber);
          break;
        case ResultType::Bool:
          result = Variant(req.resultBool);
          break;
      }
      return CallResult::Success();
    }
    return Failed(outcome, req, code);
  }

  CallResult Failed(const detail::CallOutcome& outcome, const Request& req,
                    const std::u16string& code) {
    if (outcome.fatal || (!outcome.completed && !outcome.outOfMemory && !outcome.timedOut)) {
      return EngineFailure(outcome.message);
    }
    ErrorRecord& e = *error_;
    e.Clear();
    e.source = "JScript runtime error";
    e.line = TruncateToInt32(req.errorLine);
    e.description = detail::Cesu8ToUtf16(req.errorMessage);
    std::string detail = req.errorString;
    if (outcome.timedOut) {
      e.number = kErrorTimeout;
      detail = "the script ran longer than its time limit of " + std::to_string(timeout_) + " ms";
      e.description = Ascii16(detail);
    } else if (outcome.outOfMemory) {
      e.number = kErrorOutOfMemory;
      detail = "the script needed more than its memory limit of " + std::to_string(memoryLimit_) +
               " bytes";
      e.description = Ascii16(detail);
    } else if (req.errorCode == DUK_ERR_RANGE_ERROR && IsRecursionLimit(req.errorMessage)) {
      e.number = kErrorOutOfStack;
    } else {
      switch (req.errorCode) {
        case DUK_ERR_SYNTAX_ERROR:
          e.number = kErrorSyntax;
          e.source = "JScript compilation error";
          e.text = SourceLine(code, e.line);
          break;
        case DUK_ERR_TYPE_ERROR:
          e.number = kErrorType;
          break;
        case DUK_ERR_REFERENCE_ERROR:
          e.number = kErrorReference;
          break;
        case DUK_ERR_RANGE_ERROR:
          e.number = kErrorRange;
          break;
        case DUK_ERR_URI_ERROR:
          e.number = kErrorUri;
          break;
        default:
          e.number = kErrorThrown;
          break;
      }
    }
    if (e.line > 0 && detail.find("(line ") == std::string::npos) {
      detail += " (line " + std::to_string(e.line) + ")";
    }
    return CallResult::Failure(CallStatus::Exception, detail);
  }

  detail::DukHeap heap_;
  std::size_t memoryLimit_;
  Text language_ = "JScript";
  std::int32_t timeout_ = kDefaultTimeoutMs;
  std::int32_t state_ = 0;
  std::int32_t siteHwnd_ = 0;
  bool allowUi_ = true;
  std::shared_ptr<ErrorRecord> error_;
  ComObject errorObject_;
};

}  // namespace

std::shared_ptr<platform::AutomationObject> CreateScriptControl(const ScriptLimits& limits) {
  return std::make_shared<ScriptControl>(limits);
}

void RegisterScriptObjects() {
  static std::once_flag once;
  std::call_once(once, [] {
    auto factory = [] { return CreateScriptControl(); };
    platform::RegisterObject(kScriptControlProgId, factory, kScriptControlClsid);
    platform::RegisterObject(kScriptControlLongProgId, factory);
  });
}

}  // namespace vyrelo::script
