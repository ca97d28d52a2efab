#pragma once
// One of the viewer's horizontal splitter bars: the "Glimford.UISizeBar" control through the control
// host, or, when that control is not registered, a plain strip that keeps the same numbers. Positions
// and limits are twips of the window; the layout only talks to this class.
#include "platform/controlhost/ControlHost.h"

#include <QFrame>
#include <QObject>
#include <QPointer>

class SplitBar : public QObject {
    Q_OBJECT
public:
    static constexpr int BarHeight = 105; // a horizontal bar is 105 twips high

    explicit SplitBar(QWidget* container, const QString& name);
    ~SplitBar() override;

    int Top() const;
    void setTop(int twips);
    int Left() const;
    void setLeft(int twips);
    int Width() const;
    void setWidth(int twips);
    int Height() const;
    int MinTop() const;
    void setMinTop(int twips);
    int MaxTop() const;
    void setMaxTop(int twips);
    bool Visible() const { return visible_; }
    void setVisible(bool on);

    QWidget* widget() const;
    // The hosted control, nullptr for the plain strip.
    bd::controlhost::Control* control() const { return ctl_; }

signals:
    void MoveComplete();

private:
    void place();
    QPointer<QFrame> bar_;
    QPointer<bd::controlhost::Control> ctl_;
    int top_ = 0, left_ = 0, width_ = 2000;
    int minTop_ = 0, maxTop_ = 99999;
    bool visible_ = true;
};
