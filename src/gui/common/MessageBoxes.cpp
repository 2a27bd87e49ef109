#include "gui/common/MessageBoxes.h"

#include "data/ShopErrors.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>

namespace msg {
namespace {

class WidgetSink : public MessageSink {
 public:
  Answer show(const Box& box) override {
    QMessageBox mb(parent);
    mb.setWindowTitle(box.title);
    mb.setText(box.text);
    switch (box.icon) {
      case Icon::None:
        mb.setIcon(QMessageBox::NoIcon);
        break;
      case Icon::Information:
        mb.setIcon(QMessageBox::Information);
        break;
      case Icon::Critical:
        mb.setIcon(QMessageBox::Critical);
        break;
      case Icon::Question:
        mb.setIcon(QMessageBox::Question);
        break;
    }
    if (box.yesNo) {
      mb.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      mb.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
      mb.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    } else {
      mb.setStandardButtons(QMessageBox::Ok);
    }
    const int r = mb.exec();
    if (!box.yesNo) return Answer::Ok;
    return r == QMessageBox::Yes ? Answer::Yes : Answer::No;
  }
  QPointer<QWidget> parent;
};

WidgetSink& widgetSink() {
  static WidgetSink sink;
  return sink;
}

MessageSink* currentSink = nullptr;

Answer deliver(Box box) {
  if (box.title.isEmpty()) box.title = applicationTitle();
  MessageSink* sink = currentSink ? currentSink : &widgetSink();
  return sink->show(box);
}

}  // namespace

QString applicationTitle() { return QStringLiteral("Программа заявок Варнокел"); }

void information(const QString& text) { deliver({text, QString(), Icon::None, false}); }

void critical(const QString& text, const QString& title) { deliver({text, title, Icon::Critical, false}); }

bool question(const QString& text, const QString& title) {
  return deliver({text, title, Icon::Question, true}) == Answer::Yes;
}

void requestError(const QString& description) {
  critical(QStringLiteral("Произошла ошибка при запросе") + QChar('\r') + description,
           QStringLiteral("Предупреждение"));
}

void requestErrorWithNumber(const QString& description, long number) {
  const QString num = number < 0 ? QString::number(number) : QStringLiteral(" ") + QString::number(number);
  critical(QStringLiteral("Произошла ошибка при запросе") + QChar('\r') + description + QChar('\r') + num,
           QStringLiteral("Предупреждение"));
}

void shopRequestError(long number, const QString& serverText) { requestError(DescribeShopFailure(number, serverText)); }

void shopRequestErrorWithNumber(long number, const QString& serverText) {
  const QString kind = ShopFailureKind(number);
  requestErrorWithNumber(kind.isEmpty() ? serverText : kind + QChar('\r') + serverText, number);
}

void setSink(MessageSink* sink) { currentSink = sink; }
void setParentWindow(QWidget* parent) { widgetSink().parent = parent; }

ScopedParent::ScopedParent(QWidget* parent) : previous_(widgetSink().parent) { widgetSink().parent = parent; }
ScopedParent::~ScopedParent() { widgetSink().parent = previous_; }

Answer Recorder::show(const Box& box) {
  boxes.push_back(box);
  if (!box.yesNo) return Answer::Ok;
  if (answers.empty()) return defaultAnswer;
  Answer a = answers.front();
  answers.pop_front();
  return a;
}

QStringList Recorder::texts() const {
  QStringList out;
  for (const auto& b : boxes) out << b.text;
  return out;
}

ScopedRecorder::ScopedRecorder() { setSink(this); }
ScopedRecorder::~ScopedRecorder() { setSink(nullptr); }

}  // namespace msg
