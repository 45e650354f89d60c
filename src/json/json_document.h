// A JSON value held as a global variable of its own script engine (a Script
// Control instance) and read and changed by path.
//
// Paths are script member expressions relative to the value ("data.x",
// "a[0].b", "[1]", "" for the whole value) or rooted at the document's
// variable "da" ("da.a"). Every operation builds a short script text and has
// the engine evaluate it; a failed evaluation gives false, "", 0 or an empty
// list. Text values cross into the engine through the system charset. A
// backslash that plain-text `SetValue` stores is kept in the engine as
// U+2400 and turned back into a backslash by the reading operations.
//
// The engine runs under the Script Control's bounds (time-out, memory cap,
// stack check), so a text that is hostile script fails `Parse` instead of
// hanging or exhausting the program; the document stays usable.
//
// The operations are virtual in a fixed order and call one another through
// those slots, so a derived document that replaces one changes every
// operation built on it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/automation.h"
#include "platform/text.h"

namespace vyrelo::json {

// What the engine's "Error" object said after a `Parse` with `fillError`.
struct ScriptErrorInfo {
  std::int32_t Number = 0;
  ::vyrelo::Text Source;
  ::vyrelo::Text Description;
  ::vyrelo::Text HelpFile;
  std::int32_t HelpContext = 0;
  ::vyrelo::Text Text;
  std::int32_t Line = 0;
  std::int32_t Column = 0;
};

// The codes of `GetKind`.
enum JsonKind : std::int32_t {
  kJsonUnknown = -1,  // anything else, and a path that cannot be evaluated
  kJsonNull = 0,      // null, undefined, or a missing last member
  kJsonBoolean = 1,
  kJsonNumber = 2,
  kJsonObject = 4,
  kJsonArray = 5,
  kJsonString = 6,
};

inline constexpr const char* kJsonEngineProgId = "MSScriptControl.ScriptControl";

// The separator `GetAllValues` joins and splits with: "[2020年7月20日20时0分0秒]"
// in the system charset.
inline constexpr const char* kAllValuesSeparator =
    "[2020\xC4\xEA"
    "7\xD4\xC2"
    "20\xC8\xD5"
    "20\xCA\xB1"
    "0\xB7\xD6"
    "0\xC3\xEB]";

class JsonDocument {
 public:
  // Creates the engine (see `CreateEngine`); the value is an empty object.
  // `engineTimeoutMs`, when given, replaces the Script Control's own
  // time-out (10 s) for every engine this document and the documents made
  // from it create.
  explicit JsonDocument(std::optional<int> engineTimeoutMs = std::nullopt);
  JsonDocument& operator=(const JsonDocument&) = delete;

  // Slot 0. Releases the engine and undoes the document's initialisation of
  // the automation layer.
  virtual ~JsonDocument();
  // Slot 1. A second document on the same engine: both act on the same
  // variable until one of them parses again.
  virtual std::unique_ptr<JsonDocument> Clone() const;
  // Slot 2. A Script Control instance with the library and the prologue
  // loaded; `engine` stays empty when it cannot be created.
  virtual void CreateEngine();
  // Slot 3. Loads `text` as script source into a fresh engine (as
  // "var da = eval(text)" unless `assignDirectly`); true when the value is
  // neither null nor undefined. An object or array text that is too large
  // for the engine's compiler is loaded with JSON.parse instead. With
  // `fillError` the engine's "Error" object is copied into `errorInfo`,
  // success or not.
  virtual bool Parse(const Text& text, bool assignDirectly, ScriptErrorInfo& errorInfo,
                     bool fillError);
  // Slot 4. The value becomes an empty object.
  virtual bool Clear();
  // Slot 5. The whole value as JSON text.
  virtual Text ToJson();
  // Slot 6. Plain text stores a string (backslashes kept as U+2400); JSON
  // text merges into an existing object or is assigned.
  virtual bool SetValue(const Text& path, const Text& value, bool asJson);
  // Slot 7. Assigns the value of the JSON text.
  virtual bool SetJson(const Text& path, const Text& jsonText);
  // Slot 8. Roots `path` at the document's variable unless it already is
  // (and names something); true when the resolved path is neither null nor
  // undefined.
  virtual bool ResolvePath(Text& path);
  // Slot 9.
  virtual bool Exists(const Text& path);
  // Slot 10. A `JsonKind` code.
  virtual std::int32_t GetKind(const Text& path);
  // Slot 11. The value as JSON text, or as the engine's text of it.
  virtual Text GetText(const Text& path, bool asJson);
  // Slot 12. The member names of an object (functions left out).
  virtual std::int32_t GetNames(TextList& names, const Text& path);
  // Slot 13. An array's length; 0 for anything else.
  virtual std::int32_t GetCount(const Text& path);
  // Slot 14. A new document (own engine) holding a copy of the value.
  virtual std::unique_ptr<JsonDocument> GetSubDocument(const Text& path);
  // Slot 15. Pushes (or, `atFront`, unshifts) onto the array at the path,
  // which is made an empty array first if it holds none. Plain text is
  // wrapped in apostrophes as it is, unescaped.
  virtual bool AddItem(const Text& value, const Text& path, bool asJson, bool atFront);
  // Slot 16. A new document holding a copy of the array element.
  virtual std::unique_ptr<JsonDocument> GetItemDocument(std::int32_t index, const Text& path);
  // Slot 17. An array element as JSON text, or, plain, as the string it is
  // (empty for an element that is not a string).
  virtual Text GetItemText(std::int32_t index, const Text& path, bool asJson);
  // Slot 18.
  virtual bool SetItem(std::int32_t index, const Text& path, const Text& value, bool asJson);
  // Slot 19.
  virtual bool RemoveItem(std::int32_t index, const Text& path);
  // Slot 20.
  virtual bool Delete(const Text& path);
  // Slot 21. The number is written as "%.13g".
  virtual bool SetNumber(const Text& path, double number);
  // Slot 22.
  virtual double GetNumber(const Text& path);
  // Slot 23. `GetText` as JSON.
  virtual Text GetJson(const Text& path);
  // Slot 24. A new reference to the engine.
  virtual platform::ComObject GetEngine();
  // Slot 25. The scalar values under the path (strings, numbers as the
  // engine writes them, true/false), depth first when `recursive`.
  virtual std::int32_t GetAllValues(TextList& values, const Text& path, bool recursive);

  const Text& VariableName() const { return variableName_; }

 protected:
  // A copy on the same engine, for `Clone`.
  JsonDocument(const JsonDocument& other);

  // The engine calls every operation is built from.
  bool EvalBool(const Text& script);
  Text EvalText(const Text& script);
  double EvalNumber(const Text& script);
  void EvalEffect(const Text& script);
  // Whether the evaluation ran to its end, whatever value it gave: the
  // changing operations report success this way, since an assignment's value
  // (a string, an object, 0) says nothing about whether it happened.
  bool EvalSucceeded(const Text& script);
  // Copies the engine's "Error" object into the record.
  void FillErrorInfo(ScriptErrorInfo& errorInfo);
  // The path after `ResolvePath`, on a copy of the caller's text.
  Text Resolved(const Text& path);

 private:
  Text variableName_;
  platform::ComObject engine_;
  std::optional<int> engineTimeoutMs_;
  // The document initialises the automation layer once (on its first
  // engine) and undoes exactly that once, however often `Parse` replaces
  // the engine.
  bool comInitialised_ = false;
};

}  // namespace vyrelo::json
