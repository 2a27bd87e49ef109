// What the publisher is told to do: the shop database, the picture folder, the
// distribution server and the run mode. Every option can also be a line of the
// settings file (`name=value`, the option's name without the dashes); the
// command line wins over the file.
#pragma once

#include <QString>
#include <QStringList>

struct PublishOptions {
  // The shop database (the same server and tables the client sends orders to).
  QString shopHost = QStringLiteral("shop.varnokel.ru");
  int shopPort = 3306;
  QString shopDatabase = QStringLiteral("zorvik_vrnk_db");
  QString shopUser = QStringLiteral("zorvik_vrnk_db");
  QString shopPassword = QStringLiteral("T5$W8N3P");
  QString tablePrefix = QStringLiteral("uop5b_jshopping_");

  // The shop's product pictures: {name} stands for the picture's file name.
  QString pictureFolder = QStringLiteral("/var/www/html/components/com_jshopping/files/img_products");
  QString thumbName = QStringLiteral("thumb_{name}");
  QString fullName = QStringLiteral("full_{name}");
  bool fullPictures = false;

  // The distribution server.
  QString ftpHost = QStringLiteral("ftp.varnokel.ru");
  QString ftpUser = QStringLiteral("zorvik_price");
  QString ftpPassword = QStringLiteral("4817Stock!");
  QString ftpPricePath = QStringLiteral("/varnokel.mdb");
  QString ftpProgramPath = QStringLiteral("/Varnokel.exe");
  QString curl = QStringLiteral("curl");
  QString limitRate;

  // What to do.
  QString program;  // a program file to upload as well
  bool noPrice = false;
  QString output;  // write the price database here instead of uploading it
  bool dryRun = false;
  bool help = false;
  bool version = false;
};

// Reads the settings file named by --config (if any), then the command line
// (arguments without the program name). False with a Russian message on a
// bad option, value or file.
bool ParsePublishOptions(const QStringList& arguments, PublishOptions* options, QString* error);

// The text of --help, with every option, its default and the exit codes.
QString PublishHelpText();
