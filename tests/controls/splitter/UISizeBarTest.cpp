// The splitter bar, driven as the program drives it: loaded by its registered name through the host.
#include "platform/controlhost/ControlHost.h"
#include "platform/os/Registry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace bd::controlhost;

namespace {
constexpr int Vertical = 0, Horizontal = 1;
constexpr int Flat = 0, Raised = 5, Etched = 6, Bump = 9, Sunken = 10;
constexpr int Slow = 0, Medium = 1, Fast = 2;

struct Recorded {
    QString name;
    QVariantList args;
};

class SizeBar : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        reg = std::make_unique<bd::os::FileRegistry>(dir.filePath("registry.json"));
        bd::os::setRegistry(reg.get());
        ASSERT_GE(RegisterShippedControls(), 1);
        form.resize(800, 600);
        bar = CreateControl("Glimford.UISizeBar", &form, &error);
        ASSERT_TRUE(bar) << error.toStdString();
        QObject::connect(bar, &Control::controlEvent, [this](const QString& n, const QVariantList& a) {
            events.append({n, a});
        });
    }
    void TearDown() override {
        QApplication::setPalette(QPalette());
        bd::os::setRegistry(nullptr);
    }

    QWidget* w() const { return bar->widget(); }
    int count(const QString& name) const {
        int n = 0;
        for (const Recorded& r : events)
            n += r.name == name;
        return n;
    }
    void setAll(const QVariantMap& props) {
        for (auto it = props.begin(); it != props.end(); ++it)
            ASSERT_TRUE(bar->set(it.key(), it.value()))
                << it.key().toStdString() << ": " << bar->lastError().toStdString();
    }

    // Drags like a pointer would: steps are pixel offsets from the press point in the form, each
    // delivered in the bar's own coordinates at the moment it arrives (the bar moves under it).
    void drag(QPoint pressLocal, const QList<QPoint>& steps, Qt::MouseButton button = Qt::LeftButton) {
        const QPoint start = w()->pos() + pressLocal;
        QTest::mousePress(w(), button, {}, pressLocal);
        QPoint last = start;
        for (const QPoint& s : steps) {
            last = start + s;
            QTest::mouseMove(w(), last - w()->pos());
        }
        QTest::mouseRelease(w(), button, {}, last - w()->pos());
    }

    QTemporaryDir dir;
    std::unique_ptr<bd::os::FileRegistry> reg;
    QWidget form;
    QPointer<Control> bar;
    QString error;
    QList<Recorded> events;
};

QImage grabbed(QWidget* w, const QString& name) {
    const QImage img = w->grab().toImage();
    img.save(QCoreApplication::applicationDirPath() + "/" + name + ".png");
    return img;
}

// Distinct 3-D colours so each line of an edge can be told apart.
void distinctPalette() {
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Button, QColor(200, 200, 200));   // button face
    p.setColor(QPalette::Light, QColor(255, 255, 255));    // button highlight
    p.setColor(QPalette::Midlight, QColor(230, 230, 230)); // 3-D light
    p.setColor(QPalette::Dark, QColor(128, 128, 128));     // button shadow
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));         // 3-D dark shadow
    QApplication::setPalette(p);
}
const QColor face(200, 200, 200), hilite(255, 255, 255), light3d(230, 230, 230), shadow(128, 128, 128),
    dark(0, 0, 0);
} // namespace

TEST_F(SizeBar, NewBarHasTheDefaults) {
    const QVariantMap expected{{"BackColor", 0x8000000Fu},
                               {"HighlightColor", 0x80000010u},
                               {"Orientation", Vertical},
                               {"MinLeft", 0},
                               {"MinTop", 0},
                               {"MaxLeft", 99999},
                               {"MaxTop", 99999},
                               {"ShowBorderWhileMoving", false},
                               {"BorderStyle", Raised},
                               {"Edge_Top", true},
                               {"Edge_Left", true},
                               {"Edge_Right", true},
                               {"Edge_Bottom", true},
                               {"Width", 105},
                               {"Height", 2000}};
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        EXPECT_EQ(bar->get(it.key()), it.value()) << it.key().toStdString();
        if (const PropertyInfo* p = bar->classInfo().property(it.key())) {
            EXPECT_EQ(p->defaultValue, it.value()) << it.key().toStdString();
        }
    }
    EXPECT_EQ(w()->cursor().shape(), Qt::SizeHorCursor);
}

TEST_F(SizeBar, OrientationSizesTheBarAndPicksThePointer) {
    ASSERT_TRUE(bar->set("Left", 300));
    ASSERT_TRUE(bar->set("Top", 450));
    const struct {
        int orientation, width, height;
        Qt::CursorShape cursor;
    } cases[] = {{Horizontal, 2000, 105, Qt::SizeVerCursor}, {Vertical, 105, 2000, Qt::SizeHorCursor}};
    for (const auto& tc : cases) {
        ASSERT_TRUE(bar->set("Orientation", tc.orientation));
        EXPECT_EQ(bar->get("Width").toInt(), tc.width);
        EXPECT_EQ(bar->get("Height").toInt(), tc.height);
        EXPECT_EQ(bar->get("Right").toFloat(), 300.0f + tc.width);
        EXPECT_EQ(bar->get("Bottom").toFloat(), 450.0f + tc.height);
        EXPECT_EQ(w()->cursor().shape(), tc.cursor);
        EXPECT_EQ(w()->size(), QSize(qRound(tc.width / 15.0), qRound(tc.height / 15.0)));
    }
}

TEST_F(SizeBar, DragsClampAtTheirLimits) {
    // Positions and limits in twips; steps in pixels (15 twips each).
    const struct {
        const char* what;
        int orientation, start, min, max;
        QList<QPoint> steps;
        int expected;
    } cases[] = {
        {"vertical, 300 right with MaxLeft 200", Vertical, 0, 0, 200, {{10, 0}, {20, 0}}, 200},
        {"vertical, inside the limits", Vertical, 1500, 0, 99999, {{4, 0}, {10, 0}}, 1650},
        {"vertical, past MinLeft", Vertical, 1500, 1000, 99999, {{-100, 0}}, 1000},
        {"vertical ignores vertical pointer moves", Vertical, 1500, 0, 99999, {{0, 50}}, 1500},
        {"horizontal, far past MinTop", Horizontal, 3000, 1050, 5000, {{0, -50}, {0, -150}, {0, -300}}, 1050},
        {"horizontal, past MaxTop", Horizontal, 3000, 1050, 5000, {{0, 200}}, 5000},
        // A limit on the pixel grid, so the pointer meets the bar where it left it.
        {"horizontal, out and back inside", Horizontal, 3000, 1050, 4995, {{0, 300}, {0, 10}}, 3150},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.what);
        events.clear();
        const bool vertical = tc.orientation == Vertical;
        ASSERT_TRUE(bar->set("Orientation", tc.orientation));
        setAll({{vertical ? "Left" : "Top", tc.start},
                {vertical ? "Top" : "Left", 600},
                {vertical ? "MinLeft" : "MinTop", tc.min},
                {vertical ? "MaxLeft" : "MaxTop", tc.max}});
        drag(QPoint(3, 3), tc.steps);
        EXPECT_EQ(bar->get(vertical ? "Left" : "Top").toInt(), tc.expected);
        EXPECT_EQ(bar->get(vertical ? "Top" : "Left").toInt(), 600);
        // One Move for every pointer move, also those a limit held still.
        EXPECT_EQ(count("Move"), tc.steps.size());
        ASSERT_EQ(events.size(), tc.steps.size() + 2);
        EXPECT_EQ(events.first().name, "MoveBegin");
        EXPECT_EQ(events.last().name, "MoveComplete");
        const QVariantList& a = events.last().args;
        EXPECT_EQ(a.at(vertical ? 0 : 1).toFloat(), float(tc.expected));
        EXPECT_EQ(a.at(2).toFloat(), a.at(0).toFloat() + bar->get("Width").toFloat());
        EXPECT_EQ(a.at(3).toFloat(), a.at(1).toFloat() + bar->get("Height").toFloat());
    }
}

TEST_F(SizeBar, RightButtonColoursAndReportsButDoesNotMove) {
    distinctPalette();
    ASSERT_TRUE(bar->set("Left", 1500));
    QTest::mousePress(w(), Qt::RightButton, {}, QPoint(3, 30));
    EXPECT_EQ(grabbed(w(), "glimford-right-held").pixelColor(3, 30), shadow); // HighlightColor: button shadow
    QTest::mouseMove(w(), QPoint(40, 30));
    QTest::mouseRelease(w(), Qt::RightButton, {}, QPoint(40, 30));
    EXPECT_EQ(bar->get("Left").toInt(), 1500);
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].name, "MoveBegin");
    EXPECT_EQ(events[1].name, "MoveComplete");
    EXPECT_EQ(grabbed(w(), "glimford-right-released").pixelColor(3, 30), face);
}

TEST_F(SizeBar, AnimateGlidesInWholeSteps) {
    ASSERT_TRUE(bar->set("Orientation", Horizontal));
    const struct {
        const char* what;
        int speed, from, to, moves, step;
    } cases[] = {
        {"slow over 100: too short", Slow, 1000, 1100, 0, 0},
        {"slow over 1000: steps of 4", Slow, 1000, 2000, 250, 4},
        {"medium over 1000", Medium, 1000, 2000, 100, 10},
        {"fast upwards", Fast, 3000, 1000, 50, -40},
        {"slow with a short last step", Slow, 0, 1100, 275, 4},
        {"unknown speed", 7, 1000, 3000, 0, 0},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.what);
        ASSERT_TRUE(bar->set("Top", tc.from));
        events.clear();
        QVariantList args{0.0, double(tc.to), tc.speed};
        EXPECT_EQ(bar->call("Animate", args), QVariant(0));
        EXPECT_EQ(count("Move"), tc.moves);
        if (tc.moves == 0) {
            EXPECT_TRUE(events.isEmpty());
            EXPECT_EQ(bar->get("Top").toInt(), tc.from);
            continue;
        }
        EXPECT_EQ(bar->get("Top").toInt(), tc.to);
        ASSERT_EQ(events.size(), tc.moves + 2);
        EXPECT_EQ(events.first().name, "MoveBegin");
        EXPECT_EQ(events.last().name, "MoveComplete");
        EXPECT_EQ(events[1].args.at(1).toFloat(), float(tc.from + tc.step));
        EXPECT_EQ(events[2].args.at(1).toFloat() - events[1].args.at(1).toFloat(), float(tc.step));
        EXPECT_EQ(events[tc.moves].args.at(1).toFloat(), float(tc.to));
    }
}

TEST_F(SizeBar, AnimateClampsTheCallersTarget) {
    setAll({{"MinLeft", 0}, {"MaxLeft", 5000}, {"MinTop", 100}, {"MaxTop", 900}, {"Left", 3000}});
    QVariantList args{-50.0, 2000.0, Fast};
    bar->call("Animate", args);
    EXPECT_EQ(args[0].toFloat(), 0.0f);
    EXPECT_EQ(args[1].toFloat(), 900.0f);
    EXPECT_EQ(bar->get("Left").toInt(), 0);
}

TEST_F(SizeBar, ControlEndedDuringAGlideStops) {
    ASSERT_TRUE(bar->set("Orientation", Horizontal));
    QObject::connect(bar, &Control::controlEvent, [this](const QString& n, const QVariantList&) {
        if (n == "Move" && count("Move") == 3) delete bar.data();
    });
    QVariantList args{0.0, 5000.0, Medium};
    bar->call("Animate", args);
    EXPECT_TRUE(bar.isNull());
    EXPECT_EQ(count("Move"), 3);
    EXPECT_EQ(count("MoveComplete"), 0);
}

TEST_F(SizeBar, PropertiesPersistOnlyWhenNotDefault) {
    EXPECT_TRUE(bar->save().isEmpty());

    const QVariantMap changed{{"BackColor", 0x0000FFu},
                              {"HighlightColor", 0x00FF00u},
                              {"Orientation", Horizontal},
                              {"ShowBorderWhileMoving", true},
                              {"MinLeft", 10},
                              {"MaxLeft", 20},
                              {"MinTop", 1050},
                              {"MaxTop", 7000},
                              {"BorderStyle", Sunken},
                              {"Edge_Left", false},
                              {"Edge_Right", false},
                              {"Edge_Top", false},
                              {"Edge_Bottom", false}};
    setAll(changed);
    EXPECT_EQ(bar->save(), changed);

    QWidget other;
    std::unique_ptr<Control> copy(CreateControl("Glimford.UISizeBar", &other));
    ASSERT_TRUE(copy->load(changed));
    for (auto it = changed.begin(); it != changed.end(); ++it)
        EXPECT_EQ(copy->get(it.key()), it.value()) << it.key().toStdString();
    // Reading sets the pointer from the orientation but leaves the size.
    EXPECT_EQ(copy->widget()->cursor().shape(), Qt::SizeVerCursor);
    EXPECT_EQ(copy->get("Width").toInt(), 105);

    // An empty bag reads back every default, the highlight colour included.
    ASSERT_TRUE(copy->load({}));
    EXPECT_EQ(copy->get("HighlightColor").toUInt(), 0x80000010u);
    EXPECT_TRUE(copy->save().isEmpty());
}

TEST_F(SizeBar, DamagedBagValuesReadAsDefaults) {
    ASSERT_TRUE(
        bar->load({{"Orientation", 7}, {"BorderStyle", "raised"}, {"MaxTop", "1500"}, {"backcolor", 255.0}}));
    EXPECT_EQ(bar->get("Orientation").toInt(), Vertical);
    EXPECT_EQ(bar->get("BorderStyle").toInt(), Raised);
    EXPECT_EQ(bar->get("MaxTop").toInt(), 1500);
    EXPECT_EQ(bar->get("BackColor").toUInt(), 255u);
}

TEST_F(SizeBar, ReadingDoesNotRepaintTheSurface) {
    distinctPalette();
    ASSERT_TRUE(bar->load({{"BackColor", 0x0000FFu}}));
    EXPECT_EQ(grabbed(w(), "glimford-read").pixelColor(3, 60), face);
    QTest::mouseClick(w(), Qt::LeftButton, {}, QPoint(3, 60));
    EXPECT_EQ(grabbed(w(), "glimford-read-clicked").pixelColor(3, 60), QColor(255, 0, 0));
}

TEST_F(SizeBar, BordersFollowStyleAndSides) {
    distinctPalette();
    setAll({{"Width", 150}, {"Height", 600}}); // 10 x 40 pixels
    const struct {
        const char* file;
        int style;
        bool top, bottom;
        QColor outerTL, innerTL, innerBR, outerBR;
    } cases[] = {
        {"raised", Raised, true, true, light3d, hilite, shadow, dark},
        {"sunken", Sunken, true, true, shadow, dark, light3d, hilite},
        {"etched", Etched, true, true, shadow, hilite, shadow, hilite},
        {"bump", Bump, true, true, light3d, dark, light3d, dark},
        {"flat", Flat, true, true, face, face, face, face},
        {"raised-no-top-bottom", Raised, false, false, light3d, hilite, shadow, dark},
    };
    // One sheet of every style, eight times enlarged, to look at.
    QImage sheet(int(std::size(cases)) * 96, 320, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter sheetPainter(&sheet);
    int column = 0;
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.file);
        setAll({{"BorderStyle", tc.style}, {"Edge_Top", tc.top}, {"Edge_Bottom", tc.bottom}});
        const QImage img = grabbed(w(), QStringLiteral("glimford-%1").arg(tc.file));
        sheetPainter.drawImage(QRect(column++ * 96, 0, 80, 320), img);
        ASSERT_EQ(img.size(), QSize(10, 40));
        // Left and right sides at mid height.
        EXPECT_EQ(img.pixelColor(0, 20), tc.outerTL);
        EXPECT_EQ(img.pixelColor(1, 20), tc.innerTL);
        EXPECT_EQ(img.pixelColor(8, 20), tc.innerBR);
        EXPECT_EQ(img.pixelColor(9, 20), tc.outerBR);
        EXPECT_EQ(img.pixelColor(5, 20), face);
        // Top and bottom in the middle of the row.
        EXPECT_EQ(img.pixelColor(5, 0), tc.top ? tc.outerTL : face);
        EXPECT_EQ(img.pixelColor(5, 1), tc.top ? tc.innerTL : face);
        EXPECT_EQ(img.pixelColor(5, 38), tc.bottom ? tc.innerBR : face);
        EXPECT_EQ(img.pixelColor(5, 39), tc.bottom ? tc.outerBR : face);
    }
    sheetPainter.end();
    sheet.save(QCoreApplication::applicationDirPath() + "/glimford-borders.png");
}

TEST_F(SizeBar, BorderDuringADragOnlyWhenAsked) {
    distinctPalette();
    setAll({{"Width", 150}, {"Height", 600}, {"MaxLeft", 99999}});
    for (bool show : {false, true}) {
        SCOPED_TRACE(show);
        ASSERT_TRUE(bar->set("ShowBorderWhileMoving", show));
        QTest::mousePress(w(), Qt::LeftButton, {}, QPoint(5, 20));
        QTest::mouseMove(w(), QPoint(7, 20));
        const QImage img = grabbed(w(), show ? "glimford-drag-border" : "glimford-drag");
        EXPECT_EQ(img.pixelColor(5, 20), shadow); // highlight colour
        EXPECT_EQ(img.pixelColor(0, 20), show ? light3d : shadow);
        QTest::mouseRelease(w(), Qt::LeftButton, {}, QPoint(5, 20));
        EXPECT_EQ(grabbed(w(), "glimford-after-drag").pixelColor(0, 20), light3d);
    }
}

TEST_F(SizeBar, ControlsPlacedOnTheBarGetTheNormalPointer) {
    auto* child = new QWidget(w());
    child->setCursor(Qt::CrossCursor);
    w()->grab();
    EXPECT_EQ(child->cursor().shape(), Qt::ArrowCursor);
}

// The viewer's use: two horizontal bars whose limits its layout sets, moved by the user.
TEST_F(SizeBar, TwoHorizontalBarsOfAWindowKeepTheirOwnLimits) {
    const int height = 9000; // twips of the window
    std::unique_ptr<Control> splitFil(CreateControl("Glimford.UISizeBar", &form));
    ASSERT_TRUE(splitFil);
    Control* split = bar;
    for (Control* c : {split, splitFil.get()})
        ASSERT_TRUE(c->load({{"Orientation", Horizontal}}));
    setAll({{"Width", 12000},
            {"Height", 105},
            {"Top", 6000},
            {"MinTop", height / 3 + 100},
            {"MaxTop", height - 1050}});
    ASSERT_TRUE(splitFil->set("Width", 12000) && splitFil->set("Height", 105) && splitFil->set("Top", 2000));
    ASSERT_TRUE(splitFil->set("MinTop", 1050) && splitFil->set("MaxTop", height / 3));
    int completes = 0;
    QObject::connect(splitFil.get(), &Control::controlEvent,
                     [&](const QString& n, const QVariantList&) { completes += n == "MoveComplete"; });

    drag(QPoint(300, 3), {{0, 100}, {0, 400}}); // Split, far down
    EXPECT_EQ(split->get("Top").toInt(), 7950);
    const QPoint press(300, 3);
    const QPoint start = splitFil->widget()->pos() + press;
    QTest::mousePress(splitFil->widget(), Qt::LeftButton, {}, press);
    QTest::mouseMove(splitFil->widget(), start + QPoint(0, -400) - splitFil->widget()->pos());
    QTest::mouseRelease(splitFil->widget(), Qt::LeftButton, {},
                        start + QPoint(0, -400) - splitFil->widget()->pos());
    EXPECT_EQ(splitFil->get("Top").toInt(), 1050);
    EXPECT_EQ(completes, 1);
    EXPECT_EQ(count("MoveComplete"), 1); // the other bar's events stay its own
    form.resize(820, 600);
    grabbed(&form, "glimford-two-bars");
}
