#include "Publisher.h"

#include "FtpUploader.h"
#include "PictureFolder.h"
#include "PriceDatabaseWriter.h"
#include "ProgressReporter.h"
#include "ShopCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <utility>

namespace {

QString number(qint64 n) { return QLocale(QLocale::Russian, QLocale::Russia).toString(n); }

}  // namespace

Publisher::Publisher(PublishOptions options, ProgressReporter& progress)
    : m_options(std::move(options)), m_progress(progress) {}

ExitCode Publisher::run() {
  PublishError error;
  const bool ok = [&] {
    if (!m_options.program.isEmpty() && !checkProgramFile(&error)) return false;
    if (!m_options.noPrice) {
      ShopCatalogue catalogue;
      if (!readCatalogue(&catalogue, &error)) return false;
      if (m_options.dryRun) return countPictures(catalogue), true;
      if (!m_options.output.isEmpty()) return buildPriceFile(catalogue, m_options.output, &error);
      // The file goes up from a private folder and is removed with it.
      QTemporaryDir work(QDir(QDir::tempPath()).filePath(QStringLiteral("varnokel-publish-XXXXXX")));
      if (!work.isValid()) {
        error = {ExitCode::PriceFile, QStringLiteral("не удалось создать временную папку: %1").arg(work.errorString())};
        return false;
      }
      const QString file = work.filePath(QFileInfo(m_options.ftpPricePath).fileName());
      if (!buildPriceFile(catalogue, file, &error) ||
          !upload(file, m_options.ftpPricePath, QStringLiteral("Выгрузка прайс-листа"), &error))
        return false;
      m_progress.info(QStringLiteral("Прайс-лист опубликован: %1").arg(m_options.ftpPricePath));
    }
    if (!m_options.program.isEmpty() && !m_options.dryRun && m_options.output.isEmpty()) {
      if (!upload(m_options.program, m_options.ftpProgramPath, QStringLiteral("Выгрузка программы"), &error)) {
        if (!m_options.noPrice) error.text += QStringLiteral(" (прайс-лист при этом уже опубликован)");
        return false;
      }
      m_progress.info(QStringLiteral("Программа опубликована: %1").arg(m_options.ftpProgramPath));
    }
    return true;
  }();
  if (ok) return ExitCode::Ok;
  m_progress.error(error.text);
  return error.code;
}

bool Publisher::readCatalogue(ShopCatalogue* catalogue, PublishError* error) {
  const PictureFolder pictures(m_options.pictureFolder, m_options.thumbName, m_options.fullName);
  if (!pictures.check(&error->text)) return error->code = ExitCode::Pictures, false;
  m_progress.info(QStringLiteral("Чтение каталога магазина %1:%2…").arg(m_options.shopHost).arg(m_options.shopPort));
  const ShopCatalogueReader reader({m_options.shopHost, m_options.shopPort, m_options.shopDatabase, m_options.shopUser,
                                    m_options.shopPassword, m_options.tablePrefix});
  if (!reader.read(catalogue, &error->text)) return error->code = ExitCode::ShopDatabase, false;
  if (catalogue->withoutCategory > 0)
    m_progress.warning(QStringLiteral("товаров без опубликованной категории: %1, в прайс-лист они не попадут")
                           .arg(catalogue->withoutCategory));
  if (catalogue->products.empty()) {
    *error = {ExitCode::ShopDatabase,
              QStringLiteral("в каталоге магазина нет ни одного опубликованного товара в опубликованной категории; "
                             "пустой прайс-лист не публикуется")};
    return false;
  }
  m_progress.info(QStringLiteral("В каталоге: категорий %1, товаров %2, картинок %3")
                      .arg(number(catalogue->categories.size()), number(qint64(catalogue->products.size())),
                           number(qint64(catalogue->pictures.size()))));
  return true;
}

void Publisher::countPictures(const ShopCatalogue& catalogue) {
  const PictureFolder pictures(m_options.pictureFolder, m_options.thumbName, m_options.fullName);
  qint64 missing = 0;
  for (const QString& name : catalogue.pictures)
    if (!pictures.hasThumbnail(name) && ++missing <= 20)
      m_progress.warning(QStringLiteral("нет файла картинки %1").arg(pictures.thumbPath(name)));
  m_progress.info(QStringLiteral("Проверка без записи: картинок с файлом %1, без файла %2; ничего не записано")
                      .arg(number(qint64(catalogue.pictures.size()) - missing), number(missing)));
}

bool Publisher::buildPriceFile(const ShopCatalogue& catalogue, const QString& target, PublishError* error) {
  const QFileInfo info(target);
  // The new file is written beside the target, so that the rename replaces it in one step.
  QTemporaryFile temporary(info.absoluteDir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".XXXXXX")));
  if (!temporary.open()) {
    *error = {
        ExitCode::PriceFile,
        QStringLiteral("не удалось создать файл в папке %1: %2").arg(info.absolutePath(), temporary.errorString())};
    return false;
  }
  temporary.close();
  const PictureFolder pictures(m_options.pictureFolder, m_options.thumbName, m_options.fullName);
  PriceDatabaseWriter writer(pictures, m_options.fullPictures, m_progress);
  PriceFileCounts counts;
  if (!writer.write(catalogue, temporary.fileName(), &counts, error)) return false;
  m_progress.info(QStringLiteral("Проверка прайс-листа…"));
  // A file that only goes up to the server and is then removed need not reach the disk.
  const bool durable = !m_options.output.isEmpty();
  if (!PutPriceFileInPlace(temporary.fileName(), info.absoluteFilePath(), durable, error)) return false;
  m_progress.info(QStringLiteral("Прайс-лист записан: категорий %1, товаров %2, картинок %3%4, %5 МБ")
                      .arg(number(counts.categories), number(counts.products), number(counts.pictures),
                           counts.missingThumbnails
                               ? QStringLiteral(" (без файла пропущено %1)").arg(number(counts.missingThumbnails))
                               : QString(),
                           QLocale(QLocale::Russian).toString(double(QFileInfo(target).size()) / 1048576.0, 'f', 1)));
  return true;
}

bool Publisher::upload(const QString& localFile, const QString& remotePath, const QString& title, PublishError* error) {
  FtpUploader uploader(
      {m_options.ftpHost, m_options.ftpUser, m_options.ftpPassword, m_options.curl, m_options.limitRate}, m_progress);
  if (uploader.upload(localFile, remotePath, title, &error->text)) return true;
  error->code = ExitCode::Upload;
  return false;
}

// A program file must be an executable (Windows or Linux) before it replaces
// the one every client downloads.
bool Publisher::checkProgramFile(PublishError* error) const {
  QFile file(m_options.program);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = {ExitCode::Usage, QStringLiteral("--program: не удалось открыть файл программы %1: %2")
                                   .arg(m_options.program, file.errorString())};
    return false;
  }
  const QByteArray head = file.read(4);
  if (head.startsWith("MZ") || head == QByteArray("\x7f"
                                                  "ELF"))
    return true;
  *error = {ExitCode::Usage,
            QStringLiteral("--program: файл %1 не похож на программу (ни Windows, ни Linux)").arg(m_options.program)};
  return false;
}
