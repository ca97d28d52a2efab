// HTML and spreadsheet export (printing: PivotPrint.cpp).
#include "platform/pivot/NumberFormat.h"
#include "platform/pivot/PivotTable.h"

#include <QSaveFile>
#include <QXmlStreamWriter>
#include <cmath>

namespace bd::pivot {

namespace {

// One element per line: texts never carry a line break into the file.
QString cellHtml(const QString& s) {
    QString t = s;
    t.replace('\r', ' ').replace('\n', ' ');
    return t.isEmpty() ? QStringLiteral("&nbsp;") : t.toHtmlEscaped();
}

// The excel-style mask for a number format of ours ("0,00" in a comma locale -> "0.00").
QString spreadsheetMask(const QString& mask) {
    if (mask.trimmed().isEmpty()) return QStringLiteral("General");
    const int dec = maskDecimals(mask);
    const QString sample = formatNumber(1234567, mask, QLocale::c());
    QString m = sample.contains(',') ? QStringLiteral("#,##0") : QStringLiteral("0");
    if (dec > 0) m += '.' + QString(dec, '0');
    if (mask.contains('%')) m += '%';
    return m;
}

} // namespace

namespace {
// The result rows and columns an export writes: all of them, or those that are not totals.
void exportedCells(const PivotTable& t, bool totals, std::vector<int>& rows, std::vector<int>& cols) {
    for (int c = 0; c < t.resultColumns(); ++c)
        if (totals || !t.isTotalColumn(c)) cols.push_back(c);
    for (int r = 0; r < t.resultRows(); ++r)
        if (totals || !t.isTotalRow(r)) rows.push_back(r);
}

// The whole file written, or the old one left as it was with the reason in error.
bool saveExport(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) < 0 || !f.commit()) {
        if (error) *error = PivotTable::tr("The file %1 could not be written: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

// A SpreadsheetML 2003 workbook of one sheet, "Pivot": the styles, then the table row by row. Styles:
// "field", "header", "total", and per data field "n<d>" for its values, "t<d>" for its totals.
class SheetWriter {
public:
    explicit SheetWriter(QByteArray* bytes) : w(bytes) {
        w.setAutoFormatting(true);
        w.writeStartDocument();
        w.writeProcessingInstruction("mso-application", "progid=\"Excel.Sheet\"");
        w.writeDefaultNamespace(ss);
        w.writeNamespace(ss, "ss");
        w.writeStartElement(ss, "Workbook");
    }

    void styles(const std::vector<PivotField*>& df) {
        w.writeStartElement(ss, "Styles");
        style("field", true, true, {});
        style("header", false, true, {});
        style("total", true, true, {});
        for (size_t d = 0; d < df.size(); ++d) {
            style(QStringLiteral("n%1").arg(d), false, false, spreadsheetMask(df[d]->numberFormat()));
            style(QStringLiteral("t%1").arg(d), true, true, spreadsheetMask(df[d]->numberFormat()));
        }
        w.writeEndElement();
    }

    void startTable() {
        w.writeStartElement(ss, "Worksheet");
        w.writeAttribute(ss, "Name", "Pivot");
        w.writeStartElement(ss, "Table");
    }

    // Each page field with its selection, then an empty row.
    void pageRows(const std::vector<PivotField*>& pf) {
        for (PivotField* f : pf) {
            w.writeStartElement(ss, "Row");
            text(f->caption(), "field");
            text(f->selectionText(), "header");
            w.writeEndElement();
        }
        if (!pf.empty()) {
            w.writeStartElement(ss, "Row");
            w.writeEndElement();
        }
    }

    // One row per column level: the column field's caption over the row headers (the last level: the
    // row fields' captions), then the headers of the columns.
    void columnHeaderRows(const PivotTable& t, const std::vector<PivotField*>& rf,
                          const std::vector<PivotField*>& cf, const std::vector<int>& cols) {
        const int k = int(rf.size()), m = int(cf.size()), corner = std::max(1, k);
        for (int l = 0; l <= m; ++l) {
            w.writeStartElement(ss, "Row");
            if (l < m)
                text(cf[size_t(l)]->caption(), "field", corner - 1);
            else if (k == 0)
                text({}, "field");
            else
                for (PivotField* f : rf)
                    text(f->caption(), "field");
            for (int c : cols)
                text(t.columnHeaderText(c, l), "header");
            w.writeEndElement();
        }
    }

    // The row headers and the values, as numbers.
    void bodyRows(const PivotTable& t, int k, const std::vector<int>& rows, const std::vector<int>& cols) {
        const int corner = std::max(1, k);
        for (int r : rows) {
            const bool total = t.isTotalRow(r);
            w.writeStartElement(ss, "Row");
            for (int l = 0; l < corner; ++l)
                text(k ? t.rowHeaderText(r, l) : QString(), total ? "total" : "header");
            for (int c : cols)
                number(t.cellValue(r, c), QStringLiteral("%1%2")
                                              .arg(total || t.isTotalColumn(c) ? "t" : "n")
                                              .arg(t.dataFieldIndex(c)));
            w.writeEndElement();
        }
    }

    void finish() {
        w.writeEndElement(); // Table
        w.writeEndElement(); // Worksheet
        w.writeEndElement(); // Workbook
        w.writeEndDocument();
    }

private:
    void style(const QString& id, bool bold, bool grey, const QString& fmt) {
        w.writeStartElement(ss, "Style");
        w.writeAttribute(ss, "ID", id);
        if (bold) {
            w.writeStartElement(ss, "Font");
            w.writeAttribute(ss, "Bold", "1");
            w.writeEndElement();
        }
        if (grey) {
            w.writeStartElement(ss, "Interior");
            w.writeAttribute(ss, "Color", "#F0F0F0");
            w.writeAttribute(ss, "Pattern", "Solid");
            w.writeEndElement();
        }
        if (!fmt.isEmpty()) {
            w.writeStartElement(ss, "NumberFormat");
            w.writeAttribute(ss, "Format", fmt);
            w.writeEndElement();
        }
        w.writeEndElement();
    }

    void text(const QString& t, const QString& st, int across = 0) {
        w.writeStartElement(ss, "Cell");
        if (!st.isEmpty()) w.writeAttribute(ss, "StyleID", st);
        if (across > 0) w.writeAttribute(ss, "MergeAcross", QString::number(across));
        if (!t.isEmpty()) {
            w.writeStartElement(ss, "Data");
            w.writeAttribute(ss, "Type", "String");
            w.writeCharacters(t);
            w.writeEndElement();
        }
        w.writeEndElement();
    }

    void number(const QVariant& v, const QString& st) {
        w.writeStartElement(ss, "Cell");
        w.writeAttribute(ss, "StyleID", st);
        // A value the table cannot show (an overflowed sum) is no number a spreadsheet reads.
        if (v.isValid() && std::isfinite(v.toDouble())) {
            w.writeStartElement(ss, "Data");
            w.writeAttribute(ss, "Type", "Number");
            w.writeCharacters(QString::number(v.toDouble(), 'g', 17));
            w.writeEndElement();
        }
        w.writeEndElement();
    }

    QXmlStreamWriter w;
    const QString ss = QStringLiteral("urn:schemas-microsoft-com:office:spreadsheet");
};
} // namespace

QString PivotTable::htmlTable(bool totals, bool forPrint) const {
    ensure();
    const QString nl = forPrint ? QStringLiteral("\n") : QStringLiteral("\r\n");
    const auto rf = area(RowArea), cf = area(ColumnArea), pf = area(PageArea);
    const int k = int(rf.size()), m = int(cf.size()), corner = std::max(1, k);
    std::vector<int> cols, rows;
    exportedCells(*this, totals, rows, cols);
    QStringList out;
    const QString border = forPrint ? QStringLiteral(" border=\"1\"") : QString();
    out << QStringLiteral("<TABLE cellspacing=\"0\" cellpadding=\"2\"%1>").arg(border);
    for (PivotField* f : pf)
        out << "<TR>" << QStringLiteral("<TD class=\"field\">%1</TD>").arg(cellHtml(f->caption()))
            << QStringLiteral("<TD class=\"header\">%1</TD>").arg(cellHtml(f->selectionText())) << "</TR>";
    if (!pf.empty()) out << "<TR>" << QStringLiteral("<TD>&nbsp;</TD>") << "</TR>";
    for (int l = 0; l <= m; ++l) {
        out << "<TR>";
        if (l < m)
            out << QStringLiteral("<TD class=\"field\" colspan=\"%1\">%2</TD>")
                       .arg(corner)
                       .arg(cellHtml(cf[size_t(l)]->caption()));
        else if (k == 0)
            out << QStringLiteral("<TD class=\"field\">&nbsp;</TD>");
        else
            for (PivotField* f : rf)
                out << QStringLiteral("<TD class=\"field\">%1</TD>").arg(cellHtml(f->caption()));
        for (size_t i = 0; i < cols.size();) {
            size_t j = i + 1;
            auto same = [&](int a, int b) {
                for (int u = 0; u <= l; ++u)
                    if (columnHeaderText(a, u) != columnHeaderText(b, u)) return false;
                return true;
            };
            while (j < cols.size() && l < m && same(cols[i], cols[j]))
                ++j;
            const QString span = j - i > 1 ? QStringLiteral(" colspan=\"%1\"").arg(j - i) : QString();
            out << QStringLiteral("<TD class=\"header\"%1>%2</TD>")
                       .arg(span, cellHtml(columnHeaderText(cols[i], l)));
            i = j;
        }
        out << "</TR>";
    }
    for (size_t ri = 0; ri < rows.size(); ++ri) {
        const int r = rows[ri];
        const bool total = isTotalRow(r);
        out << "<TR>";
        bool differs = ri == 0;
        for (int l = 0; l < corner; ++l) {
            const QString t = k ? rowHeaderText(r, l) : QString();
            if (!differs && rowHeaderText(rows[ri - 1], l) != t) differs = true;
            out << QStringLiteral("<TD class=\"%1\">%2</TD>")
                       .arg(total ? "total" : "header", cellHtml(differs || total ? t : QString()));
        }
        for (int c : cols) {
            const bool t = total || isTotalColumn(c);
            const QString cls = t ? QStringLiteral("total") : QStringLiteral("data%1").arg(dataFieldIndex(c));
            const QString align = forPrint ? QStringLiteral(" align=\"right\"") : QString();
            out << QStringLiteral("<TD class=\"%1\"%2>%3</TD>").arg(cls, align, cellHtml(cellText(r, c)));
        }
        out << "</TR>";
    }
    out << "</TABLE>";
    return out.join(nl) + nl;
}

bool PivotTable::exportHtml(const QString& path, bool totals, bool, bool, bool, QString* error) const {
    const QString nl = QStringLiteral("\r\n");
    QString html;
    html += "<HTML><HEAD>" + nl;
    html += "<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">" + nl;
    html += "</HEAD><BODY>" + nl;
    html += htmlTable(totals, false);
    html += "<STYLE type=\"text/css\">" + nl;
    html += " td.field { font:normal normal bold 9.75pt normal Verdana; background-color:#808080; "
            "color:#ffffff; }" +
            nl;
    html += " td.header { font:normal normal normal 9.75pt normal Verdana; background-color:#f0f0f0; }" + nl;
    html += " td.total { font:normal normal bold 9.75pt normal Verdana; text-align:right; "
            "background-color:#f0f0f0; }" +
            nl;
    html += " td.data { font:normal normal normal 9.75pt normal Verdana; text-align:right; }" + nl;
    for (int d = 0; d < int(area(DataArea).size()); ++d)
        html += QStringLiteral(
                    " td.data%1 { font:normal normal normal 9.75pt normal Verdana; text-align:right; }")
                    .arg(d) +
                nl;
    html += "</STYLE>" + nl;
    html += "</BODY></HTML>" + nl;
    return saveExport(path, html.toUtf8(), error);
}

bool PivotTable::exportSpreadsheet(const QString& path, bool totals, bool, bool, bool, QString* error) const {
    ensure();
    const auto rf = area(RowArea), cf = area(ColumnArea), pf = area(PageArea), df = area(DataArea);
    std::vector<int> cols, rows;
    exportedCells(*this, totals, rows, cols);

    QByteArray bytes;
    SheetWriter sheet(&bytes);
    sheet.styles(df);
    sheet.startTable();
    sheet.pageRows(pf);
    sheet.columnHeaderRows(*this, rf, cf, cols);
    sheet.bodyRows(*this, int(rf.size()), rows, cols);
    sheet.finish();
    return saveExport(path, bytes, error);
}

} // namespace bd::pivot
