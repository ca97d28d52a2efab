// The query builder tab and the SQL preview tab: preparing the builder over the cube's connection,
// taking its SQL into the cube (its join chain nested for Access-style SQL), and running any SQL into
// the preview grid.
#include "designer/Campos.h"

#include "platform/db/Connection.h"
#include "platform/os/Prompter.h"
#include "platform/querybuilder/QueryBuilder.h"
#include "platform/toolbar/Toolbar.h"
#include "shell/General.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLocale>
#include <QTabBar>
#include <QVBoxLayout>
#include <optional>

using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

namespace {
// The builder's tag once it is connected and loaded for this designer.
const QString kBuilderReady = QStringLiteral("WORK");
constexpr int kTabBuilder = 3;
constexpr int kTabPreview = 4;

// ---- the join rewrite ----

// Where a quote of SQL text that opens with c closes (null when c opens none).
QChar closingQuote(QChar c) {
    switch (c.unicode()) {
    case '\'':
    case '"':
    case '`':
        return c;
    case '[':
        return ']';
    default:
        return QChar();
    }
}

// Calls take(i) for every character of t outside quotes (a doubled closing character inside a quote
// stands for itself) until it returns false. False when it did, or when a quote is left open.
template <typename Take> bool scanUnquoted(const QString& t, Take take) {
    QChar close;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (close.isNull()) {
            if (!take(i, c)) return false;
            close = closingQuote(c);
        } else if (c == close) {
            if (i + 1 < t.size() && t[i + 1] == close)
                ++i;
            else
                close = QChar();
        }
    }
    return close.isNull();
}

// Starts of the lines of t outside quotes (0 and every position after a line feed); nothing when a
// quote is left open.
std::optional<QVector<qsizetype>> lineStarts(const QString& t) {
    QVector<qsizetype> out{0};
    const bool closed = scanUnquoted(t, [&](qsizetype i, QChar c) {
        if (c == '\n') out << i + 1;
        return true;
    });
    if (!closed) return std::nullopt;
    return out;
}

// Whether a join line's quotes all close on it and it holds no parenthesis outside them.
bool isPlainLine(const QString& line) {
    return scanUnquoted(line, [](qsizetype, QChar c) { return c != '(' && c != ')'; });
}

// Whether a text is one table name (its quoted parts may hold anything): no blank, comma or
// parenthesis outside quotes.
bool isOneName(const QString& text) {
    return !text.isEmpty() && scanUnquoted(text, [](qsizetype, QChar c) {
        return !c.isSpace() && c != ',' && c != '(' && c != ')';
    });
}

// The From clause and its join lines, each join closing one parenthesis opened after "From ". The
// body is the builder's: "From " + one table, then one "Inner Join " line per join, ending with the line
// break before the next clause (or the appended CR); the only parentheses it may hold are those of an
// earlier rewrite. Nothing for any other text.
std::optional<QString> nestJoins(const QString& body) {
    QString terminator;
    if (body.endsWith(QStringLiteral("\r\n")))
        terminator = QStringLiteral("\r\n");
    else if (body.endsWith('\r'))
        terminator = QStringLiteral("\r");
    else
        return std::nullopt;
    QStringList lines = body.chopped(terminator.size()).split(QStringLiteral("\r\n"));
    for (const QString& l : lines)
        if (l.contains('\r') || l.contains('\n')) return std::nullopt;
    QString first = lines[0].mid(5);
    qsizetype opens = 0;
    while (opens < first.size() && first[opens] == '(')
        ++opens;
    first = first.mid(opens);
    if (!isOneName(first)) return std::nullopt;
    qsizetype closes = 0;
    for (int i = 1; i < lines.size(); ++i) {
        QString& l = lines[i];
        if (!l.startsWith(QStringLiteral("Inner Join "))) return std::nullopt;
        if (l.endsWith(')')) {
            l.chop(1);
            if (++closes > opens) return std::nullopt;
        }
        if (!isPlainLine(l)) return std::nullopt;
    }
    if (closes != opens) return std::nullopt;
    const qsizetype joins = lines.size() - 1;
    lines[0] = "From " + QString(joins, '(') + first;
    for (int i = 1; i < lines.size(); ++i)
        lines[i] += ')';
    return lines.join(QStringLiteral("\r\n")) + terminator;
}
} // namespace

QString Campos::PonerPatertesis(const QString& sql) {
    const QString t = sql + '\r';
    const std::optional<QVector<qsizetype>> starts = lineStarts(t);
    if (!starts) return sql;
    auto clause = [&](const QString& word, qsizetype after) -> qsizetype {
        for (qsizetype s : *starts)
            if (s > after && QStringView(t).mid(s).startsWith(word)) return s;
        return -1;
    };
    const qsizetype from = clause(QStringLiteral("From "), -1);
    if (from < 0) return sql;
    qsizetype end = t.size();
    for (const QString& w : {QStringLiteral("Where "), QStringLiteral("Group By "), QStringLiteral("Having "),
                             QStringLiteral("Order By ")}) {
        const qsizetype p = clause(w, from);
        if (p >= 0 && p < end) end = p;
    }
    QString body = t.mid(from, end - from);
    body.replace(QStringLiteral("=\r\n"), QStringLiteral("="));
    const std::optional<QString> nested = nestJoins(body);
    if (!nested) return sql;
    return t.left(from) + *nested + t.mid(end);
}

QString Campos::quotedName(const QString& name, const QString& engine, const bd::db::Connection* cnn) {
    if (engine == "ACCESS" || engine == "EXCEL" || engine == "MSSQL")
        return '[' + QString(name).replace("]", "]]") + ']';
    if (cnn && cnn->isOpen()) return cnn->quoteName(name);
    if (engine == "MYSQL") return '`' + QString(name).replace("`", "``") + '`';
    return '"' + QString(name).replace("\"", "\"\"") + '"';
}

QString Campos::CeldaEstadoConsulta() const {
    return spSave ? spSave->cellTag(0, RowQueryState) : QString();
}

void Campos::setQueryStateCell(const QString& state) {
    if (spSave) spSave->setCellTag(0, RowQueryState, state);
}

// ---- the two tabs ----

QWidget* Campos::buildQueryBuilderTab() {
    aQ = new bd::querybuilder::QueryBuilder(this);
    aQ->setObjectName("aQ");
    cmdQE = new QPushButton("Use this SQL", this);
    cmdQE->setObjectName("cmdQE");
    cmdQE->setToolTip("Make the builder's SQL the cube's SQL");
    cmdGotoResults = new QPushButton("Show results", this);
    cmdGotoResults->setObjectName("cmdGotoResults");
    auto* tab = new QWidget;
    auto* l = new QVBoxLayout(tab);
    l->addWidget(aQ, 1);
    auto* b = new QHBoxLayout;
    b->addWidget(cmdQE);
    b->addWidget(cmdGotoResults);
    b->addStretch();
    l->addLayout(b);
    return tab;
}

QWidget* Campos::buildPreviewTab() {
    cmdRunQuery = new QPushButton("Run", this);
    cmdRunQuery->setObjectName("cmdRunQuery");
    lblViewQueryLimit = new QLabel(this);
    lblViewQueryLimit->setObjectName("lblViewQueryLimit");
    lblViewQueryLimit->setText(QStringLiteral("Only the first %1 rows are shown.")
                                   .arg(QLocale(QLocale::English).toString(PreviewRowLimit)));
    lblViewQueryLimit->hide();
    auto* tab = new QWidget;
    auto* l = new QVBoxLayout(tab);
    l->addWidget(txtViewQuery, 1);
    auto* run = new QHBoxLayout;
    run->addWidget(cmdRunQuery);
    run->addStretch();
    l->addLayout(run);
    l->addWidget(spviewQuery, 3);
    l->addWidget(lblViewQueryLimit);
    auto* b = new QHBoxLayout;
    b->addWidget(cmdLastQuery);
    b->addWidget(cmdQueryEditorView);
    b->addStretch();
    l->addLayout(b);
    return tab;
}

void Campos::connectQueryHandlers() {
    connect(cmdOpenEditor, &QPushButton::clicked, this, &Campos::cmdOpenEditor_Click);
    connect(cmdQE, &QPushButton::clicked, this, &Campos::cmdQE_Click);
    connect(cmdGotoResults, &QPushButton::clicked, this, &Campos::cmdGotoResults_Click);
    connect(cmdQueryEditorView, &QPushButton::clicked, this, &Campos::cmdQueryEditorView_Click);
    connect(cmdRunQuery, &QPushButton::clicked, this, &Campos::cmdRunQuery_Click);
}

// ---- handlers ----

// The builder's tab header opens the builder as "Open query editor" does; when it cannot be opened,
// the tab shown before stays.
void Campos::builderTab_Click() {
    if (aQ->tag() == kBuilderReady) {
        SSTab1->setCurrentIndex(kTabBuilder);
        SetAbChecked();
        return;
    }
    cmdOpenEditor_Click();
}

void Campos::cmdOpenEditor_Click() {
    if (cmbEngine->currentText() == "EXCEL") {
        MsgBox("Excel not supported by query editor. Select a table o a view.", Buttons::Ok,
               Icon::Information, "Not suported");
        return;
    }
    AB->tool(ToolConnection)->setChecked(false);
    if (aQ->tag() != kBuilderReady) {
        QString cs = txtConeccion->toPlainText();
        cs.replace("\r\n", " ").replace('\n', ' ');
        // "APP_PATH" is left to the data layer, which replaces it once the string is read, so that a
        // program folder whose path holds ";" cannot break the string.
        aQ->setConnectionString(cs);
        aQ->setQuoter(
            [this](const QString& n) { return quotedName(n, cmbEngine->currentText(), aQ->connection()); });
        QString error;
        if (!aQ->connectDatabase(&error) || !aQ->loadMetadata(&error)) {
            QPointer<Campos> self(this);
            txtConeccion->setFocus();
            PaintBackground(txtConeccion, ColorError);
            MsgBox(error, Buttons::Ok, Icon::Critical, "Can't connect");
            if (self) comProbarCnn_Click();
            return;
        }
        // A state the builder does not recognise (another program's, a later format) is ignored.
        const QString state = CeldaEstadoConsulta();
        if (!state.isEmpty()) aQ->setState(state);
        setQueryStateCell(QString());
        if (aQ->sql().isEmpty()) aQ->setSql(txtQuery->toPlainText());
        aQ->setTag(kBuilderReady);
    }
    aQ->setZoom(100);
    aQ->setReadOnly(false);
    SSTab1->setCurrentIndex(kTabBuilder);
    SetAbChecked();
}

QString Campos::builderSql() const {
    // A text the builder kept as it was is not its SQL: it goes back unchanged.
    return aQ->isText() ? aQ->formattedSql() : PonerPatertesis(aQ->formattedSql());
}

void Campos::cmdQE_Click() {
    Cambio = true;
    const QString sql = builderSql();
    if (VinsCube) VinsCube->CubeSqlQuery = sql;
    txtQuery->setPlainText(sql);
    // The cube's SQL changed: closing the viewer must ask to save it.
    if (VCubo) VCubo->Salvar = true;
    SSTab1->setCurrentIndex(0);
    SetAbChecked();
    AB->tool(ToolConnection)->setChecked(true);
    setQueryStateCell(aQ->state());
    aQ->setTag(QString());
}

void Campos::cmdGotoResults_Click() {
    txtViewQuery->setPlainText(builderSql());
    SSTab1->setCurrentIndex(kTabPreview);
    SetAbChecked();
    cmdQueryEditorView->show();
    cmdRunQuery_Click();
}

void Campos::cmdQueryEditorView_Click() {
    SSTab1->setCurrentIndex(kTabBuilder);
    SetAbChecked();
}

bool Campos::openPreview(bd::db::Recordset& rs, QString* error) {
    if (!VinsCube) {
        *error = QStringLiteral("The cube has no connection.");
        return false;
    }
    InsCube& cube = *VinsCube;
    // The preview may run before anything connected the cube (the builder has its own connection).
    if (!cube.CnnSql || !cube.CnnSql->isOpen()) {
        cube.NoMostrarErrConeccion = true;
        General::AbrirConexion(cube);
        cube.NoMostrarErrConeccion = false;
        IndicarConeccion();
        if (!cube.CnnSql->isOpen()) {
            *error = cube.CnnSql->lastError().isEmpty() ? QStringLiteral("The connection is not open.")
                                                        : cube.CnnSql->lastError();
            return false;
        }
    }
    return rs.open(txtViewQuery->toPlainText(), *cube.CnnSql, error);
}

bool Campos::fillPreview(bd::db::Recordset& rs, QString* error) {
    bd::grid::Grid& g = *spviewQuery;
    g.setMaxRows(0);
    g.repaintNow();
    g.setMaxCols(rs.fieldCount());
    for (int i = 0; i < rs.fieldCount(); ++i)
        g.setText(i + 1, 0, rs.field(i).name);
    g.setRedraw(false);
    g.setMaxRows(PreviewRowStep);
    int rows = 0;
    bool more = false;
    for (; !rs.eof(); rs.moveNext()) {
        if (rows == PreviewRowLimit) {
            more = true;
            break;
        }
        ++rows;
        if (rows > g.maxRows()) g.setMaxRows(g.maxRows() + PreviewRowStep);
        for (int j = 0; j < rs.fieldCount(); ++j)
            g.setValue(j + 1, rows, rs.value(j));
    }
    // Also after a failure the grid holds exactly the rows read.
    g.setMaxRows(rows);
    g.setRedraw(true);
    lblViewQueryLimit->setVisible(more);
    if (rs.lastError().isEmpty()) return true;
    *error = rs.lastError();
    return false;
}

void Campos::cmdRunQuery_Click() {
    General::PunteroEspera();
    lblViewQueryLimit->hide();
    bd::db::Recordset rs;
    QString error;
    const bool ok = openPreview(rs, &error) && fillPreview(rs, &error);
    rs.close();
    General::PunteroNormal();
    if (!ok) MsgBox(error, Buttons::Ok, Icon::Critical, "Error executing.");
}
