// What the publisher is told to do: the shop database, the picture folder, the
// distribution server and the run mode. Every option can also be a line of the
// settings file (`name=value`, the option's name without the dashes); the
// command line wins over the file, the file over the defaults. The servers and
// accounts have no defaults of their own: only those a shop's build was
// configured with (the client's VARNOKEL_SHOP_* and VARNOKEL_FTP_*), if any.
#pragma once

#include <QString>
#include <QStringList>

struct PublishOptions {
  // The shop database (the same server and tables the client sends orders to).
  QString shopHost, shopDatabase, shopUser, shopPassword, tablePrefix;
  int shopPort = 0;

  // The shop's product pictures: {name} stands for the picture's file name.
  QString pictureFolder, thumbName, fullName;
  bool fullPictures = false;

  // The distribution server.
  QString ftpHost, ftpUser, ftpPassword, ftpPricePath, ftpProgramPath, curl, limitRate;

  // What to do.
  QString program;  // a program file to upload as well
  QString output;   // write the price database here instead of uploading it
  bool noPrice = false, dryRun = false, help = false, version = false;
};

// Takes the defaults, then the settings file named by --config (if any), then
// the command line (arguments without the program name). False with a Russian
// message on a bad option, value or file, or when a server or account this run
// needs is given nowhere.
bool ParsePublishOptions(const QStringList& arguments, PublishOptions* options, QString* error);

// The text of --help, with every option, its default and the exit codes.
QString PublishHelpText();
