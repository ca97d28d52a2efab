// The designer's side of the cube file: the property sheet's rows and the cube settings a newly
// opened cube starts from.
#include "designer/Campos.h"
#include "platform/os/Clock.h"
#include "platform/querybuilder/QueryBuilder.h"

QString Campos::Property(int row) const {
    return spSave ? spSave->text(ColProperty, row) : QString();
}

void Campos::SaveInitialOptions() {
    InitialOptions.autorefresh = txtAutorefresh->text();
    InitialOptions.autoclose = txtAutoClose->text();
    InitialOptions.like = txtLike->text();
    InitialOptions.dateIndicator = txtDateIndicator->text();
    InitialOptions.dateFormat = txtDBDateFormat->text();
    InitialOptions.hourFormat = txtDBHourFormat->text();
    InitialOptions.toDate = cmdDBToDate->text();
    InitialOptions.engine = cmbEngine->currentText();
    InitialOptions.valid = true;
}

void Campos::RestoreCubeOptions() {
    // The timers belong to the cube that was open: they must not fire for the next one.
    TimerAutoRefresh->setEnabled(false);
    TimerAutoClose->setEnabled(false);
    AutoRefreshMinutes = 0;
    AutoCloseMinutes = 0;
    frameLockCnn->hide();
    frameLockSql->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{cmdGenerarCnn, lblLastCnn, cmbEngine, comProbarCnn,
                                                      cmdOpenEditor, cmbTbl})
        w->setEnabled(true);
    vProtected = false;
    // The builder holds the last cube's design: the next opening prepares it from this cube.
    aQ->setTag(QString());
    aQ->setSql(QString());
    if (!InitialOptions.valid) return;
    txtAutorefresh->setText(InitialOptions.autorefresh);
    txtAutoClose->setText(InitialOptions.autoclose);
    txtLike->setText(InitialOptions.like);
    txtDateIndicator->setText(InitialOptions.dateIndicator);
    txtDBDateFormat->setText(InitialOptions.dateFormat);
    txtDBHourFormat->setText(InitialOptions.hourFormat);
    cmdDBToDate->setText(InitialOptions.toDate);
    cmbEngine->setCurrentText(InitialOptions.engine);
}
