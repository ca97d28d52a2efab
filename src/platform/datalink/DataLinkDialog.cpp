#include "platform/datalink/DataLinkDialog.h"

#include "platform/db/Connection.h"
#include "platform/os/Desktop.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QVBoxLayout>

namespace bd::db {

namespace {

constexpr int kTestTimeout = 10;

QString pair(const QString& key, const QString& value) {
    return key + '=' + quoteValue(value) + ';';
}

int defaultPort(DataLinkDialog::Kind k) {
    switch (k) {
    case DataLinkDialog::MySql:
        return 3306;
    case DataLinkDialog::PostgreSql:
        return 5432;
    case DataLinkDialog::SqlServer:
        return 1433;
    default:
        return 0;
    }
}

} // namespace

QString DataLinkDialog::kindName(Kind k) {
    switch (k) {
    case Spreadsheet:
        return QStringLiteral("Spreadsheet file (.xlsx, .xls)");
    case DesktopDatabase:
        return QStringLiteral("Desktop database file (.mdb, .accdb)");
    case Csv:
        return QStringLiteral("CSV file (.csv)");
    case SQLite:
        return QStringLiteral("SQLite database file");
    case MySql:
        return QStringLiteral("MySQL / MariaDB server");
    case PostgreSql:
        return QStringLiteral("PostgreSQL server");
    case SqlServer:
        return QStringLiteral("SQL Server");
    case OdbcSource:
        return QStringLiteral("ODBC data source");
    case KindCount:
        break;
    }
    return {};
}

bool DataLinkDialog::installed(Kind k) {
    switch (k) {
    case Spreadsheet:
    case DesktopDatabase:
    case Csv:
    case SQLite: // files are read through SQLite
        return QSqlDatabase::isDriverAvailable("QSQLITE");
    case MySql:
        return QSqlDatabase::isDriverAvailable("QMYSQL");
    case PostgreSql:
        return QSqlDatabase::isDriverAvailable("QPSQL");
    case SqlServer: {
        if (!QSqlDatabase::isDriverAvailable("QODBC")) return false;
        for (const QString& d : odbcDriverNames())
            if (d.startsWith("FreeTDS", Qt::CaseInsensitive)) return true;
        return false;
    }
    case OdbcSource:
        return QSqlDatabase::isDriverAvailable("QODBC");
    case KindCount:
        break;
    }
    return false;
}

DataLinkDialog::DataLinkDialog(QWidget* parent, Availability available) : QDialog(parent) {
    setObjectName("DataLinkDialog");
    setWindowTitle("Data Link Properties");
    for (int i = 0; i < KindCount; ++i)
        available_[i] = available ? available(Kind(i)) : installed(Kind(i));
    buildKindList();
    buildFieldControls();
    QFormLayout* form = buildForm();

    auto* buttons = new QDialogButtonBox(this);
    cmdOk = buttons->addButton(QDialogButtonBox::Ok);
    cmdOk->setObjectName("cmdOk");
    cmdCancel = buttons->addButton(QDialogButtonBox::Cancel);
    cmdCancel->setObjectName("cmdCancel");

    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addWidget(cmdTest, 0, Qt::AlignLeft);
    right->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(lstKind, 2);
    top->addLayout(right, 3);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(top, 1);
    lay->addWidget(buttons);

    connect(lstKind, &QListWidget::currentRowChanged, this, &DataLinkDialog::kindChanged);
    connect(cmdBrowse, &QPushButton::clicked, this, &DataLinkDialog::browse);
    connect(cmdTest, &QPushButton::clicked, this, &DataLinkDialog::testConnection);
    connect(cmdOk, &QPushButton::clicked, this, &DataLinkDialog::okClicked);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    for (int i = 0; i < KindCount; ++i)
        if (available_[i]) {
            setKind(Kind(i));
            break;
        }
    kindChanged();
    resize(620, 360);
}

// Every kind of data source, those without a driver greyed out.
void DataLinkDialog::buildKindList() {
    lstKind = new QListWidget(this);
    lstKind->setObjectName("lstKind");
    for (int i = 0; i < KindCount; ++i) {
        auto* item = new QListWidgetItem(kindName(Kind(i)), lstKind);
        if (!available_[i]) {
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
            item->setToolTip("No driver for this kind of data source is installed.");
        }
    }
}

void DataLinkDialog::buildFieldControls() {
    txtFile = new QLineEdit(this);
    txtFile->setObjectName("txtFile");
    cmdBrowse = new QPushButton("Browse...", this);
    cmdBrowse->setObjectName("cmdBrowse");
    txtHost = new QLineEdit("127.0.0.1", this);
    txtHost->setObjectName("txtHost");
    txtPort = new QSpinBox(this);
    txtPort->setObjectName("txtPort");
    txtPort->setRange(0, 65535);
    txtDatabase = new QLineEdit(this);
    txtDatabase->setObjectName("txtDatabase");
    cmbDsn = new QComboBox(this);
    cmbDsn->setObjectName("cmbDsn");
    cmbDsn->setEditable(true);
    txtUser = new QLineEdit(this);
    txtUser->setObjectName("txtUser");
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName("txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    chkSavePassword = new QCheckBox("Allow saving password", this);
    chkSavePassword->setObjectName("chkSavePassword");
    cmdTest = new QPushButton("Test Connection", this);
    cmdTest->setObjectName("cmdTest");
    cmdTest->setAutoDefault(false);
}

// The fields with their captions; kindChanged shows those the kind needs.
QFormLayout* DataLinkDialog::buildForm() {
    auto* form = new QFormLayout;
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(txtFile, 1);
    fileRow->addWidget(cmdBrowse);
    lblFile = new QLabel("File", this);
    lblHost = new QLabel("Server", this);
    lblPort = new QLabel("Port", this);
    lblDatabase = new QLabel("Database", this);
    lblDsn = new QLabel("Data source name", this);
    lblUser = new QLabel("User name", this);
    lblPassword = new QLabel("Password", this);
    form->addRow(lblFile, fileRow);
    form->addRow(lblHost, txtHost);
    form->addRow(lblPort, txtPort);
    form->addRow(lblDatabase, txtDatabase);
    form->addRow(lblDsn, cmbDsn);
    form->addRow(lblUser, txtUser);
    form->addRow(lblPassword, txtPassword);
    form->addRow(QString(), chkSavePassword);
    return form;
}

bool DataLinkDialog::isAvailable(Kind k) const {
    return k >= 0 && k < KindCount && available_[k];
}

DataLinkDialog::Kind DataLinkDialog::kind() const {
    const int r = lstKind->currentRow();
    return r >= 0 && r < KindCount ? Kind(r) : KindCount;
}

bool DataLinkDialog::setKind(Kind k) {
    if (!isAvailable(k)) return false;
    lstKind->setCurrentRow(k);
    return true;
}

bool DataLinkDialog::fileKind() const {
    const Kind k = kind();
    return k == Spreadsheet || k == DesktopDatabase || k == Csv || k == SQLite;
}

void DataLinkDialog::kindChanged() {
    const Kind k = kind();
    const bool file = fileKind();
    const bool server = k == MySql || k == PostgreSql || k == SqlServer;
    const bool odbc = k == OdbcSource;
    for (QWidget* w : std::initializer_list<QWidget*>{lblFile, txtFile, cmdBrowse})
        w->setVisible(file);
    for (QWidget* w :
         std::initializer_list<QWidget*>{lblHost, txtHost, lblPort, txtPort, lblDatabase, txtDatabase})
        w->setVisible(server);
    lblDsn->setVisible(odbc);
    cmbDsn->setVisible(odbc);
    for (QWidget* w :
         std::initializer_list<QWidget*>{lblUser, txtUser, lblPassword, txtPassword, chkSavePassword})
        w->setVisible(server || odbc);
    if (server) txtPort->setValue(defaultPort(k));
    if (odbc && cmbDsn->count() == 0) cmbDsn->addItems(odbcDataSourceNames());
    cmdTest->setEnabled(k != KindCount);
    cmdOk->setEnabled(k != KindCount);
}

void DataLinkDialog::browse() {
    bd::os::FileDialogRequest r;
    r.owner = this;
    r.fileName = txtFile->text();
    switch (kind()) {
    case Spreadsheet:
        r.filter = "Spreadsheet files (*.xlsx;*.xls)|*.xlsx;*.xls|All files|*.*";
        break;
    case DesktopDatabase:
        r.filter = "Desktop database files (*.mdb;*.accdb)|*.mdb;*.accdb|All files|*.*";
        break;
    case Csv:
        r.filter = "CSV files (*.csv)|*.csv|All files|*.*";
        break;
    default:
        r.filter = "SQLite databases (*.db;*.sqlite;*.sqlite3)|*.db;*.sqlite;*.sqlite3|All files|*.*";
        break;
    }
    if (const auto chosen = bd::os::fileDialogs().choose(r)) txtFile->setText(*chosen);
}

QString DataLinkDialog::missing() const {
    const Kind k = kind();
    if (k == KindCount) return QStringLiteral("Choose a kind of data source.");
    if (fileKind()) return txtFile->text().trimmed().isEmpty() ? QStringLiteral("Choose a file.") : QString();
    if (k == OdbcSource)
        return cmbDsn->currentText().trimmed().isEmpty() ? QStringLiteral("Give a data source name.")
                                                         : QString();
    if (txtHost->text().trimmed().isEmpty()) return QStringLiteral("Give the server's name.");
    return {};
}

namespace {
QString build(const DataLinkDialog& d, bool withPassword) {
    using K = DataLinkDialog::Kind;
    if (!d.missing().isEmpty()) return {};
    const QString file = d.txtFile->text().trimmed();
    const QString user = d.txtUser->text();
    const QString pass = d.txtPassword->text();
    QString security;
    if (!user.isEmpty()) security += pair(d.kind() == K::OdbcSource ? "UID" : "User ID", user);
    if (withPassword) security += pair(d.kind() == K::OdbcSource ? "PWD" : "Password", pass);
    security += pair("Persist Security Info", withPassword ? "True" : "False");
    const QString host = d.txtHost->text().trimmed();
    const QString port = QString::number(d.txtPort->value());
    const QString db = d.txtDatabase->text().trimmed();
    QString s;
    switch (d.kind()) {
    case K::Spreadsheet: {
        const bool xls = QFileInfo(file).suffix().compare("xls", Qt::CaseInsensitive) == 0;
        s = pair("Provider", "Microsoft.ACE.OLEDB.12.0") + pair("Data Source", file) +
            pair("Extended Properties", xls ? "Excel 8.0;HDR=YES" : "Excel 12.0 Xml;HDR=YES");
        break;
    }
    case K::DesktopDatabase:
        s = pair("Provider", "Microsoft.ACE.OLEDB.12.0") + pair("Data Source", file);
        break;
    case K::Csv: {
        // The text driver reads a folder; each of its files is a table.
        const QFileInfo fi(file);
        const QString folder = fi.isDir() ? file : fi.absolutePath();
        s = pair("Provider", "Microsoft.Jet.OLEDB.4.0") + pair("Data Source", folder + '/') +
            pair("Extended Properties", "text;HDR=Yes;FMT=Delimited");
        break;
    }
    case K::SQLite:
        s = pair("Provider", "SQLite") + pair("Data Source", file);
        break;
    case K::MySql:
        s = pair("Provider", "MySQLProv") + pair("Server", host) + pair("Port", port) + pair("Database", db) +
            security;
        break;
    case K::PostgreSql:
        s = pair("Provider", "PostgreSQL OLE DB Provider") + pair("Server", host) + pair("Port", port) +
            pair("Database", db) + security;
        break;
    case K::SqlServer:
        s = pair("Provider", "SQLOLEDB") + pair("Data Source", host + ',' + port) +
            pair("Initial Catalog", db) + security;
        break;
    case K::OdbcSource:
        s = pair("Provider", "MSDASQL") + pair("DSN", d.cmbDsn->currentText().trimmed()) + security;
        break;
    case K::KindCount:
        break;
    }
    if (s.endsWith(';')) s.chop(1);
    return s;
}
} // namespace

QString DataLinkDialog::connectionString() const {
    return build(*this, chkSavePassword->isChecked());
}

bool DataLinkDialog::testConnection() {
    using namespace bd::os;
    const QString why = missing();
    if (!why.isEmpty()) {
        MsgBox(why, Buttons::Ok, Icon::Information, "Data Link");
        return false;
    }
    Connection c;
    QString error;
    if (!c.open(build(*this, true), kTestTimeout, &error)) {
        MsgBox("Test connection failed: " + error, Buttons::Ok, Icon::Critical, "Data Link");
        return false;
    }
    MsgBox("Test connection succeeded.", Buttons::Ok, Icon::Information, "Data Link");
    return true;
}

void DataLinkDialog::okClicked() {
    const QString why = missing();
    if (!why.isEmpty()) {
        bd::os::MsgBox(why, bd::os::Buttons::Ok, bd::os::Icon::Information, "Data Link");
        return;
    }
    accept();
}

QString DataLinkDialog::prompt(QWidget* owner, Kind* chosen) {
    DataLinkDialog d(owner);
    if (bd::os::runDialog(&d) != QDialog::Accepted) return {};
    const QString cs = d.connectionString();
    // Not to be saved, yet the connections of this session must be the one the test made.
    if (!d.chkSavePassword->isChecked() && d.txtPassword->isVisibleTo(&d))
        setSessionPassword(cs, d.txtPassword->text());
    if (chosen) *chosen = d.kind();
    return cs;
}

QString DataLinkDialog::engineBoxName(Kind k) {
    switch (k) {
    case Spreadsheet:
    case Csv:
        return QStringLiteral("EXCEL");
    case DesktopDatabase:
        return QStringLiteral("ACCESS");
    case SqlServer:
        return QStringLiteral("MSSQL");
    case MySql:
        return QStringLiteral("MYSQL");
    default:
        return QStringLiteral("OTHER");
    }
}

} // namespace bd::db
