#include "designer/FrmNewCube.h"

#include "designer/Campos.h"
#include "designer/ConnectionInfoDialogs.h"
#include "designer/NewCubePictures.h"
#include "platform/db/Connection.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QVBoxLayout>

namespace {
constexpr int kPictureSide = 56;
constexpr int kButtonWidth = 112;
constexpr int kButtonHeight = 96;
constexpr int kButtonSpacing = 10;
// Only servers wait for this long; a data file is read here.
constexpr int kFileOpenTimeout = 10;
} // namespace

FrmNewCube::FrmNewCube(FrmMain& main) : QDialog(&main), main_(&main) {
    setObjectName("FrmNewCube");
    setWindowTitle("Choose a database type");
    cmdAccess = pictureButton("cmdAccess", "Access", "ACCESS", "Access");
    cmdExcel = pictureButton("cmdExcel", "Excel", "EXCEL", "Excel");
    cmdSql = pictureButton("cmdSql", "SQL Server", "MSSQL", "Microsoft Sql Server");
    cmdMySql = pictureButton("cmdMySql", "MySQL", "MYSQL", "MySql Server");
    cmdOracle = pictureButton("cmdOracle", "Oracle", "ORACLE", "Oracle");
    cmdOtroTipo = pictureButton("cmdOtroTipo", "Other", "OTHER", "Other");
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    QFont hint = Label1->font();
    hint.setBold(true);
    hint.setPointSize(hint.pointSize() + 2);
    Label1->setFont(hint);
    Label1->setMinimumHeight(Label1->fontMetrics().height() + 8);
    lblDatos = new QLabel(main.GLV("FrmNewCube.lblDatos").replace("\r\n", "\n"), this);
    lblDatos->setObjectName("lblDatos");
    lblDatos->setWordWrap(true);

    // Files and any other source on the first row, the servers on the second.
    auto* grid = new QGridLayout;
    grid->setSpacing(kButtonSpacing);
    QToolButton* const order[] = {cmdAccess, cmdExcel, cmdOtroTipo, cmdSql, cmdMySql, cmdOracle};
    for (int i = 0; i < 6; ++i)
        grid->addWidget(order[i], i / 3, i % 3);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(18, 16, 18, 16);
    lay->addWidget(lblDatos);
    lay->addSpacing(6);
    lay->addLayout(grid);
    lay->addWidget(Label1);
    lblDatos->setMaximumWidth(3 * kButtonWidth + 2 * kButtonSpacing);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdAccess, &QToolButton::clicked, this, &FrmNewCube::cmdAccess_Click);
    connect(cmdExcel, &QToolButton::clicked, this, &FrmNewCube::cmdExcel_Click);
    connect(cmdSql, &QToolButton::clicked, this, &FrmNewCube::cmdSql_Click);
    connect(cmdMySql, &QToolButton::clicked, this, &FrmNewCube::cmdMySql_Click);
    connect(cmdOracle, &QToolButton::clicked, this, &FrmNewCube::cmdOracle_Click);
    connect(cmdOtroTipo, &QToolButton::clicked, this, &FrmNewCube::cmdOtroTipo_Click);
}

QToolButton* FrmNewCube::pictureButton(const char* name, const QString& caption, const QString& kind,
                                       const QString& hint) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(QIcon(newCubePicture(kind, kPictureSide)));
    b->setIconSize(QSize(kPictureSide, kPictureSide));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setFixedSize(kButtonWidth, kButtonHeight);
    b->setAutoRaise(false);
    hints_.insert(b, hint);
    b->installEventFilter(this);
    return b;
}

// The hint follows the pointer from button to button and stays when it leaves them.
bool FrmNewCube::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Enter || e->type() == QEvent::MouseMove || e->type() == QEvent::HoverMove) {
        const auto it = hints_.constFind(watched);
        if (it != hints_.constEnd()) Label1->setText(*it);
    }
    return QDialog::eventFilter(watched, e);
}

void FrmNewCube::cmdAccess_Click() {
    QString tipo = "ACCESS";
    GetCDOpen(tipo);
}

void FrmNewCube::cmdExcel_Click() {
    QString tipo = "EXCEL";
    GetCDOpen(tipo);
}

void FrmNewCube::cmdSql_Click() {
    frmSqlCon info(main_, this);
    bd::os::runDialog(&info);
    MostrarNuevoCubo("MSSQL");
}

void FrmNewCube::cmdMySql_Click() {
    frmMySqlCon info(main_, this);
    bd::os::runDialog(&info);
    MostrarNuevoCubo("MYSQL");
}

void FrmNewCube::cmdOracle_Click() {
    frmOracleCon info(main_, this);
    bd::os::runDialog(&info);
    MostrarNuevoCubo("ORACLE");
}

void FrmNewCube::cmdOtroTipo_Click() {
    MostrarNuevoCubo("OTHER");
}

void FrmNewCube::GetCDOpen(QString& Tipo) {
    if (Tipo == "ACCESS") {
        CD.title = "Choose an MS Access file";
        CD.filter = "Access db|*.mdb;*.accdb|all|*.*";
    } else if (Tipo == "EXCEL") {
        CD.title = "Choose an MS Excel file";
        CD.filter = "Excel Files|*.xls;*.xlsx;*.csv|all|*.*";
    } else {
        return;
    }
    CD.save = false;
    CD.owner = this;
    const std::optional<QString> elegido = bd::os::fileDialogs().choose(CD);
    if (!elegido || elegido->isEmpty()) return;
    const QString archivo = QFileInfo(*elegido).absoluteFilePath();
    // The chooser stays open on a file that cannot make a cube, so the user can pick another.
    const QString why = unusableFileReason(archivo, Tipo);
    if (!why.isEmpty()) {
        bd::os::MsgBox(why, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Error");
        return;
    }
    handOver("Nuevo Cubo", archivo, Tipo);
}

void FrmNewCube::MostrarNuevoCubo(const QString& Tipo) {
    handOver("New Cube", QString(), Tipo);
}

void FrmNewCube::handOver(const QString& IdCube, const QString& PathMSFile, const QString& Tipo) {
    hide();
    if (main_) main_->NuevoCubo(IdCube, "", "", false, false, "", PathMSFile, Tipo);
    done(QDialog::Accepted);
}

QString FrmNewCube::unusableFileReason(const QString& file, const QString& kind) {
    const QString shown = QDir::toNativeSeparators(file);
    const QFileInfo fi(file);
    // A folder, device or pipe is no data file (and a pipe would block the reading).
    if (fi.exists() && !fi.isFile())
        return QStringLiteral("The file \"%1\" cannot be opened: it is not a data file.").arg(shown);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("The file \"%1\" cannot be opened: %2.").arg(shown, f.errorString());
    char first;
    if (f.read(&first, 1) < 0)
        return QStringLiteral("The file \"%1\" cannot be read: %2.").arg(shown, f.errorString());
    f.close();
    // Read now as the designer will read it, so a file of the wrong kind is told here, not as an
    // empty table list. The import is kept, so the designer does not read the file again.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bd::db::Connection probe;
    QString error;
    const bool ok = probe.open(Campos::dataFileConnection(file, kind), kFileOpenTimeout, &error);
    QApplication::restoreOverrideCursor();
    if (!ok) return error.isEmpty() ? QStringLiteral("The file \"%1\" cannot be read.").arg(shown) : error;
    return {};
}
