#pragma once
// One of the viewer's horizontal splitter bars. Positions and limits are twips of the window, as the
// layout reckons them. Until the splitter control is hosted, the bar is a plain strip that keeps its
// numbers; the layout only talks to this class.
#include <QFrame>
#include <QObject>
#include <QPointer>

class SplitBar : public QObject {
    Q_OBJECT
public:
    static constexpr int AltoBarra = 105; // a horizontal bar is 105 twips high

    explicit SplitBar(QWidget* container, const QString& name);
    ~SplitBar() override;

    int Top() const { return top_; }
    void setTop(int twips);
    int Left() const { return left_; }
    void setLeft(int twips);
    int Width() const { return width_; }
    void setWidth(int twips);
    int Height() const { return AltoBarra; }
    int MinTop() const { return minTop_; }
    void setMinTop(int twips) { minTop_ = twips; }
    int MaxTop() const { return maxTop_; }
    void setMaxTop(int twips) { maxTop_ = twips; }
    bool Visible() const { return visible_; }
    void setVisible(bool on);

    QWidget* widget() const { return bar_; }

signals:
    void MoveComplete();

private:
    void place();
    QPointer<QFrame> bar_;
    int top_ = 0, left_ = 0, width_ = 2000;
    int minTop_ = 0, maxTop_ = 99999;
    bool visible_ = true;
};
