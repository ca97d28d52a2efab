#pragma once
// A small HTTP/1.1 server on the loopback address for tests of the mail relay and the uploads: it
// records every request and answers through a handler (or never, to test time limits). It runs in
// the test's own thread, served while the code under test keeps the event loop running.
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace bd::test {

struct HttpRequest {
    QByteArray method, target;             // target: path and query as sent
    QHash<QByteArray, QByteArray> headers; // names lower case
    QByteArray body;
    QByteArray path() const {
        return target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    }
    QByteArray query() const {
        return target.indexOf('?') < 0 ? QByteArray() : target.mid(target.indexOf('?') + 1);
    }
};

struct HttpResponse {
    int status = 200;
    QByteArray contentType = "text/html; charset=utf-8";
    QByteArray body;
    bool never = false; // keep the connection open and never answer
};

// One part of a multipart/form-data body.
struct FormPart {
    QString name, filename;
    QByteArray data;
};

class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    LocalHttpServer();
    ~LocalHttpServer() override;
    quint16 port() const;
    QString base() const; // "http://127.0.0.1:<port>"
    std::function<HttpResponse(const HttpRequest&)> handler;
    QVector<HttpRequest> requests;

    // Decoded name/value pairs of an application/x-www-form-urlencoded text, in order.
    static QVector<QPair<QString, QString>> urlFields(const QByteArray& text);
    static QString urlField(const QByteArray& text, const QString& name);
    static QVector<FormPart> multipartParts(const HttpRequest& r);

private:
    void serve(QTcpSocket* s);
    QTcpServer* server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

// A web mail relay: its page "/desktop/Send.html" holds the six fields in a POST form; each submitted
// mail is kept (field id -> value) and answered with answer (status and text, default 200 "OK").
// While installed, the settings point the program's relay at it.
class FakeRelay : public LocalHttpServer {
public:
    FakeRelay();
    static QByteArray page();
    QVector<QHash<QString, QString>> mails;
    std::function<HttpResponse(const QHash<QString, QString>& mail)> answer;
};

} // namespace bd::test
