#include "designer/UserEditText.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QTextDocument>

UserEditText::UserEditText(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (depth_ > 0 && (removed > 0 || added > 0)) changed_ = true;
    });
}

template <class F> void UserEditText::asUser(F&& accion) {
    QPointer<UserEditText> self(this);
    if (depth_++ == 0) changed_ = false;
    accion();
    if (!self) return;
    if (--depth_ == 0 && changed_) {
        changed_ = false;
        emit userEdited();
    }
}

void UserEditText::keyPressEvent(QKeyEvent* e) {
    asUser([&] { QPlainTextEdit::keyPressEvent(e); });
}

void UserEditText::inputMethodEvent(QInputMethodEvent* e) {
    asUser([&] { QPlainTextEdit::inputMethodEvent(e); });
}

// Every paste and drop, whatever started it, arrives here.
void UserEditText::insertFromMimeData(const QMimeData* source) {
    asUser([&] { QPlainTextEdit::insertFromMimeData(source); });
}

// A move within the box removes the dragged text as well.
void UserEditText::dropEvent(QDropEvent* e) {
    asUser([&] { QPlainTextEdit::dropEvent(e); });
}

// The standard menu, run here so that its Cut, Delete, Undo and Redo count as the user's.
void UserEditText::contextMenuEvent(QContextMenuEvent* e) {
    QPointer<QMenu> menu = createStandardContextMenu(e->pos());
    if (!menu) return;
    asUser([&] { menu->exec(e->globalPos()); });
    if (menu) delete menu.data();
}
