#pragma once
// A text box that tells the user's own edits from text set by code: typing, deleting, pasting (keys,
// context menu or middle button), dropping and cut raise userEdited once the text has changed; moving
// the cursor, selecting and copying raise nothing, and neither does setPlainText.
#include <QPlainTextEdit>

class UserEditText : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit UserEditText(QWidget* parent = nullptr);

signals:
    void userEdited();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    // Runs one user action and reports it when it changed the text.
    template <class F> void asUser(F&& accion);
    int depth_ = 0;
    bool changed_ = false;
};
