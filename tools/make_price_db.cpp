// make_price_db: writes a demo price database (varnokel.mdb) with categories,
// products and small product pictures, the way the shop's export produces it.
//
//   make_price_db OUTPUT [--products N] [--categories M] [--seed S] [--no-images]
//
// The content depends only on the arguments: the same seed gives the same rows.
// Random numbers come from std::mt19937 reduced by plain modulo (the standard
// distributions differ between library implementations).

#include "price_schema.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QString>
#include <QStringList>
#include <QVector>

#include <sqlite3.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

class Rng {
 public:
  explicit Rng(quint32 seed) : m_gen(seed) {}
  // 0 .. n-1
  quint32 below(quint32 n) { return n ? m_gen() % n : 0; }
  bool chance(int percent) { return below(100) < quint32(percent); }
  const char* pick(const std::vector<const char*>& v) { return v[below(quint32(v.size()))]; }

 private:
  std::mt19937 m_gen;
};

struct Theme {
  const char* category;
  std::vector<const char*> nouns;
  std::vector<const char*> qualifiers;
  std::vector<const char*> brands;
  std::vector<const char*> sizes;
};

const std::vector<Theme>& themes() {
  static const std::vector<Theme> list = {
      {"Чай и кофе",
       {"Чай чёрный", "Чай зелёный", "Кофе молотый", "Кофе в зёрнах", "Кофе растворимый", "Какао-порошок",
        "Чай травяной", "Цикорий растворимый"},
       {"листовой", "пакетированный", "крупнолистовой", "с бергамотом", "байховый", "арабика", "с жасмином",
        "сублимированный"},
       {"Ахмад", "Гринфилд", "Майский", "Jacobs", "Lavazza", "Принцесса Нури", "Жокей", "Tess"},
       {"100 г", "200 г", "250 г", "500 г", "25 пак.", "100 пак.", "95 г"}},
      {"Бытовая химия",
       {"Средство для мытья посуды", "Порошок стиральный", "Гель для стирки", "Чистящее средство", "Отбеливатель",
        "Средство для стёкол", "Кондиционер для белья"},
       {"лимон", "автомат", "универсальный", "для цветного белья", "с антибактериальным эффектом", "горная свежесть"},
       {"Фея", "Миф", "Ариэль", "Белизна", "Comet", "Пемолюкс", "Ушастый нянь"},
       {"500 мл", "1 л", "3 кг", "450 г", "750 мл", "5 л"}},
      {"Канцтовары",
       {"Ручка шариковая", "Тетрадь", "Карандаш чернографитный", "Блокнот", "Папка-скоросшиватель", "Степлер",
        "Скрепки", "Маркер текстовыделитель", "Клей-карандаш"},
       {"синяя", "48 листов клетка", "HB", "А5", "пластиковая", "№10", "в линейку", "жёлтый"},
       {"Erich Krause", "Brauberg", "Хатбер", "Attache", "Стамм", "Berlingo"},
       {"1 шт.", "12 шт.", "упак. 10 шт.", "24 шт.", "36 г"}},
      {"Посуда",
       {"Кружка керамическая", "Тарелка фарфоровая", "Кастрюля эмалированная", "Сковорода антипригарная",
        "Стакан стеклянный", "Набор ложек", "Чайник заварочный", "Ковш"},
       {"белая", "с рисунком", "28 см", "с крышкой", "гранёный", "с ручкой", "нержавеющая сталь"},
       {"Луминарк", "Tefal", "Катюша", "Pasabahce", "Appetite", "Лысьва"},
       {"300 мл", "2 л", "6 шт.", "250 мл", "1,5 л", "3 шт."}},
      {"Кондитерские изделия",
       {"Печенье", "Конфеты шоколадные", "Вафли", "Пряники", "Зефир", "Мармелад", "Карамель", "Шоколад молочный"},
       {"сахарное", "ассорти", "с начинкой", "ванильный", "жевательный", "с орехами", "глазированные"},
       {"Юбилейное", "Коркунов", "Красный Октябрь", "Шоколадница", "Бабаевский", "Alpen Gold"},
       {"150 г", "200 г", "1 кг", "250 г", "90 г", "500 г"}},
      {"Бакалея",
       {"Крупа гречневая", "Рис длиннозёрный", "Макароны", "Мука пшеничная", "Сахар-песок", "Соль поваренная",
        "Хлопья овсяные", "Пшено шлифованное"},
       {"ядрица", "пропаренный", "спагетти", "высший сорт", "йодированная", "Геркулес", "рожки"},
       {"Мистраль", "Увелка", "Макфа", "Barilla", "Националь", "Русский продукт"},
       {"900 г", "800 г", "1 кг", "450 г", "2 кг", "5 кг"}},
      {"Консервы",
       {"Горошек зелёный", "Кукуруза сладкая", "Тушёнка говяжья", "Сайра натуральная", "Фасоль красная",
        "Шпроты в масле", "Икра кабачковая"},
       {"мозговых сортов", "высший сорт", "ГОСТ", "с добавлением масла", "в томатном соусе"},
       {"Бондюэль", "Глобус", "Главпродукт", "Доброфлот", "Скатерть-самобранка"},
       {"400 г", "340 г", "250 г", "160 г", "480 г"}},
      {"Напитки",
       {"Вода минеральная", "Сок яблочный", "Лимонад", "Морс клюквенный", "Квас хлебный", "Нектар персиковый"},
       {"газированная", "негазированная", "осветлённый", "Тархун", "Дюшес", "без сахара"},
       {"Ессентуки", "Добрый", "Черноголовка", "Очаковский", "J7", "Боржоми"},
       {"0,5 л", "1 л", "1,5 л", "2 л", "0,33 л"}},
      {"Гигиена",
       {"Мыло туалетное", "Шампунь", "Зубная паста", "Гель для душа", "Бумага туалетная", "Крем для рук"},
       {"детское", "для всех типов волос", "отбеливающая", "ромашка", "двухслойная", "увлажняющий"},
       {"Невская косметика", "Чистая линия", "Colgate", "Palmolive", "Zewa", "Бархатные ручки"},
       {"90 г", "400 мл", "100 мл", "250 мл", "4 рулона", "75 мл"}},
      {"Хозтовары",
       {"Губка для посуды", "Мешки для мусора", "Перчатки хозяйственные", "Салфетки универсальные", "Тряпка для пола",
        "Веник сорго", "Прищепки бельевые"},
       {"поролоновая", "с завязками", "латексные", "вискоза", "микрофибра", "пластиковые"},
       {"Paclan", "York", "Фрекен Бок", "Мультидом", "Vileda"},
       {"5 шт.", "30 л, 20 шт.", "размер M", "3 шт.", "20 шт.", "1 шт."}},
      {"Инструменты",
       {"Отвёртка крестовая", "Молоток слесарный", "Рулетка измерительная", "Изолента ПВХ", "Плоскогубцы", "Набор бит"},
       {"PH2", "с фиберглассовой ручкой", "5 м", "синяя", "180 мм", "магнитный держатель"},
       {"Зубр", "Stayer", "Kraftool", "Сибин", "Matrix"},
       {"1 шт.", "500 г", "19 мм x 20 м", "10 шт.", "3 м"}},
      {"Электротовары",
       {"Лампа светодиодная", "Батарейка алкалиновая", "Удлинитель", "Фонарь светодиодный", "Розетка накладная",
        "Лампа накаливания"},
       {"E27 10 Вт", "АА", "3 розетки", "ААА", "с заземлением", "тёплый свет"},
       {"Navigator", "Duracell", "Camelion", "ЭРА", "Космос", "Старт"},
       {"1 шт.", "4 шт.", "3 м", "5 м", "2 шт."}},
      {"Специи и приправы",
       {"Перец чёрный молотый", "Лавровый лист", "Приправа для плова", "Паприка сладкая", "Корица молотая",
        "Горчица столовая"},
       {"отборный", "универсальная", "копчёная", "острая", "русская"},
       {"Камис", "Галерея вкусов", "Kotanyi", "Магги", "Русский аппетит"},
       {"10 г", "20 г", "30 г", "50 г", "100 г"}},
      {"Детские товары",
       {"Пюре фруктовое", "Каша молочная", "Подгузники", "Салфетки влажные детские", "Соска-пустышка",
        "Крем под подгузник"},
       {"яблоко", "гречневая", "размер 4", "с алоэ", "силиконовая", "с 6 месяцев"},
       {"ФрутоНяня", "Агуша", "Pampers", "Huggies", "Нестле", "Наша мама"},
       {"90 г", "200 г", "46 шт.", "64 шт.", "1 шт."}},
      {"Корма для животных",
       {"Корм для кошек", "Корм для собак", "Наполнитель для туалета", "Лакомство для собак", "Корм для попугаев"},
       {"с курицей", "с говядиной", "древесный", "комкующийся", "для стерилизованных"},
       {"Whiskas", "Pedigree", "Felix", "Чаппи", "Барсик", "Вака"},
       {"85 г", "400 г", "2,5 кг", "5 л", "500 г"}},
      {"Ёлочные украшения",
       {"Шар ёлочный", "Гирлянда электрическая", "Мишура", "Ёлка искусственная", "Звезда на макушку",
        "Снежинка ёлочная"},
       {"стеклянный", "100 ламп", "серебряная", "зелёная", "с блёстками", "разноцветная"},
       {"Ёлочка", "Snowmen", "Зимнее волшебство", "Новогодняя сказка"},
       {"8 см", "10 м", "2 м", "1,5 м", "6 шт."}},
      {"Упаковка",
       {"Плёнка пищевая", "Фольга алюминиевая", "Пакет фасовочный", "Пакет-майка", "Контейнер одноразовый",
        "Бумага для выпечки"},
       {"в рулоне", "прочная", "с ручками", "с крышкой", "силиконизированная"},
       {"Avikomp", "Фрекен Бок", "Мой дом", "Paterra"},
       {"20 м", "10 м", "100 шт.", "50 шт.", "500 мл"}},
      {"Снеки",
       {"Чипсы картофельные", "Сухарики ржаные", "Орешки солёные", "Семечки жареные", "Попкорн", "Кукурузные палочки"},
       {"со сметаной и луком", "с беконом", "арахис", "отборные", "сладкий", "сыр"},
       {"Lay's", "Кириешки", "Мартин", "От Мартина", "Хрустим", "Beerka"},
       {"70 г", "150 г", "40 г", "200 г", "100 г"}},
      {"Молочная продукция",
       {"Молоко сгущённое", "Сливки питьевые", "Сыр плавленый", "Молоко ультрапастеризованное", "Масло сливочное"},
       {"цельное с сахаром", "10%", "Дружба", "3,2%", "82,5%", "Крестьянское"},
       {"Рогачёв", "Простоквашино", "Домик в деревне", "Président", "Экомилк"},
       {"380 г", "200 мл", "90 г", "1 л", "180 г"}},
      {"Текстиль",
       {"Полотенце махровое", "Полотенце вафельное", "Скатерть", "Фартук кухонный", "Прихватка"},
       {"белое", "в клетку", "с узором", "хлопок", "льняная"},
       {"Самойловский текстиль", "Ивановский текстиль", "Cleanelly", "Доляна"},
       {"50x90 см", "40x70 см", "140x180 см", "1 шт.", "2 шт."}},
  };
  return list;
}

// Extra words used to tell apart categories once there are more of them than themes.
const std::vector<const char*>& categorySuffixes() {
  static const std::vector<const char*> list = {
      "для дома", "оптом", "импорт",  "эконом",        "премиум",  "сезонное",
      "новинки",  "акция", "весовое", "отечественное", "упаковки", "под заказ",
  };
  return list;
}

struct Product {
  QString id;
  int theme = 0;
  qint64 parentId = 0;
  QString ean;
  int quantity = 0;
  double price = 0;
  QString name;
  enum class Picture { Normal, None, Empty } picture = Picture::Normal;
  QString imageName;
};

QString makeName(Rng& rng, const Theme& t) {
  QStringList parts;
  parts << QString::fromUtf8(rng.pick(t.nouns));
  if (rng.chance(70)) parts << QString::fromUtf8(rng.pick(t.qualifiers));
  if (rng.chance(80)) parts << QString::fromUtf8(rng.pick(t.brands));
  if (rng.chance(85)) parts << QString::fromUtf8(rng.pick(t.sizes));
  QString name = parts.join(QLatin1Char(' '));
  while (name.size() < 20) name += QLatin1Char(' ') + QString::fromUtf8(rng.pick(t.qualifiers));
  if (name.size() > 70) {
    name.truncate(70);
    name = name.trimmed();
  }
  // Some names in the shop's export start with a lower-case letter.
  if (rng.chance(3)) name[0] = name[0].toLower();
  return name;
}

// ---- pictures -------------------------------------------------------------

constexpr int kThumbW = 160;
constexpr int kThumbH = 120;

QImage drawBase(Rng& rng) {
  QImage img(kThumbW, kThumbH, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor a = QColor::fromHsv(int(rng.below(360)), 60 + int(rng.below(150)), 150 + int(rng.below(100)));
  const QColor b = QColor::fromHsv(int(rng.below(360)), 40 + int(rng.below(150)), 90 + int(rng.below(160)));
  QLinearGradient g(0, 0, kThumbW, kThumbH);
  if (rng.chance(50)) g = QLinearGradient(0, 0, 0, kThumbH);
  g.setColorAt(0, a);
  g.setColorAt(1, b);
  p.fillRect(img.rect(), g);
  const int shapes = 3 + int(rng.below(5));
  for (int i = 0; i < shapes; ++i) {
    QColor c = QColor::fromHsv(int(rng.below(360)), 80 + int(rng.below(170)), 80 + int(rng.below(170)));
    c.setAlpha(120 + int(rng.below(130)));
    p.setBrush(c);
    p.setPen(QPen(c.darker(150), 1 + int(rng.below(3))));
    const int x = int(rng.below(kThumbW)) - 20, y = int(rng.below(kThumbH)) - 20;
    const int w = 20 + int(rng.below(70)), h = 20 + int(rng.below(60));
    switch (rng.below(4)) {
      case 0:
        p.drawEllipse(x, y, w, h);
        break;
      case 1:
        p.drawRoundedRect(x, y, w, h, 6, 6);
        break;
      case 2: {
        QPolygon tri;
        tri << QPoint(x, y + h) << QPoint(x + w / 2, y) << QPoint(x + w, y + h);
        p.drawPolygon(tri);
        break;
      }
      default: {
        QRadialGradient rg(x + w / 2.0, y + h / 2.0, w / 2.0);
        rg.setColorAt(0, c.lighter(160));
        rg.setColorAt(1, Qt::transparent);
        p.setPen(Qt::NoPen);
        p.setBrush(rg);
        p.drawEllipse(x, y, w, h);
      }
    }
  }
  // A little texture so the pictures are not trivially compressible.
  for (int i = 0; i < 500; ++i) {
    const int x = int(rng.below(kThumbW)), y = int(rng.below(kThumbH));
    const QRgb px = img.pixel(x, y);
    const int d = int(rng.below(61)) - 30;
    img.setPixel(x, y,
                 qRgb(qBound(0, qRed(px) + d, 255), qBound(0, qGreen(px) + d, 255), qBound(0, qBlue(px) + d, 255)));
  }
  return img;
}

QByteArray renderThumb(const QImage& base, const QString& label, int variant, const QFont& font) {
  QImage img = base.copy();
  {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A plate with the article, placed differently from picture to picture.
    const int y = 8 + (variant % 5) * 20;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 190));
    p.drawRoundedRect(QRect(10, y, kThumbW - 20, 24), 5, 5);
    p.setPen(QColor::fromHsv((variant * 37) % 360, 200, 90));
    p.setFont(font);
    p.drawText(QRect(10, y, kThumbW - 20, 24), Qt::AlignCenter, label);
    p.setPen(QPen(QColor::fromHsv((variant * 53) % 360, 220, 200), 3));
    p.drawLine(10 + (variant % 7) * 18, kThumbH - 10, 40 + (variant % 11) * 10, kThumbH - 4);
  }
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "JPG", 80);
  return bytes;
}

// ---- sqlite helpers -------------------------------------------------------

struct Db {
  sqlite3* h = nullptr;
  ~Db() {
    if (h) sqlite3_close(h);
  }
};

bool execSql(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "make_price_db: %s\n", err ? err : "sqlite error");
    sqlite3_free(err);
    return false;
  }
  return true;
}

void bindText(sqlite3_stmt* st, int i, const QString& s) {
  const QByteArray u = s.toUtf8();
  sqlite3_bind_text(st, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

bool step(sqlite3* db, sqlite3_stmt* st) {
  const int rc = sqlite3_step(st);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (rc != SQLITE_DONE) {
    std::fprintf(stderr, "make_price_db: %s\n", sqlite3_errmsg(db));
    return false;
  }
  return true;
}

void usage() {
  std::fprintf(stderr, "usage: make_price_db OUTPUT [--products N] [--categories M] [--seed S] [--no-images]\n");
}

}  // namespace

int main(int argc, char** argv) {
  // Pictures are drawn off screen; no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  QString output;
  int productCount = 3000;
  int categoryCount = -1;
  quint32 seed = 1;
  bool images = true;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args.at(i);
    auto intArg = [&](long long& out) {
      bool ok = false;
      if (i + 1 < args.size()) out = args.at(++i).toLongLong(&ok);
      return ok;
    };
    long long v = 0;
    if (a == QLatin1String("--products")) {
      if (!intArg(v) || v < 1 || v > 10000000) {
        usage();
        return 2;
      }
      productCount = int(v);
    } else if (a == QLatin1String("--categories")) {
      if (!intArg(v) || v < 1 || v > 100000) {
        usage();
        return 2;
      }
      categoryCount = int(v);
    } else if (a == QLatin1String("--seed")) {
      if (!intArg(v)) {
        usage();
        return 2;
      }
      seed = quint32(v);
    } else if (a == QLatin1String("--no-images")) {
      images = false;
    } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
      usage();
      return 0;
    } else if (output.isEmpty() && !a.startsWith(QLatin1String("--"))) {
      output = a;
    } else {
      usage();
      return 2;
    }
  }
  if (output.isEmpty()) {
    usage();
    return 2;
  }
  if (categoryCount < 0) categoryCount = qMax(40, productCount / 330);

  QElapsedTimer timer;
  timer.start();
  Rng rng(seed);
  const auto& th = themes();

  // Categories: each one belongs to a theme; past the first round of themes the
  // names get a distinguishing word.
  struct Category {
    qint64 id;
    int theme;
    QString name;
  };
  QVector<Category> categories;
  for (int i = 0; i < categoryCount; ++i) {
    const int t = i % int(th.size());
    const int round = i / int(th.size());
    QString name = QString::fromUtf8(th[size_t(t)].category);
    if (round > 0) {
      const auto& suf = categorySuffixes();
      name += QStringLiteral(" (") + QString::fromUtf8(suf[size_t((round - 1) % int(suf.size()))]);
      if (round > int(suf.size())) name += QLatin1Char(' ') + QString::number((round - 1) / int(suf.size()) + 1);
      name += QLatin1Char(')');
    }
    categories.append({100 + i, t, name});
  }

  // Products.
  QVector<Product> products(productCount);
  qint64 nextId = 1000;
  for (int i = 0; i < productCount; ++i) {
    Product& p = products[i];
    nextId += 1 + rng.below(7);
    p.id = QString::number(nextId);
    const Category& c = categories.at(int(rng.below(quint32(categories.size()))));
    p.theme = c.theme;
    p.parentId = c.id;
    if (rng.chance(70))
      p.ean = QStringLiteral("А-%1").arg(10000 + i);
    else
      p.ean = QStringLiteral("460%1").arg(qint64(1000000000) + qint64(i) * 7 + rng.below(7), 10, 10, QLatin1Char('0'));
    p.quantity = int(rng.below(401));
    const quint32 kind = rng.below(10);
    const int rubles = 1 + int(rng.below(kind < 2 ? 5000 : 700));
    if (kind < 4)
      p.price = rubles;
    else if (kind < 7)
      p.price = rubles + double(rng.below(10)) / 10.0;
    else
      p.price = rubles + double(rng.below(100)) / 100.0;
    p.name = makeName(rng, th[size_t(p.theme)]);
    if (rng.chance(10)) p.picture = Product::Picture::None;
    p.imageName = p.ean + QStringLiteral(".jpg");
  }

  // Rows the program must cope with, placed at fixed positions so that every
  // database has them, whatever its size.
  auto fixed = [&](int idx, const char* name, int qty, double price) {
    if (idx >= productCount) return;
    Product& p = products[idx];
    p.name = QString::fromUtf8(name);
    p.quantity = qty;
    p.price = price;
  };
  fixed(0, "Печенье д'Артаньян сахарное 150 г", 99, 150);
  fixed(1, "Конфеты \"Мишка на Севере\" весовые 1 кг", 100, 12.5);
  fixed(2, "ёлочная игрушка Шар стеклянный красный 8 см", 250, 99.9);
  fixed(3, "Ёршик для унитаза с подставкой белый", 0, 45);
  fixed(4, "Coffee Jacobs Monarch растворимый 95 г", 400, 389.99);
  fixed(5, "кружка керамическая белая 300 мл", 12, 75.5);
  if (productCount > 6) products[6].picture = Product::Picture::Empty;  // image row with a zero-length picture
  if (productCount > 7) products[7].picture = Product::Picture::None;   // no image row at all
  if (productCount > 9) {
    // Two products whose pictures carry the same file name.
    products[8].picture = Product::Picture::Normal;
    products[9].picture = Product::Picture::Normal;
    products[9].imageName = products[8].imageName;
  }
  // The export lists products in no particular order.
  for (int i = productCount - 1; i > 0; --i) std::swap(products[i], products[int(rng.below(quint32(i + 1)))]);

  // Write into a side file, then put it in place.
  const QString tmpPath = output + QStringLiteral(".tmp");
  QFile::remove(tmpPath);
  Db db;
  if (sqlite3_open_v2(QFile::encodeName(tmpPath).constData(), &db.h, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "make_price_db: cannot create %s\n", qPrintable(tmpPath));
    return 1;
  }
  if (!execSql(db.h, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;") || !execSql(db.h, kPriceSchemaSql) ||
      !execSql(db.h, "BEGIN"))
    return 1;

  sqlite3_stmt* insCat = nullptr;
  sqlite3_stmt* insProd = nullptr;
  sqlite3_stmt* insImg = nullptr;
  sqlite3_prepare_v2(db.h, "INSERT INTO categories(category_id, name_ruRU) VALUES(?,?)", -1, &insCat, nullptr);
  sqlite3_prepare_v2(db.h,
                     "INSERT INTO products(product_id, parent_id, product_ean, product_quantity, product_price,"
                     " name_ruRU, name_ruRU_big, order_count, order_summ) VALUES(?,?,?,?,?,?,?,0,0)",
                     -1, &insProd, nullptr);
  sqlite3_prepare_v2(db.h, "INSERT INTO images(product_id, image_thumb, image_name, image_full) VALUES(?,?,?,NULL)", -1,
                     &insImg, nullptr);
  if (!insCat || !insProd || !insImg) {
    std::fprintf(stderr, "make_price_db: %s\n", sqlite3_errmsg(db.h));
    return 1;
  }

  bool ok = true;
  for (const Category& c : categories) {
    sqlite3_bind_int64(insCat, 1, c.id);
    bindText(insCat, 2, c.name);
    ok = ok && step(db.h, insCat);
  }

  // A few hundred drawn backgrounds; each product gets one of them with its own
  // article plate on top, so every picture is a distinct, valid JPEG.
  QVector<QImage> bases;
  if (images) {
    const int baseCount = qBound(16, productCount / 250, 400);
    Rng picRng(seed ^ 0x9e3779b9u);
    for (int i = 0; i < baseCount; ++i) bases.append(drawBase(picRng));
  }
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(15);
  font.setBold(true);

  int imageRows = 0, emptyPictures = 0, withoutPicture = 0;
  for (int i = 0; ok && i < productCount; ++i) {
    const Product& p = products.at(i);
    bindText(insProd, 1, p.id);
    sqlite3_bind_int64(insProd, 2, p.parentId);
    bindText(insProd, 3, p.ean);
    sqlite3_bind_int(insProd, 4, p.quantity);
    sqlite3_bind_double(insProd, 5, p.price);
    bindText(insProd, 6, p.name);
    bindText(insProd, 7, p.name.toUpper());
    ok = step(db.h, insProd);
    if (!ok || !images) continue;
    if (p.picture == Product::Picture::None) {
      ++withoutPicture;
      continue;
    }
    bindText(insImg, 1, p.id);
    if (p.picture == Product::Picture::Empty) {
      sqlite3_bind_zeroblob(insImg, 2, 0);  // zero bytes, not NULL
      ++emptyPictures;
    } else {
      const int variant = int(p.id.toLongLong() % 1000003);
      const QByteArray jpg = renderThumb(bases.at(variant % bases.size()), p.ean, variant, font);
      sqlite3_bind_blob(insImg, 2, jpg.constData(), int(jpg.size()), SQLITE_TRANSIENT);
    }
    bindText(insImg, 3, p.imageName);
    ok = step(db.h, insImg);
    ++imageRows;
  }
  sqlite3_finalize(insCat);
  sqlite3_finalize(insProd);
  sqlite3_finalize(insImg);
  if (!ok || !execSql(db.h, "COMMIT")) return 1;
  sqlite3_close(db.h);
  db.h = nullptr;

  QFile::remove(output);
  if (!QFile::rename(tmpPath, output)) {
    std::fprintf(stderr, "make_price_db: cannot rename %s to %s\n", qPrintable(tmpPath), qPrintable(output));
    return 1;
  }
  std::printf("%s\n", qPrintable(QFileInfo(output).absoluteFilePath()));
  std::printf(
      "categories: %d\nproducts: %d\nimages: %d (empty: %d, products without a picture: %d)\n"
      "size: %lld bytes\ntime: %.1f s\n",
      int(categories.size()), productCount, imageRows, emptyPictures, images ? withoutPicture : productCount,
      QFileInfo(output).size(), timer.elapsed() / 1000.0);
  return 0;
}
