#pragma once
// Alert rules of the measure grid (spCal): a measure's main row and the alert sub-rows under it,
// each with a range, colours, a totals switch and recipients. Reading the rules, matching them to the
// pivot's data fields, the search that stores an HTML table of the cells in range in each rule's
// result tag, the per-cell highlighting, and the texts of the alert and report-updated mails.
// Every text taken from the cube or the data is HTML-escaped before it enters a table or a mail.
#include "platform/pivot/PivotTable.h"

#include <QString>
#include <QVector>
#include <cstdint>

namespace bd::grid {
class Grid;
}

namespace bd::alerts {

// At most this many cells are listed in a rule's table; "And others..." follows when more were found.
constexpr int kMaxListedCells = 50;

struct AlertRule {
    int row = 0;         // row of spCal
    QString measure;     // column 1
    int aggregate = 0;   // the pivot's code of column 3; a row without one keeps the row above's
    double low = 0;      // column 4 ("" = 0)
    double high = 0;     // column 5 ("" = 0)
    bool totals = false; // column 6 "1": total cells take part
    // Highlight colours: the back and text colours of the row's column-5 cell (OLE colours).
    uint32_t back = 0;
    uint32_t fore = 0;
    QString recipients; // column-9 tag
    bool inRange(double v) const { return low <= v && v <= high; }
};

// The rules from row 1 down to the first row whose column 1 is empty.
QVector<AlertRule> readAlertRules(const bd::grid::Grid& spCal);

// A bound as typed or stored: "" is 0; either '.' or ',' is the decimal separator (the last one when
// both appear, a kind that repeats is grouping); text that is no number is 0.
double parseBound(const QString& text);

// The rule applies to a data field of the same name (without regard to case) and aggregate.
bool applies(const AlertRule& rule, const bd::pivot::PivotField& dataField);

// The rule's result: a table of the cells in range (row headers and value) with a header row, or ""
// when no cell is in range.
QString alertResult(const AlertRule& rule, const bd::pivot::PivotTable& dc);

// Clears the result tag (column 8) of every row, then stores the result of each rule that has
// recipients.
void findAlerts(bd::grid::Grid& spCal, const bd::pivot::PivotTable& dc);

// Some row of the whole grid has both recipients and a result.
bool anyResult(const bd::grid::Grid& spCal);

// Gives the cell the colours of the last rule that it qualifies for.
void highlight(const QVector<AlertRule>& rules, const bd::pivot::PivotTable& dc, bd::pivot::CellFormat& cell);

// One alert mail: the recipient string exactly as stored and the mail's HTML body.
struct AlertMail {
    QString recipients;
    QString body;
};

// The text of one rule with a result, for the mail body.
QString ruleText(const bd::grid::Grid& spCal, int row);
// `Created with <a href="{HOME}">Brintova Deridoro</a>`.
QString footer(const QString& homePage);
// One mail per distinct recipient string (compared exactly), in order of first appearance, from the
// rows of the whole grid that have recipients and a result.
QVector<AlertMail> alertMails(const bd::grid::Grid& spCal, const QString& homePage);

// Body of the mail that tells a report's recipients where its updated view is.
QString reportUpdatedBody(const QString& name, const QString& viewsBase, const QString& exportId,
                          const QString& viewPage);

} // namespace bd::alerts
