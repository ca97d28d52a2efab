#include "viewer/frmSelectText.h"

#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"
#include "viewer/ValuesQuery.h"
#include "viewer/frmSelectFormTable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QListView>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {
constexpr int kLetterCount = 26;
constexpr int kMinListChars = 24; // characters the value boxes show at least

// The letter a text starts with for the slider: its first character upper-cased, an accented letter
// taken as its base letter. Null for an empty text.
QChar firstLetter(const QString& text) {
    if (text.isEmpty()) return {};
    return QString(text.at(0)).normalized(QString::NormalizationForm_D).at(0).toUpper();
}

bool isLetter(QChar c) {
    return c >= 'A' && c <= 'Z';
}

// Long lists must open and scroll at once: every row is as high as the first and the box is not
// measured against every entry.
void prepareList(QComboBox* c) {
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(kMinListChars);
    if (auto* v = qobject_cast<QListView*>(c->view())) v->setUniformItemSizes(true);
}
} // namespace

frmSelectText::frmSelectText(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSelectText");
    setWindowTitle("Select text Range");
    Label4 = new QLabel("From", this);
    FText = new QComboBox(this);
    FText->setObjectName("FText");
    lblTo = new QLabel("To", this);
    TText = new QComboBox(this);
    TText->setObjectName("TText");
    for (QComboBox* c : {FText, TText})
        prepareList(c);
    TimeRange = new RangeSlider(this, "TimeRange");
    // Designed over the 26 letters, both thumbs on "A".
    TimeRange->setMax(kLetterCount);
    TimeRange->setMin(1);
    TimeRange->setLowerValue(1);
    TimeRange->setUpperValue(1);
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setAutoDefault(false);
    cmdFromTBL = new QPushButton("   From Table", this);
    cmdFromTBL->setObjectName("cmdFromTBL");
    cmdFromTBL->setAutoDefault(false);
    cmdFromTBL->setVisible(false);

    auto* boxes = new QGridLayout;
    boxes->addWidget(Label4, 0, 0);
    boxes->addWidget(FText, 0, 1);
    boxes->addWidget(lblTo, 1, 0);
    boxes->addWidget(TText, 1, 1);
    boxes->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdFromTBL);
    buttons->addStretch(1);
    buttons->addWidget(cmdAceptar);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(boxes);
    lay->addWidget(TimeRange->widget());
    lay->addLayout(buttons);

    connect(cmdAceptar, &QPushButton::clicked, this, &frmSelectText::cmdAceptar_Click);
    connect(cmdFromTBL, &QPushButton::clicked, this, &frmSelectText::cmdFromTBL_Click);
    auto onMove = [this] {
        TimeRangeChange();
        GetcmbValue();
    };
    connect(TimeRange, &RangeSlider::Change, this, onMove);
    connect(TimeRange, &RangeSlider::Scroll, this, onMove);
    for (auto [lista, indice] : {std::pair{FText, &indexFrom_}, std::pair{TText, &indexTo_}}) {
        QAbstractItemModel* m = lista->model();
        auto invalidar = [indice = indice] { indice->valid = false; };
        connect(m, &QAbstractItemModel::rowsInserted, this, invalidar);
        connect(m, &QAbstractItemModel::rowsRemoved, this, invalidar);
        connect(m, &QAbstractItemModel::rowsMoved, this, invalidar);
        connect(m, &QAbstractItemModel::modelReset, this, invalidar);
        connect(m, &QAbstractItemModel::dataChanged, this, invalidar);
        connect(m, &QAbstractItemModel::layoutChanged, this, invalidar);
    }
    Form_Load();
}

void frmSelectText::Form_Load() {
    if (!lettersBuilt_) BuildLetterTable();
    TimeRange->setLowerValue(1);
    TimeRange->setUpperValue(TimeRange->Max());
    FText->setEditText("A");
    TText->setEditText("Z");
    if (NoRange) {
        lblTo->hide();
        TText->hide();
    }
}

void frmSelectText::BuildLetterTable() {
    for (int i = 1; i <= kLetterCount; ++i)
        letterColumn.add(QString::number(i), QString(QChar('A' + i - 1)));
    lettersBuilt_ = true;
}

QString frmSelectText::GetLetter(int position) const {
    return letterColumn.item(QString::number(std::clamp(position, 1, kLetterCount))).value_or(QString());
}

// A text that does not start with a letter finds no entry: it stands before "A" or after "Z" by its
// character, so digits, blanks and "..." go to the start and an empty text to the end.
int frmSelectText::EncontratIndiceABC(const QString& letter) const {
    const QChar c = firstLetter(letter);
    if (c.isNull()) return kLetterCount;
    for (int i = 1; i <= letterColumn.count(); ++i)
        if (letterColumn.item(QString::number(i)) == QString(c)) return i;
    return c < QChar('A') ? 1 : kLetterCount;
}

void frmSelectText::GetRange() {
    TimeRange->setLowerValue(EncontratIndiceABC(FText->currentText().left(1)));
    TimeRange->setUpperValue(EncontratIndiceABC(TText->currentText().left(1)));
    if (!MinRange.isEmpty()) TimeRange->setMin(EncontratIndiceABC(MinRange.left(1)));
    if (!MaxRange.isEmpty()) TimeRange->setMax(EncontratIndiceABC(MaxRange.left(1)));
    if (NoRange) {
        lblTo->hide();
        TText->hide();
        TimeRange->setUpperVisible(false);
        TimeRange->setUpperValue(0); // clamped to Min; the lower thumb comes down with it
        TimeRange->setLowerValue(EncontratIndiceABC(FText->currentText().left(1)));
    }
    cmdFromTBL->setEnabled(VinsCube != nullptr);
}

void frmSelectText::TimeRangeChange() {
    TText->setEditText(GetLetter(TimeRange->UpperValue()));
    FText->setEditText(GetLetter(TimeRange->LowerValue()));
}

int frmSelectText::firstEntry(QComboBox* list, int position) {
    Index& idx = list == FText ? indexFrom_ : indexTo_;
    if (!idx.valid) {
        idx.first.fill(-1);
        int found = 0;
        for (int row = 0; row < list->count() && found < kLetterCount; ++row) {
            const QChar c = firstLetter(list->itemText(row));
            if (isLetter(c) && idx.first[size_t(c.unicode() - 'A')] < 0) {
                idx.first[size_t(c.unicode() - 'A')] = row;
                ++found;
            }
        }
        idx.valid = true;
    }
    return position >= 1 && position <= kLetterCount ? idx.first[size_t(position - 1)] : -1;
}

void frmSelectText::GetcmbValue() {
    if (FText->count() == 0) return;
    for (QComboBox* list : {FText, TText}) {
        if (list == TText && TText->isHidden()) break;
        const QString t = list->currentText();
        if (t.size() != 1 || !isLetter(t.at(0))) continue;
        const int row = firstEntry(list, t.at(0).unicode() - 'A' + 1);
        if (row < 0) continue; // no value starts with that letter: the letter stays
        list->setCurrentIndex(row);
        list->setEditText(list->itemText(row));
    }
}

void frmSelectText::cmdAceptar_Click() {
    Cambio = true;
    if (TText->currentText().isEmpty()) TText->setEditText("...");
    if (FText->currentText().isEmpty()) FText->setEditText("...");
    accept();
}

void frmSelectText::reject() {
    Cambio = false;
    QDialog::reject();
}

void frmSelectText::showEvent(QShowEvent* e) {
    // The table button lists the cube's tables: without a cube there is nothing to list.
    cmdFromTBL->setEnabled(VinsCube != nullptr);
    QDialog::showEvent(e);
}

void frmSelectText::cmdFromTBL_Click() {
    if (!VinsCube) return;
    QPointer<InsCube> cube = VinsCube;
    frmSelectFormTable* f = frmSelectFormTable::instance();
    f->VinsCube = cube;
    {
        // Filling the list is no choice of a table.
        const QSignalBlocker quiet(f->cmbTbl);
        General::ListarTablas(*cube, f->cmbTbl);
        f->cmbTbl->setCurrentIndex(-1);
    }
    f->cmbTbl->setEditText(FTTable);
    f->cmbFields->setEditText(FTField);
    f->txtWhere->setText(FTWhere);
    f->txtSQL->setPlainText(FTSql);
    QPointer<frmSelectFormTable> dlg = f;
    bd::os::runDialog(f);
    if (!dlg) return;
    FTTable = f->cmbTbl->currentText();
    FTField = f->cmbFields->currentText();
    FTWhere = f->txtWhere->text();
    FTSql = f->txtSQL->toPlainText();
    frmSelectFormTable::unload();
}

void frmSelectText::FillValueLists(InsCube& cube, const QString& sql) {
    if (sql.trimmed().isEmpty()) return;
    QStringList values;
    QString error;
    if (!ValuesQuery::Read(cube, sql, &values, &error) && !error.isEmpty())
        bd::os::MsgBox(sql + "\n" + error, bd::os::Buttons::Ok, bd::os::Icon::Information,
                       QStringLiteral("Error trying to fill combo."));
    for (QComboBox* list : {FText, TText}) {
        const QString text = list->currentText();
        list->clear();
        list->addItems(values);
        list->setCurrentIndex(-1);
        list->setEditText(text);
    }
}
