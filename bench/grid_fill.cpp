// Fills a visible grid the way the query preview does (row count in steps of 1000) and prints times.
#include "platform/grid/Grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (bool redraw : {true, false}) {
        bd::grid::Grid g;
        g.resize(900, 500);
        g.show();
        QElapsedTimer t;
        t.start();
        g.setRedraw(redraw);
        g.setMaxCols(8);
        for (int c = 1; c <= 8; ++c)
            g.setText(c, 0, QString("F%1").arg(c));
        g.setMaxRows(1000);
        for (int r = 1; r <= 100000; ++r) {
            if (r > g.maxRows()) g.setMaxRows(g.maxRows() + 1000);
            for (int c = 1; c <= 8; ++c)
                g.setText(c, r, QString::number(r * 8 + c));
        }
        g.setRedraw(true);
        const qint64 fill = t.restart();
        g.view()->scrollToBottom();
        QApplication::processEvents();
        g.grab();
        const qint64 paint = t.restart();
        g.deleteRows(10, 1);
        g.insertRows(10, 1);
        const qint64 rows = t.restart();
        const QByteArray bytes = g.saveToBytes();
        const qint64 save = t.restart();
        bd::grid::Grid back;
        back.loadFromBytes(bytes);
        const qint64 load = t.restart();
        std::printf("redraw %-5s fill 100000x8: %lld ms, scroll+paint %lld ms, delete+insert %lld ms, save "
                    "%lld ms (%lld KB), load %lld ms\n",
                    redraw ? "on" : "off", (long long)fill, (long long)paint, (long long)rows,
                    (long long)save, (long long)bytes.size() / 1024, (long long)load);
    }
    return 0;
}
