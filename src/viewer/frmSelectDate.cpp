#include "viewer/frmSelectDate.h"

#include "platform/os/Clock.h"
#include "shell/General.h"
#include "viewer/UserFilterSql.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <limits>

namespace {

const char* const kQuickSpans[] = {"1D", "1W", "1M", "3M", "6M", "1Y", "5Y", "10Y", "20Y"};
constexpr int kMarginMonths = 6; // the default span: two quarters either side of now

// Day boundaries from a to b: the calendar days between their dates, times of day left aside.
int days(const QDateTime& a, const QDateTime& b) {
    if (!a.isValid() || !b.isValid()) return 0;
    const qint64 n = a.date().daysTo(b.date());
    return int(std::clamp<qint64>(n, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The locale's short date with the whole year, so no date is read back in another century.
QString shortDateFormat() {
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains("yyyy")) f.replace("yy", "yyyy");
    return f;
}

// The text with the year, when it was typed with one or two digits, written with four. The year is
// found as the format's numeric sections are: the same count of digit runs in the same order.
QString withFullYear(const QString& text, const QString& format) {
    int sections = 0, yearSection = -1;
    bool quoted = false;
    for (int i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == '\'') {
            quoted = !quoted;
            ++i;
            continue;
        }
        int n = 1;
        while (i + n < format.size() && format[i + n] == c)
            ++n;
        if (!quoted) {
            const bool numeric = ((c == 'd' || c == 'M') && n <= 2) || c == 'y' || c == 'h' || c == 'H' ||
                                 c == 'm' || c == 's' || c == 'z';
            if (c == 'y') yearSection = sections;
            if (numeric) ++sections;
        }
        i += n;
    }
    static const QRegularExpression digits(QStringLiteral("\\d+"));
    QList<QRegularExpressionMatch> runs;
    for (auto it = digits.globalMatch(text); it.hasNext();)
        runs << it.next();
    if (yearSection < 0 || runs.size() != sections) return text;
    const QRegularExpressionMatch& y = runs[yearSection];
    if (y.capturedLength() > 2) return text;
    const int year = UserFilterSql::yearOfTwoDigits(y.captured().toInt());
    return QString(text).replace(y.capturedStart(), y.capturedLength(), QString::number(year));
}

// A date box that shows four-digit years and takes a year typed with two in full when the user
// leaves it or confirms it; left to itself it would go back to the year it had.
class DateBox : public QDateTimeEdit {
public:
    using QDateTimeEdit::QDateTimeEdit;

protected:
    void focusOutEvent(QFocusEvent* e) override {
        takeShortYear();
        QDateTimeEdit::focusOutEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) takeShortYear();
        QDateTimeEdit::keyPressEvent(e);
    }

private:
    void takeShortYear() {
        QString text = lineEdit()->text();
        int pos = 0;
        if (validate(text, pos) == QValidator::Acceptable) return;
        QString full = withFullYear(text, displayFormat());
        if (full == text || validate(full, pos) != QValidator::Acceptable) return;
        setDateTime(dateTimeFromText(full));
    }
};

// The locale's long date without the day of the week: a box showing the weekday refuses a typed day
// or year, the new date no longer falling on that weekday.
QString longDateFormat() {
    static const QRegularExpression weekday(QStringLiteral("(?<!d)d{3,4}(?!d)[,.\\s]*"));
    QString f = QLocale().dateFormat(QLocale::LongFormat).remove(weekday).trimmed();
    while (f.endsWith(',') || f.endsWith(' '))
        f.chop(1);
    return f.contains('d') && f.contains('M') && f.contains('y') ? f : QStringLiteral("d MMMM yyyy");
}

QDateTime subtractPeriod(const QDateTime& now, const QString& caption) {
    if (caption == "1D") return now.addDays(-1);
    if (caption == "1W") return now.addDays(-7);
    if (caption == "1M") return now.addMonths(-1);
    if (caption == "3M") return now.addMonths(-3);
    if (caption == "6M") return now.addMonths(-6);
    if (caption == "1Y") return now.addYears(-1);
    if (caption == "5Y") return now.addYears(-5);
    if (caption == "10Y") return now.addYears(-10);
    if (caption == "20Y") return now.addYears(-20);
    return {};
}
} // namespace

frmSelectDate::frmSelectDate(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSelectDate");
    setWindowTitle("Select date");
    auto pickDate = [this](const char* name) {
        auto* d = new DateBox(this);
        d->setObjectName(name);
        d->setCalendarPopup(true);
        return d;
    };
    auto time = [this](const char* name) {
        auto* h = new QTimeEdit(this);
        h->setObjectName(name);
        h->setDisplayFormat("HH:mm:ss");
        h->setTime(QTime(0, 0));
        return h;
    };
    auto button = [this](const QString& caption, const char* name) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    Label4 = new QLabel("From", this);
    FDate = pickDate("FDate");
    FHour = time("FHour");
    cmdFNow = button("Now", "cmdFNow");
    lblTo = new QLabel("To", this);
    TDate = pickDate("TDate");
    THour = time("THour");
    cmdTNow = button("Now", "cmdTNow");
    testDate = new QDateEdit(this);
    testDate->setObjectName("testDate");
    testDate->hide();
    TimeRange = new RangeSlider(this, "TimeRange");
    chkShort = new QCheckBox("Short Date", this);
    chkShort->setObjectName("chkShort");
    for (const char* caption : kQuickSpans)
        cmdChangeDate << button(caption, "cmdChangeDate");
    cmdAceptar = button("OK", "cmdAceptar");
    showFormat(false);

    auto* boxes = new QGridLayout;
    boxes->addWidget(Label4, 0, 0);
    boxes->addWidget(FDate, 0, 1);
    boxes->addWidget(FHour, 0, 2);
    boxes->addWidget(cmdFNow, 0, 3);
    boxes->addWidget(lblTo, 1, 0);
    boxes->addWidget(TDate, 1, 1);
    boxes->addWidget(THour, 1, 2);
    boxes->addWidget(cmdTNow, 1, 3);
    boxes->setColumnStretch(1, 1);
    auto* quick = new QHBoxLayout;
    for (QPushButton* b : cmdChangeDate)
        quick->addWidget(b);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(chkShort);
    bottom->addStretch(1);
    bottom->addWidget(cmdAceptar);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(boxes);
    lay->addWidget(TimeRange->widget());
    lay->addLayout(quick);
    lay->addLayout(bottom);

    connect(TimeRange, &RangeSlider::Change, this, &frmSelectDate::TimeRangeChange);
    connect(TimeRange, &RangeSlider::Scroll, this, &frmSelectDate::TimeRangeChange);
    connect(FDate, &QDateTimeEdit::dateTimeChanged, this, &frmSelectDate::FDate_Change);
    connect(TDate, &QDateTimeEdit::dateTimeChanged, this, &frmSelectDate::TDate_Change);
    connect(cmdFNow, &QPushButton::clicked, this, &frmSelectDate::cmdFNow_Click);
    connect(cmdTNow, &QPushButton::clicked, this, &frmSelectDate::cmdTNow_Click);
    for (QPushButton* b : cmdChangeDate)
        connect(b, &QPushButton::clicked, this, [this, b] { cmdChangeDate_Click(b->text()); });
    connect(chkShort, &QCheckBox::clicked, this, &frmSelectDate::chkShort_Click);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmSelectDate::cmdAceptar_Click);
    Form_Load();
}

void frmSelectDate::Form_Load() {
    if (General::GetSetting("OE", "frmSelectDate", "ShortDate") == "YES") {
        chkShort->setChecked(true);
        showFormat(true);
    }
    const QDateTime now = bd::os::Now();
    MaxDate = now.addMonths(kMarginMonths);
    MinDate = now.addMonths(-kMarginMonths);
    const QDate today = now.date();
    DefMaxDate = ConseguirFecha(today.day(), today.month(), today.year());
    DefMinDate = DefMaxDate;
    GetRange();
}

void frmSelectDate::showFormat(bool shortFormat) {
    const QString f = shortFormat ? shortDateFormat() : longDateFormat();
    for (QDateTimeEdit* d : {FDate, TDate}) {
        d->setDisplayFormat(f);
        d->update();
    }
}

void frmSelectDate::setBox(QDateTimeEdit* box, const QDateTime& value) {
    if (!value.isValid()) return;
    const QSignalBlocker quiet(box);
    box->setDateTime(value);
}

// A day that the month does not have falls back to the month's last day.
QDateTime frmSelectDate::ConseguirFecha(int day, int month, int year) {
    const QDate first(year, month, 1);
    if (!first.isValid()) return {};
    const QDate d(year, month, std::clamp(day, 1, first.daysInMonth()));
    testDate->setDate(d);
    return QDateTime(d, QTime(0, 0));
}

void frmSelectDate::GetRange() {
    // A span that would run backwards is no span.
    if (MinDate.isValid() && MaxDate.isValid() && MaxDate < MinDate) MaxDate = MinDate;
    TimeRange->setMin(0);
    TimeRange->setMax(days(MinDate, MaxDate));
    TimeRange->setUpperValue(days(MinDate, DefMaxDate));
    TimeRange->setLowerValue(days(MinDate, DefMinDate));
    setBox(FDate, DefMinDate);
    setBox(TDate, DefMaxDate);
    TimeRange->setUpperVisible(true);
    if (NoRange) {
        lblTo->hide();
        TDate->hide();
        THour->hide();
        cmdTNow->hide();
        TimeRange->setUpperVisible(false);
        TimeRange->setUpperValue(0);
    }
}

void frmSelectDate::TimeRangeChange() {
    setBox(TDate, MinDate.addDays(TimeRange->UpperValue()));
    setBox(FDate, MinDate.addDays(TimeRange->LowerValue()));
}

void frmSelectDate::FDate_Change() {
    TimeRange->setLowerValue(days(MinDate, FDate->dateTime()));
}

void frmSelectDate::TDate_Change() {
    TimeRange->setUpperValue(days(MinDate, TDate->dateTime()));
}

void frmSelectDate::cmdFNow_Click() {
    setBox(FDate, bd::os::Now());
    FDate_Change();
}

void frmSelectDate::cmdTNow_Click() {
    setBox(TDate, bd::os::Now());
    TDate_Change();
}

void frmSelectDate::cmdChangeDate_Click(const QString& caption) {
    const QDateTime now = bd::os::Now();
    const QDateTime from = subtractPeriod(now, caption);
    if (!from.isValid()) return;
    setBox(TDate, now.addDays(1));
    setBox(FDate, from);
    MinDate = FDate->dateTime();
    MaxDate = TDate->dateTime();
    TimeRange->setMax(days(MinDate, MaxDate));
    TimeRange->setMin(0);
    TimeRange->setUpperValue(TimeRange->Max());
    TimeRange->setLowerValue(TimeRange->Min());
}

// The choice is stored at once, also when the dialog is then closed without OK.
void frmSelectDate::chkShort_Click() {
    const bool shortFormat = chkShort->isChecked();
    showFormat(shortFormat);
    General::SaveSetting("OE", "frmSelectDate", "ShortDate", shortFormat ? "YES" : "NO");
    if (NoRange) TDate->hide();
}

void frmSelectDate::cmdAceptar_Click() {
    Cambio = true;
    const QTime f = FHour->time(), t = THour->time();
    setBox(FDate, QDateTime(FDate->date(), QTime(f.hour(), f.minute(), f.second())));
    setBox(TDate, QDateTime(TDate->date(), QTime(t.hour(), t.minute(), t.second())));
    accept();
}

void frmSelectDate::reject() {
    Cambio = false;
    QDialog::reject();
}

QString frmSelectDate::IsoText(const QDateTime& d) {
    return d.toString("yyyy-MM-dd HH:mm:ss");
}

QDateTime frmSelectDate::ReadDate(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return {};
    for (const char* f : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        const QDateTime d = QDateTime::fromString(t, QString::fromLatin1(f));
        if (d.isValid()) return d;
    }
    QDateTime d = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (d.isValid()) return d;
    const QLocale loc;
    // Numbers in the locale's order, a two-digit year as the filter's SQL reads it.
    d = UserFilterSql::parseUserDate(t, loc);
    if (d.isValid()) return d;
    for (QLocale::FormatType f : {QLocale::ShortFormat, QLocale::LongFormat}) {
        d = loc.toDateTime(t, f);
        if (d.isValid()) return d;
        const QDate day = loc.toDate(t, f);
        if (day.isValid()) return QDateTime(day, QTime(0, 0));
    }
    const QString shortFormat = shortDateFormat();
    for (const QString& f : {shortFormat + " HH:mm:ss", shortFormat + " HH:mm", shortFormat}) {
        d = loc.toDateTime(t, f);
        if (d.isValid()) return d;
    }
    return {};
}
