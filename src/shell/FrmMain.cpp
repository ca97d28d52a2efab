#include "shell/FrmMain.h"

FrmMain::FrmMain(QWidget* parent) : QWidget(parent) { setWindowTitle("Brintova Deridoro"); }

int FrmMain::run(QApplication& app) {
    FrmMain w;
    w.show();
    return app.exec();
}
