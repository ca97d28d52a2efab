// The viewer's answers to the user's work on the pivot, driven with the mouse on the example cube:
// cells open their measure's properties, headers and row members the sort dialog, drags and page
// choices mark the cube changed, the status bar counts the result, the drag hint and Window Print.
#include "common/TestSupport.h"
#include "designer/frmFieldProperties.h"
#include "designer/frmFormula.h"
#include "platform/os/DialogRunner.h"
#include "platform/pivot/PageFieldList.h"
#include "shell/GeneralGrid.h"
#include "viewer/RankForm.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <QFileInfo>
#include <QListView>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace bd;
using pivot::PivotElement;
using pivot::PivotTable;

namespace {

struct PivotEvents : test::ViewerFixture {
    std::unique_ptr<test::LinkedViewer> visor;
    Cubo* v() { return visor->v; }
    Campos* c() { return visor->c; }
    // What each modal dialog was: "class:name" (the field it was opened for).
    QStringList dialogs;
    std::function<int(QDialog*)> script; // optional: works the dialog
    os::ScopedDialogHandler runner{[this](QDialog* d) {
        QString name;
        if (auto* f = qobject_cast<frmFieldProperties*>(d)) name = f->txtId->text();
        if (auto* f = qobject_cast<frmFormula*>(d)) name = f->txtId->text();
        if (auto* r = qobject_cast<RankForm*>(d))
            name = r->lstAxisFields->currentItem() ? r->lstAxisFields->currentItem()->text() : "none";
        dialogs << QString(d->metaObject()->className()) + ":" + name;
        return script ? script(d) : int(QDialog::Rejected);
    }};

    void SetUp() override {
        test::ViewerFixture::SetUp();
        fresh();
    }
    void TearDown() override {
        visor.reset();
        test::ViewerFixture::TearDown();
    }
    // A new viewer with the example cube.
    void fresh() {
        visor = std::make_unique<test::LinkedViewer>();
        QString error;
        ASSERT_TRUE(test::FillExampleCube(*visor, &error)) << error.toStdString();
    }
    void show() {
        v()->resize(1200, 800);
        v()->show();
        QApplication::processEvents();
        v()->Salvar = false;
    }
    PivotTable& dc() { return *v()->DC; }
    QWidget* vp() { return v()->DC->viewport(); }

    QPoint find(const std::function<bool(const PivotElement&)>& want) {
        const QSize s = vp()->size();
        for (int y = 2; y < std::min(s.height(), 500); y += 4)
            for (int x = 2; x < std::min(s.width(), 1100); x += 4)
                if (want(dc().elementAt({x, y}))) return {x, y};
        ADD_FAILURE() << "no such element";
        return {-1, -1};
    }
    QPoint cellOf(const QString& dataField) {
        return find([&](const PivotElement& e) {
            const pivot::PivotField* f =
                e.kind == PivotElement::Cell ? dc().dataFieldAt(e.row, e.column) : nullptr;
            return f && f->name() == dataField;
        });
    }
    void mouse(QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(p), vp()->mapToGlobal(QPointF(p)), b, held, Qt::NoModifier);
        QApplication::sendEvent(vp(), &e);
    }
    void rightClick(QPoint p) {
        mouse(QEvent::MouseButtonPress, p, Qt::RightButton, Qt::RightButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::RightButton, Qt::NoButton);
    }
    void doubleClick(QPoint p) {
        mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
        mouse(QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    }
    void drag(QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= 8; ++i)
            mouse(QEvent::MouseMove, from + (to - from) * i / 8, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    // Closing the viewer: the questions it asked, each answered No.
    QStringList closeAndListQuestions() {
        prompts->prompts.clear();
        for (int i = 0; i < 4; ++i)
            prompts->answer(os::Answer::No);
        v()->close();
        return prompts->texts();
    }
};

// The measure row of spCal: name, shown, aggregate, and an optional formula.
void measureRow(grid::Grid& cal, int row, const QString& name, const QString& shown, const QString& formula) {
    cal.setText(Campos::ColMedida, row, name);
    cal.setText(Campos::ColVisible, row, shown);
    cal.setText(Campos::ColAgregado, row, formula.isEmpty() ? "Sum" : "");
    General::EscribirCelda(cal, Campos::TagFormula, row, formula);
}

} // namespace

// A cell opens the properties of its own data field's measure, whatever the captions say and
// whatever row 1 of the measure grid holds.
TEST_F(PivotEvents, AResultCellOpensItsOwnMeasure) {
    struct Case {
        const char* name;
        std::function<void(PivotEvents&)> setup;
        const char* dataField;
        bool right;
        const char* opened;
    } cases[] = {
        {"the first measure", [](PivotEvents&) {}, "Amount", false, "frmFieldProperties:Amount"},
        {"the second measure", [](PivotEvents&) {}, "Quantity", false, "frmFieldProperties:Quantity"},
        {"the second measure, right button", [](PivotEvents&) {}, "Quantity", true,
         "frmFieldProperties:Quantity"},
        {"a calculated measure opens its own row in the formula editor",
         [](PivotEvents& t) {
             measureRow(*t.c()->spCal, 3, "Price", "1", "Amount / Quantity");
             t.dc().addField("Price", "Price", pivot::DataArea)->setFormula("Amount / Quantity");
         },
         "Price", false, "frmFormula:Price"},
        {"two measures with one caption",
         [](PivotEvents& t) {
             for (auto* f : t.dc().dataFields())
                 f->setCaption("Value");
         },
         "Quantity", false, "frmFieldProperties:Quantity"},
        {"the grid's first row is a measure the pivot does not show",
         [](PivotEvents& t) {
             t.c()->spCal->setText(Campos::ColVisible, 1, "0");
             t.dc().removeField("Amount");
         },
         "Quantity", false, "frmFieldProperties:Quantity"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        fresh();
        k.setup(*this);
        ASSERT_TRUE(dc().recalculate()) << dc().lastError().toStdString();
        show();
        dialogs.clear();
        const QPoint p = cellOf(k.dataField);
        if (k.right)
            rightClick(p);
        else
            doubleClick(p);
        EXPECT_EQ(dialogs.join(", ").toStdString(), k.opened);
        EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
    }
}

TEST_F(PivotEvents, HeadersAndRowMembersOpenTheSortDialogForTheirField) {
    dc().fields().item("Salesperson")->setOrientation(pivot::ColumnArea);
    ASSERT_TRUE(dc().recalculate());
    show();
    auto member = [&](int level) {
        return find(
            [=](const PivotElement& e) { return e.kind == PivotElement::RowMember && e.index == level; });
    };
    auto header = [&](const char* name) { return dc().chipRect(dc().fields().item(QString(name))).center(); };
    struct Case {
        const char* name;
        std::function<void()> act;
        const char* opened;
    } cases[] = {
        {"right click on a row member of the inner field", [&] { rightClick(member(1)); },
         "RankForm:Product"},
        {"right click on a row member of the outer field", [&] { rightClick(member(0)); }, "RankForm:Region"},
        {"double click on a row member", [&] { doubleClick(member(1)); }, "RankForm:Product"},
        {"right click on a column field's header", [&] { rightClick(header("Salesperson")); },
         "RankForm:Salesperson"},
        {"right click on a row field's header", [&] { rightClick(header("Product")); }, "RankForm:Product"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        dialogs.clear();
        k.act();
        EXPECT_EQ(dialogs.join(", ").toStdString(), k.opened);
    }
    EXPECT_FALSE(v()->Salvar) << "looking at a sort changes nothing";
}

TEST_F(PivotEvents, ASortChosenInTheDialogMarksTheCubeChangedAndShowsAtOnce) {
    show();
    ASSERT_EQ(dc().rowHeaderText(0, 0), "Central");
    bool orderSeenInDialog = false;
    script = [&](QDialog* d) {
        auto* r = qobject_cast<RankForm*>(d);
        QTest::mouseClick(r->SortOption[RankForm::OptDescending], Qt::LeftButton);
        orderSeenInDialog = dc().rowHeaderText(0, 0) == "West";
        return int(QDialog::Rejected);
    };
    v()->MostrarRanking(dc().rowFields().item(0));
    EXPECT_TRUE(orderSeenInDialog) << "the pivot shows the order while the dialog is open";
    EXPECT_EQ(dc().rowFields().item(0)->labelOrder(), 1);
    EXPECT_TRUE(v()->Salvar);
    EXPECT_TRUE(closeAndListQuestions().startsWith("Do you want to save the changes ?"));
}

TEST_F(PivotEvents, ASortDialogClosedWithoutAChoiceLeavesTheCubeUnchanged) {
    show();
    v()->MostrarRanking(dc().rowFields().item(0));
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_FALSE(v()->Salvar);
}

TEST_F(PivotEvents, DraggingAHeaderReLaysTheTableAndClosingAsksToSave) {
    show();
    v()->MostrarToolDrag();
    ASSERT_NE(v()->TT1.window(), nullptr);
    const QPoint from = dc().chipRect(dc().fields().item("Product")).center();
    const QPoint to(vp()->width() - 20, dc().chipRect(dc().dataFields().item(0)).center().y());
    drag(from, to);
    EXPECT_EQ(v()->TT1.window(), nullptr) << "the hint goes as soon as the user works on the table";
    ASSERT_EQ(dc().columnFields().count(), 1);
    EXPECT_EQ(dc().columnFields().item(0)->name(), "Product");
    EXPECT_TRUE(v()->Salvar);
    EXPECT_EQ(v()->sizePanel->text(),
              QString("Rows: %1 , Columns: %2").arg(dc().resultRows()).arg(dc().resultColumns() + 1));
    EXPECT_TRUE(closeAndListQuestions().startsWith("Do you want to save the changes ?"));
}

TEST_F(PivotEvents, ChoosingPageMembersMarksTheCubeChangedAndClosingAsksToSave) {
    show();
    script = [](QDialog* d) {
        auto* list = qobject_cast<pivot::PageFieldList*>(d);
        if (!list) return int(QDialog::Rejected);
        QTest::mouseClick(list->cmdNone, Qt::LeftButton);
        list->model()->setData(list->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
        list->accept();
        return int(QDialog::Accepted);
    };
    QTest::mouseClick(vp(), Qt::LeftButton, {}, dc().chipRect(dc().fields().item("Salesperson")).center());
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_EQ(dc().fields().item("Salesperson")->selectionText(), "Ana Ruiz");
    EXPECT_TRUE(v()->Salvar);
    EXPECT_TRUE(closeAndListQuestions().startsWith("Do you want to save the changes ?"));
}

// Two row fields, 10 result rows and 3 result columns: the status bar counts the row headers as
// columns too.
TEST_F(PivotEvents, TheStatusBarCountsRowsAndColumnsWithTheRowFields) {
    db::ColumnarResult r;
    db::ColumnData a, b, c, val;
    a.name = "a", a.kind = db::ColumnKind::Text, a.dict = {"A1", "A2"};
    b.name = "b", b.kind = db::ColumnKind::Text, b.dict = {"w", "x", "y", "z"};
    c.name = "c", c.kind = db::ColumnKind::Text, c.dict = {"C1", "C2"};
    val.name = "v", val.kind = db::ColumnKind::Real, val.adoType = 5;
    // A1 has x, y, z; A2 has w, x, y, z: 3 + 1 + 4 + 1 lines and the grand total.
    const uint32_t pairs[][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {1, 3}};
    for (const auto& p : pairs)
        for (uint32_t k = 0; k < 2; ++k) {
            a.codes.push_back(p[0]);
            b.codes.push_back(p[1]);
            c.codes.push_back(k);
            val.reals.push_back(1);
        }
    r.columns = {a, b, c, val};
    r.rowCount = 14;
    dc().removeAllFields();
    dc().setData(std::move(r));
    dc().addField("a", "a", pivot::PageArea)->setOrientation(pivot::RowArea);
    dc().addField("b", "b", pivot::PageArea)->setOrientation(pivot::RowArea);
    dc().addField("c", "c", pivot::PageArea)->setOrientation(pivot::ColumnArea);
    dc().addField("v", "v", pivot::DataArea);
    ASSERT_TRUE(dc().recalculate());
    ASSERT_EQ(dc().resultRows(), 10);
    ASSERT_EQ(dc().resultColumns(), 3);
    v()->Graph(QString()); // as after a refresh
    EXPECT_EQ(v()->sizePanel->text(), "Rows: 10 , Columns: 5");
    v()->IndicarCantidades(true);
    EXPECT_EQ(v()->sizePanel->text(), "Rows: 0 , Measure Columns: 0 ");
    v()->IndicarCantidades(false);
    EXPECT_EQ(v()->sizePanel->text(), "Rows: 10 , Columns: 5");
}

TEST_F(PivotEvents, TheDragHintPointsBelowTheFilterPaneWhenItIsShown) {
    show();
    for (bool pane : {true, false}) {
        SCOPED_TRACE(pane);
        v()->spUsrFil->setVisible(pane);
        v()->MostrarToolDrag();
        const BalloonTip* tip = v()->TT1.window();
        ASSERT_NE(tip, nullptr);
        EXPECT_TRUE(tip->isVisible());
        EXPECT_EQ(tip->title(), "Drag and drop");
        EXPECT_EQ(tip->text(), "Drag and drop headers to reorganize.");
        EXPECT_EQ(tip->icon(), BalloonTip::InfoIcon);
        EXPECT_EQ(tip->tipPoint(), v()->mapToGlobal(QPoint(100, pane ? 210 : 70)));
    }
}

TEST_F(PivotEvents, WindowPrintPrintsAPictureOfTheViewer) {
    show();
    const QString pdf = home.path("window.pdf");
    script = [&](QDialog* d) {
        auto* pd = qobject_cast<QPrintDialog*>(d);
        if (!pd) return int(QDialog::Rejected);
        pd->printer()->setOutputFormat(QPrinter::PdfFormat);
        pd->printer()->setOutputFileName(pdf);
        return int(QDialog::Accepted);
    };
    v()->AB_ToolClick(v()->AB->band("&Archivo")->tool(QString::fromUtf8("Imprimir Pantalla")));
    EXPECT_EQ(dialogs, QStringList("QPrintDialog:"));
    EXPECT_EQ(v()->picImprimir.size(), v()->size());
    EXPECT_GT(QFileInfo(pdf).size(), 10000) << "a page with the picture on it";
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}
