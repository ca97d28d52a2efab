#include "common/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>

namespace bd::test {
namespace {
void copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        const QString rel = QDir(from).relativeFilePath(f);
        if (QFileInfo(f).isExecutable() && !rel.contains('.')) continue; // skip the program itself
        if (rel.endsWith(".so") || rel.contains(".so.")) continue;
        QDir().mkpath(QFileInfo(to + '/' + rel).absolutePath());
        QFile::copy(f, to + '/' + rel);
    }
}
} // namespace

TempHome::TempHome(bool withResources) {
    oldHome_ = qgetenv("BRINTOVA_HOME");
    oldConfig_ = qgetenv("BRINTOVA_CONFIG");
    oldData_ = qgetenv("BRINTOVA_DATA");
    if (withResources) copyTree(QString::fromLocal8Bit(BD_APP_DIR), home_.path());
    qputenv("BRINTOVA_HOME", home_.path().toLocal8Bit());
    qputenv("BRINTOVA_CONFIG", config_.path().toLocal8Bit());
    qputenv("BRINTOVA_DATA", (config_.path() + "/data").toLocal8Bit());
}

TempHome::~TempHome() {
    qputenv("BRINTOVA_HOME", oldHome_);
    qputenv("BRINTOVA_CONFIG", oldConfig_);
    qputenv("BRINTOVA_DATA", oldData_);
}

QString sharedDir() {
    return QDir::cleanPath(QStringLiteral(BD_SHARED_DIR));
}
QString sourceDir() {
    return QStringLiteral(BD_SOURCE_DIR);
}
QString fixturesDir() {
    return QStringLiteral(BD_TEST_FIXTURES);
}

bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    return f.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QStringList sceneTexts(const QGraphicsScene* scene) {
    QStringList out;
    if (!scene) return out;
    for (QGraphicsItem* i : scene->items()) {
        if (!i->isVisible()) continue;
        QString t;
        if (auto* rich = dynamic_cast<QGraphicsTextItem*>(i))
            t = rich->toPlainText();
        else if (auto* plain = dynamic_cast<QGraphicsSimpleTextItem*>(i))
            t = plain->text();
        t.remove(QChar(0x200B));
        if (!t.isEmpty()) out << t;
    }
    return out;
}

} // namespace bd::test
