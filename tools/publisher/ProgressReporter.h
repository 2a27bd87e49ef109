// What the publisher tells the person or the log watching it. On a terminal the
// current stage is one line that updates in place, with counts and the time
// left; otherwise (cron, a pipe, a log file) plain lines, one per tenth of a stage.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

class ProgressReporter {
 public:
  enum class Unit { Items, Bytes };

  // Progress and results go to out, warnings and errors to err.
  ProgressReporter(FILE* out, FILE* err, bool terminal);
  ~ProgressReporter();

  void begin(const QString& title, qint64 total, Unit unit = Unit::Items);
  void update(qint64 done);
  void end();

  void info(const QString& line);
  void warning(const QString& line);
  void error(const QString& line);

  // Whether out is a terminal (the updating line is used).
  static bool isTerminal(FILE* stream);

 private:
  QString amount(qint64 value) const;
  void drawLine(qint64 done);
  void clearLine();
  static void write(FILE* stream, const QString& text);

  FILE* m_out;
  FILE* m_err;
  bool m_terminal;
  bool m_lineShown = false;
  QString m_title;
  qint64 m_total = 0;
  qint64 m_done = 0;
  Unit m_unit = Unit::Items;
  int m_lastTenth = 0;
  qint64 m_lastDraw = -1;
  QElapsedTimer m_clock;
};
