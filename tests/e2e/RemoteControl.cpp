#include "e2e/RemoteControl.h"

#include "gui/grid/FlexGrid.h"

#include <QtWidgets>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define read _read
#else
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

void reply(const QJsonObject& o) {
  const QByteArray line = "@@driver " + QJsonDocument(o).toJson(QJsonDocument::Compact) + "\n";
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  std::fflush(stdout);
}
QJsonObject ok() { return {{u"ok"_s, true}}; }
QJsonObject failure(const QString& why) { return {{u"ok"_s, false}, {u"error"_s, why}}; }

// Widgets by path ("frm_price/MSFlexGrid1"), a visible one first.
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
  const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
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

// Labels, line edits and buttons have a text.
QJsonObject describe(QWidget* w) {
  return {{u"ok"_s, true},
          {u"visible"_s, w->isVisible()},
          {u"enabled"_s, w->isEnabled()},
          {u"title"_s, w->windowTitle()},
          {u"text"_s, w->property("text").toString()}};
}

QJsonObject gridState(FlexGrid* g, int count) {
  QJsonArray cells;
  for (int r = 0; r < g->rows() && r < count; ++r) {
    QJsonArray row;
    for (int c = 0; c < g->cols(); ++c) row.append(g->textMatrix(r, c));
    cells.append(row);
  }
  return {{u"ok"_s, true}, {u"rows"_s, g->rows()}, {u"cells"_s, cells}};
}

QJsonObject windows() {
  QJsonArray tops, subs, boxes;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) tops.append(QJsonObject{{u"name"_s, w->objectName()}});
  if (auto* mdi = qobject_cast<QMdiArea*>(findTop(u"MDIClient"_s)))
    for (QMdiSubWindow* s : mdi->subWindowList())
      if (s->isVisible() && s->widget()) subs.append(QJsonObject{{u"name"_s, s->widget()->objectName()}});
  for (QMessageBox* b : visibleBoxes()) {
    QJsonArray buttons;
    for (QAbstractButton* btn : b->buttons()) buttons.append(btn->text());
    boxes.append(QJsonObject{{u"text"_s, b->text()}, {u"title"_s, b->windowTitle()}, {u"buttons"_s, buttons}});
  }
  return {{u"ok"_s, true}, {u"windows"_s, tops}, {u"children"_s, subs}, {u"boxes"_s, boxes}};
}

// Acting as the user: events through the normal delivery; no release to a widget the press closed.
void pressAndRelease(QWidget* target, QEvent&& press, QEvent&& release) {
  QPointer<QWidget> w = target;
  QApplication::sendEvent(w, &press);
  if (w) QApplication::sendEvent(w, &release);
}

void click(QWidget* w, QPoint pos) {
  const QPointF local(pos), scene(w->mapTo(w->window(), pos)), global(w->mapToGlobal(pos));
  pressAndRelease(
      w, QMouseEvent(QEvent::MouseButtonPress, local, scene, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier),
      QMouseEvent(QEvent::MouseButtonRelease, local, scene, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

void key(QWidget* w, int keyCode, const QString& text) {
  pressAndRelease(w, QKeyEvent(QEvent::KeyPress, keyCode, Qt::NoModifier, text),
                  QKeyEvent(QEvent::KeyRelease, keyCode, Qt::NoModifier, text));
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
  if (r.isEmpty()) return reply(failure(u"not on screen"_s));
  reply(ok());
  click(w, r.center());
}

void handle(const QJsonObject& c) {
  const QString cmd = c.value(u"cmd"_s).toString();
  const QString path = c.value(u"path"_s).toString();
  const QString text = c.value(u"text"_s).toString();
  const auto none = [path] { reply(failure(u"no widget "_s + path)); };

  if (cmd == u"windows") return reply(windows());
  if (cmd == u"widget") {
    QWidget* w = findWidget(path);
    return w ? reply(describe(w)) : none();
  }
  if (cmd == u"grid") {
    auto* g = qobject_cast<FlexGrid*>(findWidget(path));
    return g ? reply(gridState(g, c.value(u"count"_s).toInt(60))) : none();
  }
  if (cmd == u"click")
    return later([path, none] {
      QWidget* w = findWidget(path);
      if (!w || !w->isVisible()) return none();
      clickAt(w, w->rect());
    });
  if (cmd == u"clickCell") {
    const int row = c.value(u"row"_s).toInt(), col = c.value(u"col"_s).toInt();
    return later([path, row, col, none] {
      auto* g = qobject_cast<FlexGrid*>(findWidget(path));
      if (!g || row < 1 || row >= g->rows() || col < 0 || col >= g->cols()) return none();
      g->scrollTo(g->model()->index(row - 1, col));
      clickAt(g->viewport(), g->visualRect(g->model()->index(row - 1, col)));
    });
  }
  if (cmd == u"menu") {
    const QString name = c.value(u"name"_s).toString();
    return later([name] {
      auto* main = qobject_cast<QMainWindow*>(findTop(u"frm_main"_s));
      for (QAction* a : main ? main->menuBar()->actions() : QList<QAction*>())
        if (a->objectName() == name) return clickAt(main->menuBar(), main->menuBar()->actionGeometry(a));
      reply(failure(u"no menu command "_s + name));
    });
  }
  if (cmd == u"keys")
    return later([path, text, none] {
      QPointer<QWidget> w = findWidget(path);
      if (!w) return none();
      reply(ok());
      for (const QChar ch : text)
        if (w) key(w, keyFor(ch), QString(ch));
    });
  if (cmd == u"answer") {
    const QString button = c.value(u"button"_s).toString();
    return later([button] {
      for (QMessageBox* b : visibleBoxes())
        for (QAbstractButton* btn : b->buttons())
          if (btn->text() == button) return clickAt(btn, btn->rect());
      reply(failure(u"no box with a button "_s + button));
    });
  }
  if (cmd == u"close")
    return later([path, none] {
      QWidget* w = findWidget(path);
      if (!w) return none();
      reply(ok());
      w->window()->close();  // as the window's close button does: the window may refuse
    });
  reply(failure(u"unknown command "_s + cmd));
}

// A thread of its own reads the command lines and hands each to the window thread.
// The read goes past the C streams: a stream read holds the input's lock while it
// waits, and the program's end (which flushes every stream) would wait for it.
void startStdinReader() {
  std::thread([] {
    std::string pending;
    char chunk[4096];
    int n = 0;
    while ((n = int(read(0, chunk, sizeof chunk))) > 0) {
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
  if (qEnvironmentVariable("VARNOKEL_TEST_DRIVER") != u"1") return;
  startStdinReader();
  reply({{u"ok"_s, true}, {u"ready"_s, true}});
}
