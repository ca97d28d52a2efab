#include "platform/browser/PageView.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>

namespace bd::browser {

namespace {

QString TitleOf(const QString& html) {
    static const QRegularExpression re(QStringLiteral("<title>(.*?)</title>"),
                                       QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(html);
    if (!m.hasMatch()) return {};
    QTextDocument d;
    d.setHtml(m.captured(1)); // decodes the entities
    return d.toPlainText().trimmed();
}

// A chart view that is never shown, laid out at size, for images and printing.
std::unique_ptr<QChartView> OffscreenChart(const QString& chartId, const ChartModel& model,
                                           const ValueFormatter& format, const QSize& size) {
    auto view = std::make_unique<QChartView>(BuildChart(chartId, model, format));
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFrameShape(QFrame::NoFrame);
    view->setBackgroundBrush(Qt::white);
    view->resize(size);
    view->chart()->resize(size);
    // The chart lays itself out and places its value labels from posted events.
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    return view;
}

} // namespace

PageView::PageView(QWidget* parent) : QWidget(parent) {
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    stack_ = new QStackedWidget(this);
    text_ = new QTextBrowser(stack_);
    text_->setOpenLinks(false);
    chartView_ = new QChartView(stack_);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setFrameShape(QFrame::NoFrame);
    chartView_->setBackgroundBrush(Qt::white);
    stack_->addWidget(text_);
    stack_->addWidget(chartView_);
    lay->addWidget(stack_);
}

PageView::~PageView() = default;

void PageView::showText(const QString& html, const QString& baseDir) {
    if (!baseDir.isEmpty()) text_->setSearchPaths({baseDir});
    text_->setHtml(html);
    stack_->setCurrentWidget(text_);
}

bool PageView::navigate(const QString& pathOrUrl) {
    state_ = Loading;
    error_.clear();
    movie_.reset();
    model_ = ChartModel();
    const QUrl url(pathOrUrl);
    const QString path = url.isLocalFile() ? url.toLocalFile() : pathOrUrl;
    location_ = QFileInfo(path).absoluteFilePath();
    const QString dir = QFileInfo(path).absolutePath();

    bool ok = true;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ok = false;
        error_ = tr("The page %1 cannot be read: %2").arg(path, f.errorString());
        title_.clear();
        showText("<p>" + error_.toHtmlEscaped() + "</p>", {});
    } else {
        const QString html = QString::fromUtf8(f.readAll());
        title_ = TitleOf(html);
        if (auto movie = FindChartMovie(html, dir)) {
            QFile data(movie->dataPath);
            ChartModel model;
            QString why;
            if (movie->dataPath.isEmpty()) {
                why = tr("the page names no data file");
            } else if (!data.open(QIODevice::ReadOnly)) {
                why = data.errorString();
            } else if (ParseChartData(data.readAll(), &model, &why)) {
                if (model.xAxisName.isEmpty()) model.xAxisName = axisX_;
                if (model.yAxisName.isEmpty()) model.yAxisName = axisY_;
                movie_ = movie;
                model_ = model;
                QChart* old = chartView_->chart();
                chartView_->setChart(BuildChart(movie->chartId, model_, format_));
                delete old; // the view gives the previous chart back to us
                stack_->setCurrentWidget(chartView_);
            }
            if (!movie_) {
                ok = false;
                error_ = tr("The chart data %1 cannot be read: %2").arg(movie->dataPath, why);
                showText("<p>" + error_.toHtmlEscaped() + "</p>", {});
            }
        } else {
            showText(html, dir);
        }
    }
    state_ = Complete;
    const QString done = location_;
    QTimer::singleShot(0, this, [this, done] { emit loadCompleted(done); });
    return ok;
}

QString PageView::plainText() const {
    return text_->toPlainText();
}

QImage PageView::renderImage(const QSize& wanted) const {
    const QSize size = wanted.expandedTo(QSize(1, 1));
    if (movie_) return OffscreenChart(movie_->chartId, model_, format_, size)->grab().toImage();
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    std::unique_ptr<QTextDocument> doc(text_->document()->clone());
    doc->setTextWidth(size.width());
    QPainter p(&img);
    doc->drawContents(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return img;
}

bool PageView::print(QPrinter* printer) const {
    if (!printer) return false;
    if (!movie_) {
        text_->document()->print(printer);
        return printer->printerState() != QPrinter::Error;
    }
    // A chart wider than high goes on a landscape page, laid out for the page's proportions at a
    // width whose text reads well once scaled to the page.
    constexpr int kPrintLayoutWidth = 1000;
    if (printer->printerState() != QPrinter::Active)
        printer->setPageOrientation(chartView_->width() >= chartView_->height() ? QPageLayout::Landscape
                                                                                : QPageLayout::Portrait);
    QPainter p;
    if (!p.begin(printer)) return false;
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QSize logical(kPrintLayoutWidth, std::max(1, int(kPrintLayoutWidth * double(page.height()) /
                                                           std::max(1, page.width()))));
    auto view = OffscreenChart(movie_->chartId, model_, format_, logical);
    const double scale = double(page.width()) / logical.width();
    view->render(&p, QRectF(0, 0, logical.width() * scale, logical.height() * scale), view->rect());
    return p.end();
}

} // namespace bd::browser
