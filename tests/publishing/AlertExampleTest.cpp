// The example cube's alert range on Amount, seen on the screen: opened and refreshed, the Amount
// cells inside the range are drawn in the rule's colour, and nothing else is.
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "platform/controlhost/ControlHost.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "shell/FrmMain.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

using namespace bd;

namespace {
// Runs of pixel rows holding the colour: with one column of the measure, one run per coloured cell
// (the grid lines part neighbouring cells).
int colouredBands(const QImage& img, const QColor& c) {
    int bands = 0;
    bool inBand = false;
    for (int y = 0; y < img.height(); ++y) {
        bool has = false;
        for (int x = 0; x < img.width() && !has; ++x)
            has = img.pixelColor(x, y) == c;
        bands += has && !inBand;
        inBand = has;
    }
    return bands;
}
} // namespace

TEST(ExampleAlerts, AmountCellsInTheRangeAreDrawnInTheRulesColour) {
    test::TempHome home(true);
    ASSERT_TRUE(controlhost::RegisterControlLibrary(QStringLiteral(BD_APP_DIR "/libglimford.so")));
    os::ScopedPrompter prompts;
    FrmMain start;
    start.cmdAbrirEjemplo_Click();
    Cubo* v = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* c = qobject_cast<Cubo*>(w)) v = c;
    ASSERT_NE(v, nullptr) << prompts->texts().join('/').toStdString();
    v->Vcampos->Refrescar();
    ASSERT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join('/').toStdString();
    pivot::PivotTable& dc = *v->DC;
    grid::Grid& cal = *v->Vcampos->spCal;
    const QColor rule = os::oleToColor(cal.backColor(Campos::ColLimiteSuperior, 1));
    const double high = cal.value(Campos::ColLimiteSuperior, 1).toDouble();
    ASSERT_EQ(rule, QColor(0xFF, 0x80, 0x80));

    // The cells the rule covers: Amount (the first data field), not totals, 0 to the high bound.
    int expected = 0;
    for (int r = 0; r < dc.resultRows(); ++r)
        for (int c = 0; c < dc.resultColumns(); ++c) {
            const QVariant val = dc.cellValue(r, c);
            expected += dc.dataFieldIndex(c) == 0 && !dc.isTotalRow(r) && !dc.isTotalColumn(c) &&
                        val.isValid() && val.toDouble() >= 0 && val.toDouble() <= high;
        }
    ASSERT_GT(expected, 0);
    const QImage img = v->grab().toImage();
    img.save(QDir::tempPath() + "/example-alerts.png");
    EXPECT_GT(colouredBands(img, rule), 0);
    // The whole table at once: one band of the rule's colour per cell in range, no more.
    dc.resize(900, 60 + (dc.resultRows() + 4) * 20);
    const QImage all = dc.grab().toImage();
    all.save(QDir::tempPath() + "/example-alerts-table.png");
    EXPECT_EQ(colouredBands(all, rule), expected);
    v->NoFetch = true;
    EXPECT_EQ(colouredBands(dc.grab().toImage(), rule), 0);
    v->Salvar = false;
    delete v;
}
