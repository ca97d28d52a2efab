#pragma once
// Handing a file or an address to the desktop's program, and the common file dialog.
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class QWidget;

namespace bd::os {

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual bool openFile(const QString& path) = 0;
    virtual bool openUrl(const QString& url) = 0;
};

class RecordingDesktop : public Desktop {
public:
    bool openFile(const QString& path) override {
        opened << path;
        return true;
    }
    bool openUrl(const QString& url) override {
        urls << url;
        return true;
    }
    QStringList opened, urls;
};

Desktop& desktop();
void setDesktop(Desktop* d);

// The common dialog's settings as the windows use them.
struct FileDialogRequest {
    bool save = false;
    QString title;
    QString filter;     // "Cube files (*.cub)|*.cub|All|*.*" style: pairs separated by "|"
    QString defaultExt; // without dot
    QString fileName;   // initial name
    QString initialDir;
    QWidget* owner = nullptr;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen path, or nullopt when the user cancelled.
    virtual std::optional<QString> choose(const FileDialogRequest& r) = 0;
};

// Test double: answers from a queue (nullopt = cancel) and records requests.
class ScriptedFileDialogs : public FileDialogs {
public:
    std::optional<QString> choose(const FileDialogRequest& r) override;
    QVector<FileDialogRequest> requests;
    QVector<std::optional<QString>> answers;
};

FileDialogs& fileDialogs();
void setFileDialogs(FileDialogs* f);

// Converts a "desc|pattern|desc|pattern" filter into Qt's "desc (pattern);;..." form.
QString qtFilter(const QString& pipeFilter);

} // namespace bd::os
