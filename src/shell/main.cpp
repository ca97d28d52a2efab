#include "shell/FrmMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brintova Deridoro");
    QApplication::setApplicationDisplayName("Brintova Deridoro");
    return FrmMain::run(app);
}
