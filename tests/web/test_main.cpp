// The web tests' main: the thread initialises automation once, the request
// object is registered, and the proxy settings of the environment are cleared
// so that loopback requests go straight to the test's own servers (the tests
// that are about the environment's proxy set it themselves).
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/automation.h"
#include "web/winhttp_request.h"

int main(int argc, char** argv) {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                           "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
    ::unsetenv(name);
  }
  ::testing::InitGoogleTest(&argc, argv);
  vyrelo::platform::ComScope com;
  vyrelo::web::RegisterWebObjects();
  return RUN_ALL_TESTS();
}
