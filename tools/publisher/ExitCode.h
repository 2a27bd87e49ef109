// The publisher's exit codes, one per kind of failure, so that a cron job or a
// script can tell what went wrong without reading the messages.
#pragma once

#include <QString>

enum class ExitCode : int {
  Ok = 0,
  Usage = 1,         // unknown option, bad value, unreadable settings file
  ShopDatabase = 2,  // shop database unreachable, unreadable, or nothing published in it
  Pictures = 3,      // picture folder missing or a picture file unreadable
  PriceFile = 4,     // price database not written, failed its check, not put in place
  Upload = 5,        // FTP upload or rename failed
};

// A failure with the code the program ends with and a Russian message for the user.
struct PublishError {
  ExitCode code = ExitCode::Ok;
  QString text;
};
