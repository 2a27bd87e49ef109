#pragma once
// A program started with its remote control on (VARNOKEL_TEST_DRIVER=1): one
// JSON command a line on its standard input, one "@@driver {json}" answer line
// on its output. Used by the end-to-end test and by the Windows program under wine.
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <functional>

class DrivenProgram {
 public:
  explicit DrivenProgram(int stepTimeoutMs = 30000) : stepTimeoutMs_(stepTimeoutMs) {}
  ~DrivenProgram() {
    if (proc_.state() != QProcess::NotRunning) {
      proc_.kill();
      proc_.waitForFinished(5000);
    }
  }

  bool start(const QString& program, const QStringList& args, QProcessEnvironment env, QString* error) {
    env.insert(QStringLiteral("VARNOKEL_TEST_DRIVER"), QStringLiteral("1"));
    proc_.setProcessEnvironment(env);
    proc_.start(program, args);
    if (!proc_.waitForStarted(10000)) {
      *error = proc_.errorString();
      return false;
    }
    if (!nextReply().value(QStringLiteral("ready")).toBool()) {
      *error = QStringLiteral("no ready line; stderr: ") + QString::fromLocal8Bit(proc_.readAllStandardError());
      return false;
    }
    return true;
  }

  // One command, its one answer.
  QJsonObject send(const QJsonObject& command) {
    proc_.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    proc_.waitForBytesWritten(5000);
    return nextReply();
  }

  // Asks until the answer satisfies the condition or the time is up; returns the last answer.
  QJsonObject waitFor(const QJsonObject& command, const std::function<bool(const QJsonObject&)>& condition, bool* met) {
    QDeadlineTimer deadline(stepTimeoutMs_);
    while (true) {
      const QJsonObject last = send(command);
      *met = last.value(QStringLiteral("ok")).toBool() && condition(last);
      if (*met || deadline.hasExpired() || proc_.state() == QProcess::NotRunning) return last;
      QThread::msleep(20);
    }
  }

  // Ends the program at once, as a power cut or the task manager would.
  void kill() {
    proc_.kill();
    proc_.waitForFinished();
  }

  bool waitForExit(int* code) {
    if (!proc_.waitForFinished(stepTimeoutMs_)) return false;
    *code = proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    return true;
  }

 private:
  QJsonObject nextReply() {
    QDeadlineTimer deadline(stepTimeoutMs_);
    while (true) {
      while (proc_.canReadLine()) {
        const QByteArray line = proc_.readLine().trimmed();
        if (line.startsWith("@@driver ")) return QJsonDocument::fromJson(line.mid(9)).object();
      }
      if (deadline.hasExpired() || proc_.state() == QProcess::NotRunning)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("no answer")}};
      proc_.waitForReadyRead(100);
    }
  }

  int stepTimeoutMs_;
  QProcess proc_;
};

// Commands and what their answers hold.
namespace driver {

inline QJsonObject cmd(const QString& name, QJsonObject args = {}) {
  args.insert(QStringLiteral("cmd"), name);
  return args;
}
// A command on the widget at path ("window/child").
inline QJsonObject at(const QString& name, const QString& path, QJsonObject args = {}) {
  args.insert(QStringLiteral("path"), path);
  return cmd(name, args);
}
inline QJsonObject widget(const QString& path) { return at(QStringLiteral("widget"), path); }
inline QJsonObject grid(const QString& path, int count = 200) {
  return at(QStringLiteral("grid"), path, {{QStringLiteral("count"), count}});
}
inline QJsonObject click(const QString& path) { return at(QStringLiteral("click"), path); }
inline QJsonObject clickCell(const QString& path, int row, int col) {
  return at(QStringLiteral("clickCell"), path, {{QStringLiteral("row"), row}, {QStringLiteral("col"), col}});
}
inline QJsonObject keys(const QString& path, const QString& typed) {
  return at(QStringLiteral("keys"), path, {{QStringLiteral("text"), typed}});
}
inline QJsonObject answer(const QString& button) {
  return cmd(QStringLiteral("answer"), {{QStringLiteral("button"), button}});
}
inline QJsonObject windows() { return cmd(QStringLiteral("windows")); }

inline QString cell(const QJsonObject& g, int row, int col) {
  return g.value(QStringLiteral("cells")).toArray().at(row).toArray().at(col).toString();
}
inline int rows(const QJsonObject& g) { return g.value(QStringLiteral("rows")).toInt(); }
inline QString text(const QJsonObject& w) { return w.value(QStringLiteral("text")).toString(); }
// The first visible message box, or an empty object.
inline QJsonObject box(const QJsonObject& ws) { return ws.value(QStringLiteral("boxes")).toArray().at(0).toObject(); }
inline bool hasWindow(const QJsonObject& ws, const QString& name) {
  for (const char* list : {"windows", "children"})
    for (const auto& v : ws.value(QLatin1String(list)).toArray())
      if (v.toObject().value(QStringLiteral("name")).toString() == name) return true;
  return false;
}
inline QString dump(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

}  // namespace driver

#define STEP(program, command, ...)                                                                      \
  do {                                                                                                   \
    bool met_ = false;                                                                                   \
    const QJsonObject last_ = (program).waitFor((command), __VA_ARGS__, &met_);                          \
    if (!met_) QFAIL(qPrintable(QStringLiteral("waited in vain; last answer: ") + driver::dump(last_))); \
  } while (0)

#define ACT(program, command)                                                   \
  do {                                                                          \
    const QJsonObject r_ = (program).send(command);                             \
    if (!r_.value(QStringLiteral("ok")).toBool())                               \
      QFAIL(qPrintable(QStringLiteral("action refused: ") + driver::dump(r_))); \
  } while (0)
