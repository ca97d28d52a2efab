#include "publishing/Alerts.h"

#include "designer/DefinitionGrids.h"
#include "platform/grid/Grid.h"
#include "platform/os/Twips.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"

#include <QLocale>
#include <algorithm>

namespace bd::alerts {
namespace {
using G = DefinitionGrids;

QString esc(const QString& s) {
    return s.toHtmlEscaped();
}

// Header texts enter the tables without apostrophes and double quotes.
QString headerText(QString s) {
    s.remove('\'').remove('"');
    return esc(s);
}

QString valueText(double v) {
    QString s = QString::number(v, 'g', 15);
    const QString sep = General::sSepDecimal.isEmpty() ? QLocale().decimalPoint() : General::sSepDecimal;
    return s.replace('.', sep);
}

double boundOf(const bd::grid::Grid& g, int col, int row) {
    const QVariant v = g.value(col, row);
    if (v.typeId() == QMetaType::Double) return v.toDouble();
    return parseBound(g.text(col, row));
}

bd::pivot::PivotField* dataFieldOfColumn(const bd::pivot::PivotTable& dc, int column) {
    return dc.dataFields().item(dc.dataFieldIndex(column));
}
} // namespace

double parseBound(const QString& text) {
    return bd::grid::parseFloatText(text).value_or(0);
}

QVector<AlertRule> readAlertRules(const bd::grid::Grid& spCal) {
    QVector<AlertRule> rules;
    int code = 0;
    for (int r = 1; r <= spCal.maxRows(); ++r) {
        const QString name = spCal.text(G::ColMedida, r);
        if (name.isEmpty()) break;
        // A sub-row has no aggregate of its own: it keeps its main row's.
        if (const auto c = G::AggregateCodeOf(spCal.text(G::ColAgregado, r))) code = *c;
        AlertRule rule;
        rule.row = r;
        rule.measure = name;
        rule.aggregate = code;
        rule.low = boundOf(spCal, G::ColLimiteInferior, r);
        rule.high = boundOf(spCal, G::ColLimiteSuperior, r);
        rule.totals = spCal.text(G::ColIncluirTotales, r) == "1";
        rule.back = spCal.backColor(G::ColLimiteSuperior, r);
        rule.fore = spCal.foreColor(G::ColLimiteSuperior, r);
        rule.recipients = spCal.cellTag(G::ColDestinatarios, r);
        rules.push_back(rule);
    }
    return rules;
}

bool applies(const AlertRule& rule, const bd::pivot::PivotField& dataField) {
    return dataField.name().compare(rule.measure, Qt::CaseInsensitive) == 0 &&
           dataField.aggregate() == rule.aggregate;
}

QString alertResult(const AlertRule& rule, const bd::pivot::PivotTable& dc) {
    const int levels = dc.rowFields().count();
    QString rows;
    QString valueCaption;
    int found = 0;
    for (int c = 0; c < dc.resultColumns(); ++c) {
        const bd::pivot::PivotField* df = dataFieldOfColumn(dc, c);
        if (!df || !applies(rule, *df)) continue;
        if (valueCaption.isEmpty()) valueCaption = df->caption();
        if (!rule.totals && dc.isTotalColumn(c)) continue;
        for (int r = 0; r < dc.resultRows(); ++r) {
            if (!rule.totals && dc.isTotalRow(r)) continue;
            const QVariant cell = dc.cellValue(r, c);
            // An empty cell holds no value, so it is in no range.
            if (!cell.isValid() || !rule.inRange(cell.toDouble())) continue;
            if (++found > kMaxListedCells) continue;
            rows += "<tr>";
            for (int l = 0; l < levels; ++l)
                rows += "<td>" + headerText(dc.rowHeaderText(r, l)) + "</td>";
            rows += "<td><b>" + esc(valueText(cell.toDouble())) + "</b></td></tr>";
        }
    }
    if (rows.isEmpty()) return {};
    QString header = "<tr>";
    for (const bd::pivot::PivotField* f : dc.rowFields())
        header += "<td>" + headerText(f->caption()) + "</td>";
    header += "<td><b>" + esc(valueCaption) + "</b></td></tr>";
    return "<table>" + header + rows + "</table>" + (found > kMaxListedCells ? "And others..." : "") + "<br>";
}

void findAlerts(bd::grid::Grid& spCal, const bd::pivot::PivotTable& dc) {
    for (int r = 1; r <= spCal.maxRows(); ++r)
        if (!spCal.cellTag(G::ColResultadoAlerta, r).isEmpty())
            General::EscribirCelda(spCal, G::ColResultadoAlerta, r, {});
    for (const AlertRule& rule : readAlertRules(spCal)) {
        if (rule.recipients.isEmpty()) continue;
        const QString result = alertResult(rule, dc);
        if (!result.isEmpty()) General::EscribirCelda(spCal, G::ColResultadoAlerta, rule.row, result);
    }
}

bool anyResult(const bd::grid::Grid& spCal) {
    for (int r = 1; r <= spCal.maxRows(); ++r)
        if (!spCal.cellTag(G::ColDestinatarios, r).isEmpty() &&
            !spCal.cellTag(G::ColResultadoAlerta, r).isEmpty())
            return true;
    return false;
}

void highlight(const QVector<AlertRule>& rules, const bd::pivot::PivotTable& dc,
               bd::pivot::CellFormat& cell) {
    const bd::pivot::PivotField* df = dc.dataFields().item(cell.dataField);
    if (!df || !cell.value.isValid()) return;
    const double v = cell.value.toDouble();
    const bool total = dc.isTotalRow(cell.row) || dc.isTotalColumn(cell.column);
    // Every rule is looked at: the last one that qualifies sets the colours.
    for (const AlertRule& rule : rules) {
        if (!applies(rule, *df) || !rule.inRange(v) || (total && !rule.totals)) continue;
        cell.back = bd::os::oleToColor(rule.back);
        cell.fore = bd::os::oleToColor(rule.fore);
    }
}

QString ruleText(const bd::grid::Grid& spCal, int row) {
    return "The field <b>" + esc(spCal.text(G::ColMedida, row)) + "</b> has values in the range <b>" +
           esc(spCal.text(G::ColLimiteInferior, row)) + " and " + esc(spCal.text(G::ColLimiteSuperior, row)) +
           "</b>" + " <br><br> " + spCal.cellTag(G::ColResultadoAlerta, row) + "\r\n";
}

QString footer(const QString& homePage) {
    return "Created with <a href=\"" + esc(homePage) + "\">Brintova Deridoro</a>";
}

QVector<AlertMail> alertMails(const bd::grid::Grid& spCal, const QString& homePage) {
    QVector<AlertMail> mails;
    for (int r = 1; r <= spCal.maxRows(); ++r) {
        const QString to = spCal.cellTag(G::ColDestinatarios, r);
        if (to.isEmpty() || spCal.cellTag(G::ColResultadoAlerta, r).isEmpty()) continue;
        const QString text = ruleText(spCal, r);
        auto it =
            std::find_if(mails.begin(), mails.end(), [&](const AlertMail& m) { return m.recipients == to; });
        if (it == mails.end())
            mails.push_back({to, text});
        else
            it->body += " <br> " + text;
    }
    for (AlertMail& m : mails)
        m.body += "\r\n <br><br> " + footer(homePage);
    return mails;
}

QString reportUpdatedBody(const QString& name, const QString& viewsBase, const QString& exportId,
                          const QString& viewPage) {
    return "The report: \"" + esc(name) + "\" was updated. <br>" + "You can see it at: <br><br>" +
           esc(viewsBase + exportId + "/" + viewPage);
}

} // namespace bd::alerts
