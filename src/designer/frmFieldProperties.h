#pragma once
// The modal field properties dialog: the caption and number format of one field of the definition
// grids. The caller fills it, shows it, reads Cambio (True after OK) and the boxes, and deletes it.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

class frmFieldProperties : public QDialog {
    Q_OBJECT
public:
    explicit frmFieldProperties(QWidget* parent = nullptr);

    // The dialog's result when its chart button closed it: the caller opens the chart settings
    // once the dialog is gone.
    static constexpr int ChartRequested = 2;

    bool Cambio = false;
    QPointer<QWidget> Vcampos; // the designer that opened it

    QLineEdit* txtId; // the field name, filled by the caller
    QLineEdit* txtCaption;
    QLineEdit* txtFormat;
    QLineEdit* txtType; // filled by the caller
    QPushButton* cmdAceptar;
    QPushButton* cmdChartProperties; // hidden unless the caller shows it

    // Hides the format box with its labels (fields that are no numbers have no format).
    void HideFormat();
    void cmdAceptar_Click();
    void cmdChartProperties_Click();

private:
    QLabel* lblFormat_;
    QLabel* lblFormatHint_;
};
