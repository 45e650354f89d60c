// Temporary files for the app tests, removed when the test ends.
#pragma once

#include <string>

#include "app/system_text.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vyrelo::app::testing {

// A temporary directory whose files are named by `Text` paths, as the
// application's operations take them.
class TempDir : public vyrelo::testing::TempDir {
 public:
  Text Write(const std::string& name, const std::string& bytes) const {
    return Utf8ToText(vyrelo::testing::TempDir::Write(name, bytes));
  }
};

// UTF-8 source text to the system's text.
inline Text T(const char* utf8) { return Utf8ToText(utf8); }

}  // namespace vyrelo::app::testing
