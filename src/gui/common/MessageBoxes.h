#pragma once
// The one way the program shows message boxes and asks questions.
// The widget implementation uses QMessageBox; tests install a recorder that
// keeps every box and answers questions from a queue.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

class QWidget;

namespace msg {

enum class Icon { None, Information, Critical, Question };
enum class Answer { Ok, Yes, No };

struct Box {
  QString text;
  QString title;
  Icon icon = Icon::None;
  bool yesNo = false;  // true: Yes/No buttons; false: OK only
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual Answer show(const Box& box) = 0;
};

// Shown on boxes that have no title of their own: the main window's caption.
QString applicationTitle();

// Plain OK box with the application title and no icon.
void information(const QString& text);
// OK box with the critical icon; an empty title means the application title.
void critical(const QString& text, const QString& title = QString());
// Yes/No with the question icon; true when the user answered Yes.
bool question(const QString& text, const QString& title = QString());
// "Произошла ошибка при запросе" CR description, title "Предупреждение", critical icon.
void requestError(const QString& description);
// Same, followed by CR and the error number in invariant notation.
void requestErrorWithNumber(const QString& description, long number);

// A failure of the shop database: the request error with what the failure means
// in Russian, then the server's own text and number, the number in parentheses
// after the text, or (WithNumber) on a line of its own as the last line.
void shopRequestError(long number, const QString& serverText);
void shopRequestErrorWithNumber(long number, const QString& serverText);

// Installs a sink (ownership stays with the caller); nullptr restores the default.
void setSink(MessageSink* sink);
// Parent window of the default boxes.
void setParentWindow(QWidget* parent);

// While it lives, boxes belong to the given window (a dialog that asks or
// reports): they stay over it, and the keyboard returns to it when they close.
class ScopedParent {
 public:
  explicit ScopedParent(QWidget* parent);
  ~ScopedParent();
  ScopedParent(const ScopedParent&) = delete;
  ScopedParent& operator=(const ScopedParent&) = delete;

 private:
  QPointer<QWidget> previous_;
};

// Records every box and answers questions from a queue (Yes when the queue is empty
// unless defaultAnswer says otherwise). Used by tests.
class Recorder : public MessageSink {
 public:
  Answer show(const Box& box) override;
  std::vector<Box> boxes;
  std::deque<Answer> answers;
  Answer defaultAnswer = Answer::No;
  QStringList texts() const;
  void clear() {
    boxes.clear();
    answers.clear();
  }
};

// Installs a recorder for the lifetime of the guard.
class ScopedRecorder : public Recorder {
 public:
  ScopedRecorder();
  ~ScopedRecorder() override;
};

}  // namespace msg
