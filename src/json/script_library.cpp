#include "json/script_library.h"

namespace vyrelo::json {

// Written for the engine's own JSON object (Duktape's): JSON.stringify and
// JSON.parse are native, so only the library functions and the two inherited
// members need defining here.
//
// Two details keep these functions answering as they did under JScript,
// whose for-in loop gives a string primitive no members of its own: a newer
// engine enumerates a string's character indexes, so the loops below pass
// over a string's own indexes. The toJSONString and parseJSON members are
// plain assignments and therefore enumerable: every for-in loop meets them,
// the functions skip them by their type, and get__extend relies on meeting
// them to fail on a null member of its target.
//
// set__json is the document's second way of loading a JSON object or array
// text, for texts too large for the engine's compiler (see `Parse`).
const char* const kScriptLibrary = R"JS(
function get__nodeValue(str_json, recursion) {
  var scalar = typeof str_json == 'string';
  for (var i in str_json) {
    if (scalar && Object.prototype.hasOwnProperty.call(str_json, i)) continue;
    var tag = Object.prototype.toString.call(str_json[i]);
    if (tag == '[object Object]' || tag == '[object Array]') {
      if (recursion) get__nodeValue(str_json[i], recursion);
    } else if (tag == '[object String]' || tag == '[object Number]' || tag == '[object Boolean]') {
      str_all.push(str_json[i]);
    }
  }
  return str_all;
}
function get__count(c) {
  return Object.prototype.toString.call(c) == '[object Array]' ? c.length : 0;
}
function get__name_All(a) {
  if (Object.prototype.toString.call(a) != '[object Object]') return '';
  var names = [];
  for (var key in a) {
    if (typeof a[key] != 'function') names.push(key);
  }
  return names.join('\r\n');
}
function get__extend(target, source) {
  if (Object.prototype.toString.call(target) == '[object Array]') {
    for (var i = 0; i < source.length; i++) target.push(source[i]);
    return target;
  }
  var scalar = typeof source == 'string';
  for (var obj in source) {
    if (scalar && Object.prototype.hasOwnProperty.call(source, obj)) continue;
    switch (typeof target[obj]) {
      case 'string':
      case 'boolean':
      case 'undefined':
        target[obj] = source[obj];
        break;
      case 'number':
        target = target.concat(source);
        break;
      case 'object':
        target[obj] = get__extend(target[obj], source[obj]);
        break;
    }
  }
  return target;
}
var json__global = this;
function set__json(name, text) {
  json__global[name] = JSON.parse(text);
  return json__global[name] != null;
}
(function () {
  if (!('toJSONString' in Object.prototype)) {
    Object.prototype.toJSONString = function (filter) { return JSON.stringify(this, filter); };
    Object.prototype.parseJSON = function (filter) { return JSON.parse(this, filter); };
  }
})();
)JS";

Text ScriptPrologue(const Text& variableName) {
  return "var " + variableName +
         " = {}, str_Code = String.fromCharCode(9216), str_reg = new RegExp(str_Code, 'g')";
}

}  // namespace vyrelo::json
