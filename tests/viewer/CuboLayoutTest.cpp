// The viewer's layout for a table of window sizes, chart shown and hidden, and the splitter drags.
#include "common/TestSupport.h"
#include "platform/controlhost/ControlHost.h"
#include "platform/os/Clock.h"
#include "platform/os/Twips.h"
#include "viewer/ViewerTestSupport.h"

#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace bd;

namespace {
int tw(int px) {
    return os::pixelsToTwips(px);
}

struct Layout : ::testing::Test {
    test::TempHome home{false};
    os::ManualClock clock;
    void SetUp() override {
        QString error;
        ASSERT_TRUE(controlhost::RegisterControlLibrary(QStringLiteral(BD_APP_DIR "/libglimford.so"), &error))
            << error.toStdString();
    }
};
} // namespace

TEST_F(Layout, GeometryForATableOfWindowSizesWithTheChartShownAndHidden) {
    struct Case {
        int w, h;       // requested window size, twips
        int expW, expH; // after the minimum-size rule
    } cases[] = {{12000, 9000, 12000, 9000},  {15000, 12000, 15000, 12000}, {7005, 12000, 10000, 12000},
                 {12000, 6000, 12000, 10000}, {4500, 4500, 10000, 10000},   {8010, 8010, 8010, 8010}};
    for (bool noChart : {false, true}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::to_string(k.w) + "x" + std::to_string(k.h) +
                         (noChart ? " chart hidden" : " chart shown"));
            test::LinkedViewer vis;
            Cubo& v = *vis.v;
            ASSERT_NE(v.Split->control(), nullptr) << "the splitter is the hosted control";
            v.SetToolChecked(Cubo::ToolNoChart, noChart);
            v.SetWindowWidth(k.w);
            v.SetWindowHeight(k.h);
            v.Form_Resize();
            EXPECT_NEAR(v.WindowWidth(), k.expW, 15);
            EXPECT_NEAR(v.WindowHeight(), k.expH, 15);
            // The window sits on whole pixels: 10000 twips is 667 pixels, 10005 twips.
            const int W = v.WindowWidth(), H = v.WindowHeight();
            EXPECT_EQ(v.Split->MaxTop(), H - 1050);
            EXPECT_EQ(v.Split->MinTop(), H / 3 + 100);
            EXPECT_NEAR(v.Split->Width(), W, 15);
            EXPECT_EQ(v.SplitFil->MinTop(), 1050);
            EXPECT_EQ(v.SplitFil->MaxTop(), H / 3);
            EXPECT_EQ(v.AB->x(), 0);
            EXPECT_EQ(v.AB->y(), 0);
            EXPECT_NEAR(tw(v.AB->width()), W - 150, 15);
            EXPECT_NEAR(tw(v.DC->width()), W - 150, 15);
            EXPECT_EQ(v.DC->y(), v.AB->height());
            // With the filter pane hidden the pivot ends 400 twips above the splitter.
            EXPECT_NEAR(tw(v.DC->height()), v.Split->Top() - 400, 15);
            EXPECT_EQ(v.CHA->x(), 0);
            EXPECT_NEAR(tw(v.cmdConectado->x()), W - tw(v.cmdConectado->width()) - 150, 15);
            EXPECT_NEAR(tw(v.cmdConectado->y()), 40, 15);
            if (noChart) {
                EXPECT_NEAR(v.Split->Top(), H - 800, 15);
                EXPECT_FALSE(v.Split->Visible());
                EXPECT_TRUE(v.CHA->isHidden());
                EXPECT_TRUE(v.ABGraph->isHidden());
                EXPECT_TRUE(v.frameCover->isHidden());
            } else {
                const int below = v.Split->Top() + v.Split->Height();
                EXPECT_EQ(v.Split->Height(), 105);
                EXPECT_FALSE(v.CHA->isHidden());
                EXPECT_FALSE(v.ABGraph->isHidden());
                EXPECT_EQ(v.ABGraph->x(), 0);
                EXPECT_NEAR(tw(v.ABGraph->width()), W, 15);
                EXPECT_NEAR(tw(v.ABGraph->y()), below, 15);
                const int chaTop = below + tw(v.ABGraph->height());
                EXPECT_NEAR(tw(v.CHA->y()), chaTop, 15);
                EXPECT_NEAR(tw(v.CHA->height()), std::max(0, (H - 830) - chaTop), 15);
                EXPECT_NEAR(tw(v.CHA->width()), W - 150, 15);
                EXPECT_LE(v.Split->Top(), H - 500);
            }
        }
    }
}

TEST_F(Layout, ShrinkingTheWindowPullsTheSplitterUpTo500AboveTheBottom) {
    test::LinkedViewer vis;
    Cubo& v = *vis.v;
    v.SetWindowWidth(12000);
    v.SetWindowHeight(12000);
    v.Form_Resize();
    v.Split->setTop(11000);
    v.SetWindowHeight(9000);
    v.Form_Resize();
    EXPECT_NEAR(v.Split->Top(), 9000 - 500, 15);
    v.Split->setTop(3000); // above the limit: stays
    v.Form_Resize();
    EXPECT_NEAR(v.Split->Top(), 3000, 15);
}

TEST_F(Layout, SplitterDragsClampAtTheirLimitsAndRelayOut) {
    test::LinkedViewer vis;
    Cubo& v = *vis.v;
    vis.c->spCal->setText(Campos::ColMedida, 1, "Amount"); // a measure, so the redraw keeps the chart on
    v.SetWindowWidth(12000);
    v.SetWindowHeight(9000);
    v.show();
    v.Form_Resize();
    v.Split->setTop(5000);
    v.SplitFil->setVisible(true);
    v.SplitFil->setTop(2000);
    v.AcomodarPantalla();
    const int H = v.WindowHeight();
    struct Case {
        SplitBar* bar;
        int dyPixels;
        int expected;
    } cases[] = {{v.Split, 400, H - 1050},
                 {v.Split, -400, H / 3 + 100},
                 {v.SplitFil, 300, H / 3},
                 {v.SplitFil, -300, 1050},
                 {v.Split, 10, -1}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.bar->objectName().toStdString() + " " + std::to_string(k.dyPixels));
        QWidget* w = k.bar->widget();
        ASSERT_NE(w, nullptr);
        const int before = k.bar->Top();
        const QPoint press(50, 3);
        const QPoint start = w->pos() + press;
        QTest::mousePress(w, Qt::LeftButton, {}, press);
        QPoint last = start;
        for (int step = 1; step <= 4; ++step) {
            last = start + QPoint(0, k.dyPixels * step / 4);
            QTest::mouseMove(w, last - w->pos());
        }
        QTest::mouseRelease(w, Qt::LeftButton, {}, last - w->pos());
        const int expected = k.expected < 0 ? before + tw(k.dyPixels) : k.expected;
        EXPECT_NEAR(k.bar->Top(), expected, 15);
        if (k.bar == v.Split) {
            // Move complete: the chart strip follows and the toolbars wait for the timer.
            EXPECT_NEAR(tw(v.ABGraph->y()), k.bar->Top() + k.bar->Height(), 15);
            EXPECT_FALSE(v.ABGraph->isEnabled());
            EXPECT_TRUE(v.TimerWait->isEnabled());
            clock.advance(1000);
            EXPECT_TRUE(v.ABGraph->isEnabled());
            EXPECT_FALSE(v.TimerWait->isEnabled());
        }
    }
}

TEST_F(Layout, WithoutTheRegisteredControlTheBarsKeepTheirNumbers) {
    test::TempHome bare(false); // a registry without the library
    test::LinkedViewer vis;
    Cubo& v = *vis.v;
    EXPECT_EQ(v.Split->control(), nullptr);
    v.SetWindowWidth(12000);
    v.SetWindowHeight(9000);
    v.Form_Resize();
    EXPECT_EQ(v.Split->MaxTop(), 9000 - 1050);
    EXPECT_EQ(v.Split->Width(), 12000);
    EXPECT_NEAR(tw(v.ABGraph->y()), v.Split->Top() + 105, 15);
}

// A viewer opens filling the screen's available area, or at the size the user left the last one.
TEST_F(Layout, OpensOverTheAvailableAreaOrAtTheSizeLastLeft) {
    QRect area;
    {
        test::LinkedViewer vis;
        vis.v->show();
        area = vis.v->screen()->availableGeometry();
        EXPECT_EQ(vis.v->frameGeometry(), area);
        // The pivot gets its share: the splitter at three quarters of the height.
        EXPECT_GT(vis.v->DC->height(), vis.v->height() / 2);
        vis.v->resize(720, 560);
        vis.v->Salvar = false;
        EXPECT_TRUE(vis.v->close());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    test::LinkedViewer next;
    next.v->show();
    EXPECT_EQ(next.v->size(), QSize(720, 560));
    // A viewer that was never shown leaves nothing to remember.
    {
        test::LinkedViewer unseen;
        unseen.v->resize(600, 580);
        unseen.v->Salvar = false;
        unseen.v->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    test::LinkedViewer third;
    EXPECT_EQ(third.v->size(), QSize(720, 560));
}

// Maximizing keeps the pivot's and the chart's shares of the height; restoring brings the splitter
// back. A plain resize keeps the splitter where it is (see the shrinking case above).
TEST_F(Layout, MaximizingAndRestoringKeepThePivotsShare) {
    test::LinkedViewer vis;
    Cubo& v = *vis.v;
    v.SetWindowWidth(10500);
    v.SetWindowHeight(8400);
    v.show();
    QCoreApplication::processEvents();
    v.Split->setTop(v.WindowHeight() * 6 / 10);
    v.AcomodarPantalla();
    const int heightTwips = v.WindowHeight(), top = v.Split->Top(), pivot = v.DC->height();
    v.showMaximized();
    QCoreApplication::processEvents();
    ASSERT_GT(v.WindowHeight(), heightTwips + 1000) << "the test screen is larger than the window";
    EXPECT_NEAR(double(v.Split->Top()) / v.WindowHeight(), double(top) / heightTwips, 0.01);
    EXPECT_GT(v.DC->height(), pivot * 1.2);
    v.showNormal();
    QCoreApplication::processEvents();
    EXPECT_NEAR(v.WindowHeight(), heightTwips, 15);
    EXPECT_NEAR(v.Split->Top(), top, 30);
}
