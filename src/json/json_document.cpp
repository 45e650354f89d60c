#include "json/json_document.h"

#include <utility>

#include "json/script_library.h"

namespace vyrelo::json {

using namespace vyrelo::platform;

namespace {

// Ends every reading script: each backslash marker of the result becomes one
// backslash.
constexpr const char* kReaderSuffix = ".replace(str_reg, '\\\\')";

Text Index(std::int32_t index) { return "[" + FormatInt(index) + "]"; }

// Whether the first byte after JSON's white space opens an object or array.
bool IsJsonContainerText(const Text& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != Text::npos && (text[first] == '{' || text[first] == '[');
}

}  // namespace

JsonDocument::JsonDocument(std::optional<int> engineTimeoutMs)
    : variableName_("da"), engineTimeoutMs_(engineTimeoutMs) {
  CreateEngine();
}

JsonDocument::JsonDocument(const JsonDocument& other)
    : variableName_(other.variableName_), engineTimeoutMs_(other.engineTimeoutMs_) {
  // The copy is destroyed like any document, so it holds an initialisation
  // of its own to undo.
  CoInitialize();
  comInitialised_ = true;
  CopyObject(engine_, other.engine_);
}

JsonDocument::~JsonDocument() {
  ClearObject(engine_);
  if (comInitialised_) CoUninitialize();
}

std::unique_ptr<JsonDocument> JsonDocument::Clone() const {
  return std::unique_ptr<JsonDocument>(new JsonDocument(*this));
}

void JsonDocument::CreateEngine() {
  if (!comInitialised_) {
    CoInitialize();
    comInitialised_ = true;
  }
  if (!CreateObject(engine_, kJsonEngineProgId)) return;
  SetProperty(engine_, "Language", {"JavaScript"});
  if (engineTimeoutMs_) SetProperty(engine_, "Timeout", {std::int32_t{*engineTimeoutMs_}});
  CallBoolMethod(engine_, "AddCode", {kScriptLibrary});
  EvalEffect(ScriptPrologue(variableName_));
}

bool JsonDocument::Parse(const Text& text, bool assignDirectly, ScriptErrorInfo& errorInfo,
                         bool fillError) {
  if (!IsEmptyObject(engine_)) {
    ClearObject(engine_);
    CreateEngine();
  }
  if (IsEmptyObject(engine_)) return false;
  EvalEffect("var " + variableName_ + " = null");
  const Text code = assignDirectly ? "var " + variableName_ + " = " + text
                                   : "var " + variableName_ + " = eval(" + text + ")";
  CallBoolMethod(engine_, "AddCode", {code});
  if (fillError) FillErrorInfo(errorInfo);
  // The engine's compiler takes at most 65535 distinct constants (strings,
  // numbers) per script, so a large reply that is perfectly good JSON does
  // not load as script source. An object or array text means the same
  // value to JSON.parse as to the compiler, so such a text gets a second
  // chance there; the record then describes the second attempt only when it
  // succeeded.
  if (!EvalBool(variableName_ + " != null") && IsJsonContainerText(text)) {
    if (CallBoolMethod(engine_, "Run", {"set__json", variableName_, text}) && fillError)
      FillErrorInfo(errorInfo);
  }
  return EvalBool(variableName_ + " != null");
}

void JsonDocument::FillErrorInfo(ScriptErrorInfo& errorInfo) {
  const ComObject error = CallObjectMethod(engine_, "Error");
  errorInfo.Number = TruncateToInt32(GetNumberProperty(error, "Number"));
  errorInfo.Source = GetTextProperty(error, "Source");
  errorInfo.Description = GetTextProperty(error, "Description");
  errorInfo.HelpFile = GetTextProperty(error, "HelpFile");
  errorInfo.HelpContext = TruncateToInt32(GetNumberProperty(error, "HelpContext"));
  errorInfo.Text = GetTextProperty(error, "Text");
  errorInfo.Line = TruncateToInt32(GetNumberProperty(error, "Line"));
  errorInfo.Column = TruncateToInt32(GetNumberProperty(error, "Column"));
}

bool JsonDocument::Clear() { return EvalSucceeded(variableName_ + " = {}"); }

Text JsonDocument::ToJson() {
  return EvalText("JSON.stringify(" + variableName_ + ")" + kReaderSuffix);
}

bool JsonDocument::SetValue(const Text& path, const Text& value, bool asJson) {
  Text p = path;
  const bool exists = ResolvePath(p);
  if (asJson) {
    const Text mergeValue = value.empty() ? Text("{}") : value;
    const Text tag = EvalText("Object.prototype.toString.call(" + p + ")");
    if (exists && tag == "[object Object]")
      return EvalSucceeded(p + " = get__extend(" + p + ", " + mergeValue + ")");
    return EvalSucceeded(p + " = eval(" + value + ")");
  }
  Text escaped = ReplaceAll(value, "\\", "\\\\");
  escaped = ReplaceAll(escaped, "'", "\\'");
  escaped = ReplaceAll(escaped, "\"", "\\\"");
  escaped = ReplaceAll(escaped, "\r", "\\r");
  escaped = ReplaceAll(escaped, "\n", "\\n");
  return EvalSucceeded(p + " = '" + escaped + "'.replace(/\\\\/g, str_Code)");
}

bool JsonDocument::SetJson(const Text& path, const Text& jsonText) {
  return EvalSucceeded(Resolved(path) + " = eval(" + jsonText + ")");
}

bool JsonDocument::ResolvePath(Text& path) {
  if (StartsWith(path, variableName_) && EvalBool(path + " != null")) return true;
  if (path.empty()) {
    path = variableName_;
  } else if (path.front() == '[') {
    path = variableName_ + path;
  } else {
    path = variableName_ + "." + path;
  }
  return EvalBool(path + " != null");
}

bool JsonDocument::Exists(const Text& path) {
  Text p = path;
  return ResolvePath(p);
}

std::int32_t JsonDocument::GetKind(const Text& path) {
  const Text p = Resolved(path);
  if (EvalBool(p + " == null")) return kJsonNull;
  const Text tag = EvalText("Object.prototype.toString.call(" + p + ")");
  if (tag == "[object String]") return kJsonString;
  if (tag == "[object Array]") return kJsonArray;
  if (tag == "[object Object]") return kJsonObject;
  if (tag == "[object Number]") return kJsonNumber;
  if (tag == "[object Boolean]") return kJsonBoolean;
  return kJsonUnknown;
}

Text JsonDocument::GetText(const Text& path, bool asJson) {
  const Text p = Resolved(path);
  if (asJson) return EvalText("JSON.stringify(" + p + ")" + kReaderSuffix);
  return EvalText(p + ".toString()" + kReaderSuffix);
}

std::int32_t JsonDocument::GetNames(TextList& names, const Text& path) {
  names = Split(EvalText("get__name_All(" + Resolved(path) + ")"), "\r\n");
  return static_cast<std::int32_t>(names.size());
}

std::int32_t JsonDocument::GetCount(const Text& path) {
  return TruncateToInt32(EvalNumber("get__count(" + Resolved(path) + ")"));
}

std::unique_ptr<JsonDocument> JsonDocument::GetSubDocument(const Text& path) {
  auto document = std::make_unique<JsonDocument>(engineTimeoutMs_);
  const Text json = EvalText("JSON.stringify(" + Resolved(path) + ")" + kReaderSuffix);
  ScriptErrorInfo unused;
  document->Parse(json, false, unused, false);
  return document;
}

bool JsonDocument::AddItem(const Text& value, const Text& path, bool asJson, bool atFront) {
  const Text p = Resolved(path);
  const Text item = asJson ? value : "'" + value + "'";
  return EvalSucceeded("if (Object.prototype.toString.call(" + p + ") != '[object Array]') { " + p +
                       " = new Array() } " + p + (atFront ? ".unshift(" : ".push(") + item + ")");
}

std::unique_ptr<JsonDocument> JsonDocument::GetItemDocument(std::int32_t index, const Text& path) {
  auto document = std::make_unique<JsonDocument>(engineTimeoutMs_);
  const Text json =
      EvalText("JSON.stringify(" + Resolved(path) + Index(index) + ")" + kReaderSuffix);
  ScriptErrorInfo unused;
  document->Parse(json, false, unused, false);
  return document;
}

Text JsonDocument::GetItemText(std::int32_t index, const Text& path, bool asJson) {
  const Text p = Resolved(path);
  if (asJson) return EvalText("JSON.stringify(" + p + Index(index) + ")" + kReaderSuffix);
  return EvalText(p + Index(index) + kReaderSuffix);
}

bool JsonDocument::SetItem(std::int32_t index, const Text& path, const Text& value, bool asJson) {
  const Text item = asJson ? value : "'" + value + "'";
  return EvalSucceeded(Resolved(path) + Index(index) + " = " + item);
}

bool JsonDocument::RemoveItem(std::int32_t index, const Text& path) {
  return EvalSucceeded(Resolved(path) + ".splice(" + FormatInt(index) + ", 1)");
}

bool JsonDocument::Delete(const Text& path) { return EvalBool("delete " + Resolved(path)); }

bool JsonDocument::SetNumber(const Text& path, double number) {
  return EvalSucceeded(Resolved(path) + " = " + FormatDouble(number));
}

double JsonDocument::GetNumber(const Text& path) { return EvalNumber(Resolved(path)); }

Text JsonDocument::GetJson(const Text& path) { return GetText(path, true); }

ComObject JsonDocument::GetEngine() {
  ComObject engine;
  CopyObject(engine, engine_);
  return engine;
}

std::int32_t JsonDocument::GetAllValues(TextList& values, const Text& path, bool recursive) {
  const Text p = Resolved(path);
  EvalEffect("var str_all = new Array()");
  EvalEffect("get__nodeValue(" + p + ", " + (recursive ? "true" : "false") + ")");
  values =
      Split(EvalText(Text("str_all.join('") + kAllValuesSeparator + "')"), kAllValuesSeparator);
  return static_cast<std::int32_t>(values.size());
}

// --- Engine calls ---------------------------------------------------------------

bool JsonDocument::EvalBool(const Text& script) {
  return CallBoolMethod(engine_, "Eval", {script});
}

Text JsonDocument::EvalText(const Text& script) {
  return CallTextMethod(engine_, "Eval", {script});
}

double JsonDocument::EvalNumber(const Text& script) {
  return CallNumberMethod(engine_, "Eval", {script});
}

void JsonDocument::EvalEffect(const Text& script) { CallMethod(engine_, "Eval", {script}); }

bool JsonDocument::EvalSucceeded(const Text& script) {
  CallVariantMethod(engine_, "Eval", {script});
  return GetAutomationError(engine_).empty();
}

Text JsonDocument::Resolved(const Text& path) {
  Text p = path;
  ResolvePath(p);
  return p;
}

}  // namespace vyrelo::json
