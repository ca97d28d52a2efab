#include "platform/net/HttpForm.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>

namespace bd::net {
namespace {

// ---- a forgiving scanner of HTML tags: enough to read forms and page text -----------------------

QString decodeEntities(const QString& s) {
    if (!s.contains('&')) return s;
    static const QHash<QString, QString> named = {{"amp", "&"},  {"lt", "<"},
                                                  {"gt", ">"},   {"quot", "\""},
                                                  {"apos", "'"}, {"nbsp", QString(QChar(0xA0))}};
    QString out;
    out.reserve(s.size());
    for (int i = 0; i < s.size(); ++i) {
        const int semi = s[i] == '&' ? s.indexOf(';', i + 1) : -1;
        if (semi < 0 || semi - i > 10) {
            out += s[i];
            continue;
        }
        const QString ent = s.mid(i + 1, semi - i - 1);
        bool ok = false;
        uint code = 0;
        if (ent.startsWith("#x") || ent.startsWith("#X"))
            code = ent.mid(2).toUInt(&ok, 16);
        else if (ent.startsWith('#'))
            code = ent.mid(1).toUInt(&ok, 10);
        if (ok && code > 0 && code <= 0x10FFFF) {
            const char32_t c = char32_t(code);
            out += QString::fromUcs4(&c, 1);
            i = semi;
        } else if (named.contains(ent)) {
            out += named.value(ent);
            i = semi;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Tag {
    QString name; // lower case
    bool closing = false;
    QHash<QString, QString> attrs; // names lower case, values decoded
    bool has(const QString& a) const { return attrs.contains(a); }
    QString attr(const QString& a) const { return attrs.value(a); }
};

class Scanner {
public:
    explicit Scanner(const QString& html) : s_(html) {}

    // The next tag from the current position; text before it goes to *text. False at the end.
    bool next(Tag& tag, QString* text) {
        while (pos_ < s_.size()) {
            const int lt = s_.indexOf('<', pos_);
            const int stop = lt < 0 ? s_.size() : lt;
            if (text) *text += s_.mid(pos_, stop - pos_);
            if (lt < 0) {
                pos_ = s_.size();
                return false;
            }
            pos_ = lt;
            if (s_.mid(pos_, 4) == "<!--") {
                const int end = s_.indexOf("-->", pos_ + 4);
                pos_ = end < 0 ? s_.size() : end + 3;
                continue;
            }
            if (pos_ + 1 < s_.size() && (s_[pos_ + 1] == '!' || s_[pos_ + 1] == '?')) {
                skipPast('>');
                continue;
            }
            if (readTag(tag)) return true;
            // A lone '<' is text.
            if (text) *text += '<';
            ++pos_;
        }
        return false;
    }

    // Raw text up to the closing tag of name (script, style, textarea), which is consumed.
    QString rawUntilClose(const QString& name) {
        const int end = s_.indexOf("</" + name, pos_, Qt::CaseInsensitive);
        const QString raw = s_.mid(pos_, (end < 0 ? s_.size() : end) - pos_);
        pos_ = end < 0 ? s_.size() : end;
        skipPast('>');
        return raw;
    }

private:
    void skipPast(QChar c) {
        const int end = s_.indexOf(c, pos_);
        pos_ = end < 0 ? s_.size() : end + 1;
    }

    static bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == '-' || c == '_' || c == ':'; }

    bool readTag(Tag& tag) {
        int i = pos_ + 1;
        tag = Tag();
        if (i < s_.size() && s_[i] == '/') {
            tag.closing = true;
            ++i;
        }
        const int nameStart = i;
        while (i < s_.size() && isNameChar(s_[i]))
            ++i;
        if (i == nameStart || !s_[nameStart].isLetter()) return false;
        tag.name = s_.mid(nameStart, i - nameStart).toLower();
        while (i < s_.size() && s_[i] != '>') {
            if (s_[i].isSpace() || s_[i] == '/') {
                ++i;
                continue;
            }
            const int an = i;
            while (i < s_.size() && !s_[i].isSpace() && s_[i] != '=' && s_[i] != '>' && s_[i] != '/')
                ++i;
            const QString attrName = s_.mid(an, i - an).toLower();
            while (i < s_.size() && s_[i].isSpace())
                ++i;
            QString value;
            if (i < s_.size() && s_[i] == '=') {
                ++i;
                while (i < s_.size() && s_[i].isSpace())
                    ++i;
                if (i < s_.size() && (s_[i] == '"' || s_[i] == '\'')) {
                    const QChar q = s_[i];
                    const int end = s_.indexOf(q, i + 1);
                    const int stop = end < 0 ? s_.size() : end;
                    value = s_.mid(i + 1, stop - i - 1);
                    i = end < 0 ? s_.size() : end + 1;
                } else {
                    const int vs = i;
                    while (i < s_.size() && !s_[i].isSpace() && s_[i] != '>')
                        ++i;
                    value = s_.mid(vs, i - vs);
                }
            }
            if (!attrName.isEmpty() && !tag.attrs.contains(attrName))
                tag.attrs.insert(attrName, decodeEntities(value));
        }
        pos_ = i < s_.size() ? i + 1 : s_.size();
        return true;
    }

    const QString& s_;
    int pos_ = 0;
};

// Every form of the page with its controls.
QVector<HtmlForm> readForms(const QString& html) {
    QVector<HtmlForm> forms;
    Scanner sc(html);
    Tag t;
    bool inForm = false;
    while (sc.next(t, nullptr)) {
        if (t.name == "script" || t.name == "style") {
            if (!t.closing) sc.rawUntilClose(t.name);
            continue;
        }
        if (t.name == "form") {
            inForm = !t.closing;
            if (inForm)
                forms.push_back(
                    {t.attr("action"), t.attr("method").toLower(), t.attr("enctype").toLower(), {}});
            continue;
        }
        if (t.closing || (t.name != "input" && t.name != "textarea")) continue;
        FormControl c;
        c.tag = t.name;
        c.type = t.name == "input" ? (t.has("type") ? t.attr("type").toLower() : QStringLiteral("text"))
                                   : QString();
        c.id = t.attr("id");
        c.name = t.attr("name");
        c.checked = t.has("checked");
        c.disabled = t.has("disabled");
        if (t.name == "textarea") {
            QString v = decodeEntities(sc.rawUntilClose("textarea"));
            // A newline right after the start tag is not part of the value.
            if (v.startsWith("\r\n"))
                v.remove(0, 2);
            else if (v.startsWith('\n'))
                v.remove(0, 1);
            c.value = v;
        } else {
            c.value = t.attr("value");
        }
        if (inForm) forms.back().controls.push_back(c);
    }
    return forms;
}

// ---- HTTP within one deadline -------------------------------------------------------------------

struct Fetched {
    int status = 0;
    QByteArray body;
    QUrl url; // after redirects
    QString error;
};

Fetched waitFor(QNetworkReply* reply, const QElapsedTimer& clock, int timeoutMs) {
    std::unique_ptr<QNetworkReply> owner(reply);
    Fetched f;
    if (clock.elapsed() >= timeoutMs) {
        reply->abort();
        f.error = QStringLiteral("no answer within %1 seconds").arg(timeoutMs / 1000.0);
        return f;
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    while (!reply->isFinished() && clock.elapsed() < timeoutMs) {
        limit.start(int(timeoutMs - clock.elapsed()));
        loop.exec();
    }
    if (!reply->isFinished()) {
        reply->abort();
        f.error = QStringLiteral("no answer within %1 seconds").arg(timeoutMs / 1000.0);
        return f;
    }
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.body = reply->readAll();
    f.url = reply->url();
    if (reply->error() != QNetworkReply::NoError && f.status == 0) f.error = reply->errorString();
    return f;
}

// Browsers send the line breaks of a form as CR LF.
QString crlfLines(QString s) {
    return s.replace("\r\n", "\n").replace('\r', '\n').replace('\n', "\r\n");
}

bool is2xx(int status) {
    return status >= 200 && status < 300;
}

QNetworkRequest requestFor(const QUrl& url) {
    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    req.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Brintova Deridoro"));
    return req;
}

QNetworkReply* submit(QNetworkAccessManager& nam, const HtmlForm& form, const QUrl& base,
                      const QVector<QPair<QString, QString>>& data) {
    QUrl target = base.resolved(QUrl(form.action));
    if (form.method != "post") {
        target.setQuery(QString::fromLatin1(urlEncoded(data)), QUrl::StrictMode);
        return nam.get(requestFor(target));
    }
    QNetworkRequest req = requestFor(target);
    if (form.enctype == "multipart/form-data") {
        auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        for (const auto& [name, value] : data) {
            QHttpPart part;
            QString quoted = name;
            quoted.replace('"', "%22");
            part.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"" + quoted + "\"");
            part.setBody(crlfLines(value).toUtf8());
            multi->append(part);
        }
        QNetworkReply* r = nam.post(req, multi);
        multi->setParent(r);
        return r;
    }
    req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    return nam.post(req, urlEncoded(data));
}

} // namespace

std::optional<HtmlForm> findFormWithField(const QString& html, const QString& id) {
    for (const HtmlForm& f : readForms(html))
        for (const FormControl& c : f.controls)
            if (c.id == id) return f;
    return std::nullopt;
}

QString pageText(const QByteArray& html) {
    const QString s = QString::fromUtf8(html);
    Scanner sc(s);
    QString text;
    Tag t;
    while (sc.next(t, &text)) {
        if (!t.closing && (t.name == "script" || t.name == "style" || t.name == "title"))
            sc.rawUntilClose(t.name);
        if (t.name == "br" || t.name == "p" || t.name == "div" || t.name == "tr") text += ' ';
    }
    return decodeEntities(text);
}

std::optional<QVector<QPair<QString, QString>>> formData(const HtmlForm& form,
                                                         const QVector<FormValue>& values, QString* error) {
    QVector<FormControl> controls = form.controls;
    for (const FormValue& v : values) {
        bool found = false;
        for (FormControl& c : controls)
            if (c.id == v.id) {
                c.value = v.value;
                found = true;
            }
        if (!found) {
            if (error) *error = QStringLiteral("the page has no field \"%1\"").arg(v.id);
            return std::nullopt;
        }
    }
    static const QStringList notSent = {"submit", "button", "reset", "image", "file"};
    QVector<QPair<QString, QString>> out;
    for (const FormControl& c : controls) {
        if (c.disabled || notSent.contains(c.type)) continue;
        if ((c.type == "checkbox" || c.type == "radio") && !c.checked) continue;
        // A field the page names only by id is still sent, under its id.
        const QString name = c.name.isEmpty() ? c.id : c.name;
        if (name.isEmpty()) continue;
        QString value = c.value;
        if ((c.type == "checkbox" || c.type == "radio") && value.isEmpty()) value = "on";
        out.push_back({name, value});
    }
    return out;
}

QByteArray urlEncoded(const QVector<QPair<QString, QString>>& pairs) {
    auto enc = [](const QString& s) {
        return crlfLines(s).toUtf8().toPercentEncoding(" ").replace(' ', '+');
    };
    QByteArray out;
    for (const auto& [name, value] : pairs) {
        if (!out.isEmpty()) out += '&';
        out += enc(name) + '=' + enc(value);
    }
    return out;
}

FormReply submitForm(const QUrl& page, const QVector<FormValue>& values, int timeoutMs) {
    FormReply out;
    QElapsedTimer clock; // monotonic
    clock.start();
    QNetworkAccessManager nam;
    const Fetched loaded = waitFor(nam.get(requestFor(page)), clock, timeoutMs);
    if (!loaded.error.isEmpty() || !is2xx(loaded.status)) {
        out.error = loaded.error.isEmpty() ? QStringLiteral("the page answered HTTP %1").arg(loaded.status)
                                           : loaded.error;
        return out;
    }
    const QString firstId = values.isEmpty() ? QString() : values.first().id;
    const std::optional<HtmlForm> form = findFormWithField(QString::fromUtf8(loaded.body), firstId);
    if (!form) {
        out.error = QStringLiteral("the page has no form with the field \"%1\"").arg(firstId);
        return out;
    }
    const auto data = formData(*form, values, &out.error);
    if (!data) return out;
    const Fetched sent =
        waitFor(submit(nam, *form, loaded.url.isValid() ? loaded.url : page, *data), clock, timeoutMs);
    out.status = sent.status;
    out.body = sent.body;
    if (!sent.error.isEmpty())
        out.error = sent.error;
    else if (!is2xx(sent.status))
        out.error = QStringLiteral("the form was answered with HTTP %1").arg(sent.status);
    out.ok = out.error.isEmpty();
    return out;
}

} // namespace bd::net
