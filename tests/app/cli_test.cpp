// The vyrelo program's commands, run as a separate process against the
// stand-in service.

#include <gtest/gtest.h>

#include "app/system_text.h"
#include "standin_server.h"
#include "subprocess.h"
#include "test_files.h"

namespace vyrelo::app {
namespace {

using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.Start(), 0);
    list_ = dir_.Write("langs.ini", Utf8ToText("[翻译]\r\n中文=zh-CHS\r\n英语=en\r\n日语=ja\r\n"));
  }

  // Runs vyrelo with the given arguments; the environment never points at the
  // real service.
  ProcessResult Run(std::vector<std::string> args, const std::string& input = {},
                    std::vector<std::string> env = {}) {
    args.insert(args.begin(), VYRELO_BINARY);
    env.insert(env.begin(), {"VYRELO_HOST=", "VYRELO_ORIGIN="});
    return RunProcess(args, input, env);
  }
  std::vector<std::string> Service() { return {"--host", server_.HostAndPort()}; }
  std::string List() const { return TextToUtf8String(list_); }

  standin::StandinServer server_;
  TempDir dir_;
  Text list_;
};

TEST_F(CommandLineTest, LanguagesListsTheChooserNames) {
  ProcessResult r = Run({"languages", "--ini", List()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "英语\n日语\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CommandLineTest, LanguagesPrintsEmptyNamesAsEmptyLines) {
  Text list = dir_.Write("empty-name.ini", Utf8ToText("[翻译]\r\n=x\r\n英语=en\r\n"));
  ProcessResult r = Run({"languages", "--ini=" + TextToUtf8String(list)});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "\n英语\n");
}

TEST_F(CommandLineTest, LanguagesWithMissingFilePrintsNothing) {
  ProcessResult r = Run({"languages", "--ini", dir_.Path() + "/none.ini"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(CommandLineTest, LanguagesDefaultsToTheListBesideTheProgram) {
  ProcessResult r = Run({"languages"});
  EXPECT_EQ(r.exitCode, 0);
  // 中文 itself is left out; 繁体中文 is a language of its own.
  EXPECT_EQ(r.out.rfind("英语\n", 0), 0u) << r.out;
  EXPECT_EQ(("\n" + r.out).find("\n中文\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n繁体中文\n"), std::string::npos) << r.out;
}

TEST_F(CommandLineTest, TranslateToJoinsWordsAndPrintsTheResult) {
  std::vector<std::string> args = {"translate", "--to", "en"};
  for (auto& s : Service()) args.push_back(s);
  args.insert(args.end(), {"你好", "世界"});
  ProcessResult r = Run(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "[en] 你好 世界\n");
  auto request = server_.LastRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->FormField("from"), "zh-CHS");
  EXPECT_EQ(request->FormField("to"), "en");
  EXPECT_EQ(request->Header("Origin").rfind("chrome-extension://", 0), 0u);
}

TEST_F(CommandLineTest, TranslateFromLanguageNameLooksItUp) {
  std::vector<std::string> args = {"translate", "--from", "日语", "--ini", List()};
  for (auto& s : Service()) args.push_back(s);
  args.insert(args.end(), {"--", "--not-an-option"});
  ProcessResult r = Run(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "[zh-CHS] --not-an-option\n");
  auto request = server_.LastRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->FormField("from"), "ja");
  EXPECT_EQ(request->FormField("to"), "zh-CHS");
}

TEST_F(CommandLineTest, TranslateReadsStandardInputDroppingOneLineBreak) {
  std::vector<std::string> args = {"translate", "--from", "en", "--to", "ja"};
  for (auto& s : Service()) args.push_back(s);
  ProcessResult r = Run(args, "line one\nline two\n\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "[ja] line one\nline two\n\n");
  ASSERT_TRUE(server_.LastRequest());
  EXPECT_EQ(server_.LastRequest()->FormField("text"), "line one\nline two\n");
}

TEST_F(CommandLineTest, TranslateTakesHostAndOriginFromTheEnvironment) {
  ProcessResult r = Run({"translate", "--to", "en", "x"}, {},
                        {"VYRELO_HOST=" + server_.HostAndPort(), "VYRELO_ORIGIN=https://o.test"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ASSERT_TRUE(server_.LastRequest());
  EXPECT_EQ(server_.LastRequest()->Header("Origin"), "https://o.test");
  EXPECT_EQ(server_.LastRequest()->Header("Host"), server_.HostAndPort());
}

TEST_F(CommandLineTest, OptionsOverrideTheEnvironment) {
  std::vector<std::string> args = {"translate", "--to", "en", "--origin", "https://cli.test"};
  for (auto& s : Service()) args.push_back(s);
  args.push_back("x");
  ProcessResult r = Run(args, {}, {"VYRELO_HOST=127.0.0.1:1", "VYRELO_ORIGIN=https://env.test"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ASSERT_TRUE(server_.LastRequest());
  EXPECT_EQ(server_.LastRequest()->Header("Origin"), "https://cli.test");
}

TEST_F(CommandLineTest, EmptyResultPrintsAnEmptyLine) {
  std::vector<std::string> args = {"translate", "--to", "en"};
  for (auto& s : Service()) args.push_back(s);
  args.push_back("__missing__");
  ProcessResult r = Run(args);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "\n");
}

TEST_F(CommandLineTest, UnparsableReplyFailsWithItsStatus) {
  std::vector<std::string> args = {"translate", "--to", "en"};
  for (auto& s : Service()) args.push_back(s);
  args.push_back("__status500__");
  ProcessResult r = Run(args);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("JSON解析失败", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("500"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(CommandLineTest, UnreachableServiceFailsWithTheNetworkError) {
  ProcessResult r = Run({"translate", "--to", "en", "--host",
                         "127.0.0.1:" + std::to_string(vyrelo::testing::FreeLoopbackPort()), "x"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("JSON解析失败", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("could not be reached"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  const char* stdoutStart;  // "" when stdout must be empty
};

class UsageTest : public CommandLineTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, ExitsAsExpected) {
  ProcessResult r = Run(GetParam().args);
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  EXPECT_EQ(r.out.rfind(GetParam().stdoutStart, 0), 0u) << r.out;
  if (GetParam().exitCode == 2) {
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageTest,
    ::testing::Values(UsageCase{"Help", {"--help"}, 0, "usage: vyrelo"},
                      UsageCase{"HelpAfterCommand", {"translate", "--help"}, 0, "usage: vyrelo"},
                      UsageCase{"Version", {"--version"}, 0, "vyrelo 0.1.0\n"},
                      UsageCase{"UnknownCommand", {"frobnicate"}, 2, ""},
                      UsageCase{"UnknownOption", {"--bogus"}, 2, ""},
                      UsageCase{"TranslateWithoutLanguages", {"translate", "hello"}, 2, ""},
                      UsageCase{"OptionWithoutValue", {"translate", "--to"}, 2, ""},
                      UsageCase{"LanguagesWithArgument", {"languages", "extra"}, 2, ""},
                      UsageCase{"LanguagesWithFrom", {"languages", "--from", "en"}, 2, ""}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vyrelo::app
