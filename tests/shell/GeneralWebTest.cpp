// The mail relay and the upload command against local servers inside the test, with real curl.
#include "shell/GeneralWeb.h"
#include "common/LocalHttpServer.h"
#include "common/TestSupport.h"
#include "platform/os/AppPath.h"
#include "platform/os/Process.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "shell/FrmMain.h"
#include "shell/General.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

using namespace bd;
using test::FakeRelay;
using test::HttpRequest;
using test::HttpResponse;
using test::LocalHttpServer;

TEST(MailRelay, TheRelayReceivesTheSixFieldsExactly) {
    test::TempHome home(false);
    FakeRelay relay;
    FrmMain start;
    const QString body = "<b>Amount</b> & Co = 100 %\r\nÑandú – “quoted” 'single'";
    QString error;
    ASSERT_TRUE(start.vEnviarMail("alerts@example.com", "a@example.com;b+c@example.com",
                                  "Alerta: ñ & =", body, "", ".", &error))
        << error.toStdString();
    ASSERT_EQ(relay.mails.size(), 1);
    const QHash<QString, QString> want = {
        {"txtDe", "alerts@example.com"}, {"txtPara", "a@example.com;b+c@example.com"},
        {"txtAsunto", "Alerta: ñ & ="},  {"txtTexto", body},
        {"txtNombreArchivo", ""},        {"txtDatosArchivo", "."}};
    EXPECT_EQ(relay.mails[0], want);
    EXPECT_EQ(relay.requests[0].target, "/desktop/Send.html");
}

// Success is a 2xx answer whose text holds "OK" anywhere, also inside a word, but not in a tag.
TEST(MailRelay, SuccessIsA2xxAnswerWhoseTextHoldsOK) {
    test::TempHome home(false);
    FakeRelay relay;
    struct Case {
        int status;
        const char* text;
        bool sent;
    };
    const Case cases[] = {{200, "OK", true},
                          {201, "<html><body><p>BOOKED for delivery</p></body></html>", true},
                          {200, "<html><body>Mail queued</body></html>", false},
                          {200, "<html><head><title>OK</title></head><body>Refused</body></html>", false},
                          {500, "OK", false},
                          {404, "", false}};
    for (const Case& c : cases) {
        relay.answer = [&](const QHash<QString, QString>&) {
            return HttpResponse{c.status, "text/html", c.text, false};
        };
        QString error;
        EXPECT_EQ(General::EnviarMailWeb("a", "b", "c", "d", "", ".", &error), c.sent)
            << c.status << " " << c.text;
        EXPECT_EQ(error.isEmpty(), c.sent) << error.toStdString();
    }
    relay.answer = nullptr;
    os::SaveSetting("OE", "Web", "MailRelay", "http://127.0.0.1:1");
    QString error;
    EXPECT_FALSE(General::EnviarMailWeb("a", "b", "c", "d", "", ".", &error));
    EXPECT_TRUE(error.startsWith("The mail relay failed: ")) << error.toStdString();
}

TEST(MailRelay, ARelayThatNeverAnswersGivesFalseAfterTheLimit) {
    test::TempHome home(false);
    FakeRelay relay;
    relay.answer = [](const QHash<QString, QString>&) { return HttpResponse{200, "text/plain", "", true}; };
    FrmMain start;
    QElapsedTimer t;
    t.start();
    QString error;
    EXPECT_FALSE(start.vEnviarMail("a", "b", "c", "d", "", ".", &error));
    EXPECT_GE(t.elapsed(), General::kRelayTimeoutSeconds * 1000);
    EXPECT_LT(t.elapsed(), General::kRelayTimeoutSeconds * 1000 + 5000);
    EXPECT_EQ(error, "The mail relay failed: no answer within 30 seconds.");
    EXPECT_EQ(relay.mails.size(), 1);
}

TEST(WebSettings, DefaultsAndOverrides) {
    test::TempHome home(false);
    EXPECT_EQ(General::MailRelayPage(), "https://relay.brintova-deridoro.example/desktop/Send.html");
    EXPECT_EQ(General::MailSender(), "alerts@brintova-deridoro.example");
    EXPECT_EQ(General::HomePage(), "https://www.brintova-deridoro.example/");
    EXPECT_EQ(General::ViewsBase(), "https://views.brintova-deridoro.example/");
    os::SaveSetting("OE", "Web", "MailRelay", "http://relay.test:8080/");
    os::SaveSetting("OE", "Web", "ViewsBase", "http://views.test/v");
    os::SaveSetting("OE", "Web", "MailSender", "me@test");
    EXPECT_EQ(General::MailRelayPage(), "http://relay.test:8080/desktop/Send.html");
    EXPECT_EQ(General::ViewsBase(), "http://views.test/v/");
    EXPECT_EQ(General::MailSender(), "me@test");
}

TEST(Upload, AddressValuesArePercentEncodedAndTheCommandLineReads) {
    test::TempHome home(false);
    os::SaveSetting("OE", "Web", "ViewsBase", "http://views.test/");
    EXPECT_EQ(General::UploadAddress("1000_2026115_3", 123456789, "Sales & Co=1 --config ñ"),
              "http://views.test/post_dump.php?vIdexportCube=1000_2026115_3&hd=123456789"
              "&cube=Sales%20%26%20Co%3D1%20--config%20%C3%B1");
    EXPECT_EQ(General::UploadCommandLine("http://views.test/post_dump.php?x=1", "my file.html"),
              "curl \"http://views.test/post_dump.php?x=1\" -F myfile=@\"" + os::AppPath() +
                  "/my file.html\"");
}

// curl's arguments one by one: the address after --url and the file as a quoted -F word, so no text
// of a cube or a file name can become an option or a form parameter.
TEST(Upload, CurlGetsItsArgumentsOneByOne) {
    test::TempHome home(false);
    os::RecordingProcessRunner rec;
    os::setProcessRunner(&rec);
    EXPECT_TRUE(General::SubirArchivo("-K/etc/passwd", "a \"b\";type=x\\.html"));
    rec.handler = [](const os::ProcessRequest&) {
        os::ProcessResult r;
        r.started = true;
        r.timedOut = true;
        return r;
    };
    QString error;
    EXPECT_FALSE(General::SubirArchivo("http://x/", "f.html", &error));
    os::setProcessRunner(nullptr);
    ASSERT_EQ(rec.requests.size(), 2);
    EXPECT_TRUE(rec.requests[0].program.endsWith("/curl"));
    EXPECT_EQ(rec.requests[0].arguments,
              QStringList({"-q", "--silent", "--show-error", "--fail", "--max-time", "300", "--url",
                           "-K/etc/passwd", "-F",
                           "myfile=@\"" + os::AppPath() + "/a \\\"b\\\";type=x\\\\.html\""}));
    EXPECT_EQ(rec.requests[0].timeoutMs,
              (General::kUploadTimeoutSeconds + General::kUploadGraceSeconds) * 1000);
    EXPECT_EQ(error, "The upload did not finish within 300 seconds. (curl \"http://x/\" -F myfile=@\"" +
                         os::AppPath() + "/f.html\")");
}

TEST(Upload, RealCurlPostsTheFileAsMyfileAndFailsOnAnErrorAnswer) {
    test::TempHome home(false);
    const QByteArray content("first line\r\nsecond \0 line\n", 26);
    const QString name = "my report; final.html";
    ASSERT_TRUE(test::writeFile(home.path(name), content));
    LocalHttpServer server;
    int status = 200;
    server.handler = [&](const HttpRequest&) { return HttpResponse{status, "text/plain", "stored", false}; };
    os::SaveSetting("OE", "Web", "ViewsBase", server.base() + "/views/");
    const QString address = General::UploadAddress("1000_1_2", 42, "Sales & Co");
    QString error;
    ASSERT_TRUE(General::SubirArchivo(address, name, &error)) << error.toStdString();
    ASSERT_EQ(server.requests.size(), 1);
    const HttpRequest& r = server.requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path(), "/views/post_dump.php");
    EXPECT_EQ(LocalHttpServer::urlFields(r.query()),
              (QVector<QPair<QString, QString>>{
                  {"vIdexportCube", "1000_1_2"}, {"hd", "42"}, {"cube", "Sales & Co"}}));
    const auto parts = LocalHttpServer::multipartParts(r);
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(parts[0].name, "myfile");
    EXPECT_EQ(parts[0].filename, name);
    EXPECT_EQ(parts[0].data, content);

    status = 500;
    EXPECT_FALSE(General::SubirArchivo(address, name, &error));
    EXPECT_TRUE(error.startsWith("The upload failed: curl: (22) The requested URL returned error: 500"))
        << error.toStdString();
    EXPECT_TRUE(error.endsWith(General::UploadCommandLine(address, name) + ")"));
    EXPECT_FALSE(General::SubirArchivo(address, "missing.html", &error));
}

TEST(WaitForProgram, EndsAProgramPastItsLimit) {
    QElapsedTimer t;
    t.start();
    os::ProcessResult r;
    EXPECT_FALSE(General::EjecutarYEsperar("/bin/sleep", {"20"}, 1, &r));
    EXPECT_TRUE(r.timedOut);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(General::EjecutarYEsperar("/bin/true", {}, 0, &r));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(General::EjecutarYEsperar("/no/such/program", {}, 0, &r));
}

TEST(Failures, OneSummaryBoxWithAPersonOneLineEachWithout) {
    os::ScopedPrompter prompts;
    General::ReportFailures("Email Alerts", {}, false);
    EXPECT_TRUE(prompts->prompts.isEmpty());
    General::ReportFailures("Email Alerts", {"first failed.", "second failed."}, false);
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "first failed.\nsecond failed.");
    EXPECT_EQ(prompts->prompts[0].title, "Email Alerts");
    testing::internal::CaptureStderr();
    General::ReportFailures("Email Alerts", {"first\nfailed.", "second failed."}, true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Email Alerts: first failed.\nEmail Alerts: second failed.\n");
    EXPECT_EQ(prompts->prompts.size(), 1);
}
