// Shared by the JSON document tests: registration of the engine and texts in
// the system charset.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "json/json_document.h"
#include "platform/automation.h"
#include "platform/codec.h"
#include "script/script_control.h"

namespace vyrelo::json::testing {

// UTF-8 source text to the system's own charset.
inline Text Sys(std::string_view utf8) {
  return platform::Utf16ToSystemText(platform::Utf8ToUtf16(utf8));
}

class JsonTest : public ::testing::Test {
 protected:
  // In the constructor, so that members of derived fixtures can make
  // documents already.
  JsonTest() { script::RegisterScriptObjects(); }

  // A document holding `json`; fails the test when it does not parse.
  std::unique_ptr<JsonDocument> Load(const Text& json) {
    auto doc = std::make_unique<JsonDocument>();
    ScriptErrorInfo error;
    EXPECT_TRUE(doc->Parse(json, false, error, true)) << json << ": " << error.Description;
    return doc;
  }

  platform::ComScope com_;
};

}  // namespace vyrelo::json::testing
