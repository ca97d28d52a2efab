#pragma once
// Shared procedures of the General module for the cube's member files and the desktop.
#include <QString>
#include <QStringList>

namespace General {

// Packs the files into the archive (each under its own name). False, after a message, on failure;
// an existing archive is then left as it was.
bool ComprimirArchivos(const QStringList& files, const QString& archive);
// Extracts the archive into the folder. False, after a message, on failure.
bool DescomprimirArchivo(const QString& archive, const QString& folder);
// Deletes a file, or every file matching a name pattern ("*", "?"); errors are ignored.
void BorrarArchivo(const QString& path);
// Deletes the chart pages and chart data of the program folder's Charts folder.
void BorrarGraficosTemporales();
// True when the path (a name pattern is allowed) names an existing normal file.
bool ExisteArchivo(const QString& path);
void AbrirArchivo(const QString& path);
void AbrirURL(const QString& url);

} // namespace General
