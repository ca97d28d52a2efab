#pragma once
#include <QApplication>
#include <QWidget>

class FrmMain : public QWidget {
    Q_OBJECT
public:
    explicit FrmMain(QWidget* parent = nullptr);
    static int run(QApplication& app);
};
