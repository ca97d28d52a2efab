#include "viewer/RankForm.h"

#include "platform/os/Prompter.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

using bd::pivot::PivotField;

namespace {
// Sort settings of a field, compared before and after a user's action.
struct SortSettings {
    int labelOrder = 0, mode = 0, data = 0;
    bool operator==(const SortSettings&) const = default;
};
SortSettings settingsOf(const PivotField* f) {
    return f ? SortSettings{f->labelOrder(), f->sortByDataMode(), f->sortByDataField()} : SortSettings{};
}
} // namespace

class RankForm::UserEdit {
public:
    explicit UserEdit(RankForm& f) : f_(f), field_(f.GetCurrentField()), before_(settingsOf(field_)) {
        ++f_.userEdits_;
    }
    ~UserEdit() {
        if (--f_.userEdits_ > 0 || !field_ || field_ != f_.GetCurrentField()) return;
        if (settingsOf(field_) == before_) return;
        if (f_.pivot_) f_.pivot_->recalculate();
        emit f_.sortChanged();
    }
    UserEdit(const UserEdit&) = delete;
    UserEdit& operator=(const UserEdit&) = delete;

private:
    RankForm& f_;
    PivotField* field_;
    SortSettings before_;
};

RankForm::RankForm(QWidget* parent) : QDialog(parent) {
    setObjectName("RankForm");
    setWindowTitle("Field Ranking Options");

    DimensionFieldListLabel = new QLabel("&Field List:", this);
    lstAxisFields = new QListWidget(this);
    lstAxisFields->setObjectName("lstAxisFields");
    DimensionFieldListLabel->setBuddy(lstAxisFields);
    SortOrderLabel = new QLabel("Sort &Order:", this);
    options_ = new QButtonGroup(this);
    const char* captions[] = {"D&efault", "&Ascending", "&Descending"};
    for (int i = 0; i < 3; ++i) {
        SortOption[size_t(i)] = new QRadioButton(captions[i], this);
        SortOption[size_t(i)]->setObjectName(QString("SortOption%1").arg(i));
        options_->addButton(SortOption[size_t(i)], i);
    }
    SortOrderLabel->setBuddy(SortOption[0]);
    MeasureComboLabel = new QLabel("&Using Field:", this);
    cboDataFields = new QComboBox(this);
    cboDataFields->setObjectName("cboDataFields");
    MeasureComboLabel->setBuddy(cboDataFields);
    CloseButton = new QPushButton("Close", this);
    CloseButton->setObjectName("CloseButton");
    CloseButton->setDefault(true);

    auto* left = new QVBoxLayout;
    left->addWidget(DimensionFieldListLabel);
    left->addWidget(lstAxisFields);
    auto* right = new QVBoxLayout;
    right->addWidget(SortOrderLabel);
    for (QRadioButton* b : SortOption)
        right->addWidget(b);
    right->addSpacing(8);
    right->addWidget(MeasureComboLabel);
    right->addWidget(cboDataFields);
    right->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    right->addLayout(buttons);
    auto* all = new QHBoxLayout(this);
    all->addLayout(left, 3);
    all->addLayout(right, 2);
    resize(420, 260);

    connect(lstAxisFields, &QListWidget::currentRowChanged, this, [this] { lstAxisFields_Click(); });
    connect(options_, &QButtonGroup::idClicked, this, [this](int id) {
        UserEdit edit(*this);
        SortOption_Click(id);
    });
    connect(cboDataFields, &QComboBox::activated, this, [this] {
        UserEdit edit(*this);
        cboDataFields_Click();
    });
    connect(CloseButton, &QPushButton::clicked, this, &RankForm::CloseButton_Click);
}

void RankForm::setPivotCube(bd::pivot::PivotTable* pivot) {
    pivot_ = pivot;
    const QSignalBlocker quiet(lstAxisFields);
    lstAxisFields->clear();
    if (!pivot_) return;
    const bd::pivot::PivotFieldList all = pivot_->fields();
    for (int i = 0; i < all.count(); ++i) {
        const PivotField* f = all.item(i);
        if (f->orientation() == bd::pivot::Hidden || f->orientation() == bd::pivot::DataArea) continue;
        auto* item = new QListWidgetItem(f->name(), lstAxisFields);
        item->setData(Qt::UserRole, i);
    }
}

void RankForm::setSelectedField(PivotField* field) {
    currentField_ = -1;
    if (!pivot_) {
        bd::os::MsgBox("Must set the Form.PivotCube property before calling setting this property.",
                       bd::os::Buttons::Ok, bd::os::Icon::Critical, "Invalid Property Call - SelectedField");
        return;
    }
    if (!field) {
        UpdateScope updating(*this);
        clearListSelection();
        clearOptions();
        cboDataFields->setCurrentIndex(-1);
        DisableSortControls();
        return;
    }
    EnableSortControls();
    const bd::pivot::PivotFieldList all = pivot_->fields();
    for (int i = 0; i < all.count(); ++i)
        if (all.item(i)->name().compare(field->name(), Qt::CaseInsensitive) == 0) {
            currentField_ = i;
            break;
        }
    if (currentField_ < 0) return;
    for (int row = 0; row < lstAxisFields->count(); ++row)
        if (lstAxisFields->item(row)->data(Qt::UserRole).toInt() == currentField_) {
            {
                const QSignalBlocker quiet(lstAxisFields);
                lstAxisFields->setCurrentRow(row);
            }
            lstAxisFields_Click();
            return;
        }
    clearListSelection();
}

void RankForm::lstAxisFields_Click() {
    if (IsUpdating()) return;
    EnableSortControls();
    const QListWidgetItem* item = lstAxisFields->currentItem();
    currentField_ = item ? item->data(Qt::UserRole).toInt() : -1;
    PivotField* field = GetCurrentField();
    clearOptions();
    UpdateScope updating(*this);
    // A field that left the pivot since the list was filled: nothing to show.
    if (!field || !pivot_) return;
    cboDataFields->clear();
    cboDataFields->addItem(field->name());
    const bd::pivot::PivotFieldList data = pivot_->dataFields();
    for (int i = 0; i < data.count(); ++i)
        cboDataFields->addItem(data.item(i)->name(), i);
    switch (field->sortByDataMode()) {
    case 1:
        selectOption(OptAscending);
        break;
    case 2:
        selectOption(OptDescending);
        break;
    case 0:
        selectOption(field->labelOrder() == 1 ? OptDescending : OptDefault);
        break;
    default:
        break;
    }
}

void RankForm::SortOption_Click(int index) {
    PivotField* field = GetCurrentField();
    if (!field) return;
    if (index == OptDefault) {
        if (!IsUpdating()) {
            field->setSortByDataField(0);
            field->setSortByDataMode(0);
            if (field->labelOrder() == 1) field->setLabelOrder(0);
        }
        selectDataFieldEntry(0);
        cboDataFields->setEnabled(false);
        return;
    }
    const int mode = index == OptAscending ? 1 : 2;
    if (field->sortByDataMode() != 0) {
        if (!IsUpdating()) field->setSortByDataMode(mode);
        selectDataFieldEntry(FindDataFieldItem(field->sortByDataField()));
    } else {
        const int labelOrder = index == OptAscending ? 0 : 1;
        if (!IsUpdating()) {
            field->setSortByDataField(0);
            if (field->labelOrder() != labelOrder) field->setLabelOrder(labelOrder);
        }
        selectDataFieldEntry(0);
    }
    cboDataFields->setEnabled(true);
}

void RankForm::cboDataFields_Click() {
    if (IsUpdating()) return;
    PivotField* field = GetCurrentField();
    const int entry = cboDataFields->currentIndex();
    if (!field || entry < 0) return;
    const int option = selectedOption();
    if (entry == 0) {
        field->setLabelOrder(option == OptDefault || option == OptAscending ? 0 : 1);
        field->setSortByDataMode(0);
        field->setSortByDataField(0);
    } else {
        field->setSortByDataMode(option == OptAscending ? 1 : 2);
        field->setSortByDataField(cboDataFields->itemData(entry).toInt());
    }
}

void RankForm::CloseButton_Click() {
    close();
}

PivotField* RankForm::GetCurrentField() const {
    if (!pivot_ || currentField_ < 0) return nullptr;
    return pivot_->fields().item(currentField_);
}

int RankForm::FindDataFieldItem(int index) const {
    for (int i = 1; i < cboDataFields->count(); ++i)
        if (cboDataFields->itemData(i).toInt() == index) return i;
    return -1;
}

void RankForm::DisableSortControls() {
    for (QRadioButton* b : SortOption)
        b->setEnabled(false);
    SortOrderLabel->setEnabled(false);
    MeasureComboLabel->setEnabled(false);
    cboDataFields->setEnabled(false);
}

void RankForm::EnableSortControls() {
    for (QRadioButton* b : SortOption)
        b->setEnabled(true);
    SortOrderLabel->setEnabled(true);
    MeasureComboLabel->setEnabled(true);
    cboDataFields->setEnabled(!SortOption[OptDefault]->isChecked());
}

void RankForm::selectOption(int index) {
    SortOption[size_t(index)]->setChecked(true);
    SortOption_Click(index);
}

void RankForm::clearOptions() {
    options_->setExclusive(false);
    for (QRadioButton* b : SortOption)
        b->setChecked(false);
    options_->setExclusive(true);
}

void RankForm::clearListSelection() {
    const QSignalBlocker quiet(lstAxisFields);
    lstAxisFields->setCurrentRow(-1);
    lstAxisFields->clearSelection();
}

int RankForm::selectedOption() const {
    return options_->checkedId();
}

void RankForm::selectDataFieldEntry(int entry) {
    cboDataFields->setCurrentIndex(entry);
    cboDataFields_Click();
}
