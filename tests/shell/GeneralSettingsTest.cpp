// Language texts, export ids, the chart type catalogue, number masks and the machine id.
#include "common/TestSupport.h"
#include "platform/os/Clock.h"
#include "platform/os/Machine.h"
#include "platform/os/Settings.h"
#include "shell/General.h"
#include "shell/InsCube.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace bd;

namespace {
void loadLanguage(const test::TempHome& home, const QByteArray& text) {
    test::writeFile(home.path("language.txt"), text);
    General::colIdioma.clear();
    General::CargarIdioma();
    General::sIdioma = "en";
}
} // namespace

TEST(LanguageTexts, LinesKeysAndBreaks) {
    test::TempHome home(false);
    loadLanguage(home, "msgasunto_en::Cube<BR>alert\r\n"
                       "no separator here\n"
                       "cmdAceptar_en::OK::really\r"
                       "cmdAceptar_en::Second text\n"
                       "later_en::still loaded\n"
                       "accent_en::\xc3\x9altimo\n");
    EXPECT_EQ(General::LeerTextoIdioma("msgasunto"), "Cube\r\nalert");
    EXPECT_EQ(General::LeerTextoIdioma("MSGASUNTO"), "Cube\r\nalert");
    EXPECT_EQ(General::LeerTextoIdioma("cmdAceptar"), "OK::really"); // the first text of a repeated key
    EXPECT_EQ(General::LeerTextoIdioma("later"), "still loaded");
    EXPECT_EQ(General::LeerTextoIdioma("accent"), QString::fromUtf8("Último"));
    EXPECT_EQ(General::LeerTextoIdioma("missing"), "");
    General::sIdioma = "es";
    EXPECT_EQ(General::LeerTextoIdioma("msgasunto"), "");
}

TEST(LanguageTexts, Latin1FileAndMissingFile) {
    test::TempHome home(false);
    loadLanguage(home, "accent_en::\xdaltimo\n");
    EXPECT_EQ(General::LeerTextoIdioma("accent"), QString::fromUtf8("Último"));
    QFile::remove(home.path("language.txt"));
    General::colIdioma.clear();
    General::CargarIdioma();
    EXPECT_EQ(General::colIdioma.count(), 0);
}

TEST(ShippedLanguageFile, HoldsTheKeysTheWindowsAsk) {
    test::TempHome home(true);
    General::colIdioma.clear();
    General::CargarIdioma();
    General::sIdioma = "en";
    for (const char* key : {"FrmNewCube.lblDatos", "frmSqlCon.lblgen", "frmOracleCon.lblgen",
                            "frmMySqlCon.lblgen", "cmdAceptar", "msgasunto"})
        EXPECT_FALSE(General::LeerTextoIdioma(key).isEmpty()) << key;
}

TEST(ExportIds, CounterStampAndKeep) {
    test::TempHome home(false);
    os::ManualClock clock(QDateTime(QDate(2026, 3, 5), QTime(7, 4, 9)));
    General::dHDNumber = 123456789;
    InsCube a, b, c;
    General::AsignarIdExport(a);
    EXPECT_EQ(a.IdExportCube, "123456789_202635749_1");
    clock.set(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58)));
    General::AsignarIdExport(b);
    EXPECT_EQ(b.IdExportCube, "123456789_20261231235958_2");
    c.IdExportCube = "kept";
    General::AsignarIdExport(c);
    EXPECT_EQ(c.IdExportCube, "kept");
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "LASTINIT"), "2");
}

TEST(ChartCatalogue, ExactTypesAndMultiSeriesFiles) {
    General::CargarTiposGrafico();
    General::CargarTiposGrafico(); // a second call adds nothing
    const QStringList ids = {"None",           "Area2D",        "Bar2D",        "Column2D",
                             "Column3D",       "Line",          "Doughnut2D",   "Doughnut3D",
                             "Pie2D",          "Pie3D",         "ScrollArea2D", "ScrollColumn2D",
                             "ScrollLine2D",   "StackedArea2D", "StackedBar2D", "StackedColumn2D",
                             "StackedColumn3D"};
    const QStringList names = {"None",
                               "Area 2D",
                               "Bar 2D",
                               "Column 2D",
                               "Column 3D",
                               "Line",
                               "Doughnut 2D",
                               "Doughnut 3D",
                               "Pie 2D",
                               "Pie 3D",
                               "Scroll Area 2D",
                               "Scroll Column 2D",
                               "ScrollLine 2D",
                               "Stacked Area 2D",
                               "Stacked Bar 2D",
                               "Stacked Column 2D",
                               "Stacked Column 3D"};
    EXPECT_EQ(General::colNombreGrafico.keys(), ids);
    EXPECT_EQ(General::colNombreGrafico.values(), names);
    EXPECT_EQ(General::colIdGrafico.keys(), names);
    EXPECT_EQ(General::colIdGrafico.values(), ids);
    EXPECT_EQ(
        General::colGraficoMS.keys(),
        QStringList({"Area2D", "Bar2D", "Column2D", "Column3D", "Line", "ScrollArea2D", "ScrollColumn2D",
                     "ScrollLine2D", "StackedArea2D", "StackedBar2D", "StackedColumn2D", "StackedColumn3D"}));
    EXPECT_EQ(General::colGraficoMS.item("column3d").value_or(""), "MSColumn3D");
    EXPECT_EQ(General::colGraficoMS.item("Area2D").value_or(""), "MSArea");
    EXPECT_FALSE(General::colGraficoMS.contains("Pie3D"));
    EXPECT_EQ(General::sGraficoDefNombre, "Column 3D");
    EXPECT_EQ(General::sGraficoDefId, "Column3D");
}

TEST(DecimalMasks, SeparatorAndDecimalsCount) {
    for (const QString& sep : {QStringLiteral(","), QStringLiteral(".")}) {
        os::setDecimalSeparatorOverride(" " + sep + " ");
        General::sSepDecimal = General::ObtenerSeparadorDecimal();
        EXPECT_EQ(General::sSepDecimal, sep);
        EXPECT_EQ(General::FormatoDosDecimales(), "0" + sep + "00");
        struct {
            QString mask;
            int decimals;
        } cases[] = {{"", 0},
                     {"0", 0},
                     {"#" + sep, 0},
                     {"0" + sep + "00", 2},
                     {"#" + sep + "000", 3},
                     {"0" + sep + "0#0", 2}};
        for (const auto& c : cases)
            EXPECT_EQ(General::ContarDecimales(c.mask), c.decimals) << c.mask.toStdString();
    }
    os::setDecimalSeparatorOverride(std::nullopt);
}

TEST(MachineId, StableSignedSerialAndMagnitude) {
    EXPECT_EQ(os::serialFromMachineId(""), 0);
    EXPECT_EQ(os::serialFromMachineId("0123456789abcdef0123456789abcdef"),
              os::serialFromMachineId("0123456789abcdef0123456789abcdef\n"));
    EXPECT_NE(os::serialFromMachineId("0123456789abcdef0123456789abcdef"),
              os::serialFromMachineId("fedcba9876543210fedcba9876543210"));
    EXPECT_EQ(General::SerialMagnitude(-2147483648.0), 2147483648.0);
    EXPECT_EQ(General::SerialMagnitude(-5), 5);
    EXPECT_EQ(General::SerialMagnitude(7), 7);
    test::TempHome home(false);
    os::setMachineIdPath(home.path("missing-id"));
    EXPECT_EQ(General::ObtenerHDNumber(), 0);
    os::setMachineIdPath("/etc/machine-id");
}

TEST(SettingsStore, RoundTripOddKeysAndPrivateFile) {
    test::TempHome home(false);
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "ULTIMO"), "");
    os::SaveSetting("OE", "CUBO", "ULTIMO", "/a b/c.cub");
    os::SaveSetting("OE", "IDSEXPORT", "12_2026/1\\x", "v");
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "ULTIMO"), "/a b/c.cub");
    EXPECT_EQ(os::GetSetting("OE", "IDSEXPORT", "12_2026/1\\x"), "v");
    EXPECT_EQ(os::GetAllSettingKeys("OE", "IDSEXPORT"), QStringList({"12_2026/1\\x"}));
    const auto perms = QFile::permissions(os::settingsFilePath());
    EXPECT_TRUE(perms & QFileDevice::ReadOwner);
    EXPECT_FALSE(perms & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                          QFileDevice::WriteOther));
}

TEST(DesktopEntry, ExecPathIsQuotedAndEscaped) {
    EXPECT_EQ(General::QuoteDesktopExec("/opt/bd/brintova-deridoro"), "\"/opt/bd/brintova-deridoro\"");
    EXPECT_EQ(General::QuoteDesktopExec("/my apps/b$d\"x"), "\"/my apps/b\\\\$d\\\\\"x\"");
    EXPECT_EQ(General::QuoteDesktopExec("/100%/x"), "\"/100%%/x\"");
}
