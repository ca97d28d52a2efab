#include "platform/os/Desktop.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace bd::os {
namespace {
class QtDesktop : public Desktop {
public:
    bool openFile(const QString& path) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    bool openUrl(const QString& url) override { return QDesktopServices::openUrl(QUrl(url)); }
};

class QtFileDialogs : public FileDialogs {
public:
    std::optional<QString> choose(const FileDialogRequest& r) override {
        QFileDialog dlg(r.owner, r.title, r.initialDir, qtFilter(r.filter));
        dlg.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!r.defaultExt.isEmpty()) dlg.setDefaultSuffix(r.defaultExt);
        if (!r.fileName.isEmpty()) dlg.selectFile(r.fileName);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
        return dlg.selectedFiles().first();
    }
};

QtDesktop g_qtDesktop;
Desktop* g_desktop = nullptr;
QtFileDialogs g_qtDialogs;
FileDialogs* g_dialogs = nullptr;
} // namespace

Desktop& desktop() {
    return g_desktop ? *g_desktop : g_qtDesktop;
}
void setDesktop(Desktop* d) {
    g_desktop = d;
}

std::optional<QString> ScriptedFileDialogs::choose(const FileDialogRequest& r) {
    requests.push_back(r);
    if (answers.isEmpty()) return std::nullopt;
    return answers.takeFirst();
}

FileDialogs& fileDialogs() {
    return g_dialogs ? *g_dialogs : g_qtDialogs;
}
void setFileDialogs(FileDialogs* f) {
    g_dialogs = f;
}

QString qtFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split('|', Qt::SkipEmptyParts);
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pat = parts[i + 1];
        pat.replace(';', ' ');
        out << QStringLiteral("%1 (%2)").arg(parts[i], pat);
    }
    if (out.isEmpty() && !pipeFilter.isEmpty()) out << pipeFilter;
    return out.join(";;");
}

} // namespace bd::os
