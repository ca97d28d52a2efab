#include "platform/controlhost/ControlHost.h"
#include "platform/os/Registry.h"

#include <QFileInfo>
#include <QLibrary>
#include <QLibraryInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace bd::controlhost;

namespace {
const QString kProgId = "Glimford.UISizeBar";
const QString kRoot = "HKEY_CLASSES_ROOT\\";

QString glimfordPath() {
    return QFileInfo(QStringLiteral(BD_APP_DIR "/libglimford.so")).canonicalFilePath();
}

// Every test starts from an empty registry of its own.
class ControlHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        reg = std::make_unique<bd::os::FileRegistry>(dir.filePath("registry.json"));
        bd::os::setRegistry(reg.get());
    }
    void TearDown() override { bd::os::setRegistry(nullptr); }
    QString value(const QString& key) { return reg->value(key).value_or(QString()); }

    QTemporaryDir dir;
    std::unique_ptr<bd::os::FileRegistry> reg;
};
} // namespace

TEST_F(ControlHost, ShippedLibraryIsRegisteredOnceUnderItsName) {
    ASSERT_FALSE(glimfordPath().isEmpty()) << "libglimford.so not built";
    EXPECT_FALSE(IsControlRegistered(kProgId));
    EXPECT_GE(RegisterShippedControls(), 1);
    EXPECT_TRUE(IsControlRegistered(kProgId));

    const QString clsid = value(kRoot + kProgId + "\\CLSID");
    const ClassInfo* info = ControlClassInfo(kProgId);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(clsid, info->clsid);
    EXPECT_EQ(value(kRoot + "CLSID\\" + clsid + "\\InprocServer32"), glimfordPath());
    EXPECT_EQ(value(kRoot + "CLSID\\" + clsid + "\\ProgID"), kProgId);

    // Already registered: nothing to do the second time.
    EXPECT_EQ(RegisterShippedControls(), 0);
}

TEST_F(ControlHost, StaleRegistrationIsRenewed) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    const QString clsid = value(kRoot + kProgId + "\\CLSID");
    reg->setValue(kRoot + "CLSID\\" + clsid + "\\InprocServer32", "", "/gone/libglimford.so");
    EXPECT_FALSE(IsControlRegistered(kProgId));
    EXPECT_GE(RegisterShippedControls(), 1);
    EXPECT_EQ(value(kRoot + "CLSID\\" + clsid + "\\InprocServer32"), glimfordPath());
}

TEST_F(ControlHost, CreatedByNameOnlyWhileRegistered) {
    QString error;
    EXPECT_EQ(CreateControl(kProgId, nullptr, &error), nullptr);
    EXPECT_EQ(error, "Control \"Glimford.UISizeBar\" is not registered");

    ASSERT_TRUE(RegisterControlLibrary(glimfordPath(), &error)) << error.toStdString();
    QWidget form;
    QPointer<Control> c = CreateControl(kProgId, &form, &error);
    ASSERT_TRUE(c) << error.toStdString();
    ASSERT_NE(c->widget(), nullptr);
    EXPECT_EQ(c->widget()->parentWidget(), &form);
    EXPECT_EQ(c->parent(), &form);
    EXPECT_EQ(c->classInfo().name, "UISizeBar");

    ASSERT_TRUE(UnregisterControlLibrary(glimfordPath(), &error)) << error.toStdString();
    EXPECT_FALSE(reg->keyExists(kRoot + kProgId));
    EXPECT_FALSE(reg->keyExists(kRoot + "CLSID\\" + c->classInfo().clsid));
    EXPECT_EQ(CreateControl(kProgId, &form, &error), nullptr);
    // The control made before stays usable.
    EXPECT_EQ(c->get("MaxTop").toInt(), 99999);
}

TEST_F(ControlHost, UnregisterLeavesAnotherCopysRegistration) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    const QString clsid = value(kRoot + kProgId + "\\CLSID");
    const QString other = dir.filePath("elsewhere/libglimford.so");
    reg->setValue(kRoot + "CLSID\\" + clsid + "\\InprocServer32", "", other);
    EXPECT_TRUE(UnregisterControlLibrary(glimfordPath()));
    EXPECT_EQ(value(kRoot + "CLSID\\" + clsid + "\\InprocServer32"), other);
}

TEST_F(ControlHost, FilesThatAreNotControlLibrariesAreRefused) {
    QString error;
    const QString text = dir.filePath("libfake.so");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a library");
    f.close();
    EXPECT_FALSE(RegisterControlLibrary(text, &error));
    EXPECT_TRUE(error.startsWith("Cannot load control library")) << error.toStdString();

    const QString qtCore = QLibraryInfo::path(QLibraryInfo::LibrariesPath) + "/libQt6Core.so.6";
    ASSERT_TRUE(QFileInfo::exists(qtCore));
    EXPECT_FALSE(RegisterControlLibrary(qtCore, &error));
    EXPECT_TRUE(error.endsWith("is not a control library")) << error.toStdString();
    EXPECT_TRUE(reg->keys().isEmpty());

    EXPECT_FALSE(RegisterControlLibrary(dir.filePath("missing.so"), &error));
    EXPECT_TRUE(error.endsWith("not found")) << error.toStdString();
}

TEST_F(ControlHost, TypeDescriptionListsPropertiesAndEvents) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    const ClassInfo* info = ControlClassInfo(kProgId);
    ASSERT_NE(info, nullptr);
    QStringList names;
    QSet<int> ids;
    for (const PropertyInfo& p : info->properties) {
        names << p.name;
        ids << p.dispId;
        EXPECT_FALSE(p.description.isEmpty()) << p.name.toStdString();
    }
    EXPECT_EQ(names, QStringList({"BackColor", "BorderStyle", "Bottom", "Edge_Bottom", "Edge_Left",
                                  "Edge_Right", "Edge_Top", "HighlightColor", "MaxLeft", "MaxTop", "MinLeft",
                                  "MinTop", "Orientation", "Right", "ShowBorderWhileMoving"}));
    EXPECT_EQ(ids.size(), names.size());
    EXPECT_EQ(info->property("MaxTop")->description,
              "The maximum top value the SizeBar will be moved during dragging");
    EXPECT_TRUE(info->property("bottom")->readOnly);

    const MethodInfo* animate = info->method("Animate");
    ASSERT_NE(animate, nullptr);
    ASSERT_EQ(animate->params.size(), 3);
    EXPECT_EQ(animate->params[0].name, "ToX");
    EXPECT_TRUE(animate->params[0].byRef);

    QStringList events;
    for (const EventInfo& e : info->events) {
        events << e.name;
        QStringList params;
        for (const ParamInfo& p : e.params)
            params << p.name;
        EXPECT_EQ(params, QStringList({"Left", "Top", "Right", "Bottom"}));
    }
    EXPECT_EQ(events, QStringList({"MoveBegin", "Move", "MoveComplete"}));
}

TEST_F(ControlHost, PropertiesByNameAndByDispatchIdAgree) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    QWidget form;
    std::unique_ptr<Control> c(CreateControl(kProgId, &form));
    ASSERT_TRUE(c);
    QSignalSpy changed(c.get(), &Control::propertyChanged);

    const struct {
        const char* name;
        QVariant value;
    } cases[] = {{"MinTop", 1050},         {"MaxTop", 4000.4},
                 {"MinLeft", -20},         {"MaxLeft", "300"},
                 {"BackColor", 0x0000FFu}, {"HighlightColor", 0x80000014u},
                 {"BorderStyle", 10},      {"Orientation", 1},
                 {"Edge_Top", false},      {"ShowBorderWhileMoving", true}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        ASSERT_TRUE(c->set(tc.name, tc.value)) << c->lastError().toStdString();
        const int id = c->dispId(tc.name);
        ASSERT_GT(id, 0);
        EXPECT_EQ(c->get(id), c->get(QString(tc.name)));
        EXPECT_EQ(changed.takeLast().at(0).toString(), tc.name);
    }
    EXPECT_EQ(c->get("MaxTop").toInt(), 4000);
    EXPECT_EQ(c->get("MaxLeft").toInt(), 300);
    EXPECT_EQ(c->get("BackColor").toUInt(), 0xFFu);
    EXPECT_TRUE(c->isDirty());

    // And the other way: set by id, read by name.
    ASSERT_TRUE(c->set(c->dispId("MinTop"), 700));
    EXPECT_EQ(c->get("mintop").toInt(), 700);
}

TEST_F(ControlHost, RefusedValuesLeaveThePropertyAsItWas) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    std::unique_ptr<Control> c(CreateControl(kProgId, nullptr));
    ASSERT_TRUE(c);
    const struct {
        const char* name;
        QVariant value;
        const char* error;
    } cases[] = {{"Bottom", 5, "Property is read-only"},
                 {"Orientation", 7, "Invalid property value"},
                 {"BorderStyle", 3, "Invalid property value"},
                 {"MinTop", "abc", "Type mismatch"},
                 {"MaxTop", 1e12, "Type mismatch"},
                 {"Nothing", 1, "Unknown property \"Nothing\""}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const QVariant before = c->get(QString(tc.name));
        EXPECT_FALSE(c->set(tc.name, tc.value));
        EXPECT_EQ(c->lastError(), tc.error);
        EXPECT_EQ(c->get(QString(tc.name)), before);
    }
    EXPECT_FALSE(c->get(999).isValid());
    QVariantList tooFew{1.0};
    EXPECT_FALSE(c->call("Animate", tooFew).isValid());
}

TEST_F(ControlHost, EventsArriveWithTheirNamesAndArguments) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    QWidget form;
    form.resize(600, 400);
    std::unique_ptr<Control> c(CreateControl(kProgId, &form));
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->set("Left", 1500));
    ASSERT_TRUE(c->set("Top", 300));
    QSignalSpy events(c.get(), &Control::controlEvent);
    QTest::mouseClick(c->widget(), Qt::LeftButton, {}, QPoint(3, 20));
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0][0].toString(), "MoveBegin");
    EXPECT_EQ(events[1][0].toString(), "MoveComplete");
    const QVariantList args = events[1][1].toList();
    EXPECT_EQ(args, QVariantList({1500.0f, 300.0f, 1605.0f, 2300.0f}));
}

TEST_F(ControlHost, LibraryAnswersWhetherControlsAreAlive) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    QLibrary lib(glimfordPath());
    auto canUnload = reinterpret_cast<BdDllCanUnloadNow>(lib.resolve("DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), BD_S_OK);
    auto* c = CreateControl(kProgId, nullptr);
    ASSERT_TRUE(c);
    EXPECT_EQ(canUnload(), BD_S_FALSE);
    delete c;
    EXPECT_EQ(canUnload(), BD_S_OK);
}

TEST_F(ControlHost, ControlEndedFromItsOwnEventIsSafe) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    QWidget form;
    QPointer<Control> c = CreateControl(kProgId, &form);
    ASSERT_TRUE(c);
    QPointer<QWidget> w = c->widget();
    QObject::connect(c.data(), &Control::controlEvent, [&](const QString& name, const QVariantList&) {
        if (name == "MoveBegin") delete c.data();
    });
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(3, 20));
    EXPECT_TRUE(c.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}

TEST_F(ControlHost, ContainerDestroyingTheWindowFirstIsSafe) {
    ASSERT_TRUE(RegisterControlLibrary(glimfordPath()));
    auto* form = new QWidget;
    std::unique_ptr<Control> c(CreateControl(kProgId, nullptr));
    ASSERT_TRUE(c);
    c->widget()->setParent(form);
    delete form;
    EXPECT_EQ(c->widget(), nullptr);
    EXPECT_FALSE(c->get("Top").isValid());
    EXPECT_EQ(c->lastError(), "The control no longer exists");
    EXPECT_FALSE(c->set("MinTop", 5));
}

TEST_F(ControlHost, FailedRegistryWritesAreReportedNotRegistered) {
    reg->failWrites = true;
    QString error;
    EXPECT_FALSE(RegisterControlLibrary(glimfordPath(), &error));
    EXPECT_TRUE(error.startsWith("Cannot register")) << error.toStdString();
    EXPECT_EQ(RegisterShippedControls(), 0);
    reg->failWrites = false;
    EXPECT_FALSE(IsControlRegistered(kProgId));
}
