#pragma once
// A program started with its remote control on (e2e/RemoteControl.h).
#include <QtTest>

#include <functional>

namespace driver {
using namespace Qt::StringLiterals;

inline QJsonObject cmd(const QString& name, QJsonObject args = {}) {
  args.insert(u"cmd"_s, name);
  return args;
}
// A command on the widget at path ("window/child").
inline QJsonObject at(const QString& name, const QString& path, QJsonObject args = {}) {
  args.insert(u"path"_s, path);
  return cmd(name, args);
}
inline QJsonObject widget(const QString& path) { return at(u"widget"_s, path); }
inline QJsonObject grid(const QString& path, int count = 200) { return at(u"grid"_s, path, {{"count", count}}); }
inline QJsonObject click(const QString& path) { return at(u"click"_s, path); }
inline QJsonObject clickCell(const QString& path, int row, int col) {
  return at(u"clickCell"_s, path, {{"row", row}, {"col", col}});
}
inline QJsonObject keys(const QString& path, const QString& typed) { return at(u"keys"_s, path, {{"text", typed}}); }
inline QJsonObject answer(const QString& button) { return cmd(u"answer"_s, {{"button", button}}); }
inline QJsonObject menu(const QString& name) { return cmd(u"menu"_s, {{"name", name}}); }
inline QJsonObject windows() { return cmd(u"windows"_s); }

inline QString cell(const QJsonObject& g, int row, int col) {
  return g.value(u"cells"_s).toArray().at(row).toArray().at(col).toString();
}
inline int rows(const QJsonObject& g) { return g.value(u"rows"_s).toInt(); }
inline QString text(const QJsonObject& w) { return w.value(u"text"_s).toString(); }
inline bool enabled(const QJsonObject& w) { return w.value(u"enabled"_s).toBool(); }
// The first visible message box, or an empty object.
inline QJsonObject box(const QJsonObject& ws) { return ws.value(u"boxes"_s).toArray().at(0).toObject(); }
inline QString firstButton(const QJsonObject& ws) { return box(ws).value(u"buttons"_s).toArray().at(0).toString(); }
inline bool hasWindow(const QJsonObject& ws, const QString& name) {
  for (const char* list : {"windows", "children"})
    for (const auto& v : ws.value(QLatin1String(list)).toArray())
      if (v.toObject().value(u"name"_s).toString() == name) return true;
  return false;
}
inline const QString kPriceGrid = u"frm_price/MSFlexGrid1"_s;

}  // namespace driver

class DrivenProgram {
 public:
  explicit DrivenProgram(int stepTimeoutMs = 30000) : stepTimeoutMs_(stepTimeoutMs) {}
  ~DrivenProgram() { kill(); }

  bool start(const QString& program, const QStringList& args, QProcessEnvironment env, QString* error) {
    env.insert(QStringLiteral("VARNOKEL_TEST_DRIVER"), QStringLiteral("1"));
    proc_.setProcessEnvironment(env);
    proc_.start(program, args);
    const bool ready = proc_.waitForStarted(10000) && nextReply().value(QStringLiteral("ready")).toBool();
    if (!ready && error) *error = proc_.errorString() + QStringLiteral("; stderr: ") + proc_.readAllStandardError();
    return ready;
  }
  // The driven program on a program folder of the test's own.
  bool startIn(const QString& home, QString* error = nullptr) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VARNOKEL_HOME"), home);
    return start(QStringLiteral(VARNOKEL_E2E_EXE), {}, env, error);
  }

  QJsonObject send(const QJsonObject& command) {
    proc_.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    proc_.waitForBytesWritten(5000);
    return last_ = nextReply();
  }
  bool act(const QJsonObject& command) { return send(command).value(QStringLiteral("ok")).toBool(); }

  // Asks until the answer satisfies the condition or the time is up.
  bool until(const QJsonObject& command, const std::function<bool(const QJsonObject&)>& condition) {
    for (QDeadlineTimer deadline(stepTimeoutMs_);; QThread::msleep(20)) {
      if (act(command) && condition(last_)) return true;
      if (deadline.hasExpired() || proc_.state() == QProcess::NotRunning) return false;
    }
  }
  QString lastAnswer() const { return QString::fromUtf8(QJsonDocument(last_).toJson(QJsonDocument::Compact)); }

  // Whatever the program says before the window shows is acknowledged, as a user would.
  bool settle(const QString& window) {
    const auto settled = [&](const QJsonObject& w) {
      return driver::hasWindow(w, window) || !driver::box(w).isEmpty();
    };
    while (until(driver::windows(), settled)) {
      if (driver::box(last_).isEmpty()) return true;
      if (!act(driver::answer(driver::firstButton(last_)))) return false;
    }
    return false;
  }
  bool typeOnRow(int row, const QString& keys) {
    return act(driver::clickCell(driver::kPriceGrid, row, 2)) && act(driver::keys(driver::kPriceGrid, keys));
  }
  // The order view, then "Отправить заказ" once it can be clicked.
  bool sendOrder() {
    return act(driver::click(QStringLiteral("frm_price/Command1"))) &&
           until(driver::widget(QStringLiteral("frm_price/Command4")), driver::enabled) &&
           act(driver::click(QStringLiteral("frm_price/Command4")));
  }
  bool close() {
    int code = -2;
    return act(driver::at(QStringLiteral("close"), QStringLiteral("frm_main"))) && waitForExit(&code) && code == 0;
  }

  // Ends the program at once, as a power cut or the task manager would.
  void kill() {
    if (proc_.state() != QProcess::NotRunning) proc_.kill(), proc_.waitForFinished(5000);
  }

  bool waitForExit(int* code) {
    if (!proc_.waitForFinished(stepTimeoutMs_)) return false;
    *code = proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    return true;
  }

 private:
  QJsonObject nextReply() {
    for (QDeadlineTimer deadline(stepTimeoutMs_);; proc_.waitForReadyRead(100)) {
      while (proc_.canReadLine()) {
        const QByteArray line = proc_.readLine().trimmed();
        if (line.startsWith("@@driver ")) return QJsonDocument::fromJson(line.mid(9)).object();
      }
      if (deadline.hasExpired() || proc_.state() == QProcess::NotRunning)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("no answer")}};
    }
  }

  int stepTimeoutMs_;
  QProcess proc_;
  QJsonObject last_;
};

// Waits until the program's answer to the command satisfies the condition.
#define STEP(program, command, ...) \
  QVERIFY2((program).until((command), __VA_ARGS__), qPrintable("waited in vain: " + (program).lastAnswer()))
// Acts (or runs a helper), and fails when the program refuses.
#define ACT(program, command) QVERIFY2((program).act(command), qPrintable("refused: " + (program).lastAnswer()))
#define DO(program, step) QVERIFY2((program).step, qPrintable(#step ": " + (program).lastAnswer()))
