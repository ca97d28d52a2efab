#pragma once
// Helpers shared by the tests: a private program folder and configuration folder per test.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QGraphicsScene;

namespace bd::test {

// Points BRINTOVA_HOME and BRINTOVA_CONFIG at fresh folders for one scope; the program folder gets a
// copy of the built resources when withResources is true. Restores the old values afterwards.
class TempHome {
public:
    explicit TempHome(bool withResources = true);
    ~TempHome();
    QString home() const { return home_.path(); }
    QString config() const { return config_.path(); }
    QString path(const QString& rel) const { return home_.path() + '/' + rel; }

private:
    QTemporaryDir home_, config_;
    QByteArray oldHome_, oldConfig_, oldData_;
};

QString sharedDir();   // ../shared of the checkout
QString sourceDir();   // the checkout
QString fixturesDir(); // tests/fixtures
bool writeFile(const QString& path, const QByteArray& data);
// Every text a scene shows (a drawn chart's labels, titles, legend and notes), as a reader sees it:
// zero-width marks removed.
QStringList sceneTexts(const QGraphicsScene* scene);
QByteArray readFile(const QString& path);

} // namespace bd::test
