// Temporary files for the app tests, removed when the test ends.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/system_text.h"
#include "platform/text.h"

namespace vyrelo::app::testing {

// A fresh directory under the system's temporary directory.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vyrelo-app-XXXXXX";
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }  // UTF-8

  // Writes `bytes` to `name` (UTF-8) and returns the file's path as a `Text`.
  Text Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path_ + "/" + name, std::ios::binary | std::ios::trunc);
    out << bytes;
    return Utf8ToText(path_ + "/" + name);
  }

 private:
  std::string path_;
};

// UTF-8 source text to the system's text.
inline Text T(const char* utf8) { return Utf8ToText(utf8); }

}  // namespace vyrelo::app::testing
