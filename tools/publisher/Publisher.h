// One run of the publisher: read the shop's catalogue, write and check the price
// database, put it in place locally (--output) or on the distribution server,
// and upload a program file when asked. Each step's failure ends the run with its
// own exit code and leaves every file it would have replaced as it was.
#pragma once

#include "ExitCode.h"
#include "PublishOptions.h"

class ProgressReporter;
struct ShopCatalogue;

class Publisher {
 public:
  Publisher(PublishOptions options, ProgressReporter& progress);

  ExitCode run();

 private:
  bool readCatalogue(ShopCatalogue* catalogue, PublishError* error);
  // --dry-run: how many pictures have their thumbnail file.
  void countPictures(const ShopCatalogue& catalogue);
  // Writes, checks and renames the price database into target.
  bool buildPriceFile(const ShopCatalogue& catalogue, const QString& target, PublishError* error);
  bool upload(const QString& localFile, const QString& remotePath, const QString& title, PublishError* error);
  bool checkProgramFile(PublishError* error) const;

  PublishOptions m_options;
  ProgressReporter& m_progress;
};
