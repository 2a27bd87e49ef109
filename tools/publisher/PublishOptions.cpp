#include "PublishOptions.h"

#include "base/BuildServers.h"

#include <QFile>
#include <QRegularExpression>

namespace {

enum class Kind { Text, Number, Flag };

struct Option {
  const char* name;  // after the two dashes; also the key in the settings file
  Kind kind;
  QString PublishOptions::*text;
  int PublishOptions::*number;
  bool PublishOptions::*flag;
  const char* value;      // placeholder shown in the help
  const char* help;       // UTF-8
  const char* byDefault;  // taken before the settings file; servers only as the build was configured
  bool secret;            // the default is never shown
};

constexpr Option textOption(const char* name, QString PublishOptions::*m, const char* value, const char* help,
                            const char* byDefault = "", bool secret = false) {
  return {name, Kind::Text, m, nullptr, nullptr, value, help, byDefault, secret};
}
constexpr Option numberOption(const char* name, int PublishOptions::*m, const char* value, const char* help,
                              const char* byDefault) {
  return {name, Kind::Number, nullptr, m, nullptr, value, help, byDefault, false};
}
constexpr Option flagOption(const char* name, bool PublishOptions::*m, const char* help) {
  return {name, Kind::Flag, nullptr, nullptr, m, "", help, "", false};
}

const Option kOptions[] = {
    textOption("shop-host", &PublishOptions::shopHost, "СЕРВЕР", "сервер базы данных магазина", VARNOKEL_SHOP_HOST),
    numberOption("shop-port", &PublishOptions::shopPort, "ПОРТ", "порт базы данных магазина", VARNOKEL_SHOP_PORT),
    textOption("shop-database", &PublishOptions::shopDatabase, "ИМЯ", "база данных магазина", VARNOKEL_SHOP_DATABASE),
    textOption("shop-user", &PublishOptions::shopUser, "ИМЯ", "пользователь базы данных магазина", VARNOKEL_SHOP_USER),
    textOption("shop-password", &PublishOptions::shopPassword, "ПАРОЛЬ", "пароль базы данных магазина",
               VARNOKEL_SHOP_PASSWORD, true),
    textOption("table-prefix", &PublishOptions::tablePrefix, "ПРИСТАВКА", "приставка имён таблиц магазина",
               "uop5b_jshopping_"),
    textOption("pictures", &PublishOptions::pictureFolder, "ПАПКА", "папка картинок товаров магазина",
               "/var/www/html/components/com_jshopping/files/img_products"),
    textOption("thumb-name", &PublishOptions::thumbName, "ШАБЛОН",
               "имя файла миниатюры; {name} заменяется именем картинки", "thumb_{name}"),
    textOption("full-name", &PublishOptions::fullName, "ШАБЛОН", "имя файла полной картинки", "full_{name}"),
    flagOption("full-pictures", &PublishOptions::fullPictures,
               "записывать и полные картинки (программа заявок их не показывает, файл станет много больше)"),
    textOption("ftp-host", &PublishOptions::ftpHost, "СЕРВЕР[:ПОРТ]", "FTP-сервер рассылки", VARNOKEL_FTP_HOST),
    textOption("ftp-user", &PublishOptions::ftpUser, "ИМЯ", "пользователь FTP-сервера", VARNOKEL_FTP_USER),
    textOption("ftp-password", &PublishOptions::ftpPassword, "ПАРОЛЬ", "пароль FTP-сервера", VARNOKEL_FTP_PASSWORD,
               true),
    textOption("ftp-price-path", &PublishOptions::ftpPricePath, "ПУТЬ", "путь прайс-листа на FTP-сервере",
               "/varnokel.mdb"),
    textOption("ftp-program-path", &PublishOptions::ftpProgramPath, "ПУТЬ", "путь программы на FTP-сервере",
               "/Varnokel.exe"),
    textOption("curl", &PublishOptions::curl, "ПРОГРАММА", "программа curl, которой идёт выгрузка", "curl"),
    textOption("limit-rate", &PublishOptions::limitRate, "СКОРОСТЬ",
               "ограничить скорость выгрузки (как у curl: 500k, 2M)"),
    textOption("program", &PublishOptions::program, "ФАЙЛ", "выгрузить также новую версию программы"),
    flagOption("no-price", &PublishOptions::noPrice, "не собирать прайс-лист (только --program)"),
    textOption("output", &PublishOptions::output, "ФАЙЛ", "записать прайс-лист в файл, не выгружая на сервер"),
    flagOption("dry-run", &PublishOptions::dryRun, "только прочитать каталог и посчитать, ничего не записывая"),
};

const Option* findOption(const QString& name) {
  for (const Option& o : kOptions)
    if (name == QLatin1String(o.name)) return &o;
  return nullptr;
}

bool flagValue(const QString& text, bool* value) {
  const QString t = text.trimmed().toLower();
  if (t.isEmpty() || t == u"yes" || t == u"true" || t == u"1" || t == u"да") return *value = true, true;
  if (t == u"no" || t == u"false" || t == u"0" || t == u"нет") return *value = false, true;
  return false;
}

// Sets one option from its text; where says where the value came from, for the message.
bool applyValue(const Option& o, const QString& value, const QString& where, PublishOptions* options, QString* error) {
  switch (o.kind) {
    case Kind::Text:
      options->*(o.text) = value;
      return true;
    case Kind::Number: {
      bool ok = false;
      const int n = value.trimmed().toInt(&ok);
      if (ok && n > 0 && n < 65536) return options->*(o.number) = n, true;
      break;
    }
    case Kind::Flag: {
      bool on = false;
      if (flagValue(value, &on)) return options->*(o.flag) = on, true;
      break;
    }
  }
  *error = QStringLiteral("%1: недопустимое значение параметра %2: «%3»").arg(where, QLatin1String(o.name), value);
  return false;
}

bool applySettingsFile(const QString& path, PublishOptions* options, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("не удалось прочитать файл настроек %1: %2").arg(path, file.errorString());
    return false;
  }
  const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  for (int i = 0; i < lines.size(); ++i) {
    const QString line = lines.at(i).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';'))) continue;
    const QString where = QStringLiteral("%1, строка %2").arg(path).arg(i + 1);
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    const Option* o = findOption(line.left(eq).trimmed());
    if (eq < 0 || !o) {
      *error =
          QStringLiteral("%1: непонятная строка «%2» (нужно имя=значение, имена как у параметров)").arg(where, line);
      return false;
    }
    if (!applyValue(*o, line.mid(eq + 1).trimmed(), where, options, error)) return false;
  }
  return true;
}

bool isGiven(const PublishOptions& o, const Option& option) {
  return option.kind == Kind::Number ? o.*(option.number) > 0 : !(o.*(option.text)).trimmed().isEmpty();
}

// The servers and accounts this run needs: they have no defaults of their own,
// so a publisher nobody has configured says what is missing and touches nothing.
bool configured(const PublishOptions& o, QString* error) {
  const bool reads = !o.noPrice, uploads = !o.dryRun && o.output.isEmpty();
  for (const char* name : {"shop-host", "shop-port", "shop-database", "shop-user", "ftp-host", "ftp-user"}) {
    const Option& option = *findOption(QLatin1String(name));
    if ((name[0] == 's' ? reads : uploads) && !isGiven(o, option)) {
      *error = QStringLiteral(
                   "нужен параметр --%1 (%2): укажите его в командной строке или строкой «%1=…» в файле настроек "
                   "(--config)")
                   .arg(QLatin1String(name), QString::fromUtf8(option.help));
      return false;
    }
  }
  return true;
}

// Checks that hold whatever the values came from.
bool validate(const PublishOptions& o, QString* error) {
  static const QRegularExpression identifier(QStringLiteral("^[A-Za-z0-9_]*$"));
  if (!identifier.match(o.tablePrefix).hasMatch())
    *error = QStringLiteral("приставка имён таблиц может содержать только латинские буквы, цифры и «_»");
  else if (!o.thumbName.contains(QLatin1String("{name}")) || !o.fullName.contains(QLatin1String("{name}")))
    *error = QStringLiteral("шаблон имени файла картинки должен содержать {name}");
  else if (o.noPrice && o.program.isEmpty())
    *error = QStringLiteral("--no-price имеет смысл только вместе с --program");
  else if (!o.program.isEmpty() && !o.output.isEmpty())
    *error = QStringLiteral("--program выгружает программу на сервер, а с --output ничего не выгружается");
  else if (o.ftpPricePath.isEmpty() || o.ftpPricePath.endsWith(QLatin1Char('/')) || o.ftpProgramPath.isEmpty() ||
           o.ftpProgramPath.endsWith(QLatin1Char('/')))
    *error = QStringLiteral("путь на FTP-сервере должен заканчиваться именем файла");
  else
    return configured(o, error);
  return false;
}

}  // namespace

bool ParsePublishOptions(const QStringList& arguments, PublishOptions* options, QString* error) {
  // Split "--name=value" and "--name value" into pairs; the settings file comes first.
  struct Given {
    QString name, value;
    bool hasValue;
  };
  QList<Given> given;
  QString config;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& arg = arguments.at(i);
    if (!arg.startsWith(QLatin1String("--"))) {
      *error = QStringLiteral("лишний аргумент «%1»").arg(arg);
      return false;
    }
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    Given g{eq < 0 ? arg.mid(2) : arg.mid(2, eq - 2), eq < 0 ? QString() : arg.mid(eq + 1), eq >= 0};
    if (g.name == u"help" || g.name == u"version") {
      (g.name == u"help" ? options->help : options->version) = true;
      continue;
    }
    const Option* o = findOption(g.name);
    if (!o && g.name != u"config") {
      *error = QStringLiteral("неизвестный параметр --%1").arg(g.name);
      return false;
    }
    if (!g.hasValue && (!o || o->kind != Kind::Flag)) {
      if (i + 1 >= arguments.size()) {
        *error = QStringLiteral("для параметра --%1 не указано значение").arg(g.name);
        return false;
      }
      g.value = arguments.at(++i);
      g.hasValue = true;
    }
    if (g.name == u"config")
      config = g.value;
    else
      given.append(g);
  }
  if (options->help || options->version) return true;
  QString unusable;  // a build value that is no number leaves the option missing
  for (const Option& o : kOptions)
    if (*o.byDefault) applyValue(o, QString::fromUtf8(o.byDefault), QString(), options, &unusable);
  if (!config.isEmpty() && !applySettingsFile(config, options, error)) return false;
  for (const Given& g : given)
    if (!applyValue(*findOption(g.name), g.value, QStringLiteral("--") + g.name, options, error)) return false;
  for (const Option& o : kOptions)
    if (o.kind == Kind::Text && (options->*(o.text)).contains(QRegularExpression(QStringLiteral("[\\r\\n]")))) {
      *error = QStringLiteral("значение параметра %1 не может содержать перевод строки").arg(QLatin1String(o.name));
      return false;
    }
  return validate(*options, error);
}

QString PublishHelpText() {
  QString s = QStringLiteral(
      "Использование: varnokel-publish [ПАРАМЕТРЫ]\n"
      "Собирает прайс-лист (varnokel.mdb) из каталога интернет-магазина, проверяет его\n"
      "и выгружает на FTP-сервер рассылки под временным именем, а затем переименовывает,\n"
      "так что программа заявок никогда не скачает половину файла.\n"
      "Сервер базы данных магазина и FTP-сервер со своими учётными записями задаются\n"
      "параметрами или файлом настроек; без них ничего не читается и не выгружается.\n\n"
      "Параметры:\n"
      "  --config ФАЙЛ                файл настроек: строки имя=значение, имена как у параметров\n"
      "                               без «--»; параметры командной строки важнее файла\n");
  for (const Option& o : kOptions) {
    QString head = QStringLiteral("  --") + QLatin1String(o.name);
    if (o.kind != Kind::Flag) head += QLatin1Char(' ') + QString::fromUtf8(o.value);
    QString line = head.leftJustified(30) + QLatin1Char(' ') + QString::fromUtf8(o.help);
    QString byDefault = o.secret ? QString() : QString::fromUtf8(o.byDefault);
    if (!byDefault.isEmpty()) {
      byDefault = QStringLiteral("(по умолчанию %1)").arg(byDefault);
      line += line.size() + byDefault.size() < 100 ? QLatin1Char(' ') + byDefault
                                                   : QLatin1Char('\n') + QString(31, QLatin1Char(' ')) + byDefault;
    }
    s += line + QLatin1Char('\n');
  }
  s += QStringLiteral(
      "  --help                       эта справка\n"
      "  --version                    версия программы\n\n"
      "Коды завершения:\n"
      "  0  готово: прайс-лист опубликован (или записан по --output, или проверен по --dry-run)\n"
      "  1  ошибка в параметрах или в файле настроек, не задан нужный сервер или учётная запись\n"
      "  2  база данных магазина недоступна, не читается или в ней нет опубликованных товаров\n"
      "  3  нет папки картинок или файл картинки не читается\n"
      "  4  прайс-лист не записан или не прошёл проверку\n"
      "  5  выгрузка на FTP-сервер не удалась\n"
      "При любой ошибке файлы на сервере и файл --output остаются прежними.\n");
  return s;
}
