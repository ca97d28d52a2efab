#pragma once
// The text value picker: the From value, or the From/To pair, of a text filter, picked from two lists
// of the field's values, or by letter with the slider whose thumbs run over "A" to "Z". One default
// instance serves the designer's filter grid and the viewer's user-filter grid: the caller touches it
// (instance()), fills the lists and sets the texts and limits, calls GetRange, shows it modally, reads
// Cambio and the texts of FText and TText, resets Cambio and unloads it.
#include "shell/KeyedCollection.h"
#include "viewer/RangeSlider.h"

#include "viewer/DefaultInstance.h"
#include <QComboBox>

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <array>

class InsCube;

class frmSelectText : public QDialog {
    Q_OBJECT
public:
    static frmSelectText* instance() { return DefaultInstance<frmSelectText>::get(); }
    static void unload() { DefaultInstance<frmSelectText>::unload(); }
    static bool loaded() { return DefaultInstance<frmSelectText>::loaded(); }

    QString MaxRange;
    QString MinRange;
    bool NoRange = false;
    QPointer<InsCube> VinsCube; // needed only by "   From Table"
    bool Cambio = false;
    QString FTTable;
    QString FTField;
    QString FTWhere;
    QString FTSql;

    QLabel* Label4;
    QComboBox* FText;
    QLabel* lblTo;
    QComboBox* TText;
    RangeSlider* TimeRange;
    QPushButton* cmdAceptar;
    QPushButton* cmdFromTBL; // shown by the designer, which passes the cube

    void GetRange();
    QString GetLetter(int position) const;
    int EncontratIndiceABC(const QString& letter) const;
    void GetcmbValue();
    void TimeRangeChange();
    void cmdAceptar_Click();
    void cmdFromTBL_Click();

    // Both value lists := the values of the values query over the cube's connection, run read-only;
    // the texts of the boxes stay as they are. A refused or failing query is reported.
    void FillValueLists(InsCube& cube, const QString& sql);

    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    friend class DefaultInstance<frmSelectText>;
    explicit frmSelectText(QWidget* parent = nullptr);
    void Form_Load();
    void BuildLetterTable();
    // The first list entry of each letter, found once per filling of the list.
    int firstEntry(QComboBox* list, int position);

    KeyedCollection letterColumn;
    bool lettersBuilt_ = false;
    struct Index {
        std::array<int, 26> first{};
        bool valid = false;
    };
    Index indexFrom_, indexTo_;
};
