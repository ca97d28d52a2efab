#include "shell/FrmMain.h"
#include "shell/UnattendedRun.h"

#include <QApplication>

int main(int argc, char** argv) {
    const bool unattended = UnattendedRun::prepare(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brintova Deridoro");
    QApplication::setApplicationDisplayName("Brintova Deridoro");
    return unattended ? UnattendedRun::run(app) : FrmMain::run(app);
}
