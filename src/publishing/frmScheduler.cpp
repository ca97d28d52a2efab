#include "publishing/frmScheduler.h"

#include "designer/Campos.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "publishing/ScheduledTasks.h"
#include "publishing/Scheduler.h"
#include "shell/General.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using bd::os::Answer;
using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;
namespace sched = bd::publishing;

namespace {
// Auto-close minutes of a scheduled cube whose own are none.
const QString kMinutosCierrePorDefecto = QStringLiteral("5");
constexpr int kHoraMaxima = 23;
constexpr int kMinutoMaximo = 59;

QString tarea(const QString& nombre) {
    return "The task: \"" + nombre + '"';
}

// The number of a validated hour or minute box, -1 when it is no whole number up to max.
int numeroEnRango(const QString& text, int max) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 2) return -1;
    for (QChar c : t)
        if (c < '0' || c > '9') return -1;
    const int v = t.toInt();
    return v <= max ? v : -1;
}

void pintarDias(QWidget* dias, uint32_t ole) {
    QPalette p = dias->palette();
    p.setColor(QPalette::Window, bd::os::oleToColor(ole));
    dias->setPalette(p);
}
} // namespace

frmScheduler::frmScheduler(QWidget* parent) : QDialog(parent) {
    setObjectName("frmScheduler");
    setWindowTitle("Scheduler");
    auto named = [](auto* w, const char* name) {
        w->setObjectName(name);
        return w;
    };
    txtId = named(new QLineEdit("CubeTask", this), "txtId");
    txtTimeHour = named(new QLineEdit("22", this), "txtTimeHour");
    txtTimeMin = named(new QLineEdit("00", this), "txtTimeMin");
    for (QLineEdit* e : {txtTimeHour, txtTimeMin})
        e->setMaximumWidth(48);
    chkLun = named(new QCheckBox("Mon", this), "chkLun");
    chkMar = named(new QCheckBox("Tue", this), "chkMar");
    chkMier = named(new QCheckBox("Wed", this), "chkMier");
    chkJue = named(new QCheckBox("Thu", this), "chkJue");
    chkVie = named(new QCheckBox("Fri", this), "chkVie");
    chkSab = named(new QCheckBox("Sat", this), "chkSab");
    chkDom = named(new QCheckBox("Sun", this), "chkDom");
    cmdAceptar = named(new QPushButton("OK", this), "cmdAceptar");
    cmdDeleteTask = named(new QPushButton("Delete Task", this), "cmdDeleteTask");
    cmdManageTasks = named(new QPushButton("Manage all tasks", this), "cmdManageTasks");
    cmdAceptar->setDefault(true);

    auto* frame = new QGroupBox("Open this file automatically. Close and send alerts.", this);
    auto* id = new QHBoxLayout;
    id->addWidget(new QLabel("ID", this));
    id->addWidget(txtId, 1);
    auto* hora = new QHBoxLayout;
    hora->addWidget(new QLabel("Time", this));
    hora->addWidget(txtTimeHour);
    hora->addWidget(new QLabel(":", this));
    hora->addWidget(txtTimeMin);
    hora->addStretch(1);
    auto* dias = named(new QWidget(this), "fraDias");
    dias->setAutoFillBackground(true);
    auto* diasLay = new QHBoxLayout(dias);
    diasLay->setContentsMargins(2, 2, 2, 2);
    for (QCheckBox* c : diasSemana()) {
        diasLay->addWidget(c);
        // A ticked day clears the marking of "no day".
        connect(c, &QCheckBox::toggled, this, [dias] { pintarDias(dias, Campos::ColorVentana); });
    }
    auto* frameLay = new QVBoxLayout(frame);
    frameLay->addLayout(id);
    frameLay->addLayout(hora);
    frameLay->addWidget(dias);
    auto* botones = new QHBoxLayout;
    botones->addWidget(cmdManageTasks);
    botones->addStretch(1);
    botones->addWidget(cmdDeleteTask);
    botones->addWidget(cmdAceptar);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(frame);
    lay->addLayout(botones);

    connect(cmdAceptar, &QPushButton::clicked, this, &frmScheduler::cmdAceptar_Click);
    connect(cmdDeleteTask, &QPushButton::clicked, this, &frmScheduler::cmdDeleteTask_Click);
    connect(cmdManageTasks, &QPushButton::clicked, this, &frmScheduler::cmdManageTasks_Click);
    connect(txtTimeHour, &QLineEdit::editingFinished, this, [this] { ValidarNumero(txtTimeHour); });
    connect(txtTimeMin, &QLineEdit::editingFinished, this, [this] { ValidarNumero(txtTimeMin); });
    for (QLineEdit* e : {txtId, txtTimeHour, txtTimeMin})
        e->installEventFilter(this);
}

QList<QCheckBox*> frmScheduler::diasSemana() const {
    return {chkLun, chkMar, chkMier, chkJue, chkVie, chkSab, chkDom};
}

void frmScheduler::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (abierto_) return;
    abierto_ = true;
    Abrir();
}

bool frmScheduler::eventFilter(QObject* o, QEvent* e) {
    // A field marked for correction regains its colour when the user goes back to it.
    if (e->type() == QEvent::FocusIn) Campos::PintarFondo(static_cast<QWidget*>(o), Campos::ColorVentana);
    return QDialog::eventFilter(o, e);
}

void frmScheduler::Abrir() {
    if (!Vcampos) return;
    const Campos& c = *Vcampos;
    const struct {
        int fila;
        QLineEdit* box;
    } textos[] = {{Campos::FilaTareaNombre, txtId},
                  {Campos::FilaTareaHora, txtTimeHour},
                  {Campos::FilaTareaMinuto, txtTimeMin}};
    for (const auto& t : textos)
        if (!c.Propiedad(t.fila).isEmpty()) t.box->setText(c.Propiedad(t.fila));
    const QList<QCheckBox*> dias = diasSemana();
    for (int i = 0; i < dias.size(); ++i) {
        const QString v = c.Propiedad(Campos::FilasTareaDias + i);
        // Any other text (a cube never scheduled) leaves the box as it is.
        if (v == "1" || v == "0") dias[i]->setChecked(v == "1");
    }
}

void frmScheduler::Guardar() {
    if (!Vcampos || !Vcampos->spSave) return;
    bd::grid::Grid& hoja = *Vcampos->spSave;
    hoja.setText(Campos::ColPropiedad, Campos::FilaTareaNombre, txtId->text());
    hoja.setText(Campos::ColPropiedad, Campos::FilaTareaHora, txtTimeHour->text());
    hoja.setText(Campos::ColPropiedad, Campos::FilaTareaMinuto, txtTimeMin->text());
    const QList<QCheckBox*> dias = diasSemana();
    for (int i = 0; i < dias.size(); ++i)
        hoja.setText(Campos::ColPropiedad, Campos::FilasTareaDias + i, dias[i]->isChecked() ? "1" : "0");
}

void frmScheduler::GetNombreTarea() {
    NombreTarea = sched::NombreTarea(txtId->text());
}

void frmScheduler::Concatena(QString& lista, const QString& item) {
    sched::Concatena(lista, item);
}

void frmScheduler::ValidarNumero(QLineEdit* box) {
    const QString v = sched::ValidarNumero(box->text());
    if (v != box->text()) box->setText(v);
}

QString frmScheduler::marca() const {
    return General::GetSetting("OE", SeccionMarcas, NombreTarea);
}

void frmScheduler::setMarca(const QString& value) {
    General::SaveSetting("OE", SeccionMarcas, NombreTarea, value);
}

bool frmScheduler::validar() {
    // OK by the keyboard leaves the time boxes without their rule.
    ValidarNumero(txtTimeHour);
    ValidarNumero(txtTimeMin);
    QString razon;
    auto marcar = [&razon](QWidget* campo, const QString& porque) {
        if (campo) Campos::PintarFondo(campo, Campos::ColorError);
        if (razon.isEmpty()) razon = porque;
    };
    if (NombreTarea.isEmpty())
        marcar(txtId, QStringLiteral("Type an ID for the task."));
    else if (!sched::NombreTareaValido(NombreTarea))
        marcar(txtId, QStringLiteral("The ID may not hold any of \\ / : * ? \" < > | %."));
    const int hora = numeroEnRango(txtTimeHour->text(), kHoraMaxima);
    const int minuto = numeroEnRango(txtTimeMin->text(), kMinutoMaximo);
    if (hora < 0) marcar(txtTimeHour, QStringLiteral("The hour must be a whole number from 0 to 23."));
    if (minuto < 0) marcar(txtTimeMin, QStringLiteral("The minute must be a whole number from 0 to 59."));
    bool algunDia = false;
    for (QCheckBox* c : diasSemana())
        algunDia = algunDia || c->isChecked();
    if (!algunDia) {
        pintarDias(findChild<QWidget*>("fraDias"), Campos::ColorError);
        marcar(nullptr, QStringLiteral("Tick at least one day."));
    }
    const QString ruta = VinsCube ? VinsCube->PathOpenCube : QString();
    if (ruta.isEmpty())
        marcar(nullptr, QStringLiteral("Save the cube first: the task opens its file."));
    else if (!sched::RutaProgramable(ruta))
        marcar(nullptr, QStringLiteral("The cube's path holds a double quote or a line break, which a task "
                                       "cannot carry: save the cube under another name."));
    if (!razon.isEmpty()) {
        MsgBox(razon, Buttons::Ok, Icon::Information, "Error");
        return false;
    }
    // The command takes the boxes as they stand: two digits each.
    txtTimeHour->setText(QStringLiteral("%1").arg(hora, 2, 10, QChar('0')));
    txtTimeMin->setText(QStringLiteral("%1").arg(minuto, 2, 10, QChar('0')));
    return true;
}

void frmScheduler::asegurarCierreAutomatico() {
    if (!Vcampos) return;
    bool ok = false;
    const double minutos = Vcampos->txtAutoClose->text().trimmed().replace(',', '.').toDouble(&ok);
    // A scheduled cube must close itself, or its run would never end.
    if (!ok || !(minutos > 0)) Vcampos->txtAutoClose->setText(kMinutosCierrePorDefecto);
}

void frmScheduler::cmdAceptar_Click() {
    GetNombreTarea();
    if (!validar()) return;
    if (marca() == MarcaCreada && MsgBox(tarea(NombreTarea) + " already exists, do you want to overwrite ?",
                                         Buttons::YesNo, Icon::None, "Overwrite") != Answer::Yes)
        return;
    // The old task goes first, and is gone before the new one is made.
    const sched::SchedulerResult borrado = BorrarTarea();
    if (!borrado.ok && !borrado.noSuchTask) {
        MsgBox(tarea(NombreTarea) + " could not be replaced. " + borrado.reason, Buttons::Ok, Icon::Critical,
               "Error");
        return;
    }
    setMarca(QString());
    QString dias;
    const QList<QCheckBox*> cajas = diasSemana();
    for (int i = 0; i < cajas.size(); ++i)
        if (cajas[i]->isChecked()) Concatena(dias, sched::CodigosDias[i]);
    const sched::SchedulerResult creado = sched::EjecutarProgramador(sched::ComandoCrear(
        dias, NombreTarea, txtTimeHour->text(), txtTimeMin->text(), VinsCube->PathOpenCube));
    if (!creado.ok) {
        MsgBox(tarea(NombreTarea) + " could not be created. " + creado.reason, Buttons::Ok, Icon::Critical,
               "Error");
        return;
    }
    asegurarCierreAutomatico();
    Guardar();
    setMarca(MarcaCreada);
    // The run opens the file: the schedule and the auto-close minutes must be in it.
    QPointer<frmScheduler> self(this);
    if (Vcampos && Vcampos->VCubo) Vcampos->VCubo->Guardar(true, false);
    if (!self) return;
    MsgBox(tarea(NombreTarea) + " has been created and is ready to run.", Buttons::Ok, Icon::Information,
           "Ok");
    if (self) terminar();
}

void frmScheduler::terminar() {
    hide();
    if (Vcampos) {
        Vcampos->cmdAdvSet_Click();
        Vcampos->show();
    }
    accept();
}

bd::publishing::SchedulerResult frmScheduler::BorrarTarea() {
    GetNombreTarea();
    return sched::EjecutarProgramador(sched::ComandoBorrar(NombreTarea));
}

void frmScheduler::cmdDeleteTask_Click() {
    GetNombreTarea();
    if (!sched::NombreTareaValido(NombreTarea)) {
        Campos::PintarFondo(txtId, Campos::ColorError);
        MsgBox(QStringLiteral("The ID may not hold any of \\ / : * ? \" < > | %."), Buttons::Ok,
               Icon::Information, "Error");
        return;
    }
    const sched::SchedulerResult r = BorrarTarea();
    if (!r.ok && !r.noSuchTask) {
        MsgBox(tarea(NombreTarea) + " could not be deleted. " + r.reason, Buttons::Ok, Icon::Critical,
               "Error");
        return;
    }
    setMarca(QString());
    MsgBox(tarea(NombreTarea) + " was deleteded", Buttons::Ok, Icon::Information, "Ok");
}

void frmScheduler::cmdManageTasks_Click() {
    ScheduledTasks lista(this);
    lista.Cargar();
    bd::os::runDialog(&lista);
}
