// Hint balloons: what a property write does before and after the window exists, showing at a point,
// the visible time, and the one-call balloon of the General module.
#include "shell/CBalloonToolTip.h"
#include "shell/General.h"

#include "platform/os/Clock.h"

#include <QApplication>
#include <QToolTip>
#include <functional>
#include <gtest/gtest.h>

namespace {

// What the tooltip window shows, or "none".
QString state(const CBalloonToolTip& tt) {
    const BalloonTip* w = tt.window();
    if (!w) return "none";
    const QColor themeFore = QToolTip::palette().color(QPalette::ToolTipText);
    const QString fore = w->textColour() == themeFore ? "theme" : w->textColour().name();
    return QString("title=%1 icon=%2 text=%3 fore=%4 times=%5/%6")
        .arg(w->title())
        .arg(w->icon())
        .arg(w->text(), fore)
        .arg(w->visibleTime())
        .arg(w->initialDelay());
}

struct Owner {
    QWidget w;
    Owner() {
        w.setGeometry(50, 50, 400, 300);
        w.show();
        QApplication::processEvents();
    }
};

// The theme's tooltip text colour for one test, unlike black, so "left to the theme" shows.
struct ThemeColour {
    QPalette old = QToolTip::palette();
    ThemeColour() {
        QPalette p = old;
        p.setColor(QPalette::ToolTipText, QColor(0x12, 0x34, 0x56));
        QToolTip::setPalette(p);
    }
    ~ThemeColour() { QToolTip::setPalette(old); }
};

} // namespace

TEST(BalloonToolTip, PropertyWritesReachAnExistingWindowOnlyWhereTheyShould) {
    ThemeColour theme;
    struct Case {
        const char* name;
        std::function<void(CBalloonToolTip&, QWidget*)> run;
        const char* expected;
    } cases[] = {
        {"nothing before the window",
         [](CBalloonToolTip& tt, QWidget*) {
             tt.setTitle("Hint");
             tt.setIcon(1);
             tt.setTipText("text");
         },
         "none"},
        {"a title written before the window shows once it is made",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.setTitle("Hint");
             tt.CreateToolTip(o);
         },
         "title=Hint icon=0 text= fore=theme times=5000/500"},
        {"a title with icon 0 is set at creation, not by a later write alone",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.setTitle("First");
             tt.CreateToolTip(o);
             tt.setTitle("Second");
         },
         "title=First icon=0 text= fore=theme times=5000/500"},
        {"with an icon a later title write reaches the window",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.setTitle("First");
             tt.CreateToolTip(o);
             tt.setIcon(2);
             tt.setTitle("Second");
         },
         "title=Second icon=2 text= fore=theme times=5000/500"},
        {"an icon alone is set at creation",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.setIcon(3);
             tt.CreateToolTip(o);
         },
         "title= icon=3 text= fore=theme times=5000/500"},
        {"a black text colour is not sent at creation",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.setForeColor(0);
             tt.CreateToolTip(o);
         },
         "title= icon=0 text= fore=theme times=5000/500"},
        {"a colour is sent at creation, in OLE order",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.setForeColor(0x0000FF);
             tt.CreateToolTip(o);
         },
         "title= icon=0 text= fore=#ff0000 times=5000/500"},
        {"a colour written to a window is sent, black too",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.CreateToolTip(o);
             tt.setForeColor(0);
         },
         "title= icon=0 text= fore=#000000 times=5000/500"},
        {"the tip text reaches the window at once",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.setTipText("old");
             tt.CreateToolTip(o);
             tt.setTipText("new");
         },
         "title= icon=0 text=new fore=theme times=5000/500"},
        {"times wait for the next creation",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.CreateToolTip(o);
             tt.setVisibleTime(900);
             tt.setDelayTime(100);
         },
         "title= icon=0 text= fore=theme times=5000/500"},
        {"a new creation replaces the window with the current settings",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.CreateToolTip(o);
             tt.setVisibleTime(900);
             tt.setDelayTime(100);
             tt.setTitle("Again");
             tt.CreateToolTip(o);
         },
         "title=Again icon=0 text= fore=theme times=900/100"},
        {"Destroy without a window does nothing",
         [](CBalloonToolTip& tt, QWidget*) {
             tt.Destroy();
             tt.Destroy();
         },
         "none"},
        {"Destroy removes the window",
         [](CBalloonToolTip& tt, QWidget* o) {
             tt.CreateToolTip(o);
             tt.Destroy();
         },
         "none"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Owner owner;
        CBalloonToolTip tt;
        k.run(tt, &owner.w);
        EXPECT_EQ(state(tt).toStdString(), k.expected);
    }
}

TEST(BalloonToolTip, ATrackingTipShowsOnlyWhenAskedAtTheClientPointForItsVisibleTime) {
    bd::os::ManualClock clock;
    Owner owner;
    CBalloonToolTip tt;
    tt.setStyle(1);
    tt.setTitle("Title");
    tt.setTipText("Text");
    tt.CreateToolTip(&owner.w);
    tt.Show(100, 70, &owner.w);
    EXPECT_FALSE(tt.window()->isVisible()) << "not a tracking tip";

    tt.setPopupOnDemand(true);
    tt.setVisibleTime(2000);
    tt.CreateToolTip(&owner.w);
    EXPECT_FALSE(tt.window()->isVisible());
    tt.Show(100, 70, &owner.w);
    BalloonTip* w = tt.window();
    ASSERT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isBalloon());
    EXPECT_TRUE(w->isTracking());
    EXPECT_EQ(w->parentWidget(), &owner.w);
    EXPECT_EQ(w->tipPoint(), owner.w.mapToGlobal(QPoint(100, 70)));
    // The stem's point is the top edge of the window, the body below it.
    EXPECT_EQ(w->geometry().top(), w->tipPoint().y());
    EXPECT_TRUE(w->geometry().contains(w->tipPoint()));

    clock.advance(1999);
    EXPECT_TRUE(w->isVisible());
    clock.advance(1);
    EXPECT_FALSE(w->isVisible()) << "the visible time ran out";
    EXPECT_EQ(tt.window(), w) << "the window stays until Destroy";

    // A point whose screen y does not fit in 16 bits stays where it is asked for.
    tt.Show(10, 70000, &owner.w);
    EXPECT_EQ(w->tipPoint(), owner.w.mapToGlobal(QPoint(10, 70000)));
    // Without a client window the point is a screen point.
    tt.Show(300, 200);
    EXPECT_EQ(w->tipPoint(), QPoint(300, 200));
    // Hiding the owner hides the tip.
    owner.w.hide();
    EXPECT_FALSE(w->isVisible());
    tt.Show(100, 70, &owner.w);
    EXPECT_FALSE(w->isVisible()) << "no hint for a hidden window";
}

TEST(BalloonToolTip, ATipThatIsNotTrackingShowsAfterThePointerRestsOverItsOwner) {
    bd::os::ManualClock clock;
    Owner owner;
    CBalloonToolTip tt;
    tt.setTipText("Rest here");
    tt.setDelayTime(800);
    tt.CreateToolTip(&owner.w);
    EXPECT_FALSE(tt.window()->isBalloon());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&owner.w, &enter);
    clock.advance(799);
    EXPECT_FALSE(tt.window()->isVisible());
    clock.advance(1);
    EXPECT_TRUE(tt.window()->isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&owner.w, &leave);
    EXPECT_FALSE(tt.window()->isVisible());
}

TEST(BalloonToolTip, MostrarGloboShowsAnInformationBalloonAtTheControlsPoint) {
    Owner owner;
    CBalloonToolTip tt;
    General::MostrarGlobo(tt, "Drag and drop", "Drag and drop headers to reorganize.", 100.4, 69.6, &owner.w);
    ASSERT_NE(tt.window(), nullptr);
    EXPECT_EQ(tt.Style(), 1);
    EXPECT_EQ(tt.Icon(), 1);
    EXPECT_TRUE(tt.PopupOnDemand());
    EXPECT_EQ(tt.parentWindow(), &owner.w);
    EXPECT_EQ(state(tt), "title=Drag and drop icon=1 text=Drag and drop headers to reorganize. fore=theme "
                         "times=5000/500");
    EXPECT_TRUE(tt.window()->isVisible());
    EXPECT_EQ(tt.window()->tipPoint(), owner.w.mapToGlobal(QPoint(100, 70)));
    // A second call replaces the balloon.
    QPointer<BalloonTip> first = tt.window();
    General::MostrarGlobo(tt, "Other", "text", 10, 10, &owner.w);
    // Gone from the screen at once, deleted by the event loop.
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(tt.window()->title(), "Other");
}
