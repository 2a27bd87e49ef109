#include "ProgressReporter.h"

#include <QLocale>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

const QLocale& russian() {
  static const QLocale locale(QLocale::Russian, QLocale::Russia);
  return locale;
}

QString duration(qint64 ms) {
  const qint64 s = (ms + 999) / 1000;
  return s >= 3600 ? QStringLiteral("%1:%2:%3")
                         .arg(s / 3600)
                         .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                         .arg(s % 60, 2, 10, QLatin1Char('0'))
                   : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

ProgressReporter::ProgressReporter(FILE* out, FILE* err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal) {}

ProgressReporter::~ProgressReporter() { clearLine(); }

bool ProgressReporter::isTerminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

void ProgressReporter::write(FILE* stream, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
  std::fflush(stream);
}

QString ProgressReporter::amount(qint64 value) const {
  if (m_unit == Unit::Items) return russian().toString(value);
  return russian().toString(double(value) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" МБ");
}

void ProgressReporter::begin(const QString& title, qint64 total, Unit unit) {
  clearLine();
  m_title = title;
  m_total = total;
  m_done = 0;
  m_unit = unit;
  m_lastTenth = 0;
  m_lastDraw = -1;
  m_clock.start();
  if (m_terminal)
    drawLine(0);
  else
    write(m_out, QStringLiteral("%1: всего %2\n").arg(title, amount(total)));
}

void ProgressReporter::update(qint64 done) {
  m_done = done;
  if (m_terminal) {
    // A few redraws a second are enough for the eye and cost nothing.
    if (m_lastDraw < 0 || m_clock.elapsed() - m_lastDraw >= 100) drawLine(done);
    return;
  }
  const int tenth = m_total > 0 ? int(done * 10 / m_total) : 0;
  if (tenth > m_lastTenth && tenth < 10) {
    m_lastTenth = tenth;
    write(m_out, QStringLiteral("%1: %2 из %3\n").arg(m_title, amount(done), amount(m_total)));
  }
}

void ProgressReporter::end() {
  if (m_terminal && m_lineShown) {
    drawLine(m_total);
    write(m_out, QStringLiteral("\n"));
    m_lineShown = false;
  } else if (!m_terminal) {
    write(m_out, QStringLiteral("%1: готово за %2\n").arg(m_title, duration(m_clock.elapsed())));
  }
  m_title.clear();
}

void ProgressReporter::drawLine(qint64 done) {
  constexpr int kBar = 24;
  const qint64 elapsed = m_clock.elapsed();
  m_lastDraw = elapsed;
  const int filled = m_total > 0 ? int(qMin<qint64>(done, m_total) * kBar / m_total) : 0;
  QString line = QStringLiteral("\r\x1b[K%1 [%2%3] %4 из %5")
                     .arg(m_title, QString(filled, QLatin1Char('#')), QString(kBar - filled, QLatin1Char('.')),
                          amount(done), amount(m_total));
  if (done > 0 && done < m_total && elapsed >= 500)
    line += QStringLiteral(", осталось %1").arg(duration(elapsed * (m_total - done) / done));
  write(m_out, line);
  m_lineShown = true;
}

void ProgressReporter::clearLine() {
  if (m_terminal && m_lineShown) {
    write(m_out, QStringLiteral("\r\x1b[K"));
    m_lineShown = false;
  }
}

void ProgressReporter::info(const QString& line) {
  clearLine();
  write(m_out, line + QLatin1Char('\n'));
  if (m_terminal && !m_title.isEmpty()) drawLine(m_done);
}

void ProgressReporter::warning(const QString& line) {
  clearLine();
  write(m_err, QStringLiteral("Предупреждение: ") + line + QLatin1Char('\n'));
  if (m_terminal && !m_title.isEmpty()) drawLine(m_done);
}

void ProgressReporter::error(const QString& line) {
  clearLine();
  write(m_err, QStringLiteral("Ошибка: ") + line + QLatin1Char('\n'));
}
