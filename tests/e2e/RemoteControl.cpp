#include "e2e/RemoteControl.h"

#include "gui/grid/FlexGrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
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
#include <QMouseEvent>
#include <QPointer>
#include <QToolBar>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define readStandardInput(buffer, size) _read(0, buffer, size)
#else
#include <unistd.h>
#define readStandardInput(buffer, size) ::read(0, buffer, size)
#endif

namespace {

void reply(const QJsonObject& o) {
  const QByteArray line = "@@driver " + QJsonDocument(o).toJson(QJsonDocument::Compact) + "\n";
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  std::fflush(stdout);
}

QJsonObject failure(const QString& why) { return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}}; }

// ---- finding widgets ----

QWidget* findTop(const QString& name) {
  QWidget* hidden = nullptr;
  const auto all = QApplication::allWidgets();
  for (QWidget* w : all) {
    if (w->objectName() != name) continue;
    if (w->isVisible()) return w;
    if (!hidden) hidden = w;
  }
  return hidden;
}

QWidget* findWidget(const QString& path) {
  const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  if (parts.isEmpty()) return nullptr;
  QWidget* w = findTop(parts.first());
  for (int i = 1; w && i < parts.size(); ++i) {
    QWidget* visible = nullptr;
    QWidget* any = nullptr;
    for (QWidget* c : w->findChildren<QWidget*>(parts.at(i))) {
      if (!any) any = c;
      if (c->isVisible()) {
        visible = c;
        break;
      }
    }
    w = visible ? visible : any;
  }
  return w;
}

QList<QMessageBox*> visibleBoxes() {
  QList<QMessageBox*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) out << b;
  return out;
}

// ---- what the windows show ----

QJsonObject describe(QWidget* w) {
  QJsonObject o{{QStringLiteral("ok"), true},
                {QStringLiteral("class"), QString::fromLatin1(w->metaObject()->className())},
                {QStringLiteral("visible"), w->isVisible()},
                {QStringLiteral("enabled"), w->isEnabled()},
                {QStringLiteral("focus"), w->hasFocus()},
                {QStringLiteral("title"), w->windowTitle()},
                {QStringLiteral("width"), w->width()},
                {QStringLiteral("height"), w->height()}};
  QString text;
  if (auto* l = qobject_cast<QLabel*>(w))
    text = l->text();
  else if (auto* e = qobject_cast<QLineEdit*>(w))
    text = e->text();
  else if (auto* d = qobject_cast<QDateEdit*>(w))
    text = d->date().toString(Qt::ISODate);
  else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    text = b->text();
    o.insert(QStringLiteral("checked"), b->isChecked());
  }
  o.insert(QStringLiteral("text"), text);
  return o;
}

QJsonObject gridState(FlexGrid* g, int from, int count) {
  QJsonObject o{{QStringLiteral("ok"), true},
                {QStringLiteral("rows"), g->rows()},
                {QStringLiteral("cols"), g->cols()},
                {QStringLiteral("row"), g->row()},
                {QStringLiteral("col"), g->col()},
                {QStringLiteral("rowSel"), g->rowSel()},
                {QStringLiteral("enabled"), g->isEnabled()},
                {QStringLiteral("visible"), g->isVisible()}};
  QJsonArray cells;
  for (int r = from; r < g->rows() && r < from + count; ++r) {
    QJsonArray row;
    for (int c = 0; c < g->cols(); ++c) row.append(g->textMatrix(r, c));
    cells.append(row);
  }
  o.insert(QStringLiteral("cells"), cells);
  return o;
}

void addTreeItems(QTreeWidgetItem* item, int depth, QJsonArray* out) {
  out->append(QJsonObject{{QStringLiteral("text"), item->text(0)}, {QStringLiteral("depth"), depth}});
  for (int i = 0; i < item->childCount(); ++i) addTreeItems(item->child(i), depth + 1, out);
}

QJsonObject windows() {
  QJsonArray tops;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    tops.append(QJsonObject{{QStringLiteral("name"), w->objectName()},
                            {QStringLiteral("class"), QString::fromLatin1(w->metaObject()->className())},
                            {QStringLiteral("title"), w->windowTitle()},
                            {QStringLiteral("modal"), w->isModal()}});
  }
  QJsonArray subs, bar;
  if (auto* mdi = qobject_cast<QMdiArea*>(findTop(QStringLiteral("MDIClient")))) {
    for (QMdiSubWindow* s : mdi->subWindowList())
      if (s->isVisible() && s->widget())
        subs.append(QJsonObject{{QStringLiteral("name"), s->widget()->objectName()},
                                {QStringLiteral("title"), s->windowTitle()},
                                {QStringLiteral("active"), mdi->activeSubWindow() == s}});
  }
  if (auto* tb = qobject_cast<QToolBar*>(findTop(QStringLiteral("Toolbar1"))))
    for (QAction* a : tb->actions()) bar.append(a->text());
  QJsonArray boxes;
  for (QMessageBox* b : visibleBoxes()) {
    QJsonArray buttons;
    for (QAbstractButton* btn : b->buttons()) buttons.append(btn->text());
    boxes.append(QJsonObject{{QStringLiteral("text"), b->text()},
                             {QStringLiteral("title"), b->windowTitle()},
                             {QStringLiteral("icon"), int(b->icon())},
                             {QStringLiteral("buttons"), buttons}});
  }
  return {{QStringLiteral("ok"), true},
          {QStringLiteral("windows"), tops},
          {QStringLiteral("children"), subs},
          {QStringLiteral("bar"), bar},
          {QStringLiteral("boxes"), boxes}};
}

// ---- acting as the user ----

void click(QWidget* target, QPoint pos) {
  QPointer<QWidget> w = target;
  const QPointF local(pos);
  const QPointF scene(w->mapTo(w->window(), pos));
  const QPointF global(w->mapToGlobal(pos));
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

int keyFor(QChar c) {
  const ushort u = c.toUpper().unicode();
  if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || u == ' ') return u;
  return 0;
}

int namedKey(const QString& name) {
  static const QHash<QString, int> keys{
      {QStringLiteral("Return"), Qt::Key_Return}, {QStringLiteral("Enter"), Qt::Key_Enter},
      {QStringLiteral("Escape"), Qt::Key_Escape}, {QStringLiteral("Backspace"), Qt::Key_Backspace},
      {QStringLiteral("Tab"), Qt::Key_Tab},       {QStringLiteral("Up"), Qt::Key_Up},
      {QStringLiteral("Down"), Qt::Key_Down},     {QStringLiteral("Left"), Qt::Key_Left},
      {QStringLiteral("Right"), Qt::Key_Right}};
  return keys.value(name, 0);
}

QString namedKeyText(int k) {
  switch (k) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return QStringLiteral("\r");
    case Qt::Key_Escape:
      return QString(QChar(27));
    case Qt::Key_Backspace:
      return QString(QChar(8));
    case Qt::Key_Tab:
      return QStringLiteral("\t");
    default:
      return QString();
  }
}

// Runs an action from the event loop, after the answer has gone out: the action
// may open a modal box whose loop keeps reading further commands.
template <class F>
void later(F f) {
  QMetaObject::invokeMethod(qApp, std::move(f), Qt::QueuedConnection);
}

void handle(const QJsonObject& c) {
  const QString cmd = c.value(QStringLiteral("cmd")).toString();
  const QString path = c.value(QStringLiteral("path")).toString();

  if (cmd == QLatin1String("ping")) return reply({{QStringLiteral("ok"), true}});
  if (cmd == QLatin1String("windows")) return reply(windows());
  if (cmd == QLatin1String("widget")) {
    QWidget* w = findWidget(path);
    return reply(w ? describe(w) : failure(QStringLiteral("no widget ") + path));
  }
  if (cmd == QLatin1String("grid")) {
    auto* g = qobject_cast<FlexGrid*>(findWidget(path));
    if (!g) return reply(failure(QStringLiteral("no grid ") + path));
    return reply(gridState(g, c.value(QStringLiteral("from")).toInt(0), c.value(QStringLiteral("count")).toInt(60)));
  }
  if (cmd == QLatin1String("tree")) {
    auto* t = qobject_cast<QTreeWidget*>(findWidget(path));
    if (!t) return reply(failure(QStringLiteral("no tree ") + path));
    QJsonArray items;
    for (int i = 0; i < t->topLevelItemCount(); ++i) addTreeItems(t->topLevelItem(i), 0, &items);
    return reply({{QStringLiteral("ok"), true},
                  {QStringLiteral("items"), items},
                  {QStringLiteral("current"), t->currentItem() ? t->currentItem()->text(0) : QString()}});
  }

  // The actions below answer from the event loop just before they act; see later().
  if (cmd == QLatin1String("click")) {
    later([path] {
      QWidget* w = findWidget(path);
      if (!w) return reply(failure(QStringLiteral("no widget ") + path));
      if (!w->isVisible()) return reply(failure(QStringLiteral("not visible ") + path));
      reply({{QStringLiteral("ok"), true}});
      click(w, w->rect().center());
    });
    return;
  }
  if (cmd == QLatin1String("clickCell")) {
    const int row = c.value(QStringLiteral("row")).toInt();
    const int col = c.value(QStringLiteral("col")).toInt();
    later([path, row, col] {
      auto* g = qobject_cast<FlexGrid*>(findWidget(path));
      if (!g) return reply(failure(QStringLiteral("no grid ") + path));
      if (row < 1 || row >= g->rows() || col < 0 || col >= g->cols()) return reply(failure(QStringLiteral("no cell")));
      const QModelIndex index = g->model()->index(row - 1, col);
      g->scrollTo(index);
      const QRect r = g->visualRect(index);
      if (r.isEmpty()) return reply(failure(QStringLiteral("cell not on screen")));
      reply({{QStringLiteral("ok"), true}});
      click(g->viewport(), r.center());
    });
    return;
  }
  if (cmd == QLatin1String("clickItem")) {
    const QString text = c.value(QStringLiteral("text")).toString();
    later([path, text] {
      auto* t = qobject_cast<QTreeWidget*>(findWidget(path));
      if (!t) return reply(failure(QStringLiteral("no tree ") + path));
      const auto found = t->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
      if (found.isEmpty()) return reply(failure(QStringLiteral("no item ") + text));
      t->scrollToItem(found.first());
      const QRect r = t->visualItemRect(found.first());
      if (r.isEmpty()) return reply(failure(QStringLiteral("item not on screen")));
      reply({{QStringLiteral("ok"), true}});
      click(t->viewport(), r.center());
    });
    return;
  }
  if (cmd == QLatin1String("menu")) {
    const QString name = c.value(QStringLiteral("name")).toString();
    later([name] {
      auto* main = qobject_cast<QMainWindow*>(findTop(QStringLiteral("frm_main")));
      QMenuBar* bar = main ? main->menuBar() : nullptr;
      QAction* action = nullptr;
      if (bar)
        for (QAction* a : bar->actions())
          if (a->objectName() == name) action = a;
      if (!action) return reply(failure(QStringLiteral("no menu command ") + name));
      const QRect r = bar->actionGeometry(action);
      if (r.isEmpty()) return reply(failure(QStringLiteral("menu command not on screen")));
      reply({{QStringLiteral("ok"), true}});
      click(bar, r.center());
    });
    return;
  }
  if (cmd == QLatin1String("keys")) {
    const QString text = c.value(QStringLiteral("text")).toString();
    const QString named = c.value(QStringLiteral("key")).toString();
    later([path, text, named] {
      QWidget* w = path.isEmpty() ? QApplication::focusWidget() : findWidget(path);
      if (!w) return reply(failure(QStringLiteral("no widget ") + path));
      const int k = named.isEmpty() ? 0 : namedKey(named);
      if (!named.isEmpty() && !k) return reply(failure(QStringLiteral("unknown key ") + named));
      reply({{QStringLiteral("ok"), true}});
      QPointer<QWidget> target = w;
      if (k) return key(w, k, namedKeyText(k));
      for (const QChar ch : text) {
        if (!target) break;
        key(target, keyFor(ch), QString(ch));
      }
    });
    return;
  }
  if (cmd == QLatin1String("answer")) {
    const QString button = c.value(QStringLiteral("button")).toString();
    later([button] {
      for (QMessageBox* b : visibleBoxes())
        for (QAbstractButton* btn : b->buttons())
          if (btn->text() == button) {
            reply({{QStringLiteral("ok"), true}, {QStringLiteral("text"), b->text()}});
            click(btn, btn->rect().center());
            return;
          }
      reply(failure(QStringLiteral("no box with a button ") + button));
    });
    return;
  }
  if (cmd == QLatin1String("close")) {
    later([path] {
      QWidget* w = findWidget(path);
      if (!w) return reply(failure(QStringLiteral("no widget ") + path));
      reply({{QStringLiteral("ok"), true}});
      // As the window's close button does: a close event, which the window may refuse.
      w->window()->close();
    });
    return;
  }
  reply(failure(QStringLiteral("unknown command ") + cmd));
}

void handleLine(const QByteArray& text) {
  const QByteArray line = text.trimmed();
  if (line.isEmpty()) return;
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
  if (!doc.isObject()) return reply(failure(QStringLiteral("bad command: ") + error.errorString()));
  handle(doc.object());
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
        const QByteArray bytes = QByteArray::fromStdString(pending.substr(0, end));
        QMetaObject::invokeMethod(
            qApp, [bytes] { handleLine(bytes); }, Qt::QueuedConnection);
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
