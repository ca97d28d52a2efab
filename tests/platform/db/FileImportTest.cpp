// Imports of text files, workbooks and desktop databases: encodings, quoting, types, locales, saved
// queries, and sources that are no data files.
#include "platform/db/FileImport.h"
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "platform/db/import/MdbCatalogCheck.h"
#include "platform/os/Process.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <clocale>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace bd::db;
using namespace bd::dbtest;

namespace {

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer loses track of condition variables once this process has started another program
// (it then reports races on reads guarded by a mutex); under it no program is started.
struct NoPrograms : ::testing::Environment {
    bd::os::RecordingProcessRunner runner;
    void SetUp() override { bd::os::setProcessRunner(&runner); }
    void TearDown() override { bd::os::setProcessRunner(nullptr); }
};
::testing::Environment* const kNoPrograms = ::testing::AddGlobalTestEnvironment(new NoPrograms);
constexpr bool kProgramsRun = false;
#else
constexpr bool kProgramsRun = true;
#endif

QString desktopDb(const QString& name) {
    return bd::test::sharedDir() + "/fixtures/desktop-db/" + name;
}

struct Result {
    QVector<Field> fields;
    QVector<QVariantList> rows;
    QString error;
};

Result query(const QString& connection, const QString& sql) {
    Result r;
    clearImportCache();
    Connection c;
    if (!c.open(connection, 10, &r.error)) return r;
    Recordset rs;
    if (!rs.open(sql, c, &r.error)) return r;
    r.fields = rs.fields();
    for (; !rs.eof(); rs.moveNext()) {
        QVariantList row;
        for (const auto& f : rs.fields())
            row << f.value;
        r.rows << row;
    }
    return r;
}

QString csvConnection(const QString& file, const QString& extended = "text;HDR=Yes;FMT=Delimited") {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + ";Extended Properties=\"" + extended +
           "\"";
}

} // namespace

TEST(FileImport, CsvEncodingIsUtf8WhenMarkedOrValidElseWindows1252) {
    const struct {
        const char* what;
        QByteArray bytes;
        QString name;
    } cases[] = {
        {"marked UTF-8", "\xEF\xBB\xBFName\r\nJos\xC3\xA9 \xE2\x82\xAC\r\n", QString::fromUtf8("José €")},
        {"plain UTF-8", "Name\r\nJos\xC3\xA9 \xE2\x82\xAC\r\n", QString::fromUtf8("José €")},
        {"Windows-1252", "Name\r\nJos\xE9 \x80\r\n", QString::fromUtf8("José €")},
        {"1252 that starts like UTF-8", "Name\r\n\xC3\x28\x93q\x94\r\n", QString::fromUtf8("Ã(“q”")},
        {"marked but broken", "\xEF\xBB\xBFName\r\nJos\xE9\r\n", QString::fromUtf8("Jos\uFFFD")},
    };
    for (const auto& k : cases) {
        QTemporaryDir dir;
        const QString f = dir.filePath("e.csv");
        ASSERT_TRUE(bd::test::writeFile(f, k.bytes));
        const Result r = query(csvConnection(f), "SELECT Name FROM [e.csv]");
        ASSERT_EQ(r.rows.size(), 1) << k.what << " " << r.error.toStdString();
        EXPECT_EQ(r.fields[0].name, "Name") << k.what; // the mark is no part of the first name
        EXPECT_EQ(r.rows[0][0].toString(), k.name) << k.what;
    }
}

TEST(FileImport, QuotedCsvFieldsAreTypedByTheirContent) {
    QTemporaryDir dir;
    const QString f = dir.filePath("q.csv");
    ASSERT_TRUE(bd::test::writeFile(f, "\"Id\",\"Amount\",\"Day\",\"Note\"\r\n"
                                       "\"1\",\"2.5\",\"2024-02-29\",\"say \"\"hi\"\", then go\"\r\n"
                                       "\"2\",\" 3 \",\"2024-03-01 10:30:00\",\"two\r\nlines\"\r\n"
                                       "  \"3\",,\"2024-03-02\",\"ab\"cd\r\n"));
    const Result r = query(csvConnection(f), "SELECT * FROM [q.csv] ORDER BY Id");
    ASSERT_EQ(r.rows.size(), 3) << r.error.toStdString();
    QStringList types;
    for (const auto& x : r.fields)
        types << QString::number(x.type);
    EXPECT_EQ(types, QStringList({"3", "5", "7", "200"}));
    EXPECT_EQ(r.rows[0][1].toDouble(), 2.5);
    EXPECT_EQ(r.rows[1][1].toDouble(), 3.0);
    EXPECT_TRUE(r.rows[2][1].isNull());
    EXPECT_EQ(r.rows[0][3].toString(), "say \"hi\", then go");
    EXPECT_EQ(r.rows[1][3].toString(), "two\r\nlines");
    EXPECT_EQ(r.rows[2][3].toString(), "abcd");
    EXPECT_EQ(r.rows[1][2].toDateTime(), QDateTime(QDate(2024, 3, 1), QTime(10, 30)));
}

TEST(FileImport, CsvCutIntoChunksInsideQuotedLineBreaksReadsEveryRowOnce) {
    QTemporaryDir dir;
    const QString f = dir.filePath("big.csv");
    QByteArray text = "Id;Note;Amount\n";
    constexpr int kRows = 150000; // about 9 MB: several chunks
    for (int i = 1; i <= kRows; ++i)
        text += QByteArray::number(i) + ";\"line one;\nline \"\"two\"\"\r\n" + QByteArray(i % 7 * 5, 'x') +
                "\";" + QByteArray::number(i % 10) + ".5\n";
    ASSERT_TRUE(bd::test::writeFile(f, text));
    const Result r = query(csvConnection(f, "text;HDR=Yes;FMT=Delimited(;)"),
                           "SELECT COUNT(*), SUM(Id), SUM(Amount), SUM(Note LIKE 'line one;' || char(10) || "
                           "'line \"two\"' || char(13, 10) || '%') FROM [big.csv]");
    ASSERT_EQ(r.rows.size(), 1) << r.error.toStdString();
    EXPECT_EQ(r.rows[0][0].toLongLong(), kRows);
    EXPECT_EQ(r.rows[0][1].toLongLong(), qint64(kRows) * (kRows + 1) / 2);
    EXPECT_DOUBLE_EQ(r.rows[0][2].toDouble(), 5.0 * kRows); // 0.5 .. 9.5 evenly
    EXPECT_EQ(r.rows[0][3].toLongLong(), kRows);
}

TEST(FileImport, XlsxHeaderlessSheetsAreTypedFromTheirDataAndKeywordColumnsCanBeSelected) {
    QTemporaryDir dir;
    const QString f = dir.filePath("k.xlsx");
    const QByteArray ns = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
    const QByteArray sheet =
        "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        R"(<x:sheetData><x:row r="1"><x:c r="A1" t="inlineStr"><x:is><x:t>When</x:t></x:is></x:c>)"
        R"(<x:c r="B1" t="inlineStr"><x:is><x:t>Order</x:t></x:is></x:c></x:row>)"
        R"(<x:row r="2"><x:c r="A2"><x:v>1</x:v></x:c><x:c r="B2"><x:v>2.5</x:v></x:c></x:row>)"
        R"(<x:row r="3"><x:c r="A3"><x:v>2</x:v></x:c><x:c r="B3"><x:v>4</x:v></x:c></x:row>)"
        "</x:sheetData></x:worksheet>";
    const QByteArray numbers =
        "<worksheet " + ns +
        R"(><sheetData><row r="1"><c r="A1"><v>7</v></c><c r="B1"><v>1.5</v></c></row>)"
        R"(<row r="2"><c r="A2"><v>8</v></c><c r="B2"><v>2</v></c></row></sheetData></worksheet>)";
    const QByteArray workbook =
        "<workbook " + ns +
        R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/><sheet name="Numbers" sheetId="2" r:id="rId2"/></sheets></workbook>)";
    const QByteArray rels =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Target="worksheets/sheet2.xml"/></Relationships>)";
    ASSERT_TRUE(writeZip(f, {{"xl/workbook.xml", workbook},
                             {"xl/_rels/workbook.xml.rels", rels},
                             {"xl/worksheets/sheet1.xml", sheet},
                             {"xl/worksheets/sheet2.xml", numbers}}));
    const QString cs = "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + f;
    Result r = query(cs + ";Extended Properties=\"Excel 12.0 Xml;HDR=YES\"",
                     "SELECT [When], \"Order\", [When] + [Order] AS Total FROM [Sheet1$] ORDER BY [When]");
    ASSERT_EQ(r.rows.size(), 2) << r.error.toStdString();
    EXPECT_EQ(r.fields[0].type, 3);
    EXPECT_EQ(r.fields[1].type, 5);
    EXPECT_EQ(r.rows[1][2].toDouble(), 6.0);

    // Without a header every row is data: the first row's texts make text columns, a sheet of numbers
    // keeps number columns.
    r = query(cs + ";Extended Properties=\"Excel 12.0 Xml;HDR=NO\"", "SELECT * FROM [Sheet1$]");
    ASSERT_EQ(r.rows.size(), 3) << r.error.toStdString();
    EXPECT_EQ(r.fields[0].name, "F1");
    EXPECT_EQ(r.fields[0].type, 200);
    EXPECT_EQ(r.rows[0][0].toString(), "When");
    EXPECT_EQ(r.rows[1][0].toString(), "1");
    r = query(cs + ";Extended Properties=\"Excel 12.0 Xml;HDR=NO\"",
              "SELECT F1, F2 FROM [Numbers$] ORDER BY F1");
    ASSERT_EQ(r.rows.size(), 2) << r.error.toStdString();
    EXPECT_EQ(r.fields[0].type, 3);
    EXPECT_EQ(r.fields[1].type, 5);
    EXPECT_EQ(r.rows[0][0].toInt(), 7);
}

TEST(FileImport, AccessNumbersAreReadInTheCLocaleWhateverTheUsersLocale) {
    const QString f = desktopDb("types2010.accdb");
    if (!QFileInfo::exists(f)) GTEST_SKIP() << "no shared fixture " << f.toStdString();
    if (!kProgramsRun) GTEST_SKIP() << "starts localedef";
    // A comma-decimal locale of our own, built beside the test.
    QTemporaryDir dir;
    QProcess p;
    p.start("localedef", {"-i", "de_DE", "-f", "UTF-8", dir.filePath("de_DE.UTF-8")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) GTEST_SKIP() << "cannot build a German locale";
    const QByteArray oldPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", dir.path().toLocal8Bit());
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    const Result r =
        query("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + f, "SELECT F, H FROM Table1 ORDER BY F");
    std::setlocale(LC_NUMERIC, old.c_str());
    if (oldPath.isEmpty())
        qunsetenv("LOCPATH");
    else
        qputenv("LOCPATH", oldPath);
    if (!german) GTEST_SKIP() << "the German locale does not load";
    ASSERT_EQ(r.rows.size(), 2) << r.error.toStdString();
    EXPECT_DOUBLE_EQ(r.rows[1][0].toDouble(), 444.555);
    EXPECT_DOUBLE_EQ(r.rows[1][1].toDouble(), 3.5);
    EXPECT_FALSE(r.rows[0][0].isNull());
}

TEST(FileImport, AccessSavedQueriesAreViewsOrSayWhyNot) {
    const QString f = desktopDb("users.mdb");
    if (!QFileInfo::exists(f)) GTEST_SKIP() << "no shared fixture " << f.toStdString();
    if (QStandardPaths::findExecutable("mdb-queries").isEmpty())
        GTEST_SKIP() << "mdbtools' mdb-queries missing";
    if (!kProgramsRun) GTEST_SKIP() << "starts mdb-queries";
    clearImportCache();
    Connection c;
    QString error;
    ASSERT_TRUE(c.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + f, 10, &error))
        << error.toStdString();
    const QStringList views = c.views();
    for (const char* q : {"UserA", "MainColors", "ChangeValueDogTo40", "AddApple", "DeleteApple"})
        EXPECT_TRUE(views.contains(q)) << q;
    EXPECT_TRUE(views.contains(QString::fromUtf8("aàeèéiìoòuù")));
    EXPECT_FALSE(c.tables().contains("UserA"));

    Recordset rs;
    ASSERT_TRUE(rs.open("SELECT COUNT(*) FROM [UserA]", c, &error)) << error.toStdString();
    Recordset all;
    ASSERT_TRUE(all.open("SELECT COUNT(*) FROM Users WHERE UserCategory = 'A'", c, &error));
    EXPECT_EQ(rs.value(0).toInt(), all.value(0).toInt());
    EXPECT_GT(rs.value(0).toInt(), 0);
    ASSERT_TRUE(rs.open("SELECT * FROM MainColors", c, &error)) << error.toStdString();
    for (; !rs.eof(); rs.moveNext())
        EXPECT_GT(rs.value(1).toInt(), 10);

    EXPECT_FALSE(rs.open("SELECT * FROM [ChangeValueDogTo40]", c, &error));
    EXPECT_TRUE(error.contains("update query")) << error.toStdString();
    EXPECT_FALSE(rs.open("SELECT * FROM [DeleteApple]", c, &error));
    EXPECT_TRUE(error.contains("delete query")) << error.toStdString();
}

// A property blob: "MR2", then records of a 4-byte length (header included) and a 2-byte kind.
QByteArray blob(std::initializer_list<QByteArray> records) {
    QByteArray b("MR2", 4);
    for (const QByteArray& r : records)
        b += r;
    return b;
}
QByteArray record(quint16 kind, const QByteArray& body, qint64 length = -1) {
    const quint32 n = length < 0 ? quint32(6 + body.size()) : quint32(length);
    QByteArray r;
    for (int i = 0; i < 4; ++i)
        r += char(n >> (8 * i));
    r += char(kind & 0xff);
    r += char(kind >> 8);
    return r + body;
}
QByteArray u16(quint16 v) {
    return QByteArray(1, char(v & 0xff)) + char(v >> 8);
}
// One value: its length, a kind byte pair, the number of its name, its size, its bytes.
QByteArray value(quint16 length, quint16 name, const QByteArray& data) {
    return u16(length) + u16(0x0a00) + u16(name) + u16(quint16(data.size())) + data;
}

TEST(FileImport, AccessPropertyBlobsThatWouldNotMoveOnAreDamaged) {
    const QByteArray names = record(0x80, u16(2) + "A" + '\0' + u16(2) + "B" + '\0');
    const QByteArray block = u16(0) + u16(0) + u16(0); // no block name
    const struct {
        const char* what;
        QByteArray blob;
        bool sound;
    } cases[] = {
        {"names then values", blob({names, record(0, block + value(10, 1, "xy"))}), true},
        {"not a property blob at all", QByteArray("XYZ\0\0\0\0\0", 8), true},
        {"a record of length zero", blob({names, record(0x80, {}, 0)}), false},
        {"a record shorter than its header", blob({names, record(0, {}, 3)}), false},
        {"a record longer than the blob", blob({names, record(0, block, 400)}), false},
        {"a record header cut off", blob({names}) + "\x10\0", false},
        {"a value of length zero", blob({names, record(0, block + value(0, 1, "xy"))}), false},
        {"a value of length zero naming no known name", blob({names, record(0, block + value(0, 7, "xy"))}),
         true},
        {"values before any names", blob({record(0, block + value(0, 1, "xy"))}), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bd::db::import::propertyBlobSound(reinterpret_cast<const uint8_t*>(c.blob.constData()),
                                                    size_t(c.blob.size())),
                  c.sound)
            << c.what;
}

// A catalogue whose first property record says it is 0 bytes long would have the import loop and
// allocate for ever: it is refused with the database's name.
TEST(FileImport, AccessCatalogueWithALoopingPropertyRecordIsRefused) {
    const QString f = desktopDb("users.mdb");
    if (!QFileInfo::exists(f)) GTEST_SKIP() << "no shared fixture " << f.toStdString();
    QFile in(f);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    constexpr qsizetype kCatalogueProperties = 58931; // the "MR2" blob of a catalogue row
    ASSERT_EQ(bytes.mid(kCatalogueProperties, 4), QByteArray("MR2", 4));
    bytes.replace(kCatalogueProperties + 4, 4, QByteArray(4, '\0'));
    QTemporaryDir dir;
    QFile out(dir.filePath("looping.mdb"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    const Result r = query("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + out.fileName(), "SELECT 1");
    EXPECT_TRUE(r.error.contains("looping.mdb")) << r.error.toStdString();
    EXPECT_TRUE(r.error.contains("catalogue")) << r.error.toStdString();
}

TEST(FileImport, OnlyRegularFilesWithinTheSizeLimitAreImported) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.csv");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir(dir.path()).mkdir("folder.xlsx");
    const QString huge = dir.filePath("huge.csv");
    {
        QFile h(huge);
        ASSERT_TRUE(h.open(QIODevice::WriteOnly));
        ASSERT_TRUE(h.resize(5ll << 30)); // sparse: takes no room
    }
    const struct {
        QString cs;
        QString says;
    } cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dev/zero", "not a data file"},
        {csvConnection(fifo), "not a data file"},
        {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + dir.filePath("folder.xlsx"), "not a data file"},
        {csvConnection(huge), "too large"},
    };
    QElapsedTimer t;
    t.start();
    for (const auto& k : cases) {
        const Result r = query(k.cs, "SELECT 1");
        EXPECT_TRUE(r.error.contains(k.says)) << k.cs.toStdString() << ": " << r.error.toStdString();
    }
    EXPECT_LT(t.elapsed(), 5000);
    // A folder of text files is still one source, a table per file.
    ASSERT_TRUE(bd::test::writeFile(dir.filePath("texts/a.csv"), "X\n1\n"));
    const Result r = query(csvConnection(dir.filePath("texts")), "SELECT X FROM [a.csv]");
    ASSERT_EQ(r.rows.size(), 1) << r.error.toStdString();
}

TEST(FileImport, ColumnTypesAndEncodingComeFromTheWholeFileNotItsStart) {
    // Several chunks of integers and plain texts; near the end a decimal, a word in the number
    // column and a byte that is no UTF-8.
    constexpr int kRows = 400000;
    QByteArray start = "Id,Qty,Code,Name\n";
    for (int i = 1; i <= kRows; ++i)
        start += QByteArray::number(i) + ',' + QByteArray::number(i % 50) + ',' + QByteArray::number(i % 7) +
                 ",name " + QByteArray::number(i) + '\n';
    const struct {
        const char* what;
        QByteArray tail;
        QStringList types;
        QString lastName;
    } cases[] = {
        {"as it starts", "", {"3", "3", "3", "200"}, "name 400000"},
        {"a decimal late", "400001,2.5,1,last\n", {"3", "5", "3", "200"}, "last"},
        {"a word late", "400001,3,none,last\n", {"3", "3", "200", "200"}, "last"},
        {"Windows-1252 late", "400001,3,1,caf\xE9\n", {"3", "3", "3", "200"}, QString::fromUtf8("café")},
    };
    for (const auto& k : cases) {
        QTemporaryDir dir;
        const QString f = dir.filePath("t.csv");
        ASSERT_TRUE(bd::test::writeFile(f, start + k.tail));
        const Result r =
            query(csvConnection(f), "SELECT Id, Qty, Code, Name FROM [t.csv] ORDER BY Id DESC LIMIT 1");
        ASSERT_EQ(r.rows.size(), 1) << k.what << " " << r.error.toStdString();
        QStringList types;
        for (const auto& x : r.fields)
            types << QString::number(x.type);
        EXPECT_EQ(types, k.types) << k.what;
        EXPECT_EQ(r.rows[0][3].toString(), k.lastName) << k.what;
        const Result n = query(csvConnection(f), "SELECT COUNT(*), SUM(Qty) FROM [t.csv] WHERE Id <= 400000");
        ASSERT_EQ(n.rows.size(), 1) << k.what;
        EXPECT_EQ(n.rows[0][0].toInt(), kRows) << k.what;
        EXPECT_EQ(n.rows[0][1].toLongLong(), qint64(kRows / 50) * (49 * 50 / 2)) << k.what;
    }
}
