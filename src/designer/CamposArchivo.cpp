// The designer's side of the cube file: the property sheet's rows and the cube settings a newly
// opened cube starts from.
#include "designer/Campos.h"
#include "platform/os/Clock.h"
#include "platform/querybuilder/QueryBuilder.h"

QString Campos::Propiedad(int fila) const {
    return spSave ? spSave->text(ColPropiedad, fila) : QString();
}

void Campos::GuardarOpcionesIniciales() {
    OpcionesIniciales.autorefresh = txtAutorefresh->text();
    OpcionesIniciales.autoclose = txtAutoClose->text();
    OpcionesIniciales.like = txtLike->text();
    OpcionesIniciales.dateIndicator = txtDateIndicator->text();
    OpcionesIniciales.dateFormat = txtDBDateFormat->text();
    OpcionesIniciales.hourFormat = txtDBHourFormat->text();
    OpcionesIniciales.toDate = cmdDBToDate->text();
    OpcionesIniciales.engine = cmbEngine->currentText();
    OpcionesIniciales.valid = true;
}

void Campos::RestablecerOpcionesCubo() {
    // The timers belong to the cube that was open: they must not fire for the next one.
    TimerAutoRefresh->setEnabled(false);
    TimerAutoClose->setEnabled(false);
    MinutosAutoRefresh = 0;
    MinutosAutoClose = 0;
    frameLockCnn->hide();
    frameLockSql->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{cmdGenerarCnn, lblLastCnn, cmbEngine, comProbarCnn,
                                                      cmdOpenEditor, cmbTbl})
        w->setEnabled(true);
    vProtected = false;
    // The builder holds the last cube's design: the next opening prepares it from this cube.
    aQ->setTag(QString());
    aQ->setSql(QString());
    if (!OpcionesIniciales.valid) return;
    txtAutorefresh->setText(OpcionesIniciales.autorefresh);
    txtAutoClose->setText(OpcionesIniciales.autoclose);
    txtLike->setText(OpcionesIniciales.like);
    txtDateIndicator->setText(OpcionesIniciales.dateIndicator);
    txtDBDateFormat->setText(OpcionesIniciales.dateFormat);
    txtDBHourFormat->setText(OpcionesIniciales.hourFormat);
    cmdDBToDate->setText(OpcionesIniciales.toDate);
    cmbEngine->setCurrentText(OpcionesIniciales.engine);
}
