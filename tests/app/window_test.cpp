// The window, driven as a user would: keys and input-method text sent to the
// real widgets, results awaited, against the stand-in service.
#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/round_trip.h"
#include "app/system_text.h"
#include "app/window_app.h"
#include "app/worker_thread.h"
#include "standin_server.h"
#include "subprocess.h"
#include "test_files.h"

namespace vyrelo::app {
namespace {

using testing::TempDir;

// What an input method does when the user picks a phrase.
void CommitText(QWidget* widget, const QString& text) {
  QInputMethodEvent event;
  event.setCommitString(text);
  QApplication::sendEvent(widget, &event);
}

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// QTRY_COMPARE reports to Qt Test, which GoogleTest never hears of; these
// wait the same way (events processed while waiting) and then check.
constexpr int kWaitMs = 10000;
#define EXPECT_EVENTUALLY_EQ(actual, expected)                                           \
  do {                                                                                   \
    static_cast<void>(QTest::qWaitFor([&] { return (actual) == (expected); }, kWaitMs)); \
    EXPECT_EQ(actual, expected);                                                         \
  } while (0)
#define ASSERT_EVENTUALLY_EQ(actual, expected)                                           \
  do {                                                                                   \
    static_cast<void>(QTest::qWaitFor([&] { return (actual) == (expected); }, kWaitMs)); \
    ASSERT_EQ(actual, expected);                                                         \
  } while (0)

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.Start(), 0);
    settings_.host = server_.HostAndPort();
    listPath_ = WriteList("[翻译]\r\n中文=zh-CHS\r\n英语=en\r\n日语=ja\r\n");
  }

  Text WriteList(const char* utf8) { return dir_.Write("翻译.ini", Utf8ToText(utf8)); }

  void Open(Text listPath) {
    window_ = std::make_unique<MainWindow>(WindowConfig{listPath, ServiceTranslator(settings_)});
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    chooser_ = window_->findChild<QComboBox*>(ChooserName());
    upper_ = window_->findChild<QPlainTextEdit*>(UpperBoxName());
    lower_ = window_->findChild<QPlainTextEdit*>(LowerBoxName());
    ASSERT_TRUE(chooser_ && upper_ && lower_);
  }
  void Open() { Open(listPath_); }

  void Choose(const char* language) {
    int index = chooser_->findText(Q(language));
    ASSERT_GE(index, 0) << language;
    chooser_->setCurrentIndex(index);
  }

  // Opens the window and presses Enter on a text whose reply the stand-in
  // holds until the test releases it.
  void StartHeldTranslation() {
    server_.SetSlowDelay(std::chrono::seconds(30));
    Open();
    Choose("英语");
    QTest::keyClicks(upper_, "__slow__");
    QTest::keyClick(upper_, Qt::Key_Return);
    ASSERT_EVENTUALLY_EQ(server_.SlowRepliesWaiting(), 1);
  }

  void TearDown() override {
    window_.reset();
    server_.ReleaseSlowReplies();
    // Let workers of this test finish before the server goes.
    ASSERT_EVENTUALLY_EQ(WorkersInFlight(), 0);
  }

  standin::StandinServer server_;
  ServiceSettings settings_;
  TempDir dir_;
  Text listPath_;
  std::unique_ptr<MainWindow> window_;
  QComboBox* chooser_ = nullptr;
  QPlainTextEdit* upper_ = nullptr;
  QPlainTextEdit* lower_ = nullptr;
};

TEST_F(WindowTest, HasTheDesignedLayout) {
  Open();
  EXPECT_EQ(window_->windowTitle(), "Vyrelo");
  EXPECT_EQ(window_->geometry(), QRect(50, 50, 557, 454));
  EXPECT_EQ(chooser_->geometry(), QRect(152, 184, 200, 20));
  EXPECT_EQ(lower_->geometry(), QRect(40, 232, 448, 176));
  EXPECT_EQ(upper_->geometry(), QRect(40, 24, 448, 152));
  EXPECT_FALSE(chooser_->isEditable());
  EXPECT_EQ(chooser_->currentIndex(), -1);
  EXPECT_EQ(window_->ChooserText(), "");
  for (QPlainTextEdit* box : {upper_, lower_}) {
    EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(box->isReadOnly());
    EXPECT_EQ(box->document()->defaultTextOption().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);
  }
  // The layout's order: chooser, lower box, upper box.
  const QObjectList& children = window_->children();
  std::vector<QString> names;
  for (QObject* child : children) {
    if (child->isWidgetType()) names.push_back(child->objectName());
  }
  EXPECT_EQ(names, (std::vector<QString>{ChooserName(), LowerBoxName(), UpperBoxName()}));
}

TEST_F(WindowTest, ChooserListsTheFileWithoutChinese) {
  Open();
  ASSERT_EQ(chooser_->count(), 2);
  EXPECT_EQ(chooser_->itemText(0), Q("英语"));
  EXPECT_EQ(chooser_->itemData(0).toInt(), 2);
  EXPECT_EQ(chooser_->itemText(1), Q("日语"));
  EXPECT_EQ(chooser_->itemData(1).toInt(), 3);
}

TEST_F(WindowTest, MissingListFileGivesAnEmptyChooser) {
  Open(Utf8ToText(dir_.Path() + "/none.ini"));
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(chooser_->count(), 0);
}

TEST_F(WindowTest, EnterInUpperBoxWritesOnlyTheLowerBox) {
  Open();
  Choose("英语");
  upper_->setFocus();
  CommitText(upper_, Q("你好"));
  lower_->setPlainText("old");
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("[en] 你好"));
  EXPECT_EQ(upper_->toPlainText(), Q("你好"));  // no line break from the Enter
  ASSERT_TRUE(server_.LastRequest());
  EXPECT_EQ(server_.LastRequest()->FormField("from"), "zh-CHS");
  EXPECT_EQ(server_.LastRequest()->FormField("to"), "en");
  EXPECT_EQ(server_.LastRequest()->FormField("text"), "你好");
}

TEST_F(WindowTest, EnterInLowerBoxWritesOnlyTheUpperBox) {
  Open();
  Choose("日语");
  upper_->setPlainText("old");
  QTest::keyClicks(lower_, "konnichiwa");
  QTest::keyClick(lower_, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EVENTUALLY_EQ(upper_->toPlainText(), Q("[zh-CHS] konnichiwa"));
  EXPECT_EQ(lower_->toPlainText(), Q("konnichiwa"));
  ASSERT_TRUE(server_.LastRequest());
  EXPECT_EQ(server_.LastRequest()->FormField("from"), "ja");
  EXPECT_EQ(server_.LastRequest()->FormField("to"), "zh-CHS");
}

TEST_F(WindowTest, ShiftEnterAndOtherKeysSendNothing) {
  Open();
  Choose("英语");
  QTest::keyClicks(upper_, "ab");
  QTest::keyClick(upper_, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClicks(upper_, "c");
  QTest::keyClick(upper_, Qt::Key_Backspace);
  QTest::keyClick(upper_, Qt::Key_Left);
  QTest::keyClick(upper_, Qt::Key_Tab);
  EXPECT_FALSE(window_->RequestPending());
  EXPECT_EQ(upper_->toPlainText(), Q("ab\t\n"));
  EXPECT_EQ(server_.RequestCount(), 0);
  // Only the Enter that follows sends, once, with the text as typed.
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("[en] ab\t\n"));
  EXPECT_EQ(server_.RequestCount(), 1);
}

TEST_F(WindowTest, ChangedCodeCountsAtTheNextEnter) {
  Open();
  Choose("英语");
  QTest::keyClicks(upper_, "x");
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("[en] x"));
  WriteList("[翻译]\r\n中文=zh-CHS\r\n英语=en-GB\r\n日语=ja\r\n");
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("[en-GB] x"));
}

TEST_F(WindowTest, EmptyChooserSendsAnEmptyCode) {
  Open();
  QTest::keyClicks(upper_, "x");
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("[] x"));
  EXPECT_EQ(server_.LastRequest()->FormField("to"), "");
}

TEST_F(WindowTest, FailureShowsInTheOtherBox) {
  Open();
  Choose("英语");
  QTest::keyClicks(upper_, "__notjson__");
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("JSON解析失败"));
  // An empty box is translated too.
  lower_->clear();
  QTest::keyClick(lower_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(upper_->toPlainText(), Q("[zh-CHS] "));
}

TEST_F(WindowTest, StaysResponsiveWhileTheReplyIsSlow) {
  ASSERT_NO_FATAL_FAILURE(StartHeldTranslation());
  EXPECT_TRUE(window_->RequestPending());
  EXPECT_EQ(window_->cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(upper_->viewport()->cursor().shape(), Qt::BusyCursor);

  // Typing, resizing and painting go on while the request waits.
  QTest::keyClicks(lower_, "typed");
  EXPECT_EQ(lower_->toPlainText(), Q("typed"));
  window_->resize(700, 600);
  EXPECT_EVENTUALLY_EQ(upper_->width(), 448 + 143);
  EXPECT_EQ(lower_->geometry().bottom() + 1, 600 - 46);
  EXPECT_FALSE(window_->grab().isNull());
  EXPECT_EQ(server_.SlowRepliesWaiting(), 1);

  server_.ReleaseSlowReplies();
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("[en] slow"));
  EXPECT_FALSE(window_->RequestPending());
  EXPECT_NE(window_->cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(upper_->viewport()->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(WindowTest, NewerEnterSupersedesAnOlderOne) {
  ASSERT_NO_FATAL_FAILURE(StartHeldTranslation());

  upper_->setPlainText("fast");
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(lower_->toPlainText(), Q("[en] fast"));
  EXPECT_FALSE(window_->RequestPending());

  // The older answer arrives afterwards and must not be shown.
  server_.ReleaseSlowReplies();
  ASSERT_EVENTUALLY_EQ(WorkersInFlight(), 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(lower_->toPlainText(), Q("[en] fast"));
}

TEST_F(WindowTest, WindowGoneBeforeTheAnswerIsLeftAlone) {
  server_.SetSlowDelay(std::chrono::seconds(30));
  Open();
  QTest::keyClicks(upper_, "__slow__");
  QTest::keyClick(upper_, Qt::Key_Return);
  ASSERT_EVENTUALLY_EQ(server_.SlowRepliesWaiting(), 1);
  window_.reset();
  server_.ReleaseSlowReplies();
  ASSERT_EVENTUALLY_EQ(WorkersInFlight(), 0);
  QCoreApplication::processEvents();  // a posted result would land here
}

TEST_F(WindowTest, DeeplyNestedReplyOnTheWorkerThread) {
  // The reply's parser recurses; a worker with a small stack would crash.
  Open();
  lower_->setPlainText("old");
  QTest::keyClicks(upper_, "__deep__");
  QTest::keyClick(upper_, Qt::Key_Return);
  EXPECT_EVENTUALLY_EQ(window_->RequestPending(), false);
  const QString nested = QString(900, '[') + QString(900, ']');
  EXPECT_EQ(lower_->toPlainText(), nested);
}

TEST_F(WindowTest, BoxesGrowWithTheWindow) {
  Open();
  window_->resize(757, 554);
  EXPECT_EVENTUALLY_EQ(upper_->geometry(), QRect(40, 24, 648, 202));
  EXPECT_EQ(chooser_->geometry(), QRect(252, 234, 200, 20));
  EXPECT_EQ(lower_->geometry(), QRect(40, 282, 648, 226));
}

TEST_F(WindowTest, ClosingDuringARequestEndsTheProgramAtOnce) {
  server_.SetSlowDelay(std::chrono::seconds(30));
  testing::ProcessResult r =
      testing::RunProcess({VYRELO_WINDOW_TEST_BINARY, "--close-during-request",
                           server_.HostAndPort(), TextToUtf8String(listPath_)},
                          {}, {"QT_QPA_PLATFORM=offscreen"}, std::chrono::seconds(25));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("closing with a request in flight"), std::string::npos) << r.out;
  EXPECT_LT(r.seconds, 10.0);  // process start-up included; the reply would take 30 s
  EXPECT_EQ(server_.SlowRepliesWaiting(), 1);
}

// The child of the test above: opens the window, presses Enter on a held
// reply, closes the window while it is held and ends as the program does.
int CloseDuringRequest(int argc, char** argv) {
  QApplication application(argc, argv);
  RegisterSystemObjects();
  ServiceSettings settings;
  settings.host = argv[2];
  MainWindow window(WindowConfig{Utf8ToText(argv[3]), ServiceTranslator(settings)});
  window.show();
  auto* upper = window.findChild<QPlainTextEdit*>(UpperBoxName());
  upper->setPlainText("__slow__");
  QTest::keyClick(upper, Qt::Key_Return);
  if (!window.RequestPending()) return 3;
  QTimer::singleShot(200, &window, [&window] {
    std::printf("closing with a request in flight: %d\n", WorkersInFlight());
    std::fflush(stdout);
    window.close();
  });
  return EndWindowRun(application.exec());
}

// Saves a picture of the window as a user sees it after one translation
// through the stand-in service, for the documentation:
// app_window_test --screenshot PATH LIST.
int SaveScreenshot(int argc, char** argv) {
  QApplication application(argc, argv);
  RegisterSystemObjects();
  standin::StandinServer server;
  if (server.Start() <= 0) return 1;
  ServiceSettings settings;
  settings.host = server.HostAndPort();
  MainWindow window(WindowConfig{Utf8ToText(argv[3]), ServiceTranslator(settings)});
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  auto* chooser = window.findChild<QComboBox*>(ChooserName());
  chooser->setCurrentIndex(chooser->findText(Q("英语")));
  auto* upper = window.findChild<QPlainTextEdit*>(UpperBoxName());
  auto* lower = window.findChild<QPlainTextEdit*>(LowerBoxName());
  upper->setFocus();
  CommitText(upper, Q("你好，世界！今天过得怎么样？"));
  QTest::keyClick(upper, Qt::Key_Return);
  if (!QTest::qWaitFor([&] { return !lower->toPlainText().isEmpty(); }, kWaitMs)) return 1;
  return window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}

}  // namespace
}  // namespace vyrelo::app

int main(int argc, char** argv) {
  // The tests never need a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc == 4 && std::string(argv[1]) == "--close-during-request") {
    return vyrelo::app::CloseDuringRequest(argc, argv);
  }
  if (argc == 4 && std::string(argv[1]) == "--screenshot") {
    return vyrelo::app::SaveScreenshot(argc, argv);
  }
  QApplication application(argc, argv);
  vyrelo::app::RegisterSystemObjects();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
