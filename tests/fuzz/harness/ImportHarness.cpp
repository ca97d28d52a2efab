// The file sources: a .csv, .xlsx, .xls or .mdb file imported into SQLite as a connection to it does.
// The import either fails with a reason or gives a sound database whose every table reads to the end.
#include "FuzzSupport.h"

#include "platform/db/FileImport.h"
#include "platform/os/Process.h"

#include <sqlite3.h>

namespace bd::fuzz {
namespace {

// Saved queries of a desktop database are printed by an outside program; here it is not installed,
// so a crafted catalogue cannot start one process per query (the import says the query is unreadable).
class NoPrograms : public os::ProcessRunner {
public:
    os::ProcessResult run(const os::ProcessRequest&) override { return {}; }
};

QString firstText(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    QString out;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return out;
}

// Every table reads to its end; views may fail by design (an unreadable saved query says why when
// selected), never crash.
void readAll(const db::ImportedDatabase& imported) {
    sqlite3* db = nullptr;
    require(sqlite3_open(":memory:", &db) == SQLITE_OK, "the harness opens SQLite");
    require(sqlite3_deserialize(db, "main", imported.data, imported.size, imported.size,
                                SQLITE_DESERIALIZE_READONLY) == SQLITE_OK,
            "an import is a database SQLite opens");
    require(firstText(db, "PRAGMA integrity_check") == "ok", "an import passes SQLite's integrity check");
    sqlite3_stmt* list = nullptr;
    sqlite3_prepare_v2(db, "SELECT name, type FROM sqlite_master WHERE type IN ('table', 'view')", -1, &list,
                       nullptr);
    while (sqlite3_step(list) == SQLITE_ROW) {
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
        const bool table = qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(list, 1)), "table") == 0;
        const QByteArray sql = "SELECT * FROM \"" + QString(name).replace('"', "\"\"").toUtf8() + '"';
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        if (rc == SQLITE_OK)
            while ((rc = sqlite3_step(st)) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(st); ++c)
                    (void)sqlite3_column_text(st, c);
        sqlite3_finalize(st);
        if (table) require(rc == SQLITE_DONE, "every imported table reads to its end");
    }
    sqlite3_finalize(list);
    sqlite3_close(db);
}

void importAs(db::EngineChoice choice, const QString& fileName, const uint8_t* data, size_t size) {
    static NoPrograms noPrograms;
    os::setProcessRunner(&noPrograms);
    choice.file =
        writeScratch(fileName, QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    // Each input is a new file, whatever its name, size and time say.
    db::clearImportCache();
    QString why;
    const std::shared_ptr<const db::ImportedDatabase> imported = db::importFile(choice, &why);
    if (!imported) return require(!why.isEmpty(), "a file that cannot be imported says why");
    readAll(*imported);
    db::clearImportCache();
}

} // namespace

// The first byte picks the text file's settings as its connection string would: the low two bits
// the delimiter, the next bit no header row ("0" is a comma with a header row).
void importCsv(const uint8_t* data, size_t size) {
    if (size == 0) return;
    static const char delimiters[] = {',', ';', '\t', '|'};
    db::EngineChoice c;
    c.engine = db::Engine::Csv;
    c.delimiter = QChar(delimiters[data[0] & 3]);
    c.header = (data[0] & 4) == 0;
    importAs(c, "fuzz.csv", data + 1, size - 1);
}

void importXlsx(const uint8_t* data, size_t size) {
    db::EngineChoice c;
    c.engine = db::Engine::Excel;
    importAs(c, "fuzz.xlsx", data, size);
}

void importXls(const uint8_t* data, size_t size) {
    db::EngineChoice c;
    c.engine = db::Engine::Excel;
    importAs(c, "fuzz.xls", data, size);
}

void importMdb(const uint8_t* data, size_t size) {
    db::EngineChoice c;
    c.engine = db::Engine::Access;
    importAs(c, "fuzz.mdb", data, size);
}

} // namespace bd::fuzz
