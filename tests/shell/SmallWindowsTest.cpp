// The small shared windows: the colour picker, the mail busy window and the auto-close countdown on
// its own.
#include "common/TestSupport.h"
#include "platform/os/Clock.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Twips.h"
#include "shell/FrmColor.h"
#include "shell/General.h"
#include "shell/frmClose.h"
#include "shell/frmMail.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace bd;

namespace {
struct Choice {
    QString background, text; // what the palettes showed as picked
    QColor frame1;            // Frame1's back colour after the pick
};

// Runs ElegirColores with the pointer pressed on both palettes, then OK or the close box.
Choice choose(bool accept) {
    Choice e;
    os::ScopedDialogHandler h([&](QDialog* d) {
        auto* f = qobject_cast<FrmColor*>(d);
        if (!f) return int(QDialog::Rejected);
        f->show();
        QTest::mouseClick(f->Picture1, Qt::LeftButton, {}, QPoint(10, 20));
        QTest::mouseClick(f->Picture2, Qt::LeftButton, {}, QPoint(100, 120));
        e.background = f->VColor;
        e.text = f->VColor2;
        e.frame1 = f->Frame1->palette().color(QPalette::Window);
        if (accept)
            f->cmdAceptar->click();
        else
            f->close();
        return f->result();
    });
    General::sColorFondo = "123";
    General::sColorTexto = "456";
    General::ElegirColores(nullptr);
    return e;
}
} // namespace

TEST(ColourPicker, ThePicksCountOnlyWithOkAndTheCloseBoxLeavesNone) {
    const Choice ok = choose(true);
    ASSERT_FALSE(ok.background.isEmpty());
    ASSERT_FALSE(ok.text.isEmpty());
    EXPECT_NE(ok.background, ok.text);
    EXPECT_EQ(ok.frame1, os::oleToColor(ok.background.toUInt())); // the frame shows the pick
    EXPECT_EQ(General::sColorFondo, ok.background);
    EXPECT_EQ(General::sColorTexto, ok.text);

    const Choice closed = choose(false);
    EXPECT_FALSE(closed.background.isEmpty());
    EXPECT_EQ(General::sColorFondo, "");
    EXPECT_EQ(General::sColorTexto, "");
}

TEST(ColourPicker, APointOutsideThePaletteKeepsTheLastPick) {
    FrmColor f;
    f.Cambiar_Color(5, 5);
    const QString pick = f.VColor;
    ASSERT_FALSE(pick.isEmpty());
    const QSize size = f.Picture1->pixmap().size();
    for (QPointF p :
         {QPointF(-1, 5), QPointF(5, -0.5), QPointF(size.width(), 5), QPointF(5, size.height())}) {
        f.Cambiar_Color(p.x(), p.y());
        EXPECT_EQ(f.VColor, pick) << p.x() << "," << p.y();
    }
    EXPECT_EQ(f.VColor2, "");
}

TEST(MailBusyWindow, ThePictureCyclesThroughThreePlacesAndStaysAnywhereElse) {
    os::ManualClock clock;
    frmMail m;
    EXPECT_TRUE(m.Timer1->isEnabled());
    QList<int> places;
    for (int i = 0; i < 4; ++i) {
        clock.advance(300);
        places << os::pixelsToTwips(m.Picture2->x());
    }
    EXPECT_EQ(places, QList<int>({1680, 2100, 1260, 1680}));
    m.Picture2->move(os::twipsToPixels(3000), m.Picture2->y());
    clock.advance(900);
    EXPECT_EQ(os::pixelsToTwips(m.Picture2->x()), 3000);
}

// A countdown whose cube is gone ends nothing: it only closes itself.
TEST(Countdown, WithoutACubeRunningOutOnlyClosesItself) {
    os::ManualClock clock;
    QPointer<frmClose> f = new frmClose;
    f->show();
    EXPECT_EQ(f->lblAutoclose->text(), "Auto closing in 20 seconds. ");
    clock.advance(19000);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->counting());
    EXPECT_EQ(f->lblAutoclose->text(), "Auto closing in 1 seconds. ");
    clock.advance(1000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.isNull());
}
