#pragma once
// "From Table": the user picks a table or view of the cube's connection, one of its columns and an
// optional condition, and the dialog composes the values query of the text picker from them.
#include "viewer/DefaultInstance.h"
#include <QComboBox>

#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

class InsCube;

class frmSelectFormTable : public QDialog {
    Q_OBJECT
public:
    static frmSelectFormTable* instance() { return DefaultInstance<frmSelectFormTable>::get(); }
    static void unload() { DefaultInstance<frmSelectFormTable>::unload(); }

    bool Cambio = false;
    QPointer<InsCube> VinsCube;

    QComboBox* cmbTbl;      // "TBL --> name" and "VIEW --> name" entries
    QComboBox* cmbFields;   // columns of the chosen table
    QLineEdit* txtWhere;    // optional condition
    QPlainTextEdit* txtSQL; // the composed query, editable
    QPushButton* cmdAceptar;

    void ArmarWhere();
    void cmbTbl_Change();
    void cmdAceptar_Click();

private:
    friend class DefaultInstance<frmSelectFormTable>;
    explicit frmSelectFormTable(QWidget* parent = nullptr);
};
