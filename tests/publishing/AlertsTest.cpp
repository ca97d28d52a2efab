// Alert rules over a small pivot: reading and matching, the search's HTML, the highlighting, the
// grouping of the mails, and the viewer's alert and report-updated mails through a local relay.
#include "publishing/Alerts.h"

#include "common/LocalHttpServer.h"
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "designer/DefinitionGrids.h"
#include "platform/grid/Grid.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "platform/os/Twips.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace bd;
using bd::alerts::AlertRule;
using bd::db::ColumnarResult;
using bd::db::ColumnData;
using bd::db::ColumnKind;
using bd::pivot::PivotTable;
using G = DefinitionGrids;

namespace {

// One row per region, so each region's Sum is its value; NaN = NULL.
ColumnarResult regions(const std::vector<std::pair<std::string, double>>& rows) {
    ColumnarResult r;
    ColumnData region, amount, qty;
    region.name = "Region", region.kind = ColumnKind::Text;
    amount.name = "Amount", amount.kind = ColumnKind::Real, amount.adoType = 5;
    qty.name = "Qty", qty.kind = ColumnKind::Integer, qty.adoType = 3;
    for (const auto& [name, v] : rows) {
        region.codes.push_back(uint32_t(region.dict.size()));
        region.dict.push_back(name);
        amount.reals.push_back(std::isnan(v) ? 0 : v);
        amount.nulls.push_back(std::isnan(v));
        qty.ints.push_back(1000);
    }
    r.columns = {region, amount, qty};
    r.rowCount = rows.size();
    return r;
}

void layout(PivotTable& t, int aggregate = bd::pivot::Sum, bool withQty = false) {
    t.addField("Region", "Region", bd::pivot::PageArea)->setOrientation(bd::pivot::RowArea);
    t.addField("Amount", "Amount", bd::pivot::DataArea)->setAggregate(aggregate);
    if (withQty) t.addField("Qty", "Quantity", bd::pivot::DataArea);
    t.recalculate();
}

const std::vector<std::pair<std::string, double>> kBounds = {{"A", 9.99},  {"B", 10}, {"C", 20},
                                                             {"D", 20.01}, {"E", 0},  {"F", std::nan("")}};

// The measure grid of a designer, without the window.
struct MeasureGrid {
    QWidget host;
    DefinitionGrids defs{&host};
    grid::Grid& cal = *defs.spCal;
    // A main row (aggregate given) or a sub-row (aggregate empty, as the "+" button makes it).
    void row(int r, const QString& measure, const QString& aggregate, const QString& from, const QString& to,
             const QString& destinatarios = "x@example.com", const QString& totales = "0") {
        cal.setText(G::ColMedida, r, measure);
        if (aggregate.isEmpty()) {
            cal.setCellType(G::ColAgregado, r, grid::TypePlain);
        } else {
            cal.setText(G::ColAgregado, r, aggregate);
        }
        cal.setText(G::ColLimiteInferior, r, from);
        cal.setText(G::ColLimiteSuperior, r, to);
        cal.setText(G::ColIncluirTotales, r, totales);
        General::EscribirCelda(cal, G::ColDestinatarios, r, destinatarios);
    }
};

QString resultTable(const QString& header, const QStringList& rows, bool others = false) {
    QString s = "<table><tr><td>Region</td><td><b>" + header + "</b></td></tr>";
    for (const QString& r : rows) {
        const QStringList p = r.split('=');
        s += "<tr><td>" + p[0] + "</td><td><b>" + p[1] + "</b></td></tr>";
    }
    return s + "</table>" + (others ? "And others..." : "") + "<br>";
}

struct SepDecimal {
    QString old = General::sSepDecimal;
    explicit SepDecimal(const QString& s) { General::sSepDecimal = s; }
    ~SepDecimal() { General::sSepDecimal = old; }
};
} // namespace

TEST(AlertRules, BoundsReadWithEitherDecimalSeparator) {
    const std::pair<const char*, double> cases[] = {{"", 0},
                                                    {"10", 10},
                                                    {"10,5", 10.5},
                                                    {"10.5", 10.5},
                                                    {"-3,25", -3.25},
                                                    {" 20 ", 20},
                                                    {"1.234,5", 1234.5},
                                                    {"1,234.5", 1234.5},
                                                    {"1.234.567", 1234567},
                                                    {"abc", 0},
                                                    {"40000,00", 40000}};
    for (const auto& [text, want] : cases)
        EXPECT_DOUBLE_EQ(alerts::parseBound(text), want) << text;

    // Plain-text cells (a grid from a file) and the float cells of the measure grid read alike.
    MeasureGrid m;
    m.row(1, "Amount", "Sum", "10,5", "20.25");
    m.cal.setCellType(G::ColLimiteInferior, 2, grid::TypePlain);
    m.cal.setCellType(G::ColLimiteSuperior, 2, grid::TypePlain);
    m.row(2, "Amount", "", "1.5", "2,75");
    const QVector<AlertRule> rules = alerts::readAlertRules(m.cal);
    ASSERT_EQ(rules.size(), 2);
    EXPECT_DOUBLE_EQ(rules[0].low, 10.5);
    EXPECT_DOUBLE_EQ(rules[0].high, 20.25);
    EXPECT_DOUBLE_EQ(rules[1].low, 1.5);
    EXPECT_DOUBLE_EQ(rules[1].high, 2.75);
}

// Sub-rows (and texts that are no aggregate) keep the code of the row above; the scan ends at the
// first empty name.
TEST(AlertRules, SubRowsTakeTheAggregateAboveAndAnEmptyNameEndsTheRules) {
    MeasureGrid m;
    m.row(1, "Amount", "StDevP", "0", "1");
    m.row(2, "Amount", "", "2", "3");
    m.row(3, "Qty", "Avg", "0", "1");
    m.row(4, "Qty", "avg", "0", "1"); // not a name of the list
    m.row(6, "Amount", "Sum", "0", "1");
    const QVector<AlertRule> rules = alerts::readAlertRules(m.cal);
    ASSERT_EQ(rules.size(), 4);
    EXPECT_EQ(rules[0].aggregate, bd::pivot::StDevP);
    EXPECT_EQ(rules[1].aggregate, bd::pivot::StDevP);
    EXPECT_EQ(rules[2].aggregate, bd::pivot::Avg);
    EXPECT_EQ(rules[3].aggregate, bd::pivot::Avg);

    PivotTable t;
    t.setData(regions(kBounds));
    layout(t, bd::pivot::StDevP);
    bd::pivot::PivotField& field = *t.dataFields().item(0);
    EXPECT_TRUE(alerts::applies(rules[0], field));
    EXPECT_TRUE(alerts::applies(rules[1], field));
    EXPECT_FALSE(alerts::applies(rules[2], field));
    field.setAggregate(bd::pivot::StDev);
    EXPECT_FALSE(alerts::applies(rules[1], field));
}

TEST(AlertSearch, CellsInRangeAtTheBoundsEmptyBoundsAggregatesAndTotals) {
    SepDecimal sep(",");
    PivotTable t;
    t.setData(regions(kBounds));
    layout(t);
    MeasureGrid m;
    m.row(1, "Amount", "Sum", "10", "20");
    m.row(2, "Amount", "", "", "");               // empty bounds: 0 to 0; the empty cell of F is no 0
    m.row(3, "amount", "", "0", "100", "x", "1"); // the grand total takes part
    m.row(4, "Amount", "Avg", "0", "100");        // no Avg field in the pivot
    const QVector<AlertRule> rules = alerts::readAlertRules(m.cal);
    EXPECT_EQ(alerts::alertResult(rules[0], t), resultTable("Amount", {"B=10", "C=20"}));
    EXPECT_EQ(alerts::alertResult(rules[1], t), resultTable("Amount", {"E=0"}));
    EXPECT_EQ(alerts::alertResult(rules[2], t),
              resultTable("Amount", {"A=9,99", "B=10", "C=20", "D=20,01", "E=0", "Grand Total=60"}));
    EXPECT_EQ(alerts::alertResult(rules[3], t), "");

    // The same measure shown with Avg: the Sum rules find nothing; an Avg main row's sub-row does.
    PivotTable avg;
    avg.setData(regions(kBounds));
    layout(avg, bd::pivot::Avg);
    MeasureGrid a;
    a.row(1, "Amount", "Avg", "1000", "2000");
    a.row(2, "Amount", "", "10", "20");
    a.row(3, "Amount", "Sum", "10", "20");
    const QVector<AlertRule> r2 = alerts::readAlertRules(a.cal);
    EXPECT_EQ(alerts::alertResult(r2[0], avg), "");
    EXPECT_EQ(alerts::alertResult(r2[1], avg), resultTable("Amount", {"B=10", "C=20"}));
    EXPECT_EQ(alerts::alertResult(r2[2], avg), "");

    // The search stores results only for rules with recipients and clears every old result.
    General::EscribirCelda(m.cal, G::ColResultadoAlerta, 10, "stale");
    General::EscribirCelda(m.cal, G::ColDestinatarios, 2, "");
    alerts::findAlerts(m.cal, t);
    EXPECT_EQ(m.cal.cellTag(G::ColResultadoAlerta, 1), resultTable("Amount", {"B=10", "C=20"}));
    EXPECT_EQ(m.cal.cellTag(G::ColResultadoAlerta, 2), "");
    EXPECT_EQ(m.cal.cellTag(G::ColResultadoAlerta, 4), "");
    EXPECT_EQ(m.cal.cellTag(G::ColResultadoAlerta, 10), "");
    EXPECT_TRUE(alerts::anyResult(m.cal));
}

// "And others..." follows when more than 50 values are in range, whatever number of rows is listed.
TEST(AlertSearch, FiftyHitsListEveryOneFiftyOneSayAndOthers) {
    for (int n : {50, 51}) {
        std::vector<std::pair<std::string, double>> rows;
        QStringList listed;
        for (int i = 1; i <= n; ++i) {
            const QString name = QStringLiteral("R%1").arg(i, 2, 10, QChar('0'));
            rows.push_back({name.toStdString(), 1});
            if (i <= 50) listed << name + "=1";
        }
        PivotTable t;
        t.setData(regions(rows));
        layout(t);
        MeasureGrid m;
        m.row(1, "Amount", "Sum", "1", "1");
        EXPECT_EQ(alerts::alertResult(alerts::readAlertRules(m.cal)[0], t),
                  resultTable("Amount", listed, n == 51))
            << n;
    }
}

// Row headers, captions and the value column's caption are escaped; the value column is headed by
// the rule's own data field, not by the pivot's last one.
TEST(AlertSearch, TextsAreEscapedAndTheHeaderNamesTheRulesField) {
    SepDecimal sep(".");
    PivotTable t;
    t.setData(regions({{"<i>O'Brien & \"Co\"</i>", 5}, {"Plain", 50}}));
    layout(t, bd::pivot::Sum, true);
    t.fields().item("Region")->setCaption("Re'gion \"1\"");
    t.dataFields().item(0)->setCaption("Amount <€>");
    MeasureGrid m;
    m.row(1, "Amount", "Sum", "0", "10");
    EXPECT_EQ(alerts::alertResult(alerts::readAlertRules(m.cal)[0], t),
              "<table><tr><td>Region 1</td><td><b>Amount &lt;€&gt;</b></td></tr>"
              "<tr><td>&lt;i&gt;OBrien &amp; Co&lt;/i&gt;</td><td><b>5</b></td></tr></table><br>");
    m.cal.setText(G::ColMedida, 1, "Qty");
    m.cal.setText(G::ColLimiteSuperior, 1, "5000");
    EXPECT_EQ(alerts::alertResult(alerts::readAlertRules(m.cal)[0], t),
              "<table><tr><td>Region 1</td><td><b>Quantity</b></td></tr>"
              "<tr><td>&lt;i&gt;OBrien &amp; Co&lt;/i&gt;</td><td><b>1000</b></td></tr>"
              "<tr><td>Plain</td><td><b>1000</b></td></tr></table><br>");

    m.cal.setText(G::ColMedida, 1, "Margin & <b>");
    m.cal.setText(G::ColLimiteInferior, 1, "1.5");
    General::EscribirCelda(m.cal, G::ColResultadoAlerta, 1, "<table></table><br>");
    EXPECT_EQ(alerts::ruleText(m.cal, 1).left(67),
              "The field <b>Margin &amp; &lt;b&gt;</b> has values in the range <b>");
}

TEST(AlertHighlight, TheLastQualifyingRuleColoursTheCell) {
    PivotTable t;
    t.setData(regions(kBounds));
    layout(t, bd::pivot::Sum, true);
    MeasureGrid m;
    m.row(1, "Amount", "Sum", "0", "100");
    m.cal.setBackColor(G::ColLimiteSuperior, 1, 0x0000FF); // red
    m.cal.setForeColor(G::ColLimiteSuperior, 1, 0xFF0000); // blue
    m.row(2, "Amount", "", "15", "25");
    m.cal.setBackColor(G::ColLimiteSuperior, 2, 0x00FF00); // green
    m.cal.setForeColor(G::ColLimiteSuperior, 2, 0xFFFFFF);
    auto colours = [&](const QString& region, int column) {
        int row = -1;
        for (int r = 0; r < t.resultRows(); ++r)
            if (t.rowHeaderText(r, 0) == region) row = r;
        bd::pivot::CellFormat c;
        c.value = t.cellValue(row, column);
        c.dataField = t.dataFieldIndex(column);
        c.row = row;
        c.column = column;
        c.back = Qt::white;
        c.fore = Qt::black;
        alerts::highlight(alerts::readAlertRules(m.cal), t, c);
        return std::make_pair(c.back, c.fore);
    };
    const auto red = std::make_pair(QColor(Qt::red), QColor(Qt::blue));
    const auto green = std::make_pair(QColor(Qt::green), QColor(Qt::white));
    const auto none = std::make_pair(QColor(Qt::white), QColor(Qt::black));
    EXPECT_EQ(colours("B", 0), red);
    EXPECT_EQ(colours("C", 0), green); // both rules: the later one
    EXPECT_EQ(colours("D", 0), green);
    EXPECT_EQ(colours("F", 0), none); // empty cell
    EXPECT_EQ(colours("C", 1), none); // the quantity column
    EXPECT_EQ(colours("Grand Total", 0), none);
    m.cal.setText(G::ColIncluirTotales, 1, "1");
    EXPECT_EQ(colours("Grand Total", 0), red);
}

TEST(AlertMails, OneMailPerRecipientStringInOrderOfFirstAppearance) {
    MeasureGrid m;
    const QString to1 = "a@example.com;b@example.com", to2 = "A@example.com;b@example.com";
    m.row(1, "Amount", "Sum", "1", "2", to1);
    m.row(2, "Qty", "Sum", "3", "4", to2);
    m.row(3, "Amount", "", "5", "6", to1);
    m.row(4, "Qty", "", "7", "8", "c@example.com"); // no result: no mail
    for (int r : {1, 2, 3})
        General::EscribirCelda(m.cal, G::ColResultadoAlerta, r,
                               QStringLiteral("<table>%1</table><br>").arg(r));
    const auto text = [&](int r) { return alerts::ruleText(m.cal, r); };
    EXPECT_EQ(text(1), "The field <b>Amount</b> has values in the range <b>" +
                           m.cal.text(G::ColLimiteInferior, 1) + " and " +
                           m.cal.text(G::ColLimiteSuperior, 1) + "</b> <br><br> <table>1</table><br>\r\n");
    const QString foot =
        "\r\n <br><br> Created with <a href=\"http://home.test/?a=1&amp;b=2\">Brintova Deridoro</a>";
    const QVector<alerts::AlertMail> mails = alerts::alertMails(m.cal, "http://home.test/?a=1&b=2");
    ASSERT_EQ(mails.size(), 2);
    EXPECT_EQ(mails[0].recipients, to1);
    EXPECT_EQ(mails[0].body, text(1) + " <br> " + text(3) + foot);
    EXPECT_EQ(mails[1].recipients, to2);
    EXPECT_EQ(mails[1].body, text(2) + foot);

    for (int r : {1, 2, 3})
        General::EscribirCelda(m.cal, G::ColResultadoAlerta, r, "");
    EXPECT_TRUE(alerts::alertMails(m.cal, "x").isEmpty());
}

// ---- the viewer's alert mails -----------------------------------------------------------------

namespace {
// A viewer and its designer linked, a start window as the cube's parent, a pivot over kBounds, and
// a local relay; the language texts of the shipped file.
struct ViewerWithRelay : ::testing::Test {
    test::TempHome home{true};
    os::ScopedPrompter prompts;
    std::unique_ptr<test::FakeRelay> relay;
    FrmMain start;
    QPointer<Cubo> v;
    QPointer<Campos> c;
    void SetUp() override {
        relay = std::make_unique<test::FakeRelay>();
        os::SaveSetting("OE", "Web", "MailSender", "alerts@test");
        os::SaveSetting("OE", "Web", "HomePage", "http://home.test/");
        os::SaveSetting("OE", "Web", "ViewsBase", "http://views.test/");
        General::colIdioma.clear();
        General::CargarIdioma();
        General::sIdioma = "en";
        General::InicializarNombres();
        auto* cube = new InsCube;
        cube->CubeId = "Cube";
        cube->Vparent = &start;
        v = new Cubo;
        v->VinsCube = cube;
        c = new Campos;
        c->VinsCube = cube;
        c->VCubo = v;
        v->Vcampos = c;
        v->DC->setData(regions(kBounds));
        layout(*v->DC);
        c->chkSendAlert->setChecked(true);
        v->show();
    }
    void TearDown() override {
        if (v) {
            v->Salvar = false;
            delete v.data();
        }
    }
    void rule(int r, const QString& from, const QString& to, const QString& recipients) {
        grid::Grid& cal = *c->spCal;
        cal.setText(G::ColMedida, r, "Amount");
        if (r == 1) cal.setText(G::ColAgregado, r, "Sum");
        cal.setText(G::ColLimiteInferior, r, from);
        cal.setText(G::ColLimiteSuperior, r, to);
        General::EscribirCelda(cal, G::ColDestinatarios, r, recipients);
    }
};
} // namespace

TEST_F(ViewerWithRelay, AlertMailsGoOutPerRecipientStringThroughTheRelay) {
    rule(1, "10", "20", "a@test");
    rule(2, "0", "0", "b@test");
    rule(3, "20", "30", "a@test");
    rule(4, "500", "600", "c@test"); // nothing in range
    ASSERT_TRUE(v->HayAlertas());
    v->EnviarAlertas();
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join('/').toStdString();
    ASSERT_EQ(relay->mails.size(), 2);
    const auto body = alerts::alertMails(*c->spCal, "http://home.test/");
    EXPECT_EQ(relay->mails[0], (QHash<QString, QString>{{"txtDe", "alerts@test"},
                                                        {"txtPara", "a@test"},
                                                        {"txtAsunto", "Brintova Deridoro alert"},
                                                        {"txtTexto", body[0].body},
                                                        {"txtNombreArchivo", ""},
                                                        {"txtDatosArchivo", "."}}));
    EXPECT_TRUE(body[0].body.contains("<td>B</td>") && body[0].body.contains("<td>D</td>"));
    EXPECT_EQ(relay->mails[1]["txtPara"], "b@test");
    EXPECT_EQ(relay->mails[1]["txtTexto"], body[1].body);
}

TEST_F(ViewerWithRelay, NothingWithoutTheCheckBoxOrWithoutResults) {
    rule(1, "10", "20", "a@test");
    General::EscribirCelda(*c->spCal, G::ColResultadoAlerta, 1, "old result");
    c->chkSendAlert->setChecked(false);
    EXPECT_FALSE(v->HayAlertas());
    EXPECT_EQ(c->spCal->cellTag(G::ColResultadoAlerta, 1), "old result"); // nothing was searched
    v->EnviarAlertas();
    c->chkSendAlert->setChecked(true);
    rule(1, "500", "600", "a@test");
    EXPECT_FALSE(v->HayAlertas());
    v->EnviarAlertas();
    EXPECT_TRUE(relay->requests.isEmpty());
}

// A failing group does not stop the others; failures are one box with a person, lines on standard
// error without.
TEST_F(ViewerWithRelay, RelayFailuresAreReportedOnceAndTheOtherGroupsStillGo) {
    rule(1, "10", "20", "a@test");
    rule(2, "0", "0", "b@test");
    rule(3, "0", "10", "c@test");
    relay->answer = [](const QHash<QString, QString>& mail) {
        return mail["txtPara"] == "c@test" ? test::HttpResponse{200, "text/plain", "OK", false}
                                           : test::HttpResponse{500, "text/plain", "broken", false};
    };
    v->EnviarAlertas();
    EXPECT_EQ(relay->mails.size(), 3);
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Email Alerts");
    EXPECT_EQ(
        prompts->prompts[0].text,
        "The alert mail to a@test was not sent. The mail relay failed: the form was answered with HTTP 500.\n"
        "The alert mail to b@test was not sent. The mail relay failed: the form was answered with HTTP 500.");

    v->carradoAutomatico = true;
    testing::internal::CaptureStderr();
    v->EnviarAlertas();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(relay->mails.size(), 6);
    EXPECT_EQ(QString::fromStdString(err).count("Email Alerts: The alert mail to "), 2) << err;
}

TEST_F(ViewerWithRelay, TheCloseSequenceAsksOrSendsAtOnceWhenClosedAutomatically) {
    rule(1, "10", "20", "a@test");
    prompts->answer(os::Answer::No);
    EXPECT_TRUE(v->Form_Unload());
    ASSERT_EQ(prompts->prompts.size(), 1) << prompts->texts().join("/").toStdString();
    EXPECT_EQ(prompts->prompts[0].text, "Email alert field is checked. Do you want to send email alerts ?");
    EXPECT_EQ(prompts->prompts[0].title, "Email Alerts");
    EXPECT_TRUE(relay->mails.isEmpty());

    TearDown();
    SetUp();
    rule(1, "10", "20", "a@test");
    v->carradoAutomatico = true;
    EXPECT_TRUE(v->Form_Unload());
    EXPECT_EQ(prompts->prompts.size(), 1) << prompts->texts().join('/').toStdString();
    EXPECT_EQ(relay->mails.size(), 1);
}

TEST_F(ViewerWithRelay, TheReportUpdatedMailGoesToTheUploadAddresses) {
    v->EnviarMailsAfterUpload();
    EXPECT_TRUE(relay->requests.isEmpty()); // no addresses in row 40
    c->spSave->setText(Campos::ColProperty, Campos::FilaMailsSubida, "boss@test, team@test");
    c->txtIdCubo->setText("Sales");
    v->VinsCube->IdExportCube = "1000_202611510300_7";
    v->EnviarMailsAfterUpload();
    c->txtDescripcion->setPlainText("Sales <2025> & \"more\"");
    v->EnviarMailsAfterUpload();
    ASSERT_EQ(relay->mails.size(), 2);
    EXPECT_EQ(relay->mails[0],
              (QHash<QString, QString>{{"txtDe", "alerts@test"},
                                       {"txtPara", "boss@test, team@test"},
                                       {"txtAsunto", "Brintova Deridoro alert"},
                                       {"txtTexto",
                                        "The report: \"Sales\" was updated. <br>You can see it at: <br><br>"
                                        "http://views.test/1000_202611510300_7/view.html"},
                                       {"txtNombreArchivo", ""},
                                       {"txtDatosArchivo", ""}}));
    EXPECT_EQ(relay->mails[1]["txtTexto"],
              "The report: \"Sales &lt;2025&gt; &amp; &quot;more&quot;\" was updated. <br>You can see it at: "
              "<br><br>http://views.test/1000_202611510300_7/view.html");
}
