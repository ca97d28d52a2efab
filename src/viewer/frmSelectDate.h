#pragma once
// The date value picker: the From date, or the From/To pair, of a date filter, each with its time of
// day, picked in the boxes, with the day slider over a span of dates, or with the quick spans. One
// default instance serves the designer's filter grid and the viewer's user-filter grid: the caller
// touches it (instance()), sets the span and the dates, calls GetRange, shows it modally, reads Cambio
// and the values of FDate and TDate, resets Cambio and unloads it.
#include "viewer/RangeSlider.h"

#include "viewer/DefaultInstance.h"
#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDateTimeEdit>

#include <QDialog>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QTimeEdit>

class frmSelectDate : public QDialog {
    Q_OBJECT
public:
    static frmSelectDate* instance() { return DefaultInstance<frmSelectDate>::get(); }
    static void unload() { DefaultInstance<frmSelectDate>::unload(); }

    QDateTime MaxDate;    // end of the slider's span
    QDateTime MinDate;    // start of the span: slider position 0
    QDateTime DefMaxDate; // initial To date
    QDateTime DefMinDate; // initial From date
    bool NoRange = false;
    bool Cambio = false;

    QLabel* Label4;
    QDateTimeEdit* FDate;
    QTimeEdit* FHour;
    QPushButton* cmdFNow;
    QLabel* lblTo;
    QDateTimeEdit* TDate;
    QTimeEdit* THour;
    QPushButton* cmdTNow;
    QDateEdit* testDate; // hidden; holds the last date built by ConseguirFecha
    RangeSlider* TimeRange;
    QCheckBox* chkShort;
    QList<QPushButton*> cmdChangeDate; // "1D", "1W", "1M", "3M", "6M", "1Y", "5Y", "10Y", "20Y"
    QPushButton* cmdAceptar;

    void GetRange();
    QDateTime ConseguirFecha(int day, int month, int year);
    void TimeRangeChange();
    void FDate_Change();
    void TDate_Change();
    void cmdFNow_Click();
    void cmdTNow_Click();
    void cmdChangeDate_Click(const QString& caption);
    void chkShort_Click();
    void cmdAceptar_Click();
    void reject() override;

    // The text a picked date is written as: ISO, "2024-03-10 15:00:00".
    static QString IsoText(const QDateTime& d);
    // A date written in ISO form or in the locale's short or long form, with or without a time of
    // day; invalid when the text is no date.
    static QDateTime ReadDate(const QString& text);

private:
    friend class DefaultInstance<frmSelectDate>;
    explicit frmSelectDate(QWidget* parent = nullptr);
    void Form_Load();
    void showFormat(bool shortFormat);
    // Sets a box from code: that is no change of the user's.
    static void setBox(QDateTimeEdit* box, const QDateTime& value);
};
