#include "shell/General.h"

#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/Machine.h"
#include "platform/os/Process.h"
#include "platform/os/Registry.h"
#include "platform/os/Settings.h"
#include "platform/os/Twips.h"
#include "platform/pivot/NumberFormat.h"
#include "shell/CBalloonToolTip.h"
#include "shell/GeneralHtml.h"
#include "shell/InsCube.h"
#include "shell/frmNavigator.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace General {

KeyedCollection colIdioma;
QString sIdioma;
double dHDNumber = 0;
QString sSepDecimal = QStringLiteral(".");
KeyedCollection colNombreGrafico;
KeyedCollection colIdGrafico;
KeyedCollection colGraficoMS;
QString sGraficoDefNombre, sGraficoDefId;
QString sTamFuenteHTML, sArchivoVista, sArchivoDatos, sArchivoImagen;
QString sColorFondo, sColorTexto;

QString GetSetting(const QString& app, const QString& section, const QString& key, const QString& def) {
    return bd::os::GetSetting(app, section, key, def);
}

void SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value) {
    bd::os::SaveSetting(app, section, key, value);
}

void InicializarNombres() {
    sTamFuenteHTML = QString::number(kDefaultHtmlFontPixels);
    sArchivoVista = QStringLiteral("view.html");
    sArchivoDatos = QStringLiteral("data.html");
    sArchivoImagen = QStringLiteral("img.jpg");
}

void CargarIdioma() {
    QFile f(bd::os::AppPath() + "/language.txt");
    if (!f.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = f.readAll();
    // UTF-8 first; a file that is not valid UTF-8 is taken as Latin-1.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    text.replace("\r\n", "\n").replace('\r', '\n');
    for (const QString& line : text.split('\n')) {
        const int sep = line.indexOf("::");
        if (sep < 0) continue;
        // A repeated key keeps its first text; the later keys still load.
        colIdioma.add(line.left(sep), line.mid(sep + 2));
    }
}

QString LeerTextoIdioma(const QString& key) {
    const auto t = colIdioma.item(key + "_" + sIdioma);
    if (!t) return QString();
    QString s = *t;
    s.replace("<BR>", "\r\n");
    return s;
}

double ObtenerHDNumber() {
    return double(bd::os::volumeSerial());
}

double SerialMagnitude(double serial) {
    const qint64 v = qint64(serial);
    return double(v < 0 ? -v : v);
}

void AsignarIdExport(InsCube& cube) {
    if (!cube.IdExportCube.isEmpty()) return;
    QString n = GetSetting("OE", "CUBO", "LASTINIT");
    if (n.isEmpty()) n = "0";
    const qint64 counter = qint64(n.toDouble()) + 1;
    SaveSetting("OE", "CUBO", "LASTINIT", QString::number(counter));
    const QDateTime t = bd::os::Now();
    const QString stamp = QString::number(t.date().year()) + QString::number(t.date().month()) +
                          QString::number(t.date().day()) + QString::number(t.time().hour()) +
                          QString::number(t.time().minute()) + QString::number(t.time().second());
    cube.IdExportCube = QString::number(qint64(dHDNumber)) + "_" + stamp + "_" + QString::number(counter);
}

QString ObtenerSeparadorDecimal() {
    QString s = bd::os::decimalSeparator();
    s.remove(QChar(0));
    return s.trimmed();
}

QString FormatoDosDecimales() {
    return "0" + sSepDecimal + "00";
}

int ContarDecimales(const QString& mask) {
    return bd::pivot::ContarDecimales(mask, sSepDecimal);
}

void CargarTiposGrafico() {
    if (colNombreGrafico.count() > 0) return;
    colNombreGrafico.add("None", "None");
    colIdGrafico.add("None", "None");
    struct T {
        const char *id, *name, *ms;
    };
    static const T types[] = {
        {"Area2D", "Area 2D", "MSArea"},
        {"Bar2D", "Bar 2D", "MSBar2D"},
        {"Column2D", "Column 2D", "MSColumn2D"},
        {"Column3D", "Column 3D", "MSColumn3D"},
        {"Line", "Line", "MSLine"},
        {"Doughnut2D", "Doughnut 2D", nullptr},
        {"Doughnut3D", "Doughnut 3D", nullptr},
        {"Pie2D", "Pie 2D", nullptr},
        {"Pie3D", "Pie 3D", nullptr},
        {"ScrollArea2D", "Scroll Area 2D", "ScrollArea2D"},
        {"ScrollColumn2D", "Scroll Column 2D", "ScrollColumn2D"},
        {"ScrollLine2D", "ScrollLine 2D", "ScrollLine2D"},
        {"StackedArea2D", "Stacked Area 2D", "StackedArea2D"},
        {"StackedBar2D", "Stacked Bar 2D", "StackedBar2D"},
        {"StackedColumn2D", "Stacked Column 2D", "StackedColumn2D"},
        {"StackedColumn3D", "Stacked Column 3D", "StackedColumn3D"},
    };
    for (const T& t : types) {
        colNombreGrafico.add(t.id, t.name);
        colIdGrafico.add(t.name, t.id);
        if (t.ms) colGraficoMS.add(t.id, t.ms);
    }
    sGraficoDefNombre = "Column 3D";
    sGraficoDefId = "Column3D";
}

bool isNumeric(const QString& text) {
    // Mantissa with separators anywhere, optional exponent; the sign before or after, not both.
    static const QString m = QStringLiteral("[0-9.,]*[0-9][0-9.,]*(?:[eE][+-]?[0-9]+)?");
    static const QRegularExpression number(
        QStringLiteral("^\\s*(?:[+-]\\s*)?%1\\s*$|^\\s*%1\\s*[+-]\\s*$").arg(m));
    return number.match(text).hasMatch();
}

QString QuoteDesktopExec(const QString& path) {
    // Desktop-entry rules: quote the argument, backslash-escape the reserved characters inside the
    // quotes, then escape backslashes once more for the string value, and double every "%".
    QString inner;
    for (QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') inner += '\\';
        inner += c;
    }
    QString s = '"' + inner + '"';
    s.replace('\\', "\\\\");
    s.replace('%', "%%");
    return s;
}

namespace {
bool writeText(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(text.toUtf8());
    return f.commit();
}

// The desktop's counterpart of the file-type keys: a MIME type for the extension and an application
// entry that opens such files with the program.
void refreshDesktopDatabases(const QString& data);
bool fitsDesktopEntry(const QString& path);

bool registerWithDesktop(const QString& exePath, const QString& extension, const QString& className,
                         const QString& description) {
    if (!fitsDesktopEntry(exePath)) return false;
    const QString data = bd::os::DataPath();
    const QString ext = extension.startsWith('.') ? extension.mid(1) : extension;
    const QString mime = "application/x-" + className.toLower();
    const QString mimeXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                            "  <mime-type type=\"" +
                            mime.toHtmlEscaped() +
                            "\">\n"
                            "    <comment>" +
                            description.toHtmlEscaped() +
                            "</comment>\n"
                            "    <glob pattern=\"*." +
                            ext.toHtmlEscaped() +
                            "\"/>\n"
                            "  </mime-type>\n"
                            "</mime-info>\n";
    const QString desktop = "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=Brintova Deridoro\n"
                            "Comment=" +
                            description +
                            "\n"
                            "Exec=" +
                            QuoteDesktopExec(exePath) +
                            " %f\n"
                            "MimeType=" +
                            mime +
                            ";\n"
                            "Terminal=false\n"
                            "NoDisplay=false\n";
    if (!writeText(data + "/mime/packages/brintova-deridoro-" + className.toLower() + ".xml", mimeXml) ||
        !writeText(data + "/applications/brintova-deridoro.desktop", desktop))
        return false;
    refreshDesktopDatabases(data);
    return true;
}

// The desktop reads its caches, not the files: rebuild them where the tools are installed. A tool that
// is missing or fails leaves the files in place for the desktop's next own rebuild.
void refreshDesktopDatabases(const QString& data) {
    constexpr int kRefreshTimeoutMs = 30000;
    const QPair<QString, QString> tools[] = {
        {"update-mime-database", data + "/mime"},
        {"update-desktop-database", data + "/applications"},
    };
    for (const auto& [tool, folder] : tools) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty()) continue;
        bd::os::ProcessRequest r;
        r.program = program;
        r.arguments = {folder};
        r.timeoutMs = kRefreshTimeoutMs;
        bd::os::RunProcess(r);
    }
}

// A desktop entry is line-based: a path with a control character cannot be carried in one.
bool fitsDesktopEntry(const QString& path) {
    for (QChar c : path)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    return true;
}
} // namespace

bool RegistrarExtension(const QString& exePath, const QString& extension, const QString& className,
                        const QString& description) {
    bd::os::Registry& reg = bd::os::registry();
    const QString root = QStringLiteral("HKEY_CLASSES_ROOT\\");
    const QPair<QString, QString> keys[] = {
        {extension, className},
        {className, description},
        {className + "\\shell\\open\\command", exePath + " %1"},
        {className + "\\DefaultIcon", exePath + ",0"},
    };
    bool ok = true;
    for (const auto& [key, value] : keys) {
        ok = reg.createKey(root + key) && ok;
        ok = reg.setValue(root + key, QString(), value) && ok;
    }
    return registerWithDesktop(exePath, extension, className, description) && ok;
}

namespace {
QPointer<frmNavigator> g_wait;
}

frmNavigator* WaitWindow() {
    return g_wait;
}

void MostrarEspera(bool show) {
    using bd::os::twipsToPixels;
    if (show) {
        if (!qApp || g_wait) return;
        g_wait = new frmNavigator;
        frmNavigator& w = *g_wait;
        w.resize(480, 320);
        const int W = w.width() * bd::os::kTwipsPerPixel, H = w.height() * bd::os::kTwipsPerPixel;
        w.Frame->setGeometry(twipsToPixels(60), twipsToPixels(60), twipsToPixels(W - 120),
                             twipsToPixels(H - 120));
        // The browser's own borders lie outside the frame.
        w.wB->setGeometry(twipsToPixels(-130), twipsToPixels(-130), w.Frame->width() + twipsToPixels(140),
                          w.Frame->height() + twipsToPixels(140));
        w.wB->navigate(bd::os::AppPath() + "/wait/wait.html");
        w.timerVisible->setEnabled(true);
        while (g_wait && g_wait->wB->readyState() != 4 && g_wait->wB->readyState() != 3)
            QCoreApplication::processEvents();
    } else {
        if (!g_wait) return;
        g_wait->timerVisible->setEnabled(false);
        g_wait->hide();
        delete g_wait.data();
    }
}

void PunteroEspera() {
    if (qApp && !QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void PunteroNormal() {
    if (!qApp) return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void MostrarGlobo(CBalloonToolTip& tt, const QString& title, const QString& text, double X, double Y,
                  QWidget* control) {
    tt.setStyle(1);
    tt.setIcon(1);
    tt.setTitle(title);
    tt.setTipText(text);
    tt.setPopupOnDemand(true);
    tt.CreateToolTip(control);
    tt.Show(qRound(X), qRound(Y), control);
}

} // namespace General
