#pragma once
// Hint balloons: a small frameless tool window that points at a spot of a window, with a title, an
// icon, colours and a font. CBalloonToolTip keeps the settings and makes one such window at a time;
// what a property write does to a window that already exists is said at each setter, the rest waits
// for the next CreateToolTip.
#include <QFont>
#include <QPainterPath>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>

namespace bd::os {
class Timer;
}

// The tooltip window. A tracking tip shows only when asked, at a point; the other kind shows while
// the pointer rests over its owner. Either hides when its visible time runs out, when it is clicked,
// and when its owner hides; it never shows for a hidden owner.
class BalloonTip : public QWidget {
    Q_OBJECT
public:
    enum TitleIcon { NoIcon = 0, InfoIcon = 1, WarningIcon = 2, ErrorIcon = 3 };
    BalloonTip(QWidget* owner, bool balloon, bool centred, bool tracking);
    ~BalloonTip() override;

    bool isBalloon() const { return balloon_; }
    bool isCentred() const { return centred_; }
    bool isTracking() const { return tracking_; }
    void setTitle(int icon, const QString& title);
    QString title() const { return title_; }
    int icon() const { return icon_; }
    void setText(const QString& text);
    QString text() const { return text_; }
    void setTextColour(const QColor& c);
    QColor textColour() const { return fore_; }
    void setBackColour(const QColor& c);
    QColor backColour() const { return back_; }
    void setTipFont(const QFont& f);
    // Auto-pop and initial delay in ms; a negative value is the default.
    void setDelays(int visibleMs, int initialMs);
    int visibleTime() const { return visibleMs_; }
    int initialDelay() const { return initialMs_; }

    // Shows the tip with its point at global, for its visible time.
    void popUpAt(const QPoint& global);
    // Where the tip points, in global coordinates, while it is shown.
    QPoint tipPoint() const { return tip_; }

    static constexpr int kDefaultVisibleMs = 5000;
    static constexpr int kDefaultInitialMs = 500;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    QSize bodySize() const;
    QRect bodyRectFor(const QPoint& global, const QSize& body, bool& below) const;
    void relayout();
    void placeAt(const QPoint& global);
    QPainterPath outline() const;
    void hideTip();
    void restTimer_Timer();

    QPointer<QWidget> owner_;
    const bool balloon_, centred_, tracking_;
    QString title_, text_;
    int icon_ = NoIcon;
    QColor fore_, back_;
    QFont font_;
    int visibleMs_ = kDefaultVisibleMs, initialMs_ = kDefaultInitialMs;
    bd::os::Timer* visibleTimer_;
    bd::os::Timer* restTimer_; // the pointer resting over the owner (non-tracking tips)
    QPoint tip_;               // global
    bool below_ = true;        // the body hangs below the point (the stem on top)
    int stemX_ = 0;            // the stem's x inside the window
};

class CBalloonToolTip {
public:
    CBalloonToolTip();
    ~CBalloonToolTip();
    CBalloonToolTip(const CBalloonToolTip&) = delete;
    CBalloonToolTip& operator=(const CBalloonToolTip&) = delete;

    // Applied at creation only.
    long VisibleTime() const { return visibleTime_; }
    void setVisibleTime(long ms) { visibleTime_ = ms; }
    long DelayTime() const { return delayTime_; }
    void setDelayTime(long ms) { delayTime_ = ms; }
    // 0 none, 1 information, 2 warning, 3 error. Reaches a window only with a title and an icon.
    long Icon() const { return icon_; }
    void setIcon(long icon);
    // Reaches a window at once.
    std::optional<QFont> TipFont() const { return font_; }
    void setTipFont(const QFont& f);
    // OLE colours; 0 leaves the system colour at creation, a write reaches a window at once.
    uint32_t ForeColor() const { return foreColor_; }
    void setForeColor(uint32_t ole);
    // Reaches a window only with a title and an icon.
    QString Title() const { return title_; }
    void setTitle(const QString& title);
    // A tracking tip, shown only by Show. Applied at creation only.
    bool PopupOnDemand() const { return popupOnDemand_; }
    void setPopupOnDemand(bool on) { popupOnDemand_ = on; }
    uint32_t BackColor() const { return backColor_; }
    void setBackColor(uint32_t ole);
    // Reaches a window at once.
    QString TipText() const { return tipText_; }
    void setTipText(const QString& text);
    // 0 standard, 1 balloon. Applied at creation only.
    long Style() const { return style_; }
    void setStyle(long style) { style_ = style; }
    // Applied at creation only.
    bool Centered() const { return centered_; }
    void setCentered(bool on) { centered_ = on; }

    // Shows a tracking tip at (X, Y) in the client coordinates of hWndClient (screen coordinates
    // without one). Needs a window made with PopupOnDemand.
    void Show(int X, int Y, QWidget* hWndClient = nullptr);
    // (Re)creates the tooltip window for ParentHwnd, which owns it.
    bool CreateToolTip(QWidget* ParentHwnd);
    void Destroy();

    // The tooltip window (nullptr when there is none) and the window that owns it.
    BalloonTip* window() const { return window_; }
    QWidget* parentWindow() const { return parent_; }

private:
    void sendTitle();
    long visibleTime_ = BalloonTip::kDefaultVisibleMs, delayTime_ = BalloonTip::kDefaultInitialMs;
    long icon_ = 0, style_ = 0;
    std::optional<QFont> font_;
    uint32_t foreColor_ = 0, backColor_ = 0;
    QString title_, tipText_;
    bool popupOnDemand_ = false, centered_ = false;
    QPointer<BalloonTip> window_;
    QPointer<QWidget> parent_;
};
