#pragma once
// The scheduler window ("Scheduler"): a weekly task that opens the saved cube unattended, so that it
// refreshes, closes itself after its auto-close minutes and sends its alerts. The schedule lives in
// rows 13-22 of the cube's property sheet, a marker per task name in the settings store. Shown
// modally by Campos::OpenScheduler, which sets VinsCube and Vcampos first.
#include "publishing/Scheduler.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

class InsCube;
class Campos;

class frmScheduler : public QDialog {
    Q_OBJECT
public:
    explicit frmScheduler(QWidget* parent = nullptr);

    QPointer<InsCube> VinsCube;
    QPointer<Campos> Vcampos;

    QLineEdit* txtId;
    QLineEdit* txtTimeHour;
    QLineEdit* txtTimeMin;
    QCheckBox* chkLun;
    QCheckBox* chkMar;
    QCheckBox* chkMier;
    QCheckBox* chkJue;
    QCheckBox* chkVie;
    QCheckBox* chkSab;
    QCheckBox* chkDom;
    QPushButton* cmdAceptar;
    QPushButton* cmdDeleteTask;
    QPushButton* cmdManageTasks;

    // The day boxes, Monday first.
    QList<QCheckBox*> dayBoxes() const;

    // Loads the schedule rows into the controls (the window's load step runs it once the opener has
    // set Vcampos).
    void Abrir();
    // Writes the schedule rows 13-22.
    void Guardar();
    void GetNombreTarea();
    // Runs the delete command of the task named in txtId, waited for.
    bd::publishing::SchedulerResult BorrarTarea();
    static void Concatena(QString& list, const QString& item);
    static void ValidarNumero(QLineEdit* box);

    void cmdAceptar_Click();
    void cmdDeleteTask_Click();
    void cmdManageTasks_Click();

    // The settings key of the task markers, and their value for a created task.
    static inline const QString MarksSection = QStringLiteral("CUBO");
    static inline const QString CreatedMark = QStringLiteral("Y");

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    // Paints the fields the user must correct and tells the first reason; true when all is right.
    bool validate();
    QString mark() const;
    void setMark(const QString& value);
    // The auto-close minutes of the designer, 5 when empty or not a positive number.
    void ensureAutoClose();
    void finish();
    QString CurrentTaskName;
    bool opened_ = false;
};
