// The form client: what it reads from a page, what it submits, and its time limit, against a local
// server inside the test.
#include "platform/net/HttpForm.h"

#include "common/LocalHttpServer.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace bd::net;
using bd::test::HttpRequest;
using bd::test::HttpResponse;
using bd::test::LocalHttpServer;
using Pairs = QVector<QPair<QString, QString>>;

namespace {
const char* kPage =
    R"(<html><head><title>OK?</title><script>var s = "<form><input id='txtA'>";</script></head>
<body><!-- <form action="/wrong"><input id="txtA"></form> -->
<form id="search" action="/search"><input id="q" name="q"></form>
<FORM Method="POST" action='send.php?x=1'>
  <input type="hidden" name="token" value="a&amp;b">
  <input id=txtA name="a" value="old">
  <input id="txtB" type="TEXT">
  <textarea id="txtC" name="c">
line &lt;1&gt;</textarea>
  <input type="checkbox" name="copy" checked>
  <input type="checkbox" name="nocopy" value="1">
  <input name="off" value="x" disabled>
  <input type="submit" name="go" value="Send">
</FORM></body></html>)";
} // namespace

TEST(HttpForm, ReadsTheFormThatHoldsTheFieldAndWhatABrowserWouldSend) {
    const auto form = findFormWithField(kPage, "txtA");
    ASSERT_TRUE(form.has_value());
    EXPECT_EQ(form->action, "send.php?x=1");
    EXPECT_EQ(form->method, "post");
    QString error;
    const auto data = formData(*form, {{"txtA", "new"}, {"txtC", "two\nlines"}}, &error);
    ASSERT_TRUE(data.has_value()) << error.toStdString();
    // Hidden values decoded, the id-only field under its id, only the checked box, no button, no
    // disabled control.
    EXPECT_EQ(*data,
              (Pairs{{"token", "a&b"}, {"a", "new"}, {"txtB", ""}, {"c", "two\nlines"}, {"copy", "on"}}));
    EXPECT_EQ(formData(*form, {}, nullptr)->at(3).second, "line <1>");
    EXPECT_FALSE(formData(*form, {{"txtZ", "x"}}, &error).has_value());
    EXPECT_EQ(error, "the page has no field \"txtZ\"");
    EXPECT_FALSE(findFormWithField(kPage, "nothing").has_value());
}

TEST(HttpForm, EncodesValuesAsAFormAndReadsPageText) {
    EXPECT_EQ(urlEncoded({{"a b", "x&y=z+1 %"}, {"t", "ñ€\n"}}),
              "a+b=x%26y%3Dz%2B1+%25&t=%C3%B1%E2%82%AC%0D%0A");
    EXPECT_EQ(pageText("<html><head><title>No</title><style>p{}</style></head><body><p>Mail &amp; "
                       "<b>OK</b></p><script>x='KO'</script></body></html>")
                  .simplified(),
              "Mail & OK");
    EXPECT_EQ(pageText("OK"), "OK");
}

// The page is loaded, the form found and submitted by its method and encoding to its action,
// resolved against the page's address; the server gets the exact values.
TEST(HttpForm, SubmitsByTheFormsMethodAndEncoding) {
    struct Case {
        const char *method, *enctype;
    };
    for (const Case& c : {Case{"post", ""}, Case{"post", "multipart/form-data"}, Case{"get", ""}}) {
        LocalHttpServer server;
        const QByteArray page =
            QByteArray("<form method='") + c.method + "' enctype='" + c.enctype +
            "' action='../done'><input id='f1' name='one'><textarea id='f2'></textarea></form>";
        server.handler = [&](const HttpRequest& r) {
            if (r.path() == "/dir/page.html") return HttpResponse{200, "text/html", page, false};
            return HttpResponse{200, "text/plain", "OK", false};
        };
        const QString v1 = "a&b=c +", v2 = "Ünïcødé\nline"; // line breaks go as CR LF
        const FormReply reply =
            submitForm(QUrl(server.base() + "/dir/page.html"), {{"f1", v1}, {"f2", v2}}, 5000);
        ASSERT_TRUE(reply.ok) << c.method << " " << reply.error.toStdString();
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, "OK");
        ASSERT_EQ(server.requests.size(), 2);
        const HttpRequest& sent = server.requests[1];
        EXPECT_EQ(sent.path(), "/done");
        Pairs got;
        if (QByteArray(c.enctype).isEmpty()) {
            EXPECT_EQ(sent.method, QByteArray(c.method).toUpper());
            got = LocalHttpServer::urlFields(sent.method == "GET" ? sent.query() : sent.body);
        } else {
            for (const auto& p : LocalHttpServer::multipartParts(sent))
                got.push_back({p.name, QString::fromUtf8(p.data)});
        }
        EXPECT_EQ(got, (Pairs{{"one", v1}, {"f2", "Ünïcødé\r\nline"}})) << c.method << " " << c.enctype;
    }
}

TEST(HttpForm, FailsOnErrorAnswersAndGivesUpAtTheLimit) {
    LocalHttpServer server;
    const QByteArray page = "<form method=post action=/send><input id=f></form>";
    bool hang = false;
    server.handler = [&](const HttpRequest& r) {
        if (r.method == "GET") return HttpResponse{200, "text/html", page, false};
        return HttpResponse{500, "text/plain", "OK", hang};
    };
    FormReply reply = submitForm(QUrl(server.base() + "/p"), {{"f", "x"}}, 5000);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.error, "the form was answered with HTTP 500");

    hang = true;
    QElapsedTimer t;
    t.start();
    reply = submitForm(QUrl(server.base() + "/p"), {{"f", "x"}}, 1000);
    EXPECT_FALSE(reply.ok);
    EXPECT_GE(t.elapsed(), 1000);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(reply.error, "no answer within 1 seconds");

    reply = submitForm(QUrl(server.base() + "/p"), {{"g", "x"}}, 1000);
    EXPECT_EQ(reply.error, "the page has no form with the field \"g\"");
    server.handler = [](const HttpRequest&) { return HttpResponse{404, "text/plain", "", false}; };
    EXPECT_EQ(submitForm(QUrl(server.base() + "/p"), {{"f", "x"}}, 1000).error, "the page answered HTTP 404");
}
