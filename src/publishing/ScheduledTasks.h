#pragma once
// The scheduled tasks of this user, as our scheduler keeps them in the crontab: name, days, time and
// cube, with Delete. Opened by the scheduler window's "Manage all tasks".
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

class ScheduledTasks : public QDialog {
    Q_OBJECT
public:
    explicit ScheduledTasks(QWidget* parent = nullptr);

    QTableWidget* lstTasks; // one row per task: name, days, time, cube
    QLabel* lblStatus;      // why the list could not be read
    QPushButton* cmdDelete;
    QPushButton* cmdClose;

    // Reads the tasks again; false (with the reason shown) when the scheduler could not tell.
    bool Load();
    // Deletes the selected task and clears its marker.
    void cmdDelete_Click();
};
