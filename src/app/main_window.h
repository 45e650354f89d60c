// The translator's single window: the language chooser and the two boxes.
//
// The round trip runs on a worker thread so that the window keeps repainting,
// moving and taking input while the service answers (it may take up to the
// request's time-outs). Each Enter takes a new generation number; a result is
// written only when it belongs to the newest one, so an older, slower answer
// never overwrites a newer one.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <memory>

#include "app/translation.h"
#include "platform/text.h"

class QComboBox;

namespace vyrelo::app {

// The controls' names, which are also their object names.
QString ChooserName();   // 组合框1
QString UpperBoxName();  // 编辑框1
QString LowerBoxName();  // 编辑框2

// The system's text to Qt's and back; texts cross here and only here.
QString ToQString(const Text& text);
Text FromQString(const QString& text);

// A multi-line box in which Enter asks for a translation and Shift+Enter
// breaks the line.
class EditBox : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit EditBox(QWidget* parent = nullptr);

 signals:
  void enterPressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

struct WindowConfig {
  Text listPath;                // the language list file
  TranslateFunction translate;  // called on a worker thread
};

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MainWindow(WindowConfig config, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The four control operations, by control name.
  Text ChooserText() const;
  Text EditText(const QString& boxName) const;
  void SetEditText(const QString& boxName, const Text& text);
  bool AppendChooserItem(const Text& text, int value);

  // Whether the newest request is still waiting for its answer.
  bool RequestPending() const { return pending_; }

 signals:
  // The newest request's result has been written.
  void translationShown();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Mailbox;

  void FillLanguageChooser();
  void Translate(bool fromUpperBox);
  void ShowResult(unsigned long long generation, bool fromUpperBox, const Text& result);
  void SetBusy(bool busy);
  void LayOut();

  WindowConfig config_;
  QComboBox* chooser_ = nullptr;
  EditBox* upper_ = nullptr;
  EditBox* lower_ = nullptr;
  std::shared_ptr<Mailbox> mailbox_;
  unsigned long long generation_ = 0;
  bool pending_ = false;
};

}  // namespace vyrelo::app
