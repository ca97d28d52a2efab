#include "designer/DefinitionGrids.h"

#include <QDir>
#include <QHeaderView>
#include <QLocale>
#include <QPainter>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace bd::grid;
using DG = DefinitionGrids;

TEST(DefinitionGrids, TypeClasses) {
    const std::pair<int, QString> cases[] = {
        {2, "ISNUMERIC"},  {3, "ISNUMERIC"},   {4, "ISNUMERIC"},   {5, "ISNUMERIC"},  {6, "ISNUMERIC"},
        {14, "ISNUMERIC"}, {17, "ISNUMERIC"},  {18, "ISNUMERIC"},  {19, "ISNUMERIC"}, {20, "ISNUMERIC"},
        {21, "ISNUMERIC"}, {131, "ISNUMERIC"}, {139, "ISNUMERIC"}, {201, "ISMEMO"},   {203, "ISMEMO"},
        {7, "ISDATE"},     {135, "ISDATE"},    {16, "ISTEXT"},     {133, "ISTEXT"},   {134, "ISTEXT"},
        {11, "ISTEXT"},    {200, "ISTEXT"},    {202, "ISTEXT"},    {205, ""}, // binary: no row
    };
    for (const auto& [type, cls] : cases) {
        EXPECT_EQ(DG::TypeClassOf(type), cls) << type;
        EXPECT_EQ(DG::IsAdoNumber(type), cls == "ISNUMERIC") << type;
    }
}

TEST(DefinitionGrids, AggregateCodesMatchExactly) {
    const std::pair<QString, std::optional<int>> cases[] = {
        {"Sum", 0},
        {"Count", 1},
        {"Avg", 2},
        {"Max", 3},
        {"Min", 4},
        {"StDev", 5},
        {"StDevP", 6},
        {"Var", 7},
        {"VarP", 8},
        {"sum", std::nullopt},
        {"SUM", std::nullopt},
        {"", std::nullopt},
        {"Sum ", std::nullopt},
        {"Average", std::nullopt},
    };
    for (const auto& [text, code] : cases)
        EXPECT_EQ(DG::AggregateCodeOf(text), code) << text.toStdString();
    // Every aggregate of the designer's list has a code.
    for (const QString& a : DG::Aggregates())
        EXPECT_TRUE(DG::AggregateCodeOf(a).has_value()) << a.toStdString();
}

TEST(DefinitionGrids, ListsInTheirOrder) {
    EXPECT_EQ(DG::Aggregates(),
              QStringList({"Sum", "Max", "Min", "Avg", "Count", "StDev", "StDevP", "Var", "VarP"}));
    EXPECT_EQ(DG::Operators(), QStringList({"=", "Between", "Like", ">", "<"}));
    EXPECT_EQ(DG::Engines(), QStringList({"ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE", "OTHER"}));
}

TEST(DefinitionGrids, DesignTimeLayout) {
    QWidget w;
    DG d(&w);
    EXPECT_EQ(d.spCam->maxCols(), 3);
    EXPECT_EQ(d.spCal->maxCols(), 21);
    EXPECT_EQ(d.spFil->maxCols(), 12);
    for (Grid* g : {d.spCam.data(), d.spCal.data(), d.spFil.data()}) {
        EXPECT_EQ(g->maxRows(), 300);
        EXPECT_TRUE(g->lock(1, 150)) << g->objectName().toStdString();
    }
    EXPECT_EQ(d.spCam->text(DG::ColTipoCampo, 0), "-->");
    EXPECT_EQ(d.spFil->text(DG::ColSQLValores, 0), "SQL");
    EXPECT_EQ(d.spCal->cellType(DG::ColAgregado, 10), TypeComboBox);
    EXPECT_EQ(d.spCal->typeComboBoxList(DG::ColAgregado, 10), DG::Aggregates());
    EXPECT_EQ(d.spFil->typeComboBoxList(DG::ColOperador, 10), DG::Operators());
    EXPECT_EQ(d.spFil->typeButtonText(DG::ColValorHasta, 10), "...");
    EXPECT_TRUE(d.spFil->colHidden(DG::ColSQLValores));
    EXPECT_TRUE(d.spCal->colHidden(DG::ColResultadoAlerta));
}

TEST(DefinitionGrids, HayCamposLooksOnlyAtColumnOne) {
    QWidget w;
    DG d(&w);
    EXPECT_FALSE(DG::HayCampos(*d.spCal));
    d.spCal->setText(DG::ColVisible, 5, "1");
    d.spCal->setText(DG::ColAgregado, 6, "Sum");
    d.spCal->setCellTag(DG::ColMedida, 7, "caption");
    EXPECT_FALSE(DG::HayCampos(*d.spCal));
    d.spCal->setText(DG::ColMedida, 300, "Amount");
    EXPECT_TRUE(DG::HayCampos(*d.spCal));
}

TEST(DefinitionGrids, RemoverFilasVaciasCompactsInOnePassAndKeepsRows) {
    QWidget w;
    DG d(&w);
    Grid& g = *d.spCal;
    g.setText(DG::ColMedida, 1, "A");
    g.setText(DG::ColMedida, 4, "B");
    g.setCellTag(DG::TagFormula, 4, "[A]*2");
    g.setBackColor(DG::ColLimiteSuperior, 4, 0x8080FF);
    g.setText(DG::ColLimiteInferior, 4, "5,5");
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    d.RemoverFilasVacias();
    EXPECT_FALSE(ran); // no events ran in between
    EXPECT_EQ(g.text(DG::ColMedida, 1), "A");
    EXPECT_EQ(g.text(DG::ColMedida, 2), "B");
    EXPECT_EQ(g.cellTag(DG::TagFormula, 2), "[A]*2");
    EXPECT_EQ(g.backColor(DG::ColLimiteSuperior, 2), 0x8080FFu);
    EXPECT_EQ(g.value(DG::ColLimiteInferior, 2).toDouble(), 5.5);
    EXPECT_EQ(g.text(DG::ColMedida, 3), "");
    EXPECT_EQ(g.text(DG::ColMedida, 4), "");
    EXPECT_EQ(g.maxRows(), 300);
    EXPECT_EQ(g.cellType(DG::ColAgregado, 300), TypeComboBox); // fresh rows keep the column settings
}

TEST(DefinitionGrids, BackTo300RowsNeverDropsAUsedRow) {
    QWidget w;
    DG d(&w);
    Grid& g = *d.spCal;
    g.setText(DG::ColMedida, 300, "last");
    g.insertRows(1, 5); // row 300 moves to 305 and the grid grows to keep it
    ASSERT_EQ(g.text(DG::ColMedida, 305), "last");
    DG::BackToDefinitionRows(g);
    EXPECT_EQ(g.maxRows(), 305);
    d.RemoverFilasVacias(); // rows 1-5 empty: "last" comes up to row 1
    EXPECT_EQ(g.text(DG::ColMedida, 1), "last");
    EXPECT_EQ(g.maxRows(), 300);
    g.setMaxRows(20);
    DG::BackToDefinitionRows(g);
    EXPECT_EQ(g.maxRows(), 300);
}

TEST(DefinitionGrids, NewMeasureBoundsReadAsZeroInAnyLocale) {
    const QLocale saved;
    for (const char* loc : {"de_DE", "en_US"}) {
        QLocale::setDefault(QLocale(loc));
        QWidget w;
        DG d(&w);
        d.spCal->setText(DG::ColLimiteInferior, 1, "0,00");
        d.spCal->setText(DG::ColLimiteSuperior, 1, "0,00");
        EXPECT_EQ(d.spCal->value(DG::ColLimiteInferior, 1), QVariant(0.0)) << loc;
        EXPECT_EQ(d.spCal->text(DG::ColLimiteSuperior, 1), QString("0") + QLocale(loc).decimalPoint() + "00")
            << loc;
    }
    QLocale::setDefault(saved);
}

namespace {
// Rows the designer would write: discovery, a measure with an alert sub-row, a filter.
void fillSample(DG& d) {
    Grid& fieldGrid = *d.spCam;
    const std::tuple<const char*, int> fields[] = {
        {"Amount", 5}, {"Region", 200}, {"Notes", 201}, {"Sold", 135}};
    for (int i = 0; i < 4; ++i) {
        const auto& [name, type] = fields[i];
        const int r = i + 1;
        const QString cls = DG::TypeClassOf(type);
        fieldGrid.setText(DG::ColCampo, r, name);
        fieldGrid.setText(DG::ColDimension, r, cls == DG::ISMEMO || cls == DG::ISNUMERIC ? "0" : "1");
        fieldGrid.setCellTag(DG::ColTipoCampo, r, cls);
        if (cls == DG::ISNUMERIC) {
            fieldGrid.setCellType(DG::ColTipoCampo, r, TypeButton);
            fieldGrid.setTypeButtonPicture(DG::ColTipoCampo, r, DG::picFlecha);
            fieldGrid.setTypeButtonColor(DG::ColTipoCampo, r, 0xFFFFFF);
            fieldGrid.setLock(DG::ColTipoCampo, r, false);
        }
    }
    fieldGrid.setBackColor(DG::ColCampo, -1, 0xE0E0E0);

    Grid& measureGrid = *d.spCal;
    measureGrid.setBackColor(DG::ColMedida, -1, 0xE0E0E0);
    measureGrid.setText(DG::ColMedida, 1, "Amount");
    measureGrid.setText(DG::ColVisible, 1, "1");
    measureGrid.setText(DG::ColAgregado, 1, "Sum");
    measureGrid.setText(DG::ColLimiteInferior, 1, "0,00");
    measureGrid.setText(DG::ColLimiteSuperior, 1, "0,00");
    measureGrid.insertRows(2, 1);
    for (int c = 1; c <= 11; ++c) {
        measureGrid.setText(c, 2, measureGrid.text(c, 1));
        measureGrid.setCellTag(c, 2, measureGrid.cellTag(c, 1));
    }
    measureGrid.setText(DG::ColLimiteInferior, 2, "1000");
    measureGrid.setText(DG::ColLimiteSuperior, 2, "2500,5");
    measureGrid.setBackColor(DG::ColLimiteInferior, 2, 0x8080FF);
    measureGrid.setBackColor(DG::ColLimiteSuperior, 2, 0x8080FF);
    for (int c : {DG::ColVisible, DG::ColAgregado}) {
        measureGrid.setCellType(c, 2, TypePlain);
        measureGrid.setText(c, 2, "");
        measureGrid.setLock(c, 2, true);
    }

    Grid& filterGrid = *d.spFil;
    filterGrid.setText(DG::ColFiltroCampo, 1, "Region");
    filterGrid.setText(DG::ColFiltroUsuario, 1, "1");
    filterGrid.setText(DG::ColOperador, 1, "Between");
    filterGrid.setCellTag(DG::ColOperador, 1, DG::ISTEXT);
    filterGrid.setText(DG::ColFiltroCampo, 2, "Amount");
    filterGrid.setText(DG::ColFiltroUsuario, 2, "0");
    filterGrid.setText(DG::ColOperador, 2, ">");
    filterGrid.setTypeButtonText(DG::ColValorDesde, 2, "100");
    filterGrid.setText(DG::ColValorDesde, 2, "100");
    filterGrid.setCellType(DG::ColValorHasta, 2, TypePlain);
    filterGrid.setLock(DG::ColValorHasta, 2, true);
}
} // namespace

TEST(DefinitionGrids, SavedAndLoadedThroughTheirMembers) {
    QWidget w;
    DG d(&w);
    fillSample(d);
    QTemporaryDir dir;
    QWidget w2;
    DG back(&w2);
    for (auto [from, to, name] : {std::tuple{d.spCal.data(), back.spCal.data(), "temp.spCal"},
                                  std::tuple{d.spCam.data(), back.spCam.data(), "temp.spCam"},
                                  std::tuple{d.spFil.data(), back.spFil.data(), "temp.spFil"}}) {
        QString err;
        ASSERT_TRUE(from->saveToFile(dir.filePath(name), &err)) << err.toStdString();
        ASSERT_TRUE(to->loadFromFile(dir.filePath(name), &err)) << err.toStdString();
        EXPECT_TRUE(to->store() == from->store()) << name;
    }
    // A sub-row is told by the plain cell type of its column 3.
    EXPECT_EQ(back.spCal->cellType(DG::ColAgregado, 2), TypePlain);
    EXPECT_EQ(back.spCal->cellType(DG::ColAgregado, 1), TypeComboBox);
    EXPECT_EQ(back.spCam->cellTag(DG::ColTipoCampo, 3), "ISMEMO");
    // A picker cell keeps its value and its caption apart.
    EXPECT_EQ(back.spFil->cellType(DG::ColValorDesde, 2), TypeButton);
    EXPECT_EQ(back.spFil->typeButtonText(DG::ColValorDesde, 2), "100");
    EXPECT_EQ(back.spFil->text(DG::ColValorDesde, 2), "100");
}

TEST(DefinitionGrids, GrabbedOffscreenTheyReadAsGrids) {
    QWidget w;
    auto* lay = new QVBoxLayout(&w);
    DG d(&w);
    fillSample(d);
    for (Grid* g : {d.spCam.data(), d.spCal.data(), d.spFil.data()})
        lay->addWidget(g);
    w.resize(1100, 620);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QImage shot = w.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QString out = QDir::temp().filePath("brintova-definition-grids.png");
    ASSERT_TRUE(shot.save(out)) << out.toStdString();
    // The headers show the design-time texts, not column letters.
    EXPECT_EQ(d.spFil->view()->model()->headerData(4, Qt::Horizontal).toString(), "FILTER FROM");
    EXPECT_GT(d.spCam->view()->columnWidth(0), 100);
}
