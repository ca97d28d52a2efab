#pragma once
// The number value picker: the From number, or the From/To pair, of a numeric filter, typed or picked
// with the slider over whole numbers (by default 0 to 1000). One default instance serves the
// designer's filter grid and the viewer's user-filter grid: the caller touches it (instance()), sets
// CantDecimals and Formato, calls InitializeNumericFields, may set the slider and the texts, sets
// NoRange, calls GetRange, shows it modally, reads Cambio and the texts, resets Cambio and unloads it.
#include "viewer/RangeSlider.h"

#include "viewer/DefaultInstance.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class frmSelectNum : public QDialog {
    Q_OBJECT
public:
    static frmSelectNum* instance() { return DefaultInstance<frmSelectNum>::get(); }
    static void unload() { DefaultInstance<frmSelectNum>::unload(); }

    long MaxNum = 0;
    long MinNum = 0;
    bool NoRange = false;
    bool Cambio = false;
    int CantDecimals = 0; // decimals shown
    QString Formato;      // the field's display format

    QLabel* Label4;
    QLineEdit* FText;
    QLabel* lblTo;
    QLineEdit* TText;
    RangeSlider* TimeRange;
    QPushButton* cmdAceptar;

    void GetRange();
    void InitializeNumericFields();
    void InitializeNumericField(QLineEdit* box);
    void TimeRangeChange();
    void cmdAceptar_Click();

    // "0", or "0", the decimal separator and CantDecimals zeros.
    QString ZeroText() const;
    // A number in the user's notation (the locale's, or with the program's decimal separator); false
    // when the text is no number.
    static bool ReadNumber(const QString& text, double* value);
    // A number as a slider position: the nearest whole number, halves to the even neighbour, kept
    // inside the range of a Long.
    static int WholeNumber(double value);

private:
    friend class DefaultInstance<frmSelectNum>;
    explicit frmSelectNum(QWidget* parent = nullptr);
    void Form_Load();
};
