#pragma once
// The sort dialog: how one axis field of the pivot is ordered, by its own labels or ranked by a data
// field. Every choice goes straight into the field's sort settings; there is no OK or Cancel.
#include "platform/pivot/PivotTable.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <array>

class QButtonGroup;

class RankForm : public QDialog {
    Q_OBJECT
public:
    explicit RankForm(QWidget* parent = nullptr);

    // Set before SelectedField: fills the list with the pivot's fields that are on an axis.
    void setPivotCube(bd::pivot::PivotTable* pivot);
    bd::pivot::PivotTable* PivotCube() const { return pivot_; }
    // The field to edit (nullptr: none, the sort controls disabled).
    void setSelectedField(bd::pivot::PivotField* field);
    bd::pivot::PivotField* SelectedField() const { return GetCurrentField(); }

    // ---- controls ----
    QLabel* DimensionFieldListLabel;
    QListWidget* lstAxisFields; // item data: the field's position among all fields
    QLabel* SortOrderLabel;
    std::array<QRadioButton*, 3> SortOption; // Default, Ascending, Descending
    QLabel* MeasureComboLabel;
    QComboBox* cboDataFields; // entry 0 the field itself, then the data fields (item data: index)
    QPushButton* CloseButton;
    enum { OptDefault = 0, OptAscending = 1, OptDescending = 2 };

    // ---- handlers (also what a user's click runs) ----
    void lstAxisFields_Click();
    void SortOption_Click(int index);
    void cboDataFields_Click();
    void CloseButton_Click();

signals:
    // A user's choice changed the field's sort settings; the pivot shows them already.
    void sortChanged();

private:
    // Raised while the dialog sets its own controls from a field, so their click steps leave the
    // field alone; lowered on every way out of the scope.
    class UpdateScope {
    public:
        explicit UpdateScope(RankForm& f) : f_(f) { f_.BeginUpdate(); }
        ~UpdateScope() { f_.EndUpdate(); }
        UpdateScope(const UpdateScope&) = delete;
        UpdateScope& operator=(const UpdateScope&) = delete;

    private:
        RankForm& f_;
    };
    // One user action: when it changed the current field's sort settings, the pivot re-pivots once
    // and the viewer hears of it.
    class UserEdit;

    void BeginUpdate() { ++updating_; }
    void EndUpdate() { --updating_; }
    bool IsUpdating() const { return updating_ >= 1; }
    bd::pivot::PivotField* GetCurrentField() const;
    int FindDataFieldItem(int index) const;
    void DisableSortControls();
    void EnableSortControls();
    // Selection as the user's would be, running the control's click step.
    void selectOption(int index);
    void clearOptions();
    void clearListSelection();
    int selectedOption() const; // -1 when none
    void selectDataFieldEntry(int entry);

    QButtonGroup* options_;
    QPointer<bd::pivot::PivotTable> pivot_;
    int currentField_ = -1; // position among all fields
    int updating_ = 0;
    int userEdits_ = 0; // nesting of UserEdit
};
