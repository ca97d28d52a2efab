#pragma once
// The upload properties dialog ("Upload config"): the address of the cube's published view, with
// buttons that copy it or its embed code, and the three publishing settings of the cube's property
// sheet. Shown modally by the designer's cmdUpProperties, which fills it and reads it back.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

class frmUploadProperties : public QDialog {
    Q_OBJECT
public:
    explicit frmUploadProperties(QWidget* parent = nullptr);

    bool Cambio = false; // OK was pressed

    QLineEdit* txtUrl;
    QCheckBox* chkUpload;
    QLineEdit* txtMailAlert;
    QLineEdit* txtFontPix;
    QPushButton* cmdCopyUrl;
    QPushButton* cmdEmbebed;
    QPushButton* cmdAceptar;

    void cmdAceptar_Click();
    void cmdCopyUrl_Click();
    void cmdEmbebed_Click();
    // Leaving the font box: a size that is not a whole number of 1 to 200 pixels becomes "0".
    void txtFontPix_Validate();
};
