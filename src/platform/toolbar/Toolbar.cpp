#include "platform/toolbar/Toolbar.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

namespace bd::toolbar {

QString CommandKey(const QString& toolName) {
    QString k = toolName;
    k.remove('&');
    return k.toUpper();
}

// ---- Tool

Tool::Tool(Band* band, int id, const QString& name, const QString& caption, ToolStyle style)
    : QObject(band), band_(band), id_(id), name_(name), caption_(caption), style_(style) {
    Toolbar* bar = band->toolbar();
    if (style == ToolStyle::Combo) {
        auto* wa = new QWidgetAction(this);
        combo_ = new QComboBox;
        combo_->setObjectName(name);
        combo_->setFocusPolicy(Qt::NoFocus);
        wa->setDefaultWidget(combo_); // the action owns the combo from here on
        action_ = wa;
        QObject::connect(combo_, &QComboBox::activated, this, [this, bar](int index) {
            text_ = combo_->itemText(index);
            emit bar->comboChange(this);
        });
    } else {
        action_ = new QAction(caption, this);
        if (style == ToolStyle::Separator) action_->setSeparator(true);
        // Checkable only to show the state; triggering puts the state back, the form sets it.
        if (style == ToolStyle::Check) action_->setCheckable(true);
        QObject::connect(action_, &QAction::triggered, this, [this, bar]() {
            if (action_->isCheckable()) action_->setChecked(checked_);
            emit bar->toolClick(this);
        });
    }
    action_->setObjectName(name);
}

void Tool::setCaption(const QString& c) {
    caption_ = c;
    if (!combo_) action_->setText(c);
}

void Tool::setPicture(const QIcon& p) {
    picture_ = p;
    action_->setIcon(p);
}

void Tool::setChecked(bool c) {
    checked_ = c;
    if (!combo_ && style_ != ToolStyle::Separator) {
        // Buttons show a checked state too (the chart toolbar's radio buttons).
        action_->setCheckable(true);
        action_->setChecked(c);
    }
}

void Tool::setEnabled(bool e) {
    enabled_ = e;
    action_->setEnabled(e);
}

void Tool::setVisible(bool v) {
    visible_ = v;
    action_->setVisible(v);
}

void Tool::setList(const QStringList& items) {
    list_ = items;
    syncCombo();
}

void Tool::addItem(const QString& item) {
    list_ << item;
    syncCombo();
}

void Tool::setText(const QString& t) {
    text_ = t;
    syncCombo();
}

void Tool::setWidth(int px) {
    width_ = px;
    if (combo_ && px > 0) combo_->setFixedWidth(px);
}

void Tool::syncCombo() {
    if (!combo_) return;
    const QSignalBlocker block(combo_);
    if (combo_->count() != list_.size() || [&] {
            for (int i = 0; i < list_.size(); ++i)
                if (combo_->itemText(i) != list_[i]) return true;
            return false;
        }()) {
        combo_->clear();
        combo_->addItems(list_);
    }
    combo_->setCurrentIndex(int(list_.indexOf(text_)));
}

// ---- Band

Band::Band(Toolbar* bar, const QString& name, BandKind kind, const QString& caption)
    : QObject(bar), bar_(bar), name_(name), caption_(caption.isEmpty() ? name : caption), kind_(kind) {
    if (kind == BandKind::Menu) {
        menu_ = new QMenu(bar);
        menuButton_ = new QToolButton;
        menuButton_->setText(caption_);
        menuButton_->setMenu(menu_);
        menuButton_->setPopupMode(QToolButton::InstantPopup);
        menuButtonAction_ = bar->insertWidget(bar->actionAfter(this), menuButton_);
    }
}

QAction* Band::firstBarAction() const {
    if (kind_ == BandKind::Menu) return menuButtonAction_;
    return tools_.isEmpty() ? nullptr : tools_.first()->action();
}

void Band::place(Tool* t) {
    if (kind_ == BandKind::Menu)
        menu_->addAction(t->action());
    else
        bar_->insertAction(bar_->actionAfter(this), t->action());
    tools_ << t;
}

Tool* Band::addTool(int id, const QString& name, const QString& caption, ToolStyle style) {
    if (style == ToolStyle::Separator) return addSeparator();
    if (style == ToolStyle::Combo) return addCombo(name);
    auto* t = new Tool(this, id, name, caption, style);
    place(t);
    return t;
}

Tool* Band::addSeparator() {
    auto* t = new Tool(this, 0, QString(), QString(), ToolStyle::Separator);
    place(t);
    return t;
}

Tool* Band::addCombo(const QString& name, int widthPx) {
    auto* t = new Tool(this, 0, name, QString(), ToolStyle::Combo);
    t->setWidth(widthPx);
    place(t);
    return t;
}

void Band::removeTool(Tool* tool) {
    if (!tool || !tools_.removeOne(tool)) return;
    if (menu_) menu_->removeAction(tool->action());
    bar_->removeAction(tool->action());
    // Later: the band is often rebuilt from inside the tool's own click or change handler.
    tool->deleteLater();
}

void Band::clear() {
    while (!tools_.isEmpty())
        removeTool(tools_.last());
}

Tool* Band::tool(int id) const {
    for (Tool* t : tools_)
        if (t->id() == id && t->style() != ToolStyle::Separator) return t;
    return nullptr;
}

Tool* Band::tool(const QString& name) const {
    for (Tool* t : tools_)
        if (t->name() == name && t->style() != ToolStyle::Separator) return t;
    return nullptr;
}

// ---- Toolbar

Toolbar::Toolbar(const QString& objectName, QWidget* parent) : QToolBar(parent) {
    setObjectName(objectName);
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

Band* Toolbar::addBand(const QString& name, BandKind kind, const QString& caption) {
    if (Band* b = band(name)) return b;
    // Registered first so that a menu band's button lands after the bands before it.
    auto* b = new Band(this, name, kind, caption);
    bands_ << b;
    return b;
}

Band* Toolbar::band(const QString& name) const {
    for (Band* b : bands_)
        if (b->name().compare(name, Qt::CaseInsensitive) == 0) return b;
    return nullptr;
}

QList<Tool*> Toolbar::tools() const {
    QList<Tool*> all;
    for (Band* b : bands_)
        all += b->tools();
    return all;
}

Tool* Toolbar::tool(int id) const {
    for (Band* b : bands_)
        if (Tool* t = b->tool(id)) return t;
    return nullptr;
}

Tool* Toolbar::tool(const QString& name) const {
    for (Band* b : bands_)
        if (Tool* t = b->tool(name)) return t;
    return nullptr;
}

void Toolbar::clearTools() {
    for (Band* b : bands_)
        b->clear();
}

QAction* Toolbar::actionAfter(const Band* band) const {
    const qsizetype at = bands_.indexOf(const_cast<Band*>(band));
    if (at < 0) return nullptr; // a band being created goes last
    for (qsizetype i = at + 1; i < bands_.size(); ++i)
        if (QAction* a = bands_[i]->firstBarAction()) return a;
    return nullptr;
}

bool Toolbar::reachable(const Tool* tool) const {
    return tool && tool->band()->toolbar() == this &&
           tool->band()->tools().contains(const_cast<Tool*>(tool)) && isEnabled() && tool->enabled() &&
           tool->visible();
}

bool Toolbar::clickTool(Tool* tool) {
    if (!reachable(tool) || tool->style() == ToolStyle::Separator || tool->style() == ToolStyle::Combo)
        return false;
    tool->action()->trigger();
    return true;
}

bool Toolbar::chooseInCombo(Tool* tool, const QString& text) {
    if (!reachable(tool) || tool->style() != ToolStyle::Combo) return false;
    const int index = int(tool->list().indexOf(text));
    if (index < 0) return false;
    tool->comboBox()->setCurrentIndex(index);
    emit tool->comboBox()->activated(index);
    return true;
}

} // namespace bd::toolbar
