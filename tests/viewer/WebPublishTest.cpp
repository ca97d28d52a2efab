// Publishing a viewer's current view to a web-view service on the loopback address, with real curl:
// what is posted and in which order, what is left behind, the view opened and the mail sent; a
// service that is down; charts not drawn; the size limits with and without a person.
#include "common/LocalHttpServer.h"
#include "common/TestSupport.h"
#include "platform/db/ColumnarResult.h"
#include "platform/os/AppPath.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "publishing/Export.h"
#include "shell/General.h"
#include "shell/GeneralHtml.h"
#include "shell/GeneralWeb.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

using namespace bd;
using bd::test::FormPart;
using bd::test::HttpRequest;
using bd::test::HttpResponse;
using bd::test::LocalHttpServer;

namespace {

std::shared_ptr<db::ColumnarResult> salesResult(int clientes = 0) {
    db::ColumnData cliente, importe, units;
    cliente.name = "Customer", cliente.kind = db::ColumnKind::Text;
    importe.name = "Amount", importe.kind = db::ColumnKind::Real, importe.adoType = 5;
    units.name = "Unit Count", units.kind = db::ColumnKind::Integer, units.adoType = 3;
    auto row = [&](uint32_t c, double i, int u) {
        cliente.codes.push_back(c);
        importe.reals.push_back(i);
        units.ints.push_back(u);
    };
    if (clientes == 0) {
        cliente.dict = {"O'Brien & Sons", "Lee", "Nunez"};
        row(0, 1234.5, 3);
        row(1, 5, 1);
        row(2, 99.25, 2);
    } else {
        for (int i = 0; i < clientes; ++i) {
            cliente.dict.push_back(QStringLiteral("C%1").arg(i, 6, 10, QChar('0')).toStdString());
            row(uint32_t(i), i, 1);
        }
    }
    auto r = std::make_shared<db::ColumnarResult>();
    r->rowCount = cliente.codes.size();
    r->columns = {cliente, importe, units};
    return r;
}

// What the program wrote to standard error, without the headless platform's own notices: on a busy
// machine the wait window comes up during an upload, and the platform says it cannot raise it.
std::string errores() {
    QStringList lines = QString::fromStdString(testing::internal::GetCapturedStderr()).split('\n');
    lines.removeIf([](const QString& l) { return l.startsWith("This plugin does not support"); });
    return lines.join('\n').toStdString();
}

// A shown viewer of a saved cube, Customer on rows, two charted measures, the service and the mail
// relay on the loopback address, the desktop recorded.
struct Publishing : ::testing::Test {
    test::TempHome home{true};
    os::ScopedPrompter prompts;
    os::RecordingDesktop desktop;
    os::ScriptedFileDialogs dialogs;
    LocalHttpServer server;
    test::FakeRelay relay;
    std::unique_ptr<test::LinkedViewer> w;
    Cubo* v = nullptr;
    Campos* c = nullptr;
    QString views;

    void SetUp() override {
        os::setDesktop(&desktop);
        os::setFileDialogs(&dialogs);
        General::InicializarNombres();
        General::CargarTiposGrafico();
        General::dHDNumber = 123456789;
        views = server.base() + "/views/";
        os::SaveSetting("OE", "Web", "ViewsBase", views);
        server.handler = [](const HttpRequest&) { return HttpResponse{200, "text/plain", "stored", false}; };
        w = std::make_unique<test::LinkedViewer>();
        v = w->v;
        c = w->c;
        w->cube->CubeId = "Sales & Co";
        w->cube->IdExportCube = "123456789_2026115_7";
        w->cube->PathOpenCube = home.path("Sales.cub");
        c->txtIdCubo->setText("Sales & Co");
        c->txtDescripcion->setPlainText("Sales <2024> & \"more\"");
        grid::Grid& cal = *c->spCal;
        for (int r : {1, 2}) {
            cal.setText(Campos::ColMedida, r, r == 1 ? "Amount" : "Unit Count");
            cal.setText(Campos::ColVisible, r, "1");
            cal.setText(Campos::ColAgregado, r, "Sum");
        }
        c->spSave->setText(Campos::ColProperty, Campos::FilaMailsSubida, "boss@example.test");
        c->spSave->setText(Campos::ColProperty, Campos::FilaPixelesFuente, "20");
        dataPage(salesResult());
        c->CargarComandosGraficos();
        v->show();
        v->AcomodarPantalla();
        QApplication::processEvents();
    }
    void TearDown() override {
        w.reset();
        os::setDesktop(nullptr);
        os::setFileDialogs(nullptr);
        General::InicializarNombres();
    }
    void dataPage(std::shared_ptr<db::ColumnarResult> r) {
        pivot::PivotTable& dc = *v->DC;
        dc.removeAllFields();
        dc.setData(std::move(r));
        dc.addField("Customer", "Customer", pivot::PageArea)->setOrientation(pivot::RowArea);
        dc.addField("Amount", "Amount", pivot::DataArea)->setNumberFormat("#,##0.00");
        dc.addField("Unit Count", "Unit Count", pivot::DataArea)->setNumberFormat("#,##0");
        dc.recalculate();
    }
    void noCharts() {
        v->SetToolChecked(Cubo::ToolNoChart, true);
        v->AcomodarPantalla();
        ASSERT_FALSE(v->CHA->isVisible());
    }
    QStringList subidos() const {
        QStringList out;
        for (const HttpRequest& r : server.requests) {
            const QVector<FormPart> parts = LocalHttpServer::multipartParts(r);
            out << (parts.size() == 1 && parts[0].name == "myfile" ? parts[0].filename : QString("?"));
        }
        return out;
    }
    QByteArray subido(const QString& name) const {
        for (const HttpRequest& r : server.requests)
            for (const FormPart& p : LocalHttpServer::multipartParts(r))
                if (p.filename == name) return p.data;
        return {};
    }
    QStringList leftovers() const { return QDir(home.home()).entryList({"*.html", "*.jpg"}, QDir::Files); }
    QString viewPage() const { return views + w->cube->IdExportCube + "/view.html"; }
};

QByteArray expectedView(const QString& views, const QString& charts, int px) {
    QString page =
        "<HTML><HEAD>\r\n"
        "<link rel=\"shortcut icon\" href=\"https://www.brintova-deridoro.example/favicon.ico\">\r\n"
        "<TITLE>Sales &lt;2024&gt; &amp; &quot;more&quot;</TITLE>\r\n"
        "</HEAD>\r\n"
        "<BODY>\r\n"
        "<TABLE class=\"menu\" ><TR>"
        "<TD><CENTER><a href=\"data.html\" target=\"ifrGrid\"><IMG SRC=\"{V}img/grid.png\"><BR>"
        "&nbsp;Grid&nbsp;</a></CENTER></TD>" +
        charts +
        "<TD><CENTER><a href=\"#\" onclick=\"setZoomUp()\"><IMG SRC=\"{V}img/zoom.png\"><BR>"
        "&nbsp;Zoom +&nbsp;</a></CENTER></TD>"
        "<TD><CENTER><a href=\"#\" onclick=\"setZoomDown()\"><IMG SRC=\"{V}img/zoom.png\"><BR>"
        "&nbsp;Zoom -&nbsp;</a></CENTER></TD>"
        "<TD><CENTER><a href=\"#\" onclick=\"swapFullScreen();\"><IMG SRC=\"{V}img/fullscreen.png\"><BR>"
        "&nbsp;Full Screen&nbsp;</a></CENTER></TD>"
        "</TR></TABLE>\r\n"
        "<CENTER><p><b>Sales &lt;2024&gt; &amp; &quot;more&quot;</b></p></CENTER>\r\n"
        "<iframe name=\"ifrGrid\" src=\"data.html\" frameBorder=\"0\" width=\"100%\" "
        "height=\"87%\"></iframe><br>\r\n"
        "</BODY>\r\n"
        "<STYLE type='text/css'>\r\n"
        "p { border:1px dotted gray; margin: 0; font:normal {F}px verdana, arial, helvetica, sans-serif;}\r\n"
        "a { text-decoration: none;}\r\n"
        "table.menu { border:0px; margin: 0; font:normal {M}px verdana, arial, helvetica, sans-serif;}\r\n"
        "td:hover { background-color: #f0f0f0;}\r\n"
        "iframe { zoom: -50%;}\r\n"
        "</STYLE>\r\n"
        "<script type=\"Text/javascript\" src=\"{V}script/viewscript.js\"></script>\r\n"
        "</HTML>\r\n";
    return page.replace("{V}", views)
        .replace("{F}", QString::number(px))
        .replace("{M}", QString::number(px - 2))
        .toUtf8();
}

QString celdaGrafico(int n, const QString& label) {
    return QStringLiteral(
               "<TD><CENTER><a href=\"img%1.jpg\" target=\"ifrGrid\"><IMG SRC=\"{V}img/charts.png\"><BR>"
               "&nbsp;%2&nbsp;</a></CENTER></TD>")
        .arg(n)
        .arg(label);
}

bool esJpeg(const QByteArray& data) {
    QImage img;
    return data.startsWith("\xFF\xD8\xFF") && img.loadFromData(data, "JPG") && img.width() > 10;
}

} // namespace

TEST_F(Publishing, PostsPicturesThenViewThenDataOpensTheViewAndMails) {
    v->UpLoadToWeb();
    ASSERT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join('/').toStdString();

    EXPECT_EQ(subidos(), (QStringList{"img1.jpg", "img2.jpg", "view.html", "data.html"}));
    for (const HttpRequest& r : server.requests) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path(), "/views/post_dump.php");
        EXPECT_EQ(LocalHttpServer::urlFields(r.query()),
                  (QVector<QPair<QString, QString>>{{"vIdexportCube", "123456789_2026115_7"},
                                                    {"hd", "123456789"},
                                                    {"cube", "Sales & Co"}}));
    }
    EXPECT_TRUE(esJpeg(subido("img1.jpg")));
    EXPECT_TRUE(esJpeg(subido("img2.jpg")));
    EXPECT_EQ(
        subido("view.html").toStdString(),
        expectedView(views, celdaGrafico(1, "Amount") + celdaGrafico(2, "Unit Count"), 20).toStdString());
    const QString data = QString::fromUtf8(subido("data.html"));
    EXPECT_TRUE(data.startsWith("<HTML><HEAD>\r\n"));
    EXPECT_TRUE(data.contains("O'Brien &amp; Sons"));
    EXPECT_TRUE(data.contains("font:normal 20px verdana")) << data.toStdString();
    EXPECT_TRUE(data.endsWith("</STYLE>\r\n</BODY></HTML>\r\n"));

    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(',').toStdString();
    EXPECT_EQ(desktop.urls, QStringList{viewPage()});
    ASSERT_EQ(relay.mails.size(), 1);
    EXPECT_EQ(relay.mails[0].value("txtPara"), "boss@example.test");
    EXPECT_TRUE(relay.mails[0].value("txtTexto").contains(viewPage()));

    // The window is as it was, the last chart published is the one checked and shown.
    EXPECT_TRUE(v->AB->isEnabled());
    EXPECT_EQ(v->cmdConectado->text(), "Not Connected");
    EXPECT_EQ(General::sArchivoImagen, "img2.jpg");
    EXPECT_EQ(v->lastChart, "Unit Count");
    EXPECT_EQ(General::sTamFuenteHTML, "20");
    EXPECT_EQ(General::WaitWindow(), nullptr);
}

TEST_F(Publishing, ChartsHiddenNoPicturesAndTheDefaultFontWhenTheRowIsZero) {
    noCharts();
    General::sTamFuenteHTML = "20"; // a size left by an earlier publishing
    c->spSave->setText(Campos::ColProperty, Campos::FilaPixelesFuente, "0");
    v->UpLoadToWeb();
    ASSERT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join('/').toStdString();
    EXPECT_EQ(subidos(), (QStringList{"view.html", "data.html"}));
    EXPECT_EQ(subido("view.html").toStdString(), expectedView(views, QString(), 15).toStdString());
    EXPECT_TRUE(subido("data.html").contains("font:normal 15px verdana"));
    EXPECT_EQ(General::sTamFuenteHTML, "15");
    EXPECT_EQ(desktop.urls, QStringList{viewPage()});
}

TEST_F(Publishing, ServiceDownKeepsTheFilesOpensNothingAndMailsNobody) {
    QString closed;
    {
        LocalHttpServer gone;
        closed = gone.base() + "/views/";
    }
    os::SaveSetting("OE", "Web", "ViewsBase", closed);
    noCharts();
    v->UpLoadToWeb();
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Upload error");
    EXPECT_EQ(prompts->prompts[0].icon, os::Icon::Critical);
    EXPECT_TRUE(prompts->prompts[0].text.startsWith("The upload failed: curl: (7)"))
        << prompts->prompts[0].text.toStdString();
    EXPECT_EQ(leftovers(), (QStringList{"data.html", "view.html"}));
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_TRUE(relay.mails.isEmpty());
    EXPECT_TRUE(v->AB->isEnabled());
    EXPECT_EQ(v->cmdConectado->text(), "Not Connected");
    EXPECT_EQ(General::WaitWindow(), nullptr);
}

TEST_F(Publishing, AnErrorAnswerStopsAtThatFile) {
    // The service refuses the second picture: the first is gone, the rest stay.
    server.handler = [this](const HttpRequest&) {
        return HttpResponse{server.requests.size() == 2 ? 500 : 200, "text/plain", "", false};
    };
    v->UpLoadToWeb();
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Upload error");
    EXPECT_EQ(subidos(), (QStringList{"img1.jpg", "img2.jpg"}));
    EXPECT_EQ(leftovers(), (QStringList{"data.html", "img2.jpg"}));
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_TRUE(relay.mails.isEmpty());
}

TEST_F(Publishing, AChartThatWasNotDrawnAddsNoPictureAndNoMenuCell) {
    // After the first picture the chart folder becomes a file: the second chart cannot be drawn.
    server.handler = [this](const HttpRequest&) {
        if (server.requests.size() == 1) {
            QDir(home.path("Charts")).removeRecursively();
            test::writeFile(home.path("Charts"), "not a folder");
        }
        return HttpResponse{200, "text/plain", "", false};
    };
    v->UpLoadToWeb();
    EXPECT_EQ(prompts->texts(), QStringList{"The chart files cannot be written in " +
                                            QDir::toNativeSeparators(home.path("Charts")) + "."});
    EXPECT_EQ(subidos(), (QStringList{"img1.jpg", "view.html", "data.html"}));
    EXPECT_EQ(subido("view.html").toStdString(),
              expectedView(views, celdaGrafico(1, "Amount"), 20).toStdString());
    EXPECT_EQ(desktop.urls, QStringList{viewPage()});
}

TEST_F(Publishing, SizeLimitsWithAPerson) {
    noCharts();
    dataPage(salesResult(10001)); // (2 columns + 1 row field) x 10002 rows
    ASSERT_EQ((v->DC->resultColumns() + v->DC->rowFields().count()) * v->DC->resultRows(), 30006);
    prompts->answer(os::Answer::No);
    v->UpLoadToWeb();
    EXPECT_EQ(prompts->texts(),
              QStringList{"You are trying to upload 30006 cells. This operation may take a long "
                          "time. Do you want to continue ? "});
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_TRUE(v->AB->isEnabled());
    EXPECT_EQ(v->cmdConectado->text(), "Not Connected");

    dataPage(salesResult(20000));
    v->UpLoadToWeb();
    ASSERT_EQ(prompts->prompts.size(), 2);
    EXPECT_EQ(prompts->prompts[1].title, "Filter you information and reduce your results");
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(Publishing, SizeLimitsUnattendedAskNobody) {
    noCharts();
    v->carradoAutomatico = true;
    dataPage(salesResult(20000)); // 60003 cells
    testing::internal::CaptureStderr();
    v->UpLoadToWeb();
    EXPECT_EQ(errores(), "Upload: 60003 cells are more than 60000: the upload is cancelled.\n");
    EXPECT_TRUE(server.requests.isEmpty());

    dataPage(salesResult(10001)); // 30006 cells
    testing::internal::CaptureStderr();
    v->UpLoadToWeb();
    EXPECT_EQ(errores(), "Upload: 30006 cells are more than 20000: the upload goes on.\n");
    EXPECT_EQ(subidos(), (QStringList{"view.html", "data.html"}));
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join('/').toStdString();
    EXPECT_EQ(relay.mails.size(), 1);
}

TEST_F(Publishing, UnattendedFailuresGoToStandardError) {
    os::SaveSetting("OE", "Web", "ViewsBase", "http://127.0.0.1:1/views/");
    noCharts();
    v->carradoAutomatico = true;
    testing::internal::CaptureStderr();
    v->UpLoadToWeb();
    const std::string err = errores();
    EXPECT_EQ(err.rfind("Upload error: The upload failed: curl: (7)", 0), 0u) << err;
    EXPECT_TRUE(prompts->prompts.isEmpty());
    EXPECT_TRUE(relay.mails.isEmpty());
}

TEST_F(Publishing, AnUnsavedCubeWhoseSaveIsCancelledPublishesNothing) {
    w->cube->PathOpenCube.clear();
    v->UpLoadToWeb();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_TRUE(dialogs.requests[0].save);
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "You must save file.");
    EXPECT_EQ(prompts->prompts[0].title, "Save");
    EXPECT_EQ(prompts->prompts[0].icon, os::Icon::Information);
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_EQ(General::WaitWindow(), nullptr);
}

TEST_F(Publishing, TheToolbarCommandPublishesAndTheViewerStaysWhileItRuns) {
    noCharts();
    bool closed = true, toolbars = true;
    server.handler = [&](const HttpRequest&) {
        closed = v->close(); // a close while the upload runs is refused
        toolbars = v->AB->isEnabled() || v->ABGraph->isEnabled();
        return HttpResponse{200, "text/plain", "", false};
    };
    v->RunCommand("WEBVIEW");
    EXPECT_FALSE(closed);
    EXPECT_FALSE(toolbars);
    EXPECT_TRUE(v->AB->isEnabled());
    EXPECT_TRUE(v->ABGraph->isEnabled());
    EXPECT_EQ(subidos(), (QStringList{"view.html", "data.html"}));
    EXPECT_TRUE(v->isVisible());
}

// The export command opens the one export dialog for the viewer that gives it: its pivot, held
// weakly, and a caption with its cube name.
TEST_F(Publishing, TheExportCommandServesTheViewerThatGaveIt) {
    v->RunCommand("EXPORTAR");
    ASSERT_TRUE(Export::loaded());
    Export* e = Export::instance();
    EXPECT_TRUE(e->isVisible());
    EXPECT_FALSE(e->isModal());
    EXPECT_EQ(e->windowTitle(), "Export Sales & Co");
    EXPECT_EQ(e->TABLA, "Sales & Co");
    EXPECT_EQ(e->Cubo, v->DC);
    {
        test::LinkedViewer other;
        other.c->txtIdCubo->setText("North/South");
        other.v->RunCommand("EXPORTAR");
        EXPECT_EQ(Export::instance(), e);
        EXPECT_EQ(e->windowTitle(), "Export North/South");
        EXPECT_EQ(e->Cubo, other.v->DC);
    }
    EXPECT_TRUE(e->Cubo.isNull());
    dialogs.answers << home.path("North.xls");
    e->cmdAceptar_Click();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].fileName, "North_South.xls");
    EXPECT_EQ(prompts->texts(), QStringList{"The cube of this export is no longer open."});
    Export::unload();
}
