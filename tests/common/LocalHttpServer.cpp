#include "common/LocalHttpServer.h"

#include "platform/os/Settings.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

namespace bd::test {

LocalHttpServer::LocalHttpServer() : server_(new QTcpServer(this)) {
    server_->listen(QHostAddress::LocalHost, 0);
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_->nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                buffers_.remove(s);
                s->deleteLater();
            });
        }
    });
}

LocalHttpServer::~LocalHttpServer() = default;

quint16 LocalHttpServer::port() const {
    return server_->serverPort();
}

QString LocalHttpServer::base() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void LocalHttpServer::serve(QTcpSocket* s) {
    QByteArray& buf = buffers_[s];
    buf += s->readAll();
    const int headEnd = buf.indexOf("\r\n\r\n");
    if (headEnd < 0) return;
    HttpRequest r;
    const QList<QByteArray> lines = buf.left(headEnd).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    r.method = first.value(0);
    r.target = first.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            r.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const int length = r.headers.value("content-length", "0").toInt();
    if (r.headers.value("expect").toLower() == "100-continue" && !s->property("continued").toBool()) {
        s->setProperty("continued", true);
        s->write("HTTP/1.1 100 Continue\r\n\r\n");
    }
    if (buf.size() < headEnd + 4 + length) return;
    r.body = buf.mid(headEnd + 4, length);
    buf.clear();
    requests.push_back(r);
    const HttpResponse a = handler ? handler(r) : HttpResponse{200, "text/plain", "OK", false};
    if (a.never) return;
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(a.status) + " Answer\r\nContent-Type: " + a.contentType +
        "\r\nContent-Length: " + QByteArray::number(a.body.size()) + "\r\nConnection: close\r\n\r\n" + a.body;
    s->write(out);
    s->disconnectFromHost();
}

QVector<QPair<QString, QString>> LocalHttpServer::urlFields(const QByteArray& text) {
    QVector<QPair<QString, QString>> out;
    for (QByteArray pair : text.split('&')) {
        if (pair.isEmpty()) continue;
        pair.replace('+', ' ');
        const int eq = pair.indexOf('=');
        const QByteArray name = eq < 0 ? pair : pair.left(eq),
                         value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        out.push_back({QString::fromUtf8(QByteArray::fromPercentEncoding(name)),
                       QString::fromUtf8(QByteArray::fromPercentEncoding(value))});
    }
    return out;
}

QString LocalHttpServer::urlField(const QByteArray& text, const QString& name) {
    for (const auto& [n, v] : urlFields(text))
        if (n == name) return v;
    return {};
}

QVector<FormPart> LocalHttpServer::multipartParts(const HttpRequest& r) {
    QVector<FormPart> out;
    const QByteArray type = r.headers.value("content-type");
    const int b = type.indexOf("boundary=");
    if (b < 0) return out;
    QByteArray boundary = type.mid(b + 9);
    if (boundary.startsWith('"')) boundary = boundary.mid(1, boundary.indexOf('"', 1) - 1);
    const QByteArray delim = "--" + boundary;
    int pos = r.body.indexOf(delim);
    while (pos >= 0) {
        pos += delim.size();
        if (r.body.mid(pos, 2) == "--") break;
        pos += 2; // CR LF
        const int headEnd = r.body.indexOf("\r\n\r\n", pos);
        const int next = r.body.indexOf("\r\n" + delim, headEnd);
        if (headEnd < 0 || next < 0) break;
        const QString head = QString::fromUtf8(r.body.mid(pos, headEnd - pos));
        FormPart p;
        static const QRegularExpression name("[; ]name=\"([^\"]*)\""), file("filename=\"([^\"]*)\"");
        p.name = name.match(head).captured(1);
        p.filename = file.match(head).captured(1);
        p.data = r.body.mid(headEnd + 4, next - headEnd - 4);
        out.push_back(p);
        pos = next + 2;
    }
    return out;
}

QByteArray FakeRelay::page() {
    return "<html><body><form method=\"post\" action=\"Send.php\">"
           "<input type=\"text\" id=\"txtDe\" name=\"De\"><input type=\"text\" id=\"txtPara\" name=\"Para\">"
           "<input type=\"text\" id=\"txtAsunto\" name=\"Asunto\"><textarea id=\"txtTexto\" name=\"Texto\">"
           "</textarea><input type=\"text\" id=\"txtNombreArchivo\" name=\"NombreArchivo\">"
           "<input type=\"hidden\" id=\"txtDatosArchivo\" name=\"DatosArchivo\">"
           "<input type=\"submit\" value=\"Send\"></form></body></html>";
}

FakeRelay::FakeRelay() {
    bd::os::SaveSetting("OE", "Web", "MailRelay", base());
    handler = [this](const HttpRequest& r) {
        if (r.method == "GET" && r.path() == "/desktop/Send.html")
            return HttpResponse{200, "text/html", page(), false};
        if (r.method != "POST" || r.path() != "/desktop/Send.php")
            return HttpResponse{404, "text/plain", "", false};
        static const QHash<QString, QString> ids = {{"De", "txtDe"},
                                                    {"Para", "txtPara"},
                                                    {"Asunto", "txtAsunto"},
                                                    {"Texto", "txtTexto"},
                                                    {"NombreArchivo", "txtNombreArchivo"},
                                                    {"DatosArchivo", "txtDatosArchivo"}};
        QHash<QString, QString> mail;
        for (const auto& [name, value] : urlFields(r.body))
            mail.insert(ids.value(name, name), value);
        mails.push_back(mail);
        return answer ? answer(mail)
                      : HttpResponse{200, "text/html", "<html><body>Mail sent: OK</body></html>", false};
    };
}

} // namespace bd::test
