#include "web/base64.h"

#include <gtest/gtest.h>

namespace vyrelo::web {
namespace {

TEST(Base64EncodeTest, Rfc4648Vectors) {
  const struct {
    const char* name;
    Bytes in;
    Text out;
  } cases[] = {
      {"empty", {}, ""},
      {"one byte", {'f'}, "Zg=="},
      {"two bytes", {'f', 'o'}, "Zm8="},
      {"three bytes", {'f', 'o', 'o'}, "Zm9v"},
      {"six bytes", {'f', 'o', 'o', 'b', 'a', 'r'}, "Zm9vYmFy"},
      {"high bytes are plain bytes", {0xFF, 0xFE, 0x80}, "//6A"},
      {"zero bytes are encoded too", {0, 0}, "AAA="},
      {"user:password", {'u', 's', 'e', 'r', ':', 'p', 'a', 's', 's'}, "dXNlcjpwYXNz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Base64Encode(c.in), c.out);
  }
}

TEST(Base64EncodeTest, LongInputStaysOneLine) {
  const Bytes in(100, 'a');
  const Text out = Base64Encode(in);
  EXPECT_EQ(out.size(), 4u * 34u);
  EXPECT_EQ(out.find_first_of("\r\n"), Text::npos);
}

}  // namespace
}  // namespace vyrelo::web
