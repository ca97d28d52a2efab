#pragma once
// The two-palette colour picker: a back colour and a text colour, each picked by pointing at its
// palette. The picks are OLE colours as decimal text, "" when none was picked.
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

class FrmColor : public QDialog {
    Q_OBJECT
public:
    explicit FrmColor(QWidget* parent = nullptr);

    QString VColor;  // back colour
    QString VColor2; // text colour

    QGroupBox* Frame1; // "Back Color"
    QLabel* Picture1;
    QGroupBox* Frame2; // "Fore Color"
    QLabel* Picture2;
    QPushButton* cmdAceptar;

    // Pick the colour at (X, Y) of Picture1 (Picture2); a point outside the palette picks nothing.
    void Cambiar_Color(double X, double Y);
    void Cambiar_Color2(double X, double Y);
    void cmdAceptar_Click();
    void reject() override;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    static QString colorAt(const QLabel* picture, double X, double Y);
    static void showColor(QGroupBox* frame, const QString& color);
};

namespace General {
// Shows the colour picker modally over owner; leaves the picks in sColorFondo and sColorTexto ("" for
// no pick, also when the picker was closed without OK).
void ElegirColores(QWidget* owner);
} // namespace General
