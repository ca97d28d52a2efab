// One main for every test executable: a QApplication on the offscreen platform, and settings and
// registry kept in a throw-away folder so no test touches the user's own.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir config;
    qputenv("BRINTOVA_CONFIG", config.path().toLocal8Bit());
    qputenv("BRINTOVA_DATA", (config.path() + "/data").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("BRINTOVA_HOME")) qputenv("BRINTOVA_HOME", BD_APP_DIR);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
