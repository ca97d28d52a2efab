#include "publishing/ScheduledTasks.h"

#include "platform/os/Prompter.h"
#include "publishing/Scheduler.h"
#include "publishing/frmScheduler.h"
#include "shell/General.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

namespace sched = bd::publishing;

ScheduledTasks::ScheduledTasks(QWidget* parent) : QDialog(parent) {
    setObjectName("ScheduledTasks");
    setWindowTitle("Scheduled tasks");
    lstTasks = new QTableWidget(0, 4, this);
    lstTasks->setObjectName("lstTasks");
    lstTasks->setHorizontalHeaderLabels({"Task", "Days", "Time", "Cube"});
    lstTasks->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstTasks->setSelectionMode(QAbstractItemView::SingleSelection);
    lstTasks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstTasks->verticalHeader()->hide();
    lstTasks->horizontalHeader()->setStretchLastSection(true);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setWordWrap(true);
    cmdDelete = new QPushButton("Delete", this);
    cmdDelete->setObjectName("cmdDelete");
    cmdClose = new QPushButton("Close", this);
    cmdClose->setObjectName("cmdClose");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdDelete);
    buttons->addWidget(cmdClose);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(lstTasks, 1);
    lay->addWidget(lblStatus);
    lay->addLayout(buttons);
    resize(640, 320);
    connect(cmdDelete, &QPushButton::clicked, this, &ScheduledTasks::cmdDelete_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

bool ScheduledTasks::Load() {
    lstTasks->setRowCount(0);
    const sched::SchedulerResult r = sched::RunScheduler(sched::QueryCommand());
    lblStatus->setText(r.ok ? QString() : "The scheduled tasks could not be read. " + r.reason);
    lblStatus->setVisible(!r.ok);
    const QList<sched::ScheduledTask> tasks = sched::ReadTaskList(r.output);
    for (const sched::ScheduledTask& t : tasks) {
        const int row = lstTasks->rowCount();
        lstTasks->insertRow(row);
        int col = 0;
        for (const QString& v : {t.name, t.days, t.time, t.cube})
            lstTasks->setItem(row, col++, new QTableWidgetItem(v));
    }
    if (!tasks.isEmpty()) lstTasks->selectRow(0);
    lstTasks->resizeColumnsToContents();
    cmdDelete->setEnabled(!tasks.isEmpty());
    return r.ok;
}

void ScheduledTasks::cmdDelete_Click() {
    const QTableWidgetItem* item = lstTasks->item(lstTasks->currentRow(), 0);
    if (!item) return;
    const QString name = item->text();
    // Names that the command line cannot carry were not made by us and cannot be deleted by it.
    if (!sched::IsValidTaskName(name)) {
        bd::os::MsgBox("The task \"" + name + "\" cannot be deleted from here.", bd::os::Buttons::Ok,
                       bd::os::Icon::Information, "Error");
        return;
    }
    const sched::SchedulerResult r = sched::RunScheduler(sched::DeleteCommand(name));
    if (!r.ok && !r.noSuchTask)
        bd::os::MsgBox("The task: \"" + name + "\" could not be deleted. " + r.reason, bd::os::Buttons::Ok,
                       bd::os::Icon::Critical, "Error");
    else
        General::SaveSetting("OE", frmScheduler::MarksSection, name, QString());
    Load();
}
