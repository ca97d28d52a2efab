#include "platform/toolbar/Toolbar.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace bd::toolbar;

TEST(Toolbar, CommandKeyTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"&Guardar Estructura", "GUARDAR ESTRUCTURA"},
        {"noGrph", "NOGRPH"},
        {"Abrir &último", "ABRIR ÚLTIMO"},
        {"Abrir Último", "ABRIR ÚLTIMO"},
        {"Imprimir Gráfico", "IMPRIMIR GRÁFICO"},
        {"Configurar Conexión", "CONFIGURAR CONEXIÓN"},
        {"&&a&", "A"},
        {"straße", "STRASSE"},
        {"", ""},
    };
    for (const auto& [name, key] : cases)
        EXPECT_EQ(CommandKey(QString::fromUtf8(name)), QString::fromUtf8(key)) << name;
}

namespace {

// What the chart band looks like after the designer built it: tool, separator, ..., combo.
struct ChartBar {
    Toolbar bar{"ABGraph"};
    Band* band = bar.addBand("Band2");
    ChartBar() {
        for (int row : {1, 3}) {
            Tool* t = band->addTool(row, row == 1 ? "Sales" : "NetCost", row == 1 ? "Sales" : "Net Cost");
            t->setIdentifier(row == 1 ? "Sales" : "Net Cost");
            band->addSeparator();
        }
        Tool* c = band->addCombo("cmbChartType", 166);
        c->setList({"None", "Column 3D", "Pie 2D"});
        c->setText("Column 3D");
    }
};

QStringList Shape(const Band* b) {
    QStringList s;
    for (Tool* t : b->tools())
        s << (t->style() == ToolStyle::Separator ? QString("|") : t->name());
    return s;
}

} // namespace

TEST(Toolbar, BandOrderAndRuntimeChanges) {
    ChartBar cb;
    EXPECT_EQ(Shape(cb.band), QStringList({"Sales", "|", "NetCost", "|", "cmbChartType"}));
    EXPECT_EQ(cb.bar.band("band2"), cb.band);
    EXPECT_EQ(cb.bar.tool(3)->identifier(), "Net Cost");
    EXPECT_EQ(cb.bar.tool("cmbChartType")->comboBox()->currentText(), "Column 3D");
    // The actions on the Qt toolbar follow the band.
    QStringList onBar;
    for (QAction* a : cb.bar.actions())
        onBar << (a->isSeparator() ? QString("|") : a->objectName());
    EXPECT_EQ(onBar, Shape(cb.band));

    cb.band->removeTool(cb.bar.tool("Sales"));
    EXPECT_EQ(Shape(cb.band), QStringList({"|", "NetCost", "|", "cmbChartType"}));
    cb.bar.clearTools();
    EXPECT_EQ(cb.band->count(), 0);
    EXPECT_TRUE(cb.bar.actions().isEmpty());
    cb.band->addCombo("cmbChartType");
    EXPECT_EQ(Shape(cb.band), QStringList({"cmbChartType"}));
}

TEST(Toolbar, ToolsAddedToAnEarlierBandStayBeforeLaterBands) {
    Toolbar ab("AB");
    Band* file = ab.addBand("&Archivo", BandKind::Menu);
    Band* main = ab.addBand("Band2");
    Band* config = ab.addBand("Bconfig");
    config->addTool(1, "&Seleccionar Campos");
    main->addTool(80, "noGrph", "Charts", ToolStyle::Check);
    main->addTool(104, "Filters", "Filters", ToolStyle::Check);
    file->addTool(2, "Abrir Último", "Open Last");
    QStringList onBar;
    for (QAction* a : ab.actions())
        onBar << a->objectName();
    EXPECT_EQ(onBar.mid(1), QStringList({"noGrph", "Filters", "&Seleccionar Campos"}));
    EXPECT_EQ(ab.tools().first()->name(), "Abrir Último");
    EXPECT_EQ(ab.tool(104)->band(), main);
}

TEST(Toolbar, ClickReachesTheFormWithTheToolAndNeverToggles) {
    Toolbar ab("AB");
    Band* b = ab.addBand("Band2");
    Tool* charts = b->addTool(80, "noGrph", "Charts", ToolStyle::Check);
    Tool* hidden = b->addTool(5, "Rank", "Sort");
    QList<Tool*> got;
    QObject::connect(&ab, &Toolbar::toolClick, [&](Tool* t) { got << t; });

    ASSERT_TRUE(ab.clickTool(charts));
    EXPECT_FALSE(charts->checked());
    EXPECT_FALSE(charts->action()->isChecked()); // the form flips it, not the toolbar
    charts->setChecked(true);
    ab.clickTool(charts);
    EXPECT_TRUE(charts->action()->isChecked());
    EXPECT_EQ(got, QList<Tool*>({charts, charts}));
    EXPECT_EQ(got.first()->key(), "NOGRPH");

    // Disabled toolbar, disabled or hidden tool: ignored.
    ab.setEnabled(false);
    EXPECT_FALSE(ab.clickTool(charts));
    ab.setEnabled(true);
    hidden->setVisible(false);
    EXPECT_FALSE(ab.clickTool(hidden));
    charts->setEnabled(false);
    EXPECT_FALSE(ab.clickTool(charts));
    EXPECT_EQ(got.size(), 2);
}

TEST(Toolbar, MouseClickOnTheButtonReportsTheTool) {
    ChartBar cb;
    cb.bar.resize(600, 40);
    cb.bar.show();
    QSignalSpy spy(&cb.bar, &Toolbar::toolClick);
    auto* button = qobject_cast<QToolButton*>(cb.bar.widgetForAction(cb.bar.tool(3)->action()));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<Tool*>()->identifier(), "Net Cost");
}

TEST(Toolbar, ComboChangeOnlyOnAUserChoice) {
    ChartBar cb;
    Tool* combo = cb.bar.tool("cmbChartType");
    QList<QString> changes;
    QObject::connect(&cb.bar, &Toolbar::comboChange, [&](Tool* t) { changes << t->text(); });
    combo->setText("Pie 2D"); // the program showing a type is no change
    EXPECT_EQ(combo->comboBox()->currentText(), "Pie 2D");
    EXPECT_TRUE(changes.isEmpty());
    ASSERT_TRUE(cb.bar.chooseInCombo(combo, "None"));
    EXPECT_EQ(changes, QList<QString>({"None"}));
    EXPECT_EQ(combo->text(), "None");
    EXPECT_FALSE(cb.bar.chooseInCombo(combo, "Radar"));
    cb.bar.setEnabled(false);
    EXPECT_FALSE(cb.bar.chooseInCombo(combo, "Pie 2D"));
}

TEST(Toolbar, ChartBandGrab) {
    ChartBar cb;
    QPixmap pic(16, 16);
    pic.fill(Qt::darkCyan);
    for (Tool* t : cb.band->tools())
        if (t->style() == ToolStyle::Button) t->setPicture(QIcon(pic));
    cb.bar.tool(1)->setChecked(true);
    cb.bar.resize(520, 36);
    cb.bar.show();
    const QString out = QDir::temp().filePath("bd-toolbar-chartband.png");
    EXPECT_TRUE(cb.bar.grab().save(out));
}

TEST(Toolbar, BandRebuiltFromInsideItsOwnHandlers) {
    ChartBar cb;
    auto rebuild = [&] {
        cb.bar.clearTools();
        cb.band->addTool(2, "Cost", "Cost")->setIdentifier("Cost");
        cb.band->addSeparator();
        cb.band->addCombo("cmbChartType")->setList({"None", "Column 3D"});
    };
    QObject::connect(&cb.bar, &Toolbar::comboChange, &cb.bar, rebuild);
    QObject::connect(&cb.bar, &Toolbar::toolClick, &cb.bar, rebuild);
    QPointer<QComboBox> oldCombo = cb.bar.tool("cmbChartType")->comboBox();
    Tool* oldTool = cb.bar.tool(1);
    ASSERT_TRUE(cb.bar.chooseInCombo(cb.bar.tool("cmbChartType"), "None"));
    EXPECT_EQ(Shape(cb.band), QStringList({"Cost", "|", "cmbChartType"}));
    EXPECT_FALSE(cb.bar.clickTool(oldTool)); // a removed tool is no longer clickable
    ASSERT_TRUE(cb.bar.clickTool(cb.bar.tool(2)));
    EXPECT_EQ(Shape(cb.band), QStringList({"Cost", "|", "cmbChartType"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(oldCombo.isNull());
}
