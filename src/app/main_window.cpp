#include "app/main_window.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPointer>
#include <QResizeEvent>
#include <mutex>

#include "app/language_list.h"
#include "app/worker_thread.h"
#include "platform/codec.h"

namespace vyrelo::app {
namespace {

// The design size and places; the window may grow or shrink from there.
constexpr int kWindowLeft = 50;
constexpr int kWindowTop = 50;
constexpr int kWindowWidth = 557;
constexpr int kWindowHeight = 454;
constexpr QRect kChooserRect(152, 184, 200, 20);
constexpr QRect kLowerRect(40, 232, 448, 176);
constexpr QRect kUpperRect(40, 24, 448, 152);

}  // namespace

QString ChooserName() { return QString::fromUtf8("组合框1"); }
QString UpperBoxName() { return QString::fromUtf8("编辑框1"); }
QString LowerBoxName() { return QString::fromUtf8("编辑框2"); }

QString ToQString(const Text& text) {
  return QString::fromStdU16String(platform::SystemTextToUtf16(text));
}

Text FromQString(const QString& text) { return platform::Utf16ToSystemText(text.toStdU16String()); }

EditBox::EditBox(QWidget* parent) : QPlainTextEdit(parent) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setTabChangesFocus(false);
}

void EditBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter) {
    QPlainTextEdit::keyPressEvent(event);
    return;
  }
  if (event->modifiers() & Qt::ShiftModifier) {
    // A plain paragraph break, the same as the box gives without our handler.
    QKeyEvent plain(QEvent::KeyPress, event->key(), event->modifiers() & ~Qt::ShiftModifier,
                    event->text(), event->isAutoRepeat(), static_cast<quint16>(event->count()));
    QPlainTextEdit::keyPressEvent(&plain);
    event->setAccepted(plain.isAccepted());
    return;
  }
  event->accept();
  emit enterPressed();
}

// Where a worker leaves its result. The window clears `window` when it goes,
// under the lock, so a worker that finishes late never touches a freed widget.
struct MainWindow::Mailbox {
  std::mutex mutex;
  MainWindow* window = nullptr;
};

MainWindow::MainWindow(WindowConfig config, QWidget* parent)
    : QWidget(parent), config_(std::move(config)), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->window = this;
  setWindowTitle(QStringLiteral("Vyrelo"));
  setMinimumSize(320, 280);

  // Children in the order the window's layout lists them.
  chooser_ = new QComboBox(this);
  chooser_->setObjectName(ChooserName());
  chooser_->setEditable(false);

  lower_ = new EditBox(this);
  lower_->setObjectName(LowerBoxName());

  upper_ = new EditBox(this);
  upper_->setObjectName(UpperBoxName());

  setTabOrder(upper_, chooser_);
  setTabOrder(chooser_, lower_);

  connect(upper_, &EditBox::enterPressed, this, [this] { Translate(true); });
  connect(lower_, &EditBox::enterPressed, this, [this] { Translate(false); });

  setGeometry(kWindowLeft, kWindowTop, kWindowWidth, kWindowHeight);
  LayOut();

  FillLanguageChooser();
  chooser_->setCurrentIndex(-1);
}

MainWindow::~MainWindow() {
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->window = nullptr;
}

Text MainWindow::ChooserText() const {
  auto* chooser = findChild<QComboBox*>(ChooserName());
  return chooser ? FromQString(chooser->currentText()) : Text();
}

Text MainWindow::EditText(const QString& boxName) const {
  auto* box = findChild<QPlainTextEdit*>(boxName);
  return box ? FromQString(box->toPlainText()) : Text();
}

void MainWindow::SetEditText(const QString& boxName, const Text& text) {
  if (auto* box = findChild<QPlainTextEdit*>(boxName)) box->setPlainText(ToQString(text));
}

bool MainWindow::AppendChooserItem(const Text& text, int value) {
  auto* chooser = findChild<QComboBox*>(ChooserName());
  if (!chooser) return false;
  const int before = chooser->count();
  chooser->addItem(ToQString(text), value);
  return chooser->count() == before + 1;
}

void MainWindow::FillLanguageChooser() {
  for (const ChooserItem& item : LanguageChooserItems(config_.listPath)) {
    // An item the list refuses is skipped; the rest still go in.
    AppendChooserItem(item.name, item.value);
  }
}

void MainWindow::Translate(bool fromUpperBox) {
  const Text language = ChooserText();
  const Text text = EditText(fromUpperBox ? UpperBoxName() : LowerBoxName());
  const unsigned long long generation = ++generation_;
  SetBusy(true);

  auto work = [mailbox = mailbox_, translate = config_.translate, listPath = config_.listPath,
               language, text, generation, fromUpperBox] {
    // The code is looked up at every press, so a changed file counts at once.
    const Text code = LookupIniValue(listPath, LanguageSectionName(), language);
    const Text from = fromUpperBox ? Text(kChineseCode) : code;
    const Text to = fromUpperBox ? code : Text(kChineseCode);
    const Text result = translate ? translate(from, to, text).result : Text();
    std::lock_guard lock(mailbox->mutex);
    if (MainWindow* window = mailbox->window) {
      QMetaObject::invokeMethod(
          window,
          [window, generation, fromUpperBox, result] {
            window->ShowResult(generation, fromUpperBox, result);
          },
          Qt::QueuedConnection);
    }
  };
  if (!StartDetachedWorker(work)) work();  // no thread to be had: block instead
}

void MainWindow::ShowResult(unsigned long long generation, bool fromUpperBox, const Text& result) {
  if (generation != generation_) return;  // a newer Enter has taken over
  SetEditText(fromUpperBox ? LowerBoxName() : UpperBoxName(), result);
  SetBusy(false);
  emit translationShown();
}

void MainWindow::SetBusy(bool busy) {
  pending_ = busy;
  // The boxes' own I-beam would hide the window's cursor over most of it.
  if (busy) {
    setCursor(Qt::BusyCursor);
    upper_->viewport()->setCursor(Qt::BusyCursor);
    lower_->viewport()->setCursor(Qt::BusyCursor);
  } else {
    unsetCursor();
    upper_->viewport()->setCursor(Qt::IBeamCursor);
    lower_->viewport()->setCursor(Qt::IBeamCursor);
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

// At the design size the controls stand exactly where the design puts them;
// extra width goes to the boxes and keeps the chooser centred, extra height is
// shared between the two boxes.
void MainWindow::LayOut() {
  const int dx = width() - kWindowWidth;
  const int dy = height() - kWindowHeight;
  const int upperGrow = dy / 2;
  const int lowerGrow = dy - upperGrow;
  upper_->setGeometry(kUpperRect.left(), kUpperRect.top(), std::max(40, kUpperRect.width() + dx),
                      std::max(40, kUpperRect.height() + upperGrow));
  chooser_->setGeometry(kChooserRect.left() + dx / 2, kChooserRect.top() + upperGrow,
                        kChooserRect.width(), kChooserRect.height());
  lower_->setGeometry(kLowerRect.left(), kLowerRect.top() + upperGrow,
                      std::max(40, kLowerRect.width() + dx),
                      std::max(40, kLowerRect.height() + lowerGrow));
}

}  // namespace vyrelo::app
