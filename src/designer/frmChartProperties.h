#pragma once
// The chart settings of one measure: type, titles, axis names, label and result limits, totals.
// The caller fills it, shows it, reads Cambio (True after OK) and the boxes, and deletes it.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

class frmChartProperties : public QDialog {
    Q_OBJECT
public:
    explicit frmChartProperties(QWidget* parent = nullptr);

    bool Cambio = false;
    QPointer<QWidget> Vcampos; // the designer that opened it

    QComboBox* cmbTypeGraph; // the catalogue's display names, "None" first; "Default" until chosen
    QLineEdit* txtTitle;
    QLineEdit* txtSubTitle;
    QLineEdit* txtxAxis;
    QLineEdit* txtyAxis;
    QLineEdit* txtMaxChar;
    QLineEdit* txtAutohide;
    QLineEdit* txtResultLimit;
    QCheckBox* chkDrawTotals;
    QPushButton* cmdAceptar;

    // The three limits are counts: a non-negative whole number or nothing.
    static bool isQuantity(const QString& text);
    void cmdAceptar_Click();
    void txtMaxChar_LostFocus();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
};
