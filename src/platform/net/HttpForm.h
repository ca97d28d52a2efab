#pragma once
// A small HTTP form client standing in for a browser that fills a web page's form: it loads the page,
// finds the form that holds the fields, sets their values by element id and submits the form as a
// browser would (its action, method and encoding), all within one time limit. The event loop keeps
// running while it waits.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>
#include <optional>

namespace bd::net {

struct FormValue {
    QString id; // the element's id in the page
    QString value;
};

// One control of a form as the page declares it.
struct FormControl {
    QString tag;  // "input" or "textarea"
    QString type; // input type, lower case ("text" when none)
    QString id, name, value;
    bool checked = false, disabled = false;
};

struct HtmlForm {
    QString action, method, enctype; // as written; method and enctype lower case
    QVector<FormControl> controls;   // in document order
};

// The first form of the page that holds an element with the given id; nothing when none does.
std::optional<HtmlForm> findFormWithField(const QString& html, const QString& id);

// What a browser shows as the text of a page: tags, scripts and styles left out, entities decoded.
QString pageText(const QByteArray& html);

// Name and value pairs a browser submits for the form (checked boxes only, no buttons, no disabled
// controls), after the values have been set by id. An id that is not in the form is an error.
std::optional<QVector<QPair<QString, QString>>>
formData(const HtmlForm& form, const QVector<FormValue>& values, QString* error = nullptr);

// application/x-www-form-urlencoded text of the pairs, UTF-8.
QByteArray urlEncoded(const QVector<QPair<QString, QString>>& pairs);

struct FormReply {
    bool ok = false; // the page and the submission answered 2xx within the limit
    int status = 0;  // HTTP status of the submission (0 when it never answered)
    QByteArray body; // the submission's reply
    QString error;   // why not ok, one sentence
};

// Loads page, fills the values into the form that holds the first of them, submits it and returns
// the reply; gives up when timeoutMs have passed since the start.
FormReply submitForm(const QUrl& page, const QVector<FormValue>& values, int timeoutMs);

} // namespace bd::net
