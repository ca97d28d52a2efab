// The shell's readers: the chart type a cube names, looked up in the chart catalogue and drawn from the
// chart data file; and the language texts of language.txt.
#include "FuzzSupport.h"

#include "platform/browser/ChartPage.h"
#include "publishing/ChartFiles.h"
#include "shell/General.h"

#include <QChart>
#include <memory>

namespace bd::fuzz {

// Input: the chart type as the cube's measure grid holds it on the first line; its title cut, label
// hiding and result limit texts and the row and column field counts on the second (tab-separated);
// the chart data file after them.
void chartCatalogue(const uint8_t* data, size_t size) {
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = splitLines(input);
    if (lines.size() < 2) return;
    General::CargarTiposGrafico();
    const QString tipo = lines[0];
    // As the viewer draws a measure's chart: a name the catalogue lacks draws with the default type.
    QString chartId = General::sGraficoDefId;
    if (!tipo.isEmpty()) {
        chartId = General::colIdGrafico.item(tipo).value_or(General::sGraficoDefId);
        if (chartId == "None") chartId = General::sGraficoDefId;
    }
    require(General::colNombreGrafico.contains(chartId), "a chart type always ends on a catalogue id");
    const QStringList settings = lines[1].split('\t');
    const int maxChars = charts::ParseChartInt(settings.value(0), 20, 0, 32767);
    const int autoHide = charts::ParseChartInt(settings.value(1), 40, 0, 32767);
    const int limit = charts::ParseChartInt(settings.value(2), 150, 1, 32767);
    require(maxChars >= 0 && maxChars <= 32767 && autoHide >= 0 && autoHide <= 32767 && limit >= 1 &&
                limit <= 32767,
            "a chart setting stays within its bounds");
    const charts::ChartLayout layout =
        charts::ChooseChartLayout(chartId, General::colGraficoMS.item(chartId).value_or(QString()),
                                  settings.value(3).toInt(), settings.value(4).toInt());
    require(!layout.chartId.isEmpty(), "a chart layout names a movie");

    const qsizetype second = input.indexOf('\n', input.indexOf('\n') + 1);
    const QByteArray xml = second < 0 ? QByteArray() : input.mid(second + 1);
    browser::ChartModel model;
    QString why;
    if (!browser::ParseChartData(xml, &model, &why))
        return require(!why.isEmpty(), "a refused chart file says why");
    for (const browser::ChartSeries& s : model.series)
        require(!model.multiSeries || s.values.size() == model.categories.size(),
                "every series of a chart has one value per category");
    std::unique_ptr<QChart> chart(browser::BuildChart(layout.chartId, model));
    require(chart != nullptr, "a chart file that reads draws a chart");
    (void)browser::ChartNote(chart.get());
}

// Input: language.txt as the program folder holds it.
void languageTexts(const uint8_t* data, size_t size) {
    writeScratch("home/language.txt",
                 QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    qputenv("BRINTOVA_HOME", homeDir().toLocal8Bit());
    General::colIdioma.clear();
    General::CargarIdioma();
    const KeyedCollection& texts = General::colIdioma;
    require(texts.keys().size() == texts.count() && texts.values().size() == texts.count(),
            "the language texts keep one text per key");
    for (int i = 0; i < texts.count(); ++i) {
        const QString& key = texts.keys()[i];
        require(!texts.values()[i].contains('\n') && !texts.values()[i].contains('\r') && !key.contains('\n'),
                "a language text is one line");
        require(texts.item(key) == texts.values()[i], "a language text is found by its key");
        const int sep = int(key.lastIndexOf('_'));
        if (sep < 0) continue;
        General::sIdioma = key.mid(sep + 1);
        // The key of the first text with this name in this language.
        const QString shown = General::LeerTextoIdioma(key.left(sep));
        require(shown == QString(*texts.item(key)).replace("<BR>", "\r\n"),
                "a language text reads with its line breaks");
    }
    General::sIdioma.clear();
}

} // namespace bd::fuzz
