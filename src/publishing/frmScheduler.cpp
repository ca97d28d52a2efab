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
const QString kDefaultAutoCloseMinutes = QStringLiteral("5");
constexpr int kMaxHour = 23;
constexpr int kMaxMinute = 59;

QString taskLabel(const QString& name) {
    return "The task: \"" + name + '"';
}

// The number of a validated hour or minute box, -1 when it is no whole number up to max.
int numberInRange(const QString& text, int max) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 2) return -1;
    for (QChar c : t)
        if (c < '0' || c > '9') return -1;
    const int v = t.toInt();
    return v <= max ? v : -1;
}

void paintDays(QWidget* days, uint32_t ole) {
    QPalette p = days->palette();
    p.setColor(QPalette::Window, bd::os::oleToColor(ole));
    days->setPalette(p);
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
    auto* hour = new QHBoxLayout;
    hour->addWidget(new QLabel("Time", this));
    hour->addWidget(txtTimeHour);
    hour->addWidget(new QLabel(":", this));
    hour->addWidget(txtTimeMin);
    hour->addStretch(1);
    auto* days = named(new QWidget(this), "fraDias");
    days->setAutoFillBackground(true);
    auto* daysLayout = new QHBoxLayout(days);
    daysLayout->setContentsMargins(2, 2, 2, 2);
    for (QCheckBox* c : dayBoxes()) {
        daysLayout->addWidget(c);
        // A ticked day clears the marking of "no day".
        connect(c, &QCheckBox::toggled, this, [days] { paintDays(days, Campos::ColorWindow); });
    }
    auto* frameLay = new QVBoxLayout(frame);
    frameLay->addLayout(id);
    frameLay->addLayout(hour);
    frameLay->addWidget(days);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdManageTasks);
    buttons->addStretch(1);
    buttons->addWidget(cmdDeleteTask);
    buttons->addWidget(cmdAceptar);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(frame);
    lay->addLayout(buttons);

    connect(cmdAceptar, &QPushButton::clicked, this, &frmScheduler::cmdAceptar_Click);
    connect(cmdDeleteTask, &QPushButton::clicked, this, &frmScheduler::cmdDeleteTask_Click);
    connect(cmdManageTasks, &QPushButton::clicked, this, &frmScheduler::cmdManageTasks_Click);
    connect(txtTimeHour, &QLineEdit::editingFinished, this, [this] { ValidarNumero(txtTimeHour); });
    connect(txtTimeMin, &QLineEdit::editingFinished, this, [this] { ValidarNumero(txtTimeMin); });
    for (QLineEdit* e : {txtId, txtTimeHour, txtTimeMin})
        e->installEventFilter(this);
}

QList<QCheckBox*> frmScheduler::dayBoxes() const {
    return {chkLun, chkMar, chkMier, chkJue, chkVie, chkSab, chkDom};
}

void frmScheduler::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (opened_) return;
    opened_ = true;
    Abrir();
}

bool frmScheduler::eventFilter(QObject* o, QEvent* e) {
    // A field marked for correction regains its colour when the user goes back to it.
    if (e->type() == QEvent::FocusIn) Campos::PaintBackground(static_cast<QWidget*>(o), Campos::ColorWindow);
    return QDialog::eventFilter(o, e);
}

void frmScheduler::Abrir() {
    if (!Vcampos) return;
    const Campos& c = *Vcampos;
    const struct {
        int row;
        QLineEdit* box;
    } texts[] = {{Campos::FilaTareaNombre, txtId},
                 {Campos::FilaTareaHora, txtTimeHour},
                 {Campos::FilaTareaMinuto, txtTimeMin}};
    for (const auto& t : texts)
        if (!c.Property(t.row).isEmpty()) t.box->setText(c.Property(t.row));
    const QList<QCheckBox*> days = dayBoxes();
    for (int i = 0; i < days.size(); ++i) {
        const QString v = c.Property(Campos::FilasTareaDias + i);
        // Any other text (a cube never scheduled) leaves the box as it is.
        if (v == "1" || v == "0") days[i]->setChecked(v == "1");
    }
}

void frmScheduler::Guardar() {
    if (!Vcampos || !Vcampos->spSave) return;
    bd::grid::Grid& sheet = *Vcampos->spSave;
    sheet.setText(Campos::ColProperty, Campos::FilaTareaNombre, txtId->text());
    sheet.setText(Campos::ColProperty, Campos::FilaTareaHora, txtTimeHour->text());
    sheet.setText(Campos::ColProperty, Campos::FilaTareaMinuto, txtTimeMin->text());
    const QList<QCheckBox*> days = dayBoxes();
    for (int i = 0; i < days.size(); ++i)
        sheet.setText(Campos::ColProperty, Campos::FilasTareaDias + i, days[i]->isChecked() ? "1" : "0");
}

void frmScheduler::GetNombreTarea() {
    CurrentTaskName = sched::TaskName(txtId->text());
}

void frmScheduler::Concatena(QString& list, const QString& item) {
    sched::Concatena(list, item);
}

void frmScheduler::ValidarNumero(QLineEdit* box) {
    const QString v = sched::ValidarNumero(box->text());
    if (v != box->text()) box->setText(v);
}

QString frmScheduler::mark() const {
    return General::GetSetting("OE", MarksSection, CurrentTaskName);
}

void frmScheduler::setMark(const QString& value) {
    General::SaveSetting("OE", MarksSection, CurrentTaskName, value);
}

bool frmScheduler::validate() {
    // OK by the keyboard leaves the time boxes without their rule.
    ValidarNumero(txtTimeHour);
    ValidarNumero(txtTimeMin);
    QString reason;
    auto flag = [&reason](QWidget* box, const QString& why) {
        if (box) Campos::PaintBackground(box, Campos::ColorError);
        if (reason.isEmpty()) reason = why;
    };
    if (CurrentTaskName.isEmpty())
        flag(txtId, QStringLiteral("Type an ID for the task."));
    else if (!sched::IsValidTaskName(CurrentTaskName))
        flag(txtId, QStringLiteral("The ID may not hold any of \\ / : * ? \" < > | %."));
    const int hour = numberInRange(txtTimeHour->text(), kMaxHour);
    const int minute = numberInRange(txtTimeMin->text(), kMaxMinute);
    if (hour < 0) flag(txtTimeHour, QStringLiteral("The hour must be a whole number from 0 to 23."));
    if (minute < 0) flag(txtTimeMin, QStringLiteral("The minute must be a whole number from 0 to 59."));
    bool anyDay = false;
    for (QCheckBox* c : dayBoxes())
        anyDay = anyDay || c->isChecked();
    if (!anyDay) {
        paintDays(findChild<QWidget*>("fraDias"), Campos::ColorError);
        flag(nullptr, QStringLiteral("Tick at least one day."));
    }
    const QString path = VinsCube ? VinsCube->PathOpenCube : QString();
    if (path.isEmpty())
        flag(nullptr, QStringLiteral("Save the cube first: the task opens its file."));
    else if (!sched::IsSchedulablePath(path))
        flag(nullptr, QStringLiteral("The cube's path holds a double quote or a line break, which a task "
                                     "cannot carry: save the cube under another name."));
    if (!reason.isEmpty()) {
        MsgBox(reason, Buttons::Ok, Icon::Information, "Error");
        return false;
    }
    // The command takes the boxes as they stand: two digits each.
    txtTimeHour->setText(QStringLiteral("%1").arg(hour, 2, 10, QChar('0')));
    txtTimeMin->setText(QStringLiteral("%1").arg(minute, 2, 10, QChar('0')));
    return true;
}

void frmScheduler::ensureAutoClose() {
    if (!Vcampos) return;
    bool ok = false;
    const double minutes = Vcampos->txtAutoClose->text().trimmed().replace(',', '.').toDouble(&ok);
    // A scheduled cube must close itself, or its run would never end.
    if (!ok || !(minutes > 0)) Vcampos->txtAutoClose->setText(kDefaultAutoCloseMinutes);
}

void frmScheduler::cmdAceptar_Click() {
    GetNombreTarea();
    if (!validate()) return;
    if (mark() == CreatedMark &&
        MsgBox(taskLabel(CurrentTaskName) + " already exists, do you want to overwrite ?", Buttons::YesNo,
               Icon::None, "Overwrite") != Answer::Yes)
        return;
    // The old task goes first, and is gone before the new one is made.
    const sched::SchedulerResult deleted = BorrarTarea();
    if (!deleted.ok && !deleted.noSuchTask) {
        MsgBox(taskLabel(CurrentTaskName) + " could not be replaced. " + deleted.reason, Buttons::Ok,
               Icon::Critical, "Error");
        return;
    }
    setMark(QString());
    QString days;
    const QList<QCheckBox*> boxes = dayBoxes();
    for (int i = 0; i < boxes.size(); ++i)
        if (boxes[i]->isChecked()) Concatena(days, sched::DayCodes[i]);
    const sched::SchedulerResult created = sched::RunScheduler(sched::CreateCommand(
        days, CurrentTaskName, txtTimeHour->text(), txtTimeMin->text(), VinsCube->PathOpenCube));
    if (!created.ok) {
        MsgBox(taskLabel(CurrentTaskName) + " could not be created. " + created.reason, Buttons::Ok,
               Icon::Critical, "Error");
        return;
    }
    ensureAutoClose();
    Guardar();
    setMark(CreatedMark);
    // The run opens the file: the schedule and the auto-close minutes must be in it.
    QPointer<frmScheduler> self(this);
    if (Vcampos && Vcampos->VCubo) Vcampos->VCubo->Guardar(true, false);
    if (!self) return;
    MsgBox(taskLabel(CurrentTaskName) + " has been created and is ready to run.", Buttons::Ok,
           Icon::Information, "Ok");
    if (self) finish();
}

void frmScheduler::finish() {
    hide();
    if (Vcampos) {
        Vcampos->cmdAdvSet_Click();
        Vcampos->show();
    }
    accept();
}

bd::publishing::SchedulerResult frmScheduler::BorrarTarea() {
    GetNombreTarea();
    return sched::RunScheduler(sched::DeleteCommand(CurrentTaskName));
}

void frmScheduler::cmdDeleteTask_Click() {
    GetNombreTarea();
    if (!sched::IsValidTaskName(CurrentTaskName)) {
        Campos::PaintBackground(txtId, Campos::ColorError);
        MsgBox(QStringLiteral("The ID may not hold any of \\ / : * ? \" < > | %."), Buttons::Ok,
               Icon::Information, "Error");
        return;
    }
    const sched::SchedulerResult r = BorrarTarea();
    if (!r.ok && !r.noSuchTask) {
        MsgBox(taskLabel(CurrentTaskName) + " could not be deleted. " + r.reason, Buttons::Ok, Icon::Critical,
               "Error");
        return;
    }
    setMark(QString());
    MsgBox(taskLabel(CurrentTaskName) + " was deleteded", Buttons::Ok, Icon::Information, "Ok");
}

void frmScheduler::cmdManageTasks_Click() {
    ScheduledTasks list(this);
    list.Load();
    bd::os::runDialog(&list);
}
