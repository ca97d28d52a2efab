#pragma once
// The page view: shows a local page. A page that embeds a chart movie is drawn as a Qt Charts chart
// from the data file the page names; any other page (the result-limit page, the wait page) is shown
// as text. Loading is synchronous: navigate() returns with the page complete, and loadCompleted
// follows from the event loop as a browser's completion notice would.
#include "platform/browser/ChartPage.h"

#include <QImage>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QChartView;
class QPrinter;
class QStackedWidget;
class QTextBrowser;
QT_END_NAMESPACE

namespace bd::browser {

class PageView : public QWidget {
    Q_OBJECT
public:
    enum ReadyState { Uninitialized = 0, Loading = 1, Loaded = 2, Interactive = 3, Complete = 4 };

    explicit PageView(QWidget* parent = nullptr);
    ~PageView() override;

    // A local path or file: URL. False when the page could not be read or its chart not drawn; the
    // view then shows why, and still completes.
    bool navigate(const QString& pathOrUrl);
    int readyState() const { return state_; }
    QString location() const { return location_; }
    QString title() const { return title_; }
    QString errorString() const { return error_; }

    bool isChart() const { return movie_.has_value(); }
    // The embedded movie (chart id, data file, size) and the data drawn; valid while isChart().
    const ChartMovie& movie() const { return *movie_; }
    const ChartModel& chartModel() const { return model_; }
    // The page as plain text when it is shown as text.
    QString plainText() const;
    // How chart values are written on the value axis and over the bars (the next page drawn, its
    // images and prints use it); empty: the data file's decimals.
    void setValueFormatter(ValueFormatter f) { format_ = std::move(f); }
    const ValueFormatter& valueFormatter() const { return format_; }
    // Axis titles for a data file that names none: what the axes show (the category fields, the
    // measure). The next page drawn uses them.
    void setAxisTitles(const QString& categories, const QString& values) {
        axisX_ = categories;
        axisY_ = values;
    }
    QString categoryAxisTitle() const { return axisX_; }
    QString valueAxisTitle() const { return axisY_; }

    // The current page drawn at any size, whether the view is shown or not.
    QImage renderImage(const QSize& size) const;
    // Prints the current page on one page of printer.
    bool print(QPrinter* printer) const;

    QTextBrowser* textView() const { return text_; }
    QChartView* chartView() const { return chartView_; }

signals:
    void loadCompleted(const QString& location);

private:
    void showText(const QString& html, const QString& baseDir);

    QStackedWidget* stack_;
    QTextBrowser* text_;
    QChartView* chartView_;
    int state_ = Uninitialized;
    QString location_, title_, error_;
    std::optional<ChartMovie> movie_;
    ChartModel model_;
    ValueFormatter format_;
    QString axisX_, axisY_;
};

} // namespace bd::browser
