#pragma once
#include "platform/db/Connection.h"
// The data-link dialog: the user picks a kind of data source, fills in what it needs, may test it,
// and gets back a connection string in the data layer's grammar ("" when cancelled).
#include <QDialog>
#include <QStringList>
#include <functional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace bd::db {

class DataLinkDialog : public QDialog {
    Q_OBJECT
public:
    // In the order of the list.
    enum Kind {
        Spreadsheet,
        DesktopDatabase,
        Csv,
        SQLite,
        MySql,
        PostgreSql,
        SqlServer,
        OdbcSource,
        KindCount
    };

    // Whether a kind can be reached on this system (the Qt driver, and FreeTDS for SQL Server).
    using Availability = std::function<bool(Kind)>;
    static bool installed(Kind k);

    explicit DataLinkDialog(QWidget* parent = nullptr, Availability available = {});

    // Shows the dialog through the dialog runner; the connection string, or "" when cancelled (then
    // chosen is left as it was). A password typed with saving off is kept for this session's
    // connections to that source (setSessionPassword), not written into the string.
    static QString prompt(QWidget* owner = nullptr, Kind* chosen = nullptr);

    static QString kindName(Kind k);
    // The designer's engine name for a kind: "EXCEL", "ACCESS", "MSSQL", "MYSQL" or "OTHER".
    static QString engineBoxName(Kind k);
    bool isAvailable(Kind k) const;
    Kind kind() const;
    // False (and nothing changes) for a kind that is not available.
    bool setKind(Kind k);
    // The connection string the fields describe ("" while a required field is empty).
    QString connectionString() const;
    // What is missing for the current kind, or "" when complete.
    QString missing() const;

    // The connection is opened as the program opens it; the outcome is shown in a message box.
    bool testConnection();

    QListWidget* lstKind;
    QLineEdit* txtFile;
    QPushButton* cmdBrowse;
    QLineEdit* txtHost;
    QSpinBox* txtPort;
    QLineEdit* txtDatabase;
    QComboBox* cmbDsn;
    QLineEdit* txtUser;
    QLineEdit* txtPassword;
    QCheckBox* chkSavePassword; // "Allow saving password"
    QPushButton* cmdTest;       // "Test Connection"
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

private:
    void buildKindList();
    void buildFieldControls();
    QFormLayout* buildForm();
    void kindChanged();
    void browse();
    void okClicked();
    bool fileKind() const;

    bool available_[KindCount] = {};
    QLabel* lblFile;
    QLabel* lblHost;
    QLabel* lblPort;
    QLabel* lblDatabase;
    QLabel* lblDsn;
    QLabel* lblUser;
    QLabel* lblPassword;
};

// The ODBC drivers and data source names the driver manager knows.

} // namespace bd::db
