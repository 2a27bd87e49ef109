#include "e2e/RemoteControl.h"

#include "gui/grid/FlexGrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Reads what has arrived on standard input, past the C streams; 0 at its end.
long long readStandardInput(char* buffer, unsigned size) {
#ifdef _WIN32
  return _read(0, buffer, size);
#else
  return ::read(0, buffer, size);
#endif
}

void reply(const QJsonObject& o) {
  const QByteArray line = "@@driver " + QJsonDocument(o).toJson(QJsonDocument::Compact) + "\n";
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  std::fflush(stdout);
}
QJsonObject ok() { return {{QStringLiteral("ok"), true}}; }
QJsonObject failure(const QString& why) { return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}}; }

// ---- finding widgets: "frm_price/MSFlexGrid1", a visible one first

QWidget* firstOf(const QList<QWidget*>& found) {
  for (QWidget* w : found)
    if (w->isVisible()) return w;
  return found.value(0);
}

QWidget* findTop(const QString& name) {
  QList<QWidget*> named;
  for (QWidget* w : QApplication::allWidgets())
    if (w->objectName() == name) named << w;
  return firstOf(named);
}

QWidget* findWidget(const QString& path) {
  const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QWidget* w = parts.isEmpty() ? nullptr : findTop(parts.first());
  for (int i = 1; w && i < parts.size(); ++i) w = firstOf(w->findChildren<QWidget*>(parts.at(i)));
  return w;
}

QList<QMessageBox*> visibleBoxes() {
  QList<QMessageBox*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) out << b;
  return out;
}

// ---- what the windows show

QJsonObject describe(QWidget* w) {
  QString text;
  if (auto* l = qobject_cast<QLabel*>(w))
    text = l->text();
  else if (auto* e = qobject_cast<QLineEdit*>(w))
    text = e->text();
  else if (auto* b = qobject_cast<QAbstractButton*>(w))
    text = b->text();
  return {{QStringLiteral("ok"), true},
          {QStringLiteral("visible"), w->isVisible()},
          {QStringLiteral("enabled"), w->isEnabled()},
          {QStringLiteral("title"), w->windowTitle()},
          {QStringLiteral("text"), text}};
}

QJsonObject gridState(FlexGrid* g, int count) {
  QJsonArray cells;
  for (int r = 0; r < g->rows() && r < count; ++r) {
    QJsonArray row;
    for (int c = 0; c < g->cols(); ++c) row.append(g->textMatrix(r, c));
    cells.append(row);
  }
  return {{QStringLiteral("ok"), true}, {QStringLiteral("rows"), g->rows()}, {QStringLiteral("cells"), cells}};
}

QJsonObject windows() {
  QJsonArray tops, subs, boxes;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) tops.append(QJsonObject{{QStringLiteral("name"), w->objectName()}});
  if (auto* mdi = qobject_cast<QMdiArea*>(findTop(QStringLiteral("MDIClient"))))
    for (QMdiSubWindow* s : mdi->subWindowList())
      if (s->isVisible() && s->widget()) subs.append(QJsonObject{{QStringLiteral("name"), s->widget()->objectName()}});
  for (QMessageBox* b : visibleBoxes()) {
    QJsonArray buttons;
    for (QAbstractButton* btn : b->buttons()) buttons.append(btn->text());
    boxes.append(QJsonObject{{QStringLiteral("text"), b->text()},
                             {QStringLiteral("title"), b->windowTitle()},
                             {QStringLiteral("buttons"), buttons}});
  }
  return {{QStringLiteral("ok"), true},
          {QStringLiteral("windows"), tops},
          {QStringLiteral("children"), subs},
          {QStringLiteral("boxes"), boxes}};
}

// ---- acting as the user: events through the application's normal delivery

void click(QWidget* target, QPoint pos) {
  QPointer<QWidget> w = target;
  const QPointF local(pos), scene(w->mapTo(w->window(), pos)), global(w->mapToGlobal(pos));
  QMouseEvent press(QEvent::MouseButtonPress, local, scene, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  if (!w) return;
  QMouseEvent release(QEvent::MouseButtonRelease, local, scene, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

void key(QWidget* target, int keyCode, const QString& text) {
  QPointer<QWidget> w = target;
  QKeyEvent press(QEvent::KeyPress, keyCode, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  if (!w) return;
  QKeyEvent release(QEvent::KeyRelease, keyCode, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
}

// The key of a typed character as the keyboard reports it (0 for Cyrillic letters).
int keyFor(QChar c) {
  const ushort u = c.toUpper().unicode();
  return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || u == ' ' ? u : 0;
}

// Runs an action from the event loop, answering just before it acts: the action
// may open a modal box whose loop keeps reading further commands.
template <class F>
void later(F f) {
  QMetaObject::invokeMethod(qApp, std::move(f), Qt::QueuedConnection);
}

// Clicks the centre of a rectangle of the widget, or says why not.
void clickAt(QWidget* w, const QRect& r) {
  if (r.isEmpty()) return reply(failure(QStringLiteral("not on screen")));
  reply(ok());
  click(w, r.center());
}

void handle(const QJsonObject& c) {
  const QString cmd = c.value(QStringLiteral("cmd")).toString();
  const QString path = c.value(QStringLiteral("path")).toString();
  const QString text = c.value(QStringLiteral("text")).toString();
  const auto none = [path] { reply(failure(QStringLiteral("no widget ") + path)); };

  if (cmd == QLatin1String("windows")) return reply(windows());
  if (cmd == QLatin1String("widget")) {
    QWidget* w = findWidget(path);
    return w ? reply(describe(w)) : none();
  }
  if (cmd == QLatin1String("grid")) {
    auto* g = qobject_cast<FlexGrid*>(findWidget(path));
    return g ? reply(gridState(g, c.value(QStringLiteral("count")).toInt(60))) : none();
  }
  if (cmd == QLatin1String("click"))
    return later([path, none] {
      QWidget* w = findWidget(path);
      if (!w || !w->isVisible()) return none();
      clickAt(w, w->rect());
    });
  if (cmd == QLatin1String("clickCell")) {
    const int row = c.value(QStringLiteral("row")).toInt(), col = c.value(QStringLiteral("col")).toInt();
    return later([path, row, col, none] {
      auto* g = qobject_cast<FlexGrid*>(findWidget(path));
      if (!g || row < 1 || row >= g->rows() || col < 0 || col >= g->cols()) return none();
      g->scrollTo(g->model()->index(row - 1, col));
      clickAt(g->viewport(), g->visualRect(g->model()->index(row - 1, col)));
    });
  }
  if (cmd == QLatin1String("menu")) {
    const QString name = c.value(QStringLiteral("name")).toString();
    return later([name] {
      auto* main = qobject_cast<QMainWindow*>(findTop(QStringLiteral("frm_main")));
      for (QAction* a : main ? main->menuBar()->actions() : QList<QAction*>())
        if (a->objectName() == name) return clickAt(main->menuBar(), main->menuBar()->actionGeometry(a));
      reply(failure(QStringLiteral("no menu command ") + name));
    });
  }
  if (cmd == QLatin1String("keys"))
    return later([path, text, none] {
      QPointer<QWidget> w = findWidget(path);
      if (!w) return none();
      reply(ok());
      for (const QChar ch : text)
        if (w) key(w, keyFor(ch), QString(ch));
    });
  if (cmd == QLatin1String("answer")) {
    const QString button = c.value(QStringLiteral("button")).toString();
    return later([button] {
      for (QMessageBox* b : visibleBoxes())
        for (QAbstractButton* btn : b->buttons())
          if (btn->text() == button) return clickAt(btn, btn->rect());
      reply(failure(QStringLiteral("no box with a button ") + button));
    });
  }
  if (cmd == QLatin1String("close"))
    return later([path, none] {
      QWidget* w = findWidget(path);
      if (!w) return none();
      reply(ok());
      w->window()->close();  // as the window's close button does: the window may refuse
    });
  reply(failure(QStringLiteral("unknown command ") + cmd));
}

// Commands come one a line on standard input. A thread of its own waits for
// them with a blocking read, which works alike on every system, and hands each
// line to the window thread in order. The read goes past the C streams: a
// stream read holds the input's lock while it waits, and the program's own
// end (which flushes every stream) would then wait for the next command.
void startStdinReader() {
  std::thread([] {
    std::string pending;
    char chunk[4096];
    int n = 0;
    while ((n = int(readStandardInput(chunk, sizeof chunk))) > 0) {
      pending.append(chunk, size_t(n));
      for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        const QByteArray bytes = QByteArray::fromStdString(pending.substr(0, end)).trimmed();
        QMetaObject::invokeMethod(
            qApp,
            [bytes] {
              QJsonParseError error;
              const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
              if (!bytes.isEmpty()) doc.isObject() ? handle(doc.object()) : reply(failure(error.errorString()));
            },
            Qt::QueuedConnection);
      }
    }
    // The test has gone: nobody is left to close the windows.
    std::fflush(nullptr);
    std::_Exit(n < 0 ? 1 : 0);
  }).detach();
}

}  // namespace

void StartTestDriverIfAsked() {
  if (qEnvironmentVariable("VARNOKEL_TEST_DRIVER") != QLatin1String("1")) return;
  startStdinReader();
  reply({{QStringLiteral("ok"), true}, {QStringLiteral("ready"), true}});
}
