#include "update/CheckCommand.h"

#include "data/PriceFileCheck.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstring>

int RunCheckCommand(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--check-price-file") != 0) return -1;
  if (argc != 3) {
    std::fputs("Использование: Varnokel --check-price-file ФАЙЛ\n", stderr);
    return 2;
  }
  // The SQL driver is a plugin, found through the application object.
  QCoreApplication app(argc, argv);
  QString reason;
  if (CheckPriceDatabaseFile(QCoreApplication::arguments().at(2), &reason)) return 0;
  std::fprintf(stderr, "%s\n", reason.toLocal8Bit().constData());
  return 1;
}
