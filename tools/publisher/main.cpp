// varnokel-publish: builds the price list of the ordering client from the web
// shop's catalogue and puts it on the distribution server. See --help.
#include "ProgressReporter.h"
#include "PublishOptions.h"
#include "Publisher.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ProgressReporter progress(stdout, stderr, ProgressReporter::isTerminal(stdout));
  PublishOptions options;
  QString error;
  if (!ParsePublishOptions(app.arguments().mid(1), &options, &error)) {
    progress.error(error + QStringLiteral("\nСправка: varnokel-publish --help"));
    return int(ExitCode::Usage);
  }
  if (options.help) {
    progress.info(PublishHelpText().chopped(1));
    return int(ExitCode::Ok);
  }
  if (options.version) {
    progress.info(QStringLiteral("varnokel-publish " VARNOKEL_VERSION));
    return int(ExitCode::Ok);
  }
  return int(Publisher(options, progress).run());
}
