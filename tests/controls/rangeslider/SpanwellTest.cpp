// The range slider, driven as the program drives it: loaded by its registered name through the host.
#include "platform/controlhost/ControlHost.h"
#include "platform/os/Registry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QLibrary>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <limits>
#include <memory>

using namespace bd::controlhost;

namespace {
const QString kProgId = "SliderSpanwell.Spanwell";
constexpr int swFlat = 0, swRaised = 1, swSunken = 2, swBump = 3, swEtched = 4;
// A control 117 pixels wide has a track of 100 pixels: with Min 0 and Max 100, one unit a pixel.
constexpr int kWidth = 117 * 15, kTrack = 100;

struct Values {
    int min, max, lower, upper;
    bool operator==(const Values&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Values& v) {
    return os << "Min " << v.min << " Max " << v.max << " Lower " << v.lower << " Upper " << v.upper;
}

class Slider : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        reg = std::make_unique<bd::os::FileRegistry>(dir.filePath("registry.json"));
        bd::os::setRegistry(reg.get());
        ASSERT_GE(RegisterShippedControls(), 1);
        form.resize(400, 200);
        slider = CreateControl(kProgId, &form, &error);
        ASSERT_TRUE(slider) << error.toStdString();
        QObject::connect(slider, &Control::controlEvent,
                         [this](const QString& n, const QVariantList&) { events << n; });
    }
    void TearDown() override {
        QApplication::setPalette(QPalette());
        bd::os::setRegistry(nullptr);
    }

    QWidget* w() const { return slider->widget(); }
    QWidget* part(const char* name) const { return w()->findChild<QWidget*>(name); }
    Values values() const {
        return {slider->get("Min").toInt(), slider->get("Max").toInt(), slider->get("LowerValue").toInt(),
                slider->get("UpperValue").toInt()};
    }
    void setAll(const QList<QPair<QString, QVariant>>& props) {
        for (const auto& [name, value] : props)
            ASSERT_TRUE(slider->set(name, value))
                << name.toStdString() << ": " << slider->lastError().toStdString();
    }
    // Presses a thumb at its centre and moves it by the given pixel offsets from the press point,
    // each delivered in the thumb's own coordinates at the moment it arrives (the thumb moves).
    void drag(const char* thumb, const QList<int>& steps) {
        QWidget* t = part(thumb);
        ASSERT_TRUE(t);
        const QPoint press(7, 7);
        const QPoint start = t->pos() + press;
        QTest::mousePress(t, Qt::LeftButton, {}, press);
        QPoint last = start;
        for (int dx : steps) {
            last = start + QPoint(dx, 0);
            QTest::mouseMove(t, last - t->pos());
        }
        QTest::mouseRelease(t, Qt::LeftButton, {}, last - t->pos());
    }
    int count(const QString& name) const { return int(events.count(name)); }

    QTemporaryDir dir;
    std::unique_ptr<bd::os::FileRegistry> reg;
    QWidget form;
    QPointer<Control> slider;
    QString error;
    QStringList events;
};

QImage grabbed(QWidget* w, const QString& name) {
    const QImage img = w->grab().toImage();
    img.save(QCoreApplication::applicationDirPath() + "/" + name + ".png");
    return img;
}

void distinctPalette() {
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Button, QColor(200, 200, 200));   // button face
    p.setColor(QPalette::Light, QColor(255, 255, 255));    // 3-D highlight
    p.setColor(QPalette::Midlight, QColor(230, 230, 230)); // 3-D light
    p.setColor(QPalette::Dark, QColor(128, 128, 128));     // button shadow
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));         // 3-D dark shadow
    p.setColor(QPalette::Highlight, QColor(0, 0, 200));    // active caption
    QApplication::setPalette(p);
}
const QColor back(250, 240, 200), face(200, 200, 200), hilite(255, 255, 255), light3d(230, 230, 230),
    shadow(128, 128, 128), dark(0, 0, 0), caption(0, 0, 200);
} // namespace

TEST_F(Slider, NewSliderHasTheDefaultsItsDescriptionNames) {
    const QVariantMap expected{{"BorderStyle", swEtched},
                               {"Color", 0x80000002u},
                               {"Min", 0},
                               {"Max", 100},
                               {"LowerValue", 25},
                               {"UpperValue", 75},
                               {"LowerLocked", false},
                               {"UpperLocked", false},
                               {"LowerVisible", true},
                               {"UpperVisible", true}};
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        EXPECT_EQ(slider->get(slider->dispId(it.key())), it.value()) << it.key().toStdString();
        const PropertyInfo* p = slider->classInfo().property(it.key());
        ASSERT_NE(p, nullptr) << it.key().toStdString();
        EXPECT_EQ(p->defaultValue, it.value()) << it.key().toStdString();
        EXPECT_FALSE(p->description.isEmpty());
    }
    QStringList names;
    for (const PropertyInfo& p : slider->classInfo().properties)
        names << p.name;
    EXPECT_EQ(names, QStringList({"BorderStyle", "Color", "Enabled", "Min", "LowerLocked", "LowerVisible",
                                  "Max", "UpperLocked", "UpperVisible", "UpperValue", "LowerValue"}));
    ASSERT_NE(slider->classInfo().method("UpdatePosition"), nullptr);
    EXPECT_EQ(slider->classInfo().method("UpdatePosition")->dispId, 4);
    QStringList evs;
    for (const EventInfo& e : slider->classInfo().events) {
        evs << e.name;
        EXPECT_TRUE(e.params.isEmpty());
    }
    EXPECT_EQ(evs, QStringList({"Change", "Scroll"}));
    ASSERT_EQ(slider->classInfo().enums.size(), 1);
    EXPECT_EQ(slider->classInfo().enums[0].values.value("swEtched"), swEtched);
    EXPECT_EQ(slider->widget()->parentWidget(), &form);
}

// Each row starts from the defaults (0, 100, 25, 75) and sets the properties in order.
TEST_F(Slider, SettersKeepTheValuesInOrder) {
    const struct {
        const char* what;
        QList<QPair<QString, QVariant>> sets;
        Values expected;
    } cases[] = {
        {"Max below both values", {{"Max", 5}}, {0, 5, 5, 5}},
        {"negative Min", {{"Min", -3}}, {0, 100, 25, 75}},
        {"Upper below Min pulls Lower", {{"Min", 1}, {"LowerValue", 4}, {"UpperValue", 0}}, {1, 100, 1, 1}},
        {"Min between the values", {{"Min", 50}}, {50, 100, 50, 75}},
        {"Min above Max raises Max", {{"Min", 200}}, {200, 200, 200, 200}},
        {"negative Max", {{"Max", -1}}, {0, 0, 0, 0}},
        {"Max below Min lowers Min", {{"Min", 30}, {"Max", 10}}, {10, 10, 10, 10}},
        {"Lower past Upper pushes it", {{"LowerValue", 90}}, {0, 100, 90, 90}},
        {"Upper below Lower pulls it", {{"UpperValue", 10}}, {0, 100, 10, 10}},
        {"Upper past Max", {{"UpperValue", std::numeric_limits<int>::max()}}, {0, 100, 25, 100}},
        {"Lower below Min", {{"LowerValue", std::numeric_limits<int>::min()}}, {0, 100, 0, 75}},
        {"a fraction rounds, halves to even", {{"LowerValue", 12.7}, {"UpperValue", 40.5}}, {0, 100, 13, 40}},
        {"the largest span",
         {{"Max", std::numeric_limits<int>::max()}, {"UpperValue", 2147483647.0}},
         {0, 2147483647, 25, 2147483647}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.what);
        ASSERT_TRUE(slider->load({}));
        setAll(tc.sets);
        EXPECT_EQ(values(), tc.expected);
    }
    // Values a Long cannot hold are refused and change nothing.
    ASSERT_TRUE(slider->load({}));
    for (const QVariant& bad : {QVariant(1e12), QVariant("abc"), QVariant(QStringList{"x"})}) {
        EXPECT_FALSE(slider->set("LowerValue", bad));
        EXPECT_EQ(slider->lastError(), "Type mismatch");
    }
    EXPECT_EQ(values(), (Values{0, 100, 25, 75}));
}

TEST_F(Slider, EverySetterTellsTheHost) {
    QStringList changed;
    QObject::connect(slider, &Control::propertyChanged, [&](const QString& n) { changed << n; });
    setAll({{"BorderStyle", swRaised},
            {"Color", 0xFFu},
            {"Min", 1},
            {"LowerLocked", true},
            {"LowerVisible", false},
            {"Max", 50},
            {"UpperLocked", true},
            {"UpperVisible", false},
            {"UpperValue", 20},
            {"LowerValue", 10}});
    ASSERT_TRUE(slider->set(slider->dispId("Enabled"), false));
    EXPECT_EQ(changed, QStringList({"BorderStyle", "Color", "Min", "LowerLocked", "LowerVisible", "Max",
                                    "UpperLocked", "UpperVisible", "UpperValue", "LowerValue", "Enabled"}));
    EXPECT_TRUE(slider->isDirty());
    EXPECT_FALSE(w()->isEnabled());
    EXPECT_FALSE(slider->get("Enabled").toBool()); // the host's own Enabled sees the same state
    EXPECT_TRUE(part("picTop")->isHidden());
    EXPECT_TRUE(part("picBottom")->isHidden());
    EXPECT_EQ(part("picTop")->cursor().shape(), Qt::ArrowCursor);
    ASSERT_TRUE(slider->set("UpperLocked", false));
    EXPECT_EQ(part("picTop")->cursor().shape(), Qt::SizeHorCursor);
}

TEST_F(Slider, SmallSizesGrowToFortyPixels) {
    const struct {
        int width, height, expectedWidth, expectedHeight;
    } cases[] = {{450, 450, 600, 600}, {3000, 300, 3000, 600}, {300, 900, 600, 900}, {0, 0, 600, 600}};
    for (const auto& tc : cases) {
        ASSERT_TRUE(slider->set("Width", tc.width) && slider->set("Height", tc.height));
        EXPECT_EQ(slider->get("Width").toInt(), tc.expectedWidth);
        EXPECT_EQ(slider->get("Height").toInt(), tc.expectedHeight);
        EXPECT_EQ(w()->size(), QSize(tc.expectedWidth / 15, tc.expectedHeight / 15));
    }
    // Sized by its container in pixels: the same rule.
    ASSERT_TRUE(slider->set("Width", 3000) && slider->set("Height", 900));
    w()->resize(30, 30);
    EXPECT_EQ(w()->size(), QSize(40, 40));
    EXPECT_EQ(slider->get("Width").toInt(), 600);
    EXPECT_EQ(slider->get("Height").toInt(), 600);
}

TEST_F(Slider, ThumbsAndBarFollowTheValues) {
    setAll({{"Width", kWidth}, {"Height", 900}, {"LowerValue", 20}, {"UpperValue", 70}});
    EXPECT_EQ(part("picBottom")->geometry(), QRect(20, 60 - 15, 15, 15));
    EXPECT_EQ(part("picTop")->geometry(), QRect(70, 0, 15, 15));
    EXPECT_EQ(part("shpFill")->geometry(), QRect(27, 19, 50, 60 - 37));
    // On a span of 400 the track still has 100 pixels: a quarter of a pixel a unit.
    setAll({{"Max", 400}, {"UpperValue", 300}, {"LowerValue", 102}});
    EXPECT_EQ(part("picBottom")->x(), 26); // 25.5, to the even neighbour
    EXPECT_EQ(part("picTop")->x(), 75);
}

TEST_F(Slider, DraggingTheLowerThumbCarriesTheUpperOneAndLetsItReturn) {
    setAll({{"Width", kWidth}, {"LowerValue", 20}, {"UpperValue", 50}});
    QList<Values> seen;
    QObject::connect(slider, &Control::controlEvent, [&](const QString& n, const QVariantList&) {
        if (n == "Scroll") seen << values(); // a handler sees the values of that move
    });
    drag("picBottom", {40, 60, 10});
    EXPECT_EQ(seen, (QList<Values>{{0, 100, 60, 60}, {0, 100, 80, 80}, {0, 100, 30, 50}}));
    EXPECT_EQ(values(), (Values{0, 100, 30, 50}));
    EXPECT_EQ(events, QStringList({"Scroll", "Scroll", "Scroll", "Change"}));
    EXPECT_EQ(part("picBottom")->x(), 30);

    // The upper thumb pushes the lower one down the same way.
    events.clear();
    drag("picTop", {-45, 0});
    EXPECT_EQ(values(), (Values{0, 100, 30, 50}));
    EXPECT_EQ(events, QStringList({"Scroll", "Scroll", "Change"}));
}

TEST_F(Slider, ALockedThumbStopsTheOther) {
    const struct {
        const char *what, *thumb, *lock;
        QList<int> steps;
        Values expected;
    } cases[] = {
        {"lower stops at a locked upper", "picBottom", "UpperLocked", {20, 60}, {0, 100, 50, 50}},
        {"upper stops at a locked lower", "picTop", "LowerLocked", {-10, -50}, {0, 100, 20, 20}},
        {"lower moves freely below a locked upper", "picBottom", "UpperLocked", {-15}, {0, 100, 5, 50}},
        {"past the track's ends", "picBottom", "", {-500}, {0, 100, 0, 50}},
        {"past the track's far end", "picTop", "", {500}, {0, 100, 20, 100}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.what);
        ASSERT_TRUE(slider->load({}));
        setAll({{"Width", kWidth}, {"LowerValue", 20}, {"UpperValue", 50}});
        if (*tc.lock) {
            ASSERT_TRUE(slider->set(tc.lock, true));
        }
        events.clear();
        drag(tc.thumb, tc.steps);
        EXPECT_EQ(values(), tc.expected);
        EXPECT_EQ(count("Scroll"), tc.steps.size());
        EXPECT_EQ(count("Change"), 1);
    }
}

TEST_F(Slider, AClickOnALockedThumbGivesOneChangeAndNoScroll) {
    setAll({{"Width", kWidth}, {"LowerValue", 20}, {"UpperValue", 50}, {"LowerLocked", true}});
    drag("picBottom", {30, 40});
    EXPECT_EQ(events, QStringList({"Change"}));
    EXPECT_EQ(values(), (Values{0, 100, 20, 50}));
    events.clear();
    QTest::mouseClick(part("picBottom"), Qt::RightButton, {}, QPoint(7, 7));
    EXPECT_EQ(events, QStringList({"Change"}));
    // A free thumb clicked without moving also reports only the release.
    events.clear();
    QTest::mouseClick(part("picTop"), Qt::LeftButton, {}, QPoint(7, 7));
    EXPECT_EQ(events, QStringList({"Change"}));
    EXPECT_EQ(values(), (Values{0, 100, 20, 50}));
}

TEST_F(Slider, MinEqualToMaxLeavesTheThumbsWhereTheyWere) {
    setAll({{"Width", kWidth}, {"LowerValue", 40}, {"UpperValue", 40}, {"Min", 40}});
    const QPoint lower = part("picBottom")->pos(), upper = part("picTop")->pos();
    ASSERT_TRUE(slider->set("Max", 40));
    EXPECT_EQ(values(), (Values{40, 40, 40, 40}));
    EXPECT_EQ(part("picBottom")->pos(), lower);
    EXPECT_EQ(part("picTop")->pos(), upper);
    EXPECT_EQ(part("shpFill")->width(), 2);
    QVariantList none;
    slider->call("UpdatePosition", none);
    EXPECT_EQ(part("picBottom")->pos(), lower);
    // A drag has nowhere to go and says so without failing.
    drag("picBottom", {30});
    EXPECT_EQ(values(), (Values{40, 40, 40, 40}));
    EXPECT_EQ(events, QStringList({"Scroll", "Change"}));
}

TEST_F(Slider, TheWholeLongSpanReachesExactlyMax) {
    const struct {
        int min, max;
    } cases[] = {{0, std::numeric_limits<int>::max()}, {1, std::numeric_limits<int>::max()}, {7, 16777217}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.max);
        ASSERT_TRUE(slider->load({}));
        setAll({{"Width", kWidth}, {"Max", tc.max}, {"Min", tc.min}, {"UpperValue", tc.min}});
        drag("picTop", {kTrack});
        EXPECT_EQ(values(), (Values{tc.min, tc.max, tc.min, tc.max}));
        drag("picBottom", {kTrack / 2, kTrack});
        EXPECT_EQ(values(), (Values{tc.min, tc.max, tc.max, tc.max}));
        drag("picBottom", {-kTrack / 2});
        const double half = tc.min + (double(tc.max) - tc.min) / 2;
        EXPECT_NEAR(slider->get("LowerValue").toDouble(), half, 1.0);
    }
}

TEST_F(Slider, PropertiesPersistOnlyWhenNotDefault) {
    EXPECT_TRUE(slider->save().isEmpty());
    const QVariantMap changed{{"Min", 2},
                              {"Max", 26},
                              {"LowerValue", 3},
                              {"UpperValue", 13},
                              {"Color", 0x0000FFu},
                              {"LowerVisible", false},
                              {"UpperVisible", false},
                              {"LowerLocked", true},
                              {"UpperLocked", true},
                              {"BorderStyle", swBump}};
    ASSERT_TRUE(slider->set("Max", 26));
    for (auto it = changed.begin(); it != changed.end(); ++it)
        ASSERT_TRUE(slider->set(it.key(), it.value())) << it.key().toStdString();
    EXPECT_EQ(slider->save(), changed);

    QWidget other;
    std::unique_ptr<Control> copy(CreateControl(kProgId, &other));
    ASSERT_TRUE(copy && copy->load(changed));
    for (auto it = changed.begin(); it != changed.end(); ++it)
        EXPECT_EQ(copy->get(it.key()), it.value()) << it.key().toStdString();
    EXPECT_FALSE(copy->isDirty());
    EXPECT_EQ(copy->widget()->findChild<QWidget*>("picTop")->cursor().shape(), Qt::ArrowCursor);

    ASSERT_TRUE(copy->load({}));
    EXPECT_TRUE(copy->save().isEmpty());
    ASSERT_TRUE(copy->initNew());
    EXPECT_TRUE(copy->save().isEmpty());
}

// A bag from a damaged file: unreadable values take their defaults and the order of the values is
// brought back.
TEST_F(Slider, DamagedBagsReadBackInOrder) {
    const struct {
        const char* what;
        QVariantMap bag;
        Values expected;
    } cases[] = {
        {"values crossed", {{"LowerValue", 80}, {"UpperValue", 20}}, {0, 100, 80, 80}},
        {"negative Min", {{"Min", -5}, {"LowerValue", -2}}, {0, 100, 0, 75}},
        {"Max below Min", {{"Min", 50}, {"Max", 10}}, {50, 50, 50, 50}},
        {"values outside", {{"Max", 10}, {"LowerValue", 25}, {"UpperValue", 75}}, {0, 10, 10, 10}},
        {"unreadable texts", {{"Max", "abc"}, {"LowerValue", "30"}}, {0, 100, 30, 75}},
        {"too large for a Long", {{"UpperValue", 1e15}}, {0, 100, 25, 75}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.what);
        ASSERT_TRUE(slider->load(tc.bag));
        EXPECT_EQ(values(), tc.expected);
    }
}

TEST_F(Slider, ThumbsAreDrawnByStateAndTheTrackByBorderStyle) {
    distinctPalette();
    // The control and its thumbs take the host's back colour.
    QPalette host = form.palette();
    host.setColor(QPalette::Window, back);
    form.setPalette(host);
    setAll(
        {{"Width", kWidth}, {"Height", 900}, {"LowerValue", 20}, {"UpperValue", 70}, {"Color", 0x0000FFu}});
    QImage img = grabbed(w(), "spanwell-normal");
    ASSERT_EQ(img.size(), QSize(117, 60));
    // Lower thumb (at x 20, y 45): its base row is dark, its left slope light; face inside.
    EXPECT_EQ(img.pixelColor(20 + 5, 45 + 14), dark);
    EXPECT_EQ(img.pixelColor(20 + 0, 45 + 14), hilite); // (0,14)-(7,0) H drawn last over the base
    EXPECT_EQ(img.pixelColor(20 + 7, 45 + 10), face);
    EXPECT_EQ(img.pixelColor(20 + 0, 45 + 0), back); // outside the triangle
    // Upper thumb (at x 70): top row light, right slope dark.
    EXPECT_EQ(img.pixelColor(70 + 5, 0), hilite);
    EXPECT_EQ(img.pixelColor(70 + 14, 0), dark);
    EXPECT_EQ(img.pixelColor(70 + 7, 4), face);
    // The bar in the control's colour, the etched track edge at the left.
    EXPECT_EQ(img.pixelColor(40, 25), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(4, 30), shadow);
    EXPECT_EQ(img.pixelColor(5, 30), hilite);

    // A locked thumb and a pressed one.
    ASSERT_TRUE(slider->set("LowerLocked", true));
    QTest::mousePress(part("picTop"), Qt::LeftButton, {}, QPoint(7, 7));
    img = grabbed(w(), "spanwell-locked-pressed");
    EXPECT_EQ(img.pixelColor(20 + 5, 45 + 14), hilite); // disabled: base row light
    EXPECT_EQ(img.pixelColor(70 + 5, 0), dark);         // pressed: top row dark
    QTest::mouseRelease(part("picTop"), Qt::LeftButton, {}, QPoint(7, 7));

    const struct {
        int style;
        QColor outer, inner, inside;
    } styles[] = {{swFlat, back, back, back},
                  {swRaised, light3d, hilite, face},
                  {swSunken, shadow, dark, face},
                  {swBump, light3d, dark, back},
                  {swEtched, shadow, hilite, back}};
    QImage sheet(int(std::size(styles)) * 130, 70, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter sheetPainter(&sheet);
    int column = 0;
    for (const auto& tc : styles) {
        SCOPED_TRACE(tc.style);
        ASSERT_TRUE(slider->set("BorderStyle", tc.style));
        img = grabbed(w(), QStringLiteral("spanwell-border-%1").arg(tc.style));
        sheetPainter.drawImage(QPoint(column++ * 130, 5), img);
        EXPECT_EQ(img.pixelColor(4, 30), tc.outer);
        EXPECT_EQ(img.pixelColor(5, 30), tc.inner);
        EXPECT_EQ(img.pixelColor(8, 30), tc.inside);
        EXPECT_EQ(img.pixelColor(2, 30), back);
    }
    sheetPainter.end();
    sheet.save(QCoreApplication::applicationDirPath() + "/spanwell-borders.png");

    // Disabled: the etched edge whatever the style, and both thumbs drawn disabled.
    ASSERT_TRUE(slider->set("BorderStyle", swRaised));
    ASSERT_TRUE(slider->set("Enabled", false));
    img = grabbed(w(), "spanwell-disabled");
    EXPECT_EQ(img.pixelColor(4, 30), shadow);
    EXPECT_EQ(img.pixelColor(8, 30), back);
    EXPECT_EQ(img.pixelColor(70 + 5, 1), hilite); // (1,1)-(13,1) H
}

TEST_F(Slider, ControlEndedFromItsOwnScrollIsSafe) {
    setAll({{"Width", kWidth}});
    QPointer<QWidget> widget = w();
    QPointer<QWidget> thumb = part("picBottom");
    QObject::connect(slider, &Control::controlEvent, [&](const QString& n, const QVariantList&) {
        if (n == "Scroll") delete slider.data();
    });
    QTest::mousePress(thumb, Qt::LeftButton, {}, QPoint(7, 7));
    QTest::mouseMove(thumb, QPoint(20, 7));
    EXPECT_TRUE(slider.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(widget.isNull());
}

TEST_F(Slider, LibraryAnswersWhetherControlsAreAlive) {
    const QString path =
        reg->value("HKEY_CLASSES_ROOT\\CLSID\\" + slider->classInfo().clsid + "\\InprocServer32")
            .value_or(QString());
    ASSERT_TRUE(path.endsWith("libspanwell.so")) << path.toStdString();
    QLibrary lib(path);
    auto canUnload = reinterpret_cast<BdDllCanUnloadNow>(lib.resolve("DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), BD_S_FALSE);
    delete slider.data();
    EXPECT_EQ(canUnload(), BD_S_OK);
    ASSERT_TRUE(UnregisterControlLibrary(path));
    EXPECT_FALSE(IsControlRegistered(kProgId));
}
