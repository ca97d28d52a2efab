#pragma once
// The calculated field editor: identifier, caption, number format and formula of one calculated
// measure. OK with an identifier and a formula sets Cambio and closes; either one empty is painted
// light red and the editor stays.
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVector>

class frmFormula : public QDialog {
    Q_OBJECT
public:
    explicit frmFormula(QWidget* parent = nullptr);

    bool Cambio = false;

    QLineEdit* txtId;
    QLineEdit* txtCaption;
    QLineEdit* txtFormat;
    QLineEdit* txtFormula;
    QListWidget* lstAvailFields;            // visible measures, double click inserts one
    QVector<QPushButton*> btnInsMathSymbol; // "*", "/", "+", "-", "( )", "^"
    QPushButton* cmdAceptar;

    void cmdAceptar_Click();
    void lstAvailFields_DblClick();
    void btnInsMathSymbol_Click(int index);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
};
