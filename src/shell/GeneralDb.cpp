#include "shell/GeneralDb.h"

#include "platform/db/Connection.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"
#include "shell/InsCube.h"

#include <QComboBox>
#include <QListWidget>

namespace General {

QString sUltimoError;

namespace {
constexpr int kConnectionTimeout = 10;
const QString kTablePrefix = QStringLiteral("TBL --> ");
const QString kViewPrefix = QStringLiteral("VIEW --> ");

void endWait() {
    PunteroNormal();
    MostrarEspera(false);
}

void ensureObjects(InsCube& cube) {
    if (!cube.CnnSql) cube.CnnSql = std::make_unique<bd::db::Connection>();
    if (!cube.RsSql) cube.RsSql = std::make_unique<bd::db::Recordset>();
}
} // namespace

void ListTarget::clear() {
    if (combo_) combo_->clear();
    if (list_) list_->clear();
    if (items_) items_->clear();
}

void ListTarget::addItem(const QString& text) {
    if (combo_) combo_->addItem(text);
    if (list_) list_->addItem(text);
    if (items_) items_->append(text);
}

bool AbrirConexion(InsCube& cube) {
    PunteroEspera();
    MostrarEspera(true);
    ensureObjects(cube);
    cube.RsSql->close();
    cube.CnnSql->close();
    QString error;
    // "APP_PATH" is replaced by the connection itself.
    if (!cube.CnnSql->open(cube.CubeConnectionString, kConnectionTimeout, &error)) {
        endWait();
        cube.Conectado = false;
        if (!cube.NoMostrarErrConeccion)
            bd::os::MsgBox(error + "\n\nCheck the connection string.", bd::os::Buttons::Ok,
                           bd::os::Icon::Information,
                           QStringLiteral("You are not connected to the database"));
        return false;
    }
    cube.Conectado = true;
    endWait();
    return true;
}

bool ConectarControlDatos(ControlDatos& control, InsCube& cube) {
    PunteroEspera();
    MostrarEspera(true);
    if (!cube.CnnSql || !cube.CnnSql->isOpen()) {
        endWait();
        bd::os::MsgBox(QStringLiteral("The connection is not open."), bd::os::Buttons::Ok,
                       bd::os::Icon::Critical, QStringLiteral("Failed to connect"));
        return false;
    }
    control.setConnectionType(5);
    control.setConnectionString(cube.CnnSql->connectionString());
    endWait();
    return true;
}

bool AbrirRecordset(InsCube& cube) {
    PunteroEspera();
    MostrarEspera(true);
    ensureObjects(cube);
    cube.RsSql->close();
    QString sql = cube.CubeSqlQuery;
    QString error;
    const bool ok = cube.RsSql->open(LimpiarSQL(sql, cube.CnnSql->dialect()), *cube.CnnSql, &error);
    if (!ok) sUltimoError = error;
    endWait();
    return ok;
}

void ListarTablas(InsCube& cube, ListTarget list) {
    list.clear();
    AbrirConexion(cube);
    if (!cube.CnnSql || !cube.CnnSql->isOpen()) return;
    for (const QString& t : cube.CnnSql->tables())
        list.addItem(kTablePrefix + t);
    for (const QString& v : cube.CnnSql->views())
        list.addItem(kViewPrefix + v);
}

void ListarColumnas(InsCube& cube, ListTarget list, QString& table) {
    list.clear();
    AbrirConexion(cube);
    if (!cube.CnnSql || !cube.CnnSql->isOpen()) return;
    table.replace(kTablePrefix, QString());
    table.replace(kViewPrefix, QString());
    for (const auto& f : cube.CnnSql->columns(table))
        list.addItem(f.name);
}

void LlenarListaSQL(InsCube& cube, ListTarget list, const QString& sql) {
    if (sql.trimmed().isEmpty()) return;
    list.clear();
    AbrirConexion(cube);
    if (!cube.CnnSql || !cube.CnnSql->isOpen()) return;
    QString text = sql;
    bd::db::Recordset rs;
    QString error;
    if (rs.open(LimpiarSQL(text, cube.CnnSql->dialect()), *cube.CnnSql, &error)) {
        for (; !rs.eof(); rs.moveNext()) {
            if (rs.fieldCount() == 0) break;
            const QVariant v = rs.value(0);
            if (!v.isNull()) list.addItem(v.toString()); // a NULL is no entry, and no reason to stop
        }
        error = rs.lastError();
    }
    if (!error.isEmpty())
        bd::os::MsgBox(sql + "\n" + error, bd::os::Buttons::Ok, bd::os::Icon::Information,
                       QStringLiteral("Error trying to fill combo."));
}

QString LimpiarSQL(QString& sql, const bd::db::SqlDialect& d) {
    // A "--" comment ends at its line break: joined to the next line it would take the rest of the
    // query with it. Comments go first, outside literals and quoted names.
    const QString text = bd::db::removeLineComments(sql, d);
    // Every line break (CR LF, lone CR, lone LF) is one blank.
    QString s;
    s.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            s += ' ';
        } else if (c == '\n') {
            s += ' ';
        } else {
            s += c;
        }
    }
    // A ";" goes only at the end and outside literals and quoted names: there it is data.
    for (;;) {
        int end = int(s.size());
        while (end > 0 && s[end - 1].isSpace())
            --end;
        if (end == 0 || s[end - 1] != ';') break;
        if (bd::db::scanSql(s.left(end), d).back() != bd::db::SqlPart::Code) break;
        s.truncate(end - 1);
    }
    sql = s;
    return s;
}

} // namespace General
