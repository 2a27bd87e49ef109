#include "update/UpdateFailure.h"

#include "base/ProgramFolder.h"
#include "update/UpdateScripts.h"

#include <QFile>
#include <QStringList>

namespace {

// curl's exit codes, grouped by what the user can do about them.
QString describeDownload(int code) {
  switch (code) {
    case 5:
    case 6:
    case 7:
      return QStringLiteral(
          "Сервер обновлений недоступен: нет подключения к интернету или сервер не отвечает "
          "по адресу из настроек.");
    case 28:
      return QStringLiteral(
          "Сервер обновлений не отвечает или передача идёт слишком медленно "
          "(меньше 1 КБ/с), загрузка прервана.");
    case 67:
      return QStringLiteral("Неверное имя пользователя или пароль для сервера обновлений.");
    case 9:
    case 19:
    case 78:
      return QStringLiteral("Файл не найден на сервере обновлений.");
    case 8:
    case 13:
    case 14:
    case 18:
    case 52:
    case 55:
    case 56:
      return QStringLiteral("Соединение с сервером обновлений прервано, файл загружен не полностью.");
    case 23:
      return QStringLiteral(
          "Не удалось записать загруженный файл: нет места на диске или нет прав на запись в "
          "папку программы.");
    case 9009:
      return QStringLiteral("Не найдена программа загрузки curl.exe.");
    default:
      return QStringLiteral("Ошибка загрузки (код curl %1).").arg(code);
  }
}

}  // namespace

QString DescribeUpdateFailure(const QString& reason) {
  const QStringList parts = reason.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  const QString step = parts.value(0);
  if (step == QLatin1String("download")) return describeDownload(parts.value(1).toInt());
  if (step == QLatin1String("check"))
    return QStringLiteral("Загруженный файл повреждён или не является прайс-листом; прежний прайс-лист сохранён.");
  if (step == QLatin1String("program"))
    return QStringLiteral(
        "Загруженный файл программы повреждён или не является программой заявок Варнокел; "
        "программа не изменена.");
  if (step == QLatin1String("replace"))
    return QStringLiteral(
        "Не удалось заменить файл: он занят другой программой или папка программы недоступна "
        "для записи.");
  if (step == QLatin1String("running"))
    return QStringLiteral("Прежняя программа не завершилась вовремя; программа не изменена.");
  if (step == QLatin1String("copy"))
    return QStringLiteral(
        "Не удалось записать новую программу в папку программы: нет прав на запись или нет места "
        "на диске; программа не изменена.");
  return {};
}

QString WithUpdateFailureReason(const QString& message) {
  QFile file(ProgramFile(UpdateReasonFileName()));
  if (!file.open(QIODevice::ReadOnly)) return message;
  const QString reason = DescribeUpdateFailure(QString::fromLatin1(file.read(200)));
  file.close();
  file.remove();
  return reason.isEmpty() ? message : message + QChar('\r') + reason;
}
