#include "shell/CBalloonToolTip.h"

#include "platform/os/Clock.h"
#include "platform/os/Twips.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QToolTip>
#include <algorithm>

namespace {
constexpr int kMargin = 8;      // around the contents
constexpr int kStemHeight = 12; // from the body to the point
constexpr int kStemWidth = 16;  // at the body
constexpr int kStemInset = 20;  // from the body's left edge to the stem of a tip that is not centred
constexpr int kRadius = 7;      // of a balloon's corners
constexpr int kIconSize = 16;
constexpr int kIconGap = 6;      // between the icon and the title
constexpr int kTitleGap = 4;     // between the title and the text
constexpr int kPointerDrop = 18; // a tip shown by resting the pointer sits this far below it
} // namespace

BalloonTip::BalloonTip(QWidget* owner, bool balloon, bool centred, bool tracking)
    : QWidget(owner,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      owner_(owner), balloon_(balloon), centred_(centred), tracking_(tracking) {
    setObjectName("BalloonTip");
    // Showing a hint must not take the activation from the window it explains.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, balloon);
    setFocusPolicy(Qt::NoFocus);
    fore_ = QToolTip::palette().color(QPalette::ToolTipText);
    back_ = QToolTip::palette().color(QPalette::ToolTipBase);
    font_ = QToolTip::font();
    visibleTimer_ = new bd::os::Timer(this, visibleMs_);
    visibleTimer_->setSingleShot(true);
    connect(visibleTimer_, &bd::os::Timer::timeout, this, &BalloonTip::hideTip);
    restTimer_ = new bd::os::Timer(this, initialMs_);
    restTimer_->setSingleShot(true);
    connect(restTimer_, &bd::os::Timer::timeout, this, &BalloonTip::restTimer_Timer);
    if (owner_) owner_->installEventFilter(this);
    relayout();
}

BalloonTip::~BalloonTip() {
    if (owner_) owner_->removeEventFilter(this);
}

void BalloonTip::setTitle(int icon, const QString& title) {
    icon_ = icon;
    title_ = title;
    relayout();
}

void BalloonTip::setText(const QString& text) {
    text_ = text;
    relayout();
}

void BalloonTip::setTextColour(const QColor& c) {
    fore_ = c;
    update();
}

void BalloonTip::setBackColour(const QColor& c) {
    back_ = c;
    update();
}

void BalloonTip::setTipFont(const QFont& f) {
    font_ = f;
    relayout();
}

void BalloonTip::setDelays(int visibleMs, int initialMs) {
    visibleMs_ = visibleMs < 0 ? kDefaultVisibleMs : visibleMs;
    initialMs_ = initialMs < 0 ? kDefaultInitialMs : initialMs;
    visibleTimer_->setInterval(visibleMs_);
    restTimer_->setInterval(initialMs_);
}

QSize BalloonTip::bodySize() const {
    QFont bold = font_;
    bold.setBold(true);
    const QFontMetrics fm(font_), fb(bold);
    int w = 0, h = 0;
    if (!title_.isEmpty() || icon_ != NoIcon) {
        const int iconW = icon_ != NoIcon ? kIconSize + (title_.isEmpty() ? 0 : kIconGap) : 0;
        w = iconW + fb.horizontalAdvance(title_);
        h = std::max(icon_ != NoIcon ? kIconSize : 0, fb.height());
    }
    if (!text_.isEmpty()) {
        const QRect r = fm.boundingRect(QRect(0, 0, 4000, 4000), Qt::TextExpandTabs, text_);
        w = std::max(w, r.width());
        h += (h ? kTitleGap : 0) + r.height();
    }
    return QSize(w + 2 * kMargin, std::max(h, fm.height()) + 2 * kMargin);
}

// The body for a tip at global: below the point (or above it when there is no room below), its
// stem at kStemInset from the left or in the middle, kept on the screen.
QRect BalloonTip::bodyRectFor(const QPoint& global, const QSize& body, bool& below) const {
    const int stem = balloon_ ? kStemHeight : 0;
    const int left = centred_ ? global.x() - body.width() / 2 : global.x() - (balloon_ ? kStemInset : 0);
    QRect r(QPoint(left, global.y() + stem), body);
    below = true;
    const QScreen* s = QGuiApplication::screenAt(global);
    if (!s) return r;
    const QRect area = s->availableGeometry();
    if (r.bottom() > area.bottom() && global.y() - stem - body.height() >= area.top()) {
        r.moveBottom(global.y() - stem);
        below = false;
    }
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.left() < area.left()) r.moveLeft(area.left());
    return r;
}

void BalloonTip::relayout() {
    placeAt(tip_);
    update();
}

void BalloonTip::placeAt(const QPoint& global) {
    const QSize body = bodySize();
    const QRect b = bodyRectFor(global, body, below_);
    const int stem = balloon_ ? kStemHeight : 0;
    // The stem stays off the rounded corners, wherever the screen's edge pushed the body.
    const int edge = kRadius + kStemWidth / 2;
    stemX_ = std::clamp(global.x() - b.left(), std::min(edge, body.width() / 2),
                        std::max(body.width() - edge, body.width() / 2));
    setGeometry(b.left(), below_ ? b.top() - stem : b.top(), body.width(), body.height() + stem);
    if (balloon_) setMask(QRegion(outline().toFillPolygon().toPolygon()));
}

QPainterPath BalloonTip::outline() const {
    QPainterPath p;
    const int stem = balloon_ ? kStemHeight : 0;
    const QRectF body(0.5, below_ ? stem + 0.5 : 0.5, width() - 1.0, height() - stem - 1.0);
    if (!balloon_) {
        p.addRect(body);
        return p;
    }
    p.addRoundedRect(body, kRadius, kRadius);
    QPolygonF s;
    const double x = stemX_ + 0.5;
    if (below_)
        s << QPointF(x - kStemWidth / 2.0, body.top() + 1) << QPointF(x, 0.5)
          << QPointF(x + kStemWidth / 2.0, body.top() + 1);
    else
        s << QPointF(x - kStemWidth / 2.0, body.bottom() - 1) << QPointF(x, height() - 0.5)
          << QPointF(x + kStemWidth / 2.0, body.bottom() - 1);
    QPainterPath stemPath;
    stemPath.addPolygon(s);
    stemPath.closeSubpath();
    return p.united(stemPath);
}

void BalloonTip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = outline();
    p.fillPath(path, back_);
    p.setPen(QPen(fore_, 1));
    p.drawPath(path);

    const int top = (balloon_ && below_ ? kStemHeight : 0) + kMargin;
    int y = top;
    QFont bold = font_;
    bold.setBold(true);
    if (!title_.isEmpty() || icon_ != NoIcon) {
        const QFontMetrics fb(bold);
        const int lineH = std::max(icon_ != NoIcon ? kIconSize : 0, fb.height());
        int x = kMargin;
        if (icon_ != NoIcon) {
            const QStyle::StandardPixmap sp = icon_ == WarningIcon ? QStyle::SP_MessageBoxWarning
                                              : icon_ == ErrorIcon ? QStyle::SP_MessageBoxCritical
                                                                   : QStyle::SP_MessageBoxInformation;
            style()->standardIcon(sp).paint(&p, QRect(x, y + (lineH - kIconSize) / 2, kIconSize, kIconSize));
            x += kIconSize + kIconGap;
        }
        p.setFont(bold);
        p.drawText(QRect(x, y, width() - x - kMargin, lineH), Qt::AlignLeft | Qt::AlignVCenter, title_);
        y += lineH + kTitleGap;
    }
    if (!text_.isEmpty()) {
        p.setFont(font_);
        p.drawText(QRect(kMargin, y, width() - 2 * kMargin, height() - y), Qt::TextExpandTabs, text_);
    }
}

void BalloonTip::popUpAt(const QPoint& global) {
    tip_ = global;
    // A hint for a window nobody sees would stand alone on the screen.
    if (owner_ && !owner_->isVisible()) return;
    placeAt(global);
    show();
    raise();
    visibleTimer_->setEnabled(false);
    visibleTimer_->setEnabled(true);
}

void BalloonTip::hideTip() {
    visibleTimer_->setEnabled(false);
    restTimer_->setEnabled(false);
    hide();
}

void BalloonTip::restTimer_Timer() {
    if (owner_ && owner_->isVisible()) popUpAt(QCursor::pos() + QPoint(0, kPointerDrop));
}

void BalloonTip::mousePressEvent(QMouseEvent*) {
    hideTip();
}

bool BalloonTip::eventFilter(QObject* o, QEvent* e) {
    if (o != owner_) return false;
    switch (e->type()) {
    case QEvent::Hide:
    case QEvent::Close:
        hideTip();
        break;
    case QEvent::WindowStateChange:
        if (owner_->isMinimized()) hideTip();
        break;
    case QEvent::Enter:
        if (!tracking_ && !isVisible()) restTimer_->setEnabled(true);
        break;
    case QEvent::Leave:
    case QEvent::MouseButtonPress:
        if (!tracking_) hideTip();
        break;
    default:
        break;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------------

CBalloonToolTip::CBalloonToolTip() = default;

CBalloonToolTip::~CBalloonToolTip() {
    Destroy();
}

void CBalloonToolTip::sendTitle() {
    if (window_ && !title_.isEmpty() && icon_ != 0) window_->setTitle(int(icon_), title_);
}

void CBalloonToolTip::setIcon(long icon) {
    icon_ = icon;
    sendTitle();
}

void CBalloonToolTip::setTitle(const QString& title) {
    title_ = title;
    sendTitle();
}

void CBalloonToolTip::setTipFont(const QFont& f) {
    font_ = f;
    if (window_) window_->setTipFont(f);
}

void CBalloonToolTip::setForeColor(uint32_t ole) {
    foreColor_ = ole;
    if (window_) window_->setTextColour(bd::os::oleToColor(ole));
}

void CBalloonToolTip::setBackColor(uint32_t ole) {
    backColor_ = ole;
    if (window_) window_->setBackColour(bd::os::oleToColor(ole));
}

void CBalloonToolTip::setTipText(const QString& text) {
    tipText_ = text;
    if (window_) window_->setText(text);
}

bool CBalloonToolTip::CreateToolTip(QWidget* ParentHwnd) {
    Destroy();
    parent_ = ParentHwnd;
    window_ = new BalloonTip(ParentHwnd, style_ == 1, centered_, popupOnDemand_);
    window_->setText(tipText_);
    if (!title_.isEmpty() || icon_ != 0) window_->setTitle(int(icon_), title_);
    if (foreColor_ != 0) window_->setTextColour(bd::os::oleToColor(foreColor_));
    if (backColor_ != 0) window_->setBackColour(bd::os::oleToColor(backColor_));
    if (font_) window_->setTipFont(*font_);
    window_->setDelays(int(visibleTime_), int(delayTime_));
    return true;
}

void CBalloonToolTip::Show(int X, int Y, QWidget* hWndClient) {
    if (!window_ || !window_->isTracking()) return;
    // Whole numbers all the way: a point far down a tall desktop stays where it is.
    const QPoint at = hWndClient ? hWndClient->mapToGlobal(QPoint(X, Y)) : QPoint(X, Y);
    window_->popUpAt(at);
}

void CBalloonToolTip::Destroy() {
    // Deleted from the event loop: a balloon is often replaced while its window's activation is
    // being handled, and a window deleted there leaves the toolkit a dangling focus window.
    if (window_) {
        window_->hide();
        window_->deleteLater();
    }
    window_ = nullptr;
}
