// The text value picker over a values query of 100,000 distinct texts: filling both lists, opening the
// list, scrolling it to the end and running the letter slider over every letter. Prints times; the
// shared list filler (one item at a time, once per list) is timed beside it.
#include "platform/controlhost/ControlHost.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"
#include "viewer/frmSelectText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <sqlite3.h>

namespace {
constexpr int kValues = 100000;

bool makeDatabase(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) return false;
    bool ok = sqlite3_exec(db, "CREATE TABLE T (Name TEXT); BEGIN;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO T VALUES (?)", -1, &st, nullptr) == SQLITE_OK;
    for (int i = 0; ok && i < kValues; ++i) {
        // Spread over the alphabet, so every letter of the slider finds values.
        const QByteArray v =
            QStringLiteral("%1 customer %2").arg(QChar('A' + i % 26)).arg(i, 6, 10, QChar('0')).toUtf8();
        sqlite3_bind_text(st, 1, v.constData(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = ok && sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

void moveThumb(QWidget* slider, const char* name, int dx) {
    QWidget* t = slider->findChild<QWidget*>(name);
    if (!t) return;
    QTest::mousePress(t, Qt::LeftButton, {}, QPoint(7, 7));
    QTest::mouseMove(t, QPoint(7 + dx, 7));
    QTest::mouseRelease(t, Qt::LeftButton, {}, QPoint(7 + dx, 7));
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("BRINTOVA_CONFIG", dir.path().toLocal8Bit()); // the registry goes there, not to the user's
    QApplication app(argc, argv);
    const QString lib = QCoreApplication::applicationDirPath() + "/../app/libspanwell.so";
    QString error;
    if (!bd::controlhost::RegisterControlLibrary(lib, &error))
        std::printf("slider not registered (%s): timing the boxes alone\n", qPrintable(error));
    const QString file = dir.filePath("values.sqlite");
    if (!makeDatabase(file)) {
        std::printf("cannot write %s\n", qPrintable(file));
        return 1;
    }
    InsCube cube;
    cube.CubeConnectionString = "Provider=SQLite;Data Source=" + file;
    const QString sql = "SELECT DISTINCT Name FROM T ORDER BY 1";

    QElapsedTimer t;
    frmSelectText* f = frmSelectText::instance();
    t.start();
    General::LlenarListaSQL(cube, f->FText, sql);
    General::LlenarListaSQL(cube, f->TText, sql);
    const qint64 shared = t.restart();
    frmSelectText::unload();

    f = frmSelectText::instance();
    t.restart();
    f->FillValueLists(cube, sql);
    f->GetRange();
    const qint64 fill = t.restart();
    f->show();
    QApplication::processEvents();
    const qint64 show = t.restart();
    f->FText->showPopup();
    QApplication::processEvents();
    const qint64 open = t.restart();
    f->FText->view()->scrollToBottom();
    f->FText->view()->viewport()->grab();
    const qint64 scroll = t.restart();
    f->FText->hidePopup();
    QWidget* slider = f->TimeRange->widget();
    const int track = slider ? slider->width() - 17 : 0;
    t.restart();
    int moves = 0;
    if (slider && f->TimeRange->control())
        for (int letter = 1; letter <= 26; ++letter, ++moves)
            moveThumb(slider, "picBottom",
                      track * (letter - 1) / 25 - slider->findChild<QWidget*>("picBottom")->x());
    const qint64 letters = t.restart();
    std::printf("%d values: shared filler (both lists) %lld ms; picker fill %lld ms, show %lld ms, open list "
                "%lld ms, scroll to end %lld ms, %d letter moves %lld ms (last From \"%s\")\n",
                f->FText->count(), (long long)shared, (long long)fill, (long long)show, (long long)open,
                (long long)scroll, moves, (long long)letters, qPrintable(f->FText->currentText()));
    // The same values in a combo box left at Qt's defaults, for comparison.
    QStringList values;
    for (int i = 0; i < f->FText->count(); ++i)
        values << f->FText->itemText(i);
    frmSelectText::unload();
    QComboBox plain;
    plain.setEditable(true);
    t.restart();
    plain.addItems(values);
    const qint64 plainFill = t.restart();
    plain.show();
    QApplication::processEvents();
    const qint64 plainShow = t.restart();
    plain.showPopup();
    QApplication::processEvents();
    const qint64 plainOpen = t.restart();
    plain.hidePopup();
    std::printf("a combo box at Qt's defaults: fill %lld ms, show %lld ms, open list %lld ms\n",
                (long long)plainFill, (long long)plainShow, (long long)plainOpen);
    return 0;
}
