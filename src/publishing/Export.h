#pragma once
// The export dialog: writes a viewer's pivot table to a spreadsheet ("xls") or HTML file and offers
// to open it. One instance, shown without a modal flag, serves whichever viewer opened it last.
#include <QCheckBox>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QString>

namespace bd::pivot {
class PivotTable;
}

class Export : public QDialog {
    Q_OBJECT
public:
    static Export* instance();
    static bool loaded();
    static void unload();

    // The cube name: caption suffix and file name proposal.
    QString TABLA;
    // The pivot whose exports write the file; weak, so a viewer that closes leaves it null.
    QPointer<bd::pivot::PivotTable> Cubo;

    QCheckBox* chkTotales;
    QRadioButton* Option1; // Excel
    QRadioButton* Option2; // Html
    QPushButton* cmdAceptar;
    QPushButton* cmdCancelar;

    // Serves a viewer: its pivot and cube name, and the caption that names it.
    void Serve(bd::pivot::PivotTable* dc, const QString& table);
    void cmdAceptar_Click();
    void cmdCancelar_Click();
    // TABLA with blanks and "/" as "_", a dot and the extension.
    static QString ProposedName(const QString& table, const QString& extension);

    // Escape unloads the dialog like Cancel.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    explicit Export(QWidget* parent = nullptr);
    void Form_Load();
    void Form_Unload();
    // The export itself; false with the reason in *error.
    bool ExportTo(const QString& path, QString* error);
};
