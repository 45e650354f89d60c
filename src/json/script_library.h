// The script text every JSON document's engine is given before its value:
// the functions the document's operations call by name, and the prologue
// that declares the value's variable and the backslash marker.
#pragma once

#include "platform/text.h"

namespace vyrelo::json {

// get__nodeValue, get__count, get__name_All and get__extend, set__json
// (name, text), which stores JSON.parse of the text in the global of that
// name, then the toJSONString/parseJSON members of Object.prototype. ASCII
// only.
extern const char* const kScriptLibrary;

// "var " + variableName + " = {}, str_Code = String.fromCharCode(9216),
// str_reg = new RegExp(str_Code, 'g')"
Text ScriptPrologue(const Text& variableName);

}  // namespace vyrelo::json
