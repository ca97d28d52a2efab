// Reading SQL into a design. The builder holds one shape of query: a select list of columns (or *),
// a first table, inner joins each on one column pair, and a condition. Anything else (aliases,
// expressions, other joins, grouping, comments before the condition...) is not read: the model keeps
// such a query as text.
#include "platform/querybuilder/NameResolver.h"

namespace bd::querybuilder {

namespace {

struct Token {
    enum Kind { Word, Name, String, Number, Symbol, Comment } kind;
    QString text; // a quoted name without its quotes
    qsizetype begin = 0, end = 0;
    bool is(QChar c) const { return kind == Symbol && text.size() == 1 && text[0] == c; }
    bool isWord(const char* w) const {
        return kind == Word && text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
    }
};

bool wordStart(QChar c) {
    return c.isLetter() || c == '_' || c == '@' || c == '#';
}
bool wordPart(QChar c) {
    return c.isLetterOrNumber() || c == '_' || c == '$' || c == '@' || c == '#';
}

// The quoted text from s[i] (the opening quote) to its closing quote, a doubled closing quote
// standing for one; end is set past the closing quote. False when the quote is not closed.
bool quoted(const QString& s, qsizetype i, QChar close, QString* text, qsizetype* end) {
    text->clear();
    for (qsizetype k = i + 1; k < s.size(); ++k) {
        if (s[k] != close) {
            *text += s[k];
            continue;
        }
        if (k + 1 < s.size() && s[k + 1] == close) {
            *text += close;
            ++k;
            continue;
        }
        *end = k + 1;
        return true;
    }
    return false;
}

bool tokenize(const QString& s, QVector<Token>* out) {
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token t{Token::Symbol, QString(c), i, i + 1};
        const QChar next = i + 1 < s.size() ? s[i + 1] : QChar();
        if (c == '-' && next == '-') {
            qsizetype e = s.indexOf('\n', i);
            t = {Token::Comment, {}, i, e < 0 ? s.size() : e};
        } else if (c == '/' && next == '*') {
            const qsizetype e = s.indexOf("*/", i + 2);
            if (e < 0) return false;
            t = {Token::Comment, {}, i, e + 2};
        } else if (c == '[' || c == '`' || c == '"' || c == '\'') {
            const QChar close = c == '[' ? QChar(']') : c;
            t.kind = c == '\'' ? Token::String : Token::Name;
            if (!quoted(s, i, close, &t.text, &t.end)) return false;
        } else if (wordStart(c)) {
            qsizetype e = i + 1;
            while (e < s.size() && wordPart(s[e]))
                ++e;
            t = {Token::Word, s.mid(i, e - i), i, e};
        } else if (c.isDigit()) {
            qsizetype e = i + 1;
            while (e < s.size() && (s[e].isLetterOrNumber() || s[e] == '.'))
                ++e;
            t = {Token::Number, s.mid(i, e - i), i, e};
        }
        *out << t;
        i = t.end;
    }
    return true;
}

// Words that end or change the shape the builder reads; as bare names they are not taken.
bool reserved(const QString& w) {
    static const QStringList words = {
        "SELECT", "FROM",    "WHERE", "INNER",    "JOIN",  "ON",     "AND",   "OR",           "NOT",
        "GROUP",  "ORDER",   "BY",    "HAVING",   "UNION", "LEFT",   "RIGHT", "FULL",         "OUTER",
        "CROSS",  "NATURAL", "AS",    "DISTINCT", "ALL",   "TOP",    "LIMIT", "USING",        "INTERSECT",
        "EXCEPT", "OFFSET",  "FETCH", "WINDOW",   "INTO",  "VALUES", "WITH",  "STRAIGHT_JOIN"};
    return words.contains(w, Qt::CaseInsensitive);
}

// Clause words that may not stand at the top level of the condition: the builder writes the condition
// last, so a query going on after it is not one the builder can hold.
bool endsCondition(const Token& t) {
    static const char* words[] = {"GROUP", "ORDER",  "HAVING", "UNION",  "INTERSECT", "EXCEPT",
                                  "LIMIT", "OFFSET", "FETCH",  "WINDOW", "INTO"};
    for (const char* w : words)
        if (t.isWord(w)) return true;
    return false;
}

class Reader {
public:
    Reader(const QString& sql, QVector<Token> tokens) : sql_(sql), t_(std::move(tokens)) {}

    std::optional<ParsedQuery> read() {
        ParsedQuery q;
        if (!word("SELECT") || !selectList(&q) || !word("FROM")) return std::nullopt;
        int opens = 0, closes = 0;
        while (symbol('('))
            ++opens;
        QString first;
        if (!name(&first)) return std::nullopt;
        q.tables << first;
        while (!atEnd() && (peek().isWord("INNER") || peek().isWord("JOIN"))) {
            word("INNER");
            if (!word("JOIN")) return std::nullopt;
            QString table;
            JoinPair p;
            if (!name(&table) || !word("ON") || !column(&p.a) || !symbol('=') || !column(&p.b))
                return std::nullopt;
            q.tables << table;
            q.joins << p;
            // The nested form "From ((A Inner Join B On ...) Inner Join C On ...)".
            if (symbol(')') && ++closes > opens) return std::nullopt;
        }
        if (closes != opens) return std::nullopt;
        if (word("WHERE") && !condition(&q.condition)) return std::nullopt;
        symbol(';');
        if (!atEnd()) return std::nullopt;
        return q;
    }

private:
    bool atEnd() const { return i_ >= t_.size(); }
    const Token& peek() const { return t_[i_]; }
    bool word(const char* w) {
        if (atEnd() || !peek().isWord(w)) return false;
        ++i_;
        return true;
    }
    bool symbol(QChar c) {
        if (atEnd() || !peek().is(c)) return false;
        ++i_;
        return true;
    }
    bool name(QString* out) {
        if (atEnd()) return false;
        const Token& t = peek();
        if (t.kind == Token::Name ? t.text.isEmpty() : (t.kind != Token::Word || reserved(t.text)))
            return false;
        *out = t.text;
        ++i_;
        return true;
    }
    // name or table.name
    bool column(ColumnRef* out) {
        QString a, b;
        if (!name(&a)) return false;
        if (!symbol('.')) {
            *out = ColumnRef{{}, a};
            return true;
        }
        if (!name(&b)) return false;
        *out = ColumnRef{a, b};
        return atEnd() || !peek().is('.');
    }
    bool selectList(ParsedQuery* q) {
        if (symbol('*')) return true;
        do {
            ColumnRef c;
            if (!column(&c)) return false;
            q->selected << c;
        } while (symbol(','));
        return true;
    }
    // The rest of the text, as written, up to a final ";".
    bool condition(QString* out) {
        qsizetype begin = -1, end = -1;
        int depth = 0;
        for (; !atEnd(); ++i_) {
            const Token& t = peek();
            if (t.is(';') && depth == 0) {
                if (i_ + 1 != t_.size()) return false; // a second statement
                break;
            }
            if (t.is('(')) ++depth;
            if (t.is(')') && --depth < 0) return false;
            if (depth == 0 && endsCondition(t)) return false;
            if (begin < 0) begin = t.begin;
            end = t.end;
        }
        if (begin < 0 || depth != 0) return false;
        *out = sql_.mid(begin, end - begin);
        return true;
    }

    const QString& sql_;
    QVector<Token> t_;
    qsizetype i_ = 0;
};

} // namespace

std::optional<Design> parseSql(const QString& sql, const Catalog& catalog) {
    QVector<Token> tokens;
    if (!tokenize(sql, &tokens)) return std::nullopt;
    // Comments before the condition would be lost in the builder's own layout.
    qsizetype where = tokens.size();
    for (qsizetype i = 0; i < tokens.size(); ++i)
        if (tokens[i].isWord("WHERE")) {
            where = i;
            break;
        }
    for (qsizetype i = 0; i < where; ++i)
        if (tokens[i].kind == Token::Comment) return std::nullopt;
    QVector<Token> code;
    for (const Token& t : tokens)
        if (t.kind != Token::Comment) code << t;
    Reader r(sql, code);
    const std::optional<ParsedQuery> q = r.read();
    if (!q) return std::nullopt;
    return resolveQuery(*q, catalog);
}

} // namespace bd::querybuilder
