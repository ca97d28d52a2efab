#pragma once
// The pictures of the new-cube chooser and the connection information dialogs, drawn here: a sheet
// for spreadsheet files, a page with a database for desktop databases, a database drum for each
// server and a plug for any other source.
#include <QPixmap>
#include <QString>

// kind: "ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE" or "OTHER"; side in pixels.
QPixmap newCubePicture(const QString& kind, int side);
