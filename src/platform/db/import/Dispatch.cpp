// importFile: the source checked, the cache asked, then the reader of the file's format.
#include "platform/db/FileImport.h"
#include "platform/db/import/CsvReader.h"
#include "platform/db/import/ImportCache.h"
#include "platform/db/import/MdbReader.h"
#include "platform/db/import/SourceFile.h"
#include "platform/db/import/XlsReader.h"
#include "platform/db/import/XlsxReader.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace bd::db {
namespace {

QStringList sourceFiles(const EngineChoice& c) {
    const QFileInfo fi(c.file);
    if (c.engine == Engine::Csv && fi.isDir()) {
        QStringList files;
        for (const auto& e : QDir(c.file).entryInfoList({"*.csv", "*.txt", "*.tab"}, QDir::Files, QDir::Name))
            files << e.absoluteFilePath();
        return files;
    }
    return {fi.absoluteFilePath()};
}

QString cacheKey(const EngineChoice& c, const QStringList& files) {
    QString key = engineName(c.engine) + '|' + QString::number(c.header) + '|' + QString(c.delimiter);
    for (const QString& f : files) {
        const QFileInfo s(f);
        key += '|' + f + '|' + QString::number(s.size()) + '|' +
               QString::number(s.lastModified().toMSecsSinceEpoch());
    }
    return key;
}

bool readInto(const EngineChoice& c, const QStringList& files, import::ImportWriter& w, QString* error) {
    switch (c.engine) {
    case Engine::Csv: {
        if (c.delimiter.unicode() == 0 || c.delimiter.unicode() > 127) {
            if (error)
                *error = QStringLiteral("The delimiter \"%1\" cannot be used: a text file's delimiter is one "
                                        "character of the ASCII set.")
                             .arg(c.delimiter);
            return false;
        }
        for (const QString& f : files)
            if (!import::importCsv(f, QFileInfo(f).fileName(), char(c.delimiter.unicode()), c.header, w,
                                   error))
                return false;
        return true;
    }
    case Engine::Excel:
        return QFileInfo(c.file).suffix().compare("xls", Qt::CaseInsensitive) == 0
                   ? import::importXls(c.file, c.header, w, error)
                   : import::importXlsx(c.file, c.header, w, error);
    case Engine::Access:
        return import::importMdb(c.file, w, error);
    default:
        if (error) *error = QStringLiteral("This engine has no file import.");
        return false;
    }
}

} // namespace

std::shared_ptr<const ImportedDatabase> importFile(const EngineChoice& choice, QString* error) {
    EngineChoice c = choice;
    c.file = resolveFileCase(choice.file);
    const QFileInfo fi(c.file);
    if (!fi.exists()) {
        if (error)
            *error =
                QStringLiteral("The file \"%1\" does not exist.").arg(QDir::toNativeSeparators(choice.file));
        return {};
    }
    // A folder stands for its text files; anything else must be a regular file of a sane size.
    if (!(c.engine == Engine::Csv && fi.isDir())) {
        const QString why = import::checkSourceFile(c.file);
        if (!why.isEmpty()) {
            if (error) *error = why;
            return {};
        }
    }
    const QStringList files = sourceFiles(c);
    const QString key = cacheKey(c, files);
    if (auto db = import::cachedImport(key)) return db;

    import::ImportWriter w;
    if (!w.open(error) || !readInto(c, files, w, error)) return {};
    std::shared_ptr<const ImportedDatabase> db = w.finish(error);
    if (db) import::keepImport(key, db);
    return db;
}

void clearImportCache() {
    import::dropImports();
}

} // namespace bd::db
