#pragma once
// Shared procedures of the General module that open the cube's connection and recordset and fill
// lists from the database.
#include "platform/db/SqlText.h"

#include <QString>
#include <QStringList>

class InsCube;
class QComboBox;
class QListWidget;

namespace General {

// Description of the last failure of AbrirRecordset.
extern QString sUltimoError;

// Anything that can be cleared and take a further item at its end.
class ListTarget {
public:
    ListTarget(QComboBox* combo) : combo_(combo) {}
    ListTarget(QListWidget* list) : list_(list) {}
    ListTarget(QStringList* items) : items_(items) {}
    void clear();
    void addItem(const QString& text);

private:
    QComboBox* combo_ = nullptr;
    QListWidget* list_ = nullptr;
    QStringList* items_ = nullptr;
};

// The pivot control's data binding, as this module sets it.
class ControlDatos {
public:
    virtual ~ControlDatos() = default;
    virtual void setConnectionType(int type) = 0;
    virtual void setConnectionString(const QString& connectionString) = 0;
};

bool AbrirConexion(InsCube& cube);
bool ConectarControlDatos(ControlDatos& control, InsCube& cube);
bool AbrirRecordset(InsCube& cube);
void ListarTablas(InsCube& cube, ListTarget list);
void ListarColumnas(InsCube& cube, ListTarget list, QString& table);
void LlenarListaSQL(InsCube& cube, ListTarget list, const QString& sql);
// The text without line comments and a final ";" (outside literals and quoted names, as the engine
// reads them), and with every line break as one blank.
QString LimpiarSQL(QString& sql, const bd::db::SqlDialect& d = {});

} // namespace General
