// Writes the price database (the client's varnokel.mdb) from the shop's
// catalogue, and puts a written file in place once it passes the client's own
// check of a downloaded price list.
#pragma once

#include "ExitCode.h"

#include <QString>

class PictureFolder;
class ProgressReporter;
struct ShopCatalogue;

struct PriceFileCounts {
  int categories = 0;
  int products = 0;
  int pictures = 0;
  int missingThumbnails = 0;
  int missingFull = 0;
};

class PriceDatabaseWriter {
 public:
  PriceDatabaseWriter(const PictureFolder& pictures, bool withFullPictures, ProgressReporter& progress);

  // Writes every table into a new SQLite file at path (absent or empty). A
  // missing thumbnail file drops that picture with a warning; an unreadable one
  // fails the whole file (ExitCode::Pictures), as does any write error
  // (ExitCode::PriceFile). The file is left for the caller to remove on failure.
  bool write(const ShopCatalogue& catalogue, const QString& path, PriceFileCounts* counts, PublishError* error);

 private:
  const PictureFolder& m_pictures;
  bool m_withFull;
  ProgressReporter& m_progress;
};

// Checks the written file as the client checks a downloaded price list, flushes
// it to disk when it is to stay (durable) and renames it over target (same
// folder), keeping target's permissions. On any failure target stays as it was.
bool PutPriceFileInPlace(const QString& written, const QString& target, bool durable, PublishError* error);
