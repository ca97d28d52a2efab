#include "shell/GeneralGrid.h"

#include "platform/grid/Grid.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"

#include <QDateTimeEdit>
#include <QHash>
#include <QMap>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

using namespace General;

TEST(GeneralGrid, CellTagProceduresLeaveTheGridAsItWas) {
    bd::grid::Grid g;
    g.setMaxCols(5);
    g.setMaxRows(10);
    g.setText(2, 4, "visible");
    g.setCol(3);
    g.setRow(7);
    g.setActiveCell(4, 2);
    g.setSelection(4, 2, 5, 3);
    EscribirCelda(g, 2, 4, "recipients");
    EscribirCelda(g, 0, 0, "builder state");
    EXPECT_EQ(LeerCelda(g, 2, 4), "recipients");
    EXPECT_EQ(LeerCelda(g, 0, 0), "builder state");
    EXPECT_EQ(LeerCelda(g, 1, 1), "");
    EXPECT_EQ(g.col(), 3);
    EXPECT_EQ(g.row(), 7);
    EXPECT_EQ(g.activeCol(), 4);
    EXPECT_EQ(g.activeRow(), 2);
    EXPECT_EQ(g.text(2, 4), "visible");
    EXPECT_EQ(g.view()->selectionModel()->selectedIndexes().size(), 4);
}

TEST(GeneralGrid, Collections) {
    QMap<QString, QString> m{{"1", "a"}, {"2", "b"}};
    std::map<QString, int> s{{"x", 1}};
    EXPECT_TRUE(ExisteEnColeccion(m, "2"));
    EXPECT_FALSE(ExisteEnColeccion(m, "3"));
    EXPECT_TRUE(ExisteEnColeccion(s, "x"));
    VaciarColeccion(m);
    EXPECT_TRUE(m.isEmpty());
    QHash<QString, int> empty;
    VaciarColeccion(empty); // nothing to do, no error
    EXPECT_FALSE(ExisteEnColeccion(empty, "1"));
}

TEST(GeneralGrid, TextHelpers) {
    const std::pair<QVariant, QString> two[] = {{QString(), "00"}, {QVariant(), "00"}, {"7", "07"},
                                                {5, "05"},         {"12", "12"},       {"123", "123"}};
    for (const auto& [in, out] : two)
        EXPECT_EQ(DosDigitos(in), out) << in.toString().toStdString();
    EXPECT_EQ(RepetirTexto("ab", 3), "ababab");
    EXPECT_EQ(RepetirTexto("ab", 0), "");
    EXPECT_EQ(RepetirTexto("ab", -2), "");
}

TEST(GeneralGrid, EsperarZeroYieldsOnce) {
    bd::os::ManualClock clock;
    int ran = 0;
    QTimer::singleShot(0, [&] { ++ran; });
    Esperar(0);
    EXPECT_EQ(ran, 1);
}

TEST(GeneralGrid, EsperarRunsTheLoopAndCrossesMidnight) {
    struct Case {
        QTime start;
        long wait;
    };
    for (const Case& c : {Case{QTime(10, 0, 0), 3}, Case{QTime(23, 59, 58), 5}}) {
        bd::os::ManualClock clock(QDateTime(QDate(2026, 1, 15), c.start));
        const QDateTime begin = clock.now();
        int ticks = 0;
        QTimer tick; // events keep running during the wait; each one moves the clock on
        QObject::connect(&tick, &QTimer::timeout, [&] {
            ++ticks;
            clock.advance(250);
        });
        tick.start(20); // slower than the wait's own rounds, so each round sees at most one step
        Esperar(c.wait);
        const qint64 waited = begin.msecsTo(clock.now());
        EXPECT_GE(waited, c.wait * 1000 - 500) << c.start.toString().toStdString();
        EXPECT_LE(waited, c.wait * 1000) << c.start.toString().toStdString();
        EXPECT_GT(ticks, 0);
    }
}

TEST(GeneralGrid, FijarHoraSetsHourMinuteSecondOnly) {
    QDateTimeEdit picker(QDateTime(QDate(2020, 2, 3), QTime(1, 2, 3)));
    EXPECT_TRUE(FijarHora(QDateTime(QDate(2026, 5, 6), QTime(14, 25, 36)), &picker));
    EXPECT_EQ(picker.time(), QTime(14, 25, 36));
    EXPECT_EQ(picker.date(), QDate(2020, 2, 3));
    EXPECT_TRUE(FijarHora(QString("2026-05-06T08:09:10"), &picker));
    EXPECT_EQ(picker.time(), QTime(8, 9, 10));
    EXPECT_FALSE(FijarHora(QString("..."), &picker));
    EXPECT_EQ(picker.time(), QTime(8, 9, 10));
    EXPECT_FALSE(FijarHora(QDateTime(), nullptr));
}

TEST(GeneralGrid, FocusAndZOrderNeverFail) {
    EnfocarControl(nullptr);
    TraerAlFrente(nullptr);
    QWidget parent;
    QWidget a(&parent), b(&parent);
    b.setEnabled(false);
    EnfocarControl(&b); // hidden and disabled: nothing
    TraerAlFrente(&a);
    EXPECT_EQ(parent.children().last(), &a);
}

TEST(GeneralGrid, WrongPasswordMessage) {
    bd::os::ScopedPrompter p;
    MensajePasswordIncorrecto();
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "Incorrect Password");
    EXPECT_EQ(p->prompts[0].title, "Error");
    EXPECT_EQ(p->prompts[0].icon, bd::os::Icon::Information);
}
