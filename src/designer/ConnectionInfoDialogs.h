#pragma once
// The information dialogs the new-cube chooser shows before a server cube: a picture, the
// instructions of the user's language in lblGen, and cmdAceptar. However they are closed, the chooser
// goes on to the cube.
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

class FrmMain;

class ConnectionInfoDialog : public QDialog {
    Q_OBJECT
public:
    QLabel* picture;
    QLabel* lblGen;
    QPushButton* cmdAceptar;

    void cmdAceptar_Click();

protected:
    // textKey: the language key of lblGen; kind: the engine whose picture is shown.
    ConnectionInfoDialog(FrmMain* main, QWidget* parent, const QString& name, const QString& caption,
                         const QString& textKey, const QString& kind);
};

class frmSqlCon : public ConnectionInfoDialog {
    Q_OBJECT
public:
    explicit frmSqlCon(FrmMain* main, QWidget* parent = nullptr);
};

class frmOracleCon : public ConnectionInfoDialog {
    Q_OBJECT
public:
    explicit frmOracleCon(FrmMain* main, QWidget* parent = nullptr);
};

class frmMySqlCon : public ConnectionInfoDialog {
    Q_OBJECT
public:
    explicit frmMySqlCon(FrmMain* main, QWidget* parent = nullptr);
};
