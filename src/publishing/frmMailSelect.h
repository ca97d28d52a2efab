#pragma once
// The modal recipient list of an alert rule: the addresses used before (the file "mails.txt" of the
// program folder, one entry a line) to pick from, and the recipient text being edited. The caller puts
// the rule's recipients into txtMail, shows it, and takes txtMail back only when Cambio is True (OK).
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

class frmMailSelect : public QDialog {
    Q_OBJECT
public:
    explicit frmMailSelect(QWidget* parent = nullptr);

    QPointer<QWidget> Vcampos; // the designer that opened it
    // While True, closing the window only hides it, so that the caller can still read txtMail;
    // otherwise a closed window goes away.
    bool CancelarUnload = false;
    bool Cambio = false; // OK accepted the text

    QListWidget* lstMail;
    QLineEdit* txtMail;
    QPushButton* cmdAceptar;
    QPushButton* cmdRemove;
    QLabel* Label1;
    QLabel* Label2;

    // Rewrites the file: the list's entries trimmed, blanks dropped, then txtMail when it is no entry
    // already (letter case aside). False, after a message, when the file could not be written.
    bool SalvarTxt();
    void cmdAceptar_Click();
    void cmdRemove_Click();
    void lstMail_Click(QListWidgetItem* item);
    void reject() override;

    static QString MailsFile();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void Form_Load();
};
