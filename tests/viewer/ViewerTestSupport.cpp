#include "viewer/ViewerTestSupport.h"

#include "platform/grid/GridStore.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"

#include <QFile>
#include <random>
#include <sqlite3.h>

namespace bd::test {

LinkedViewer::LinkedViewer() {
    cube = new InsCube;
    cube->CubeId = "Cube";
    v = new Cubo;
    v->VinsCube = cube;
    auto* d = new Campos;
    d->SaveInitialOptions();
    d->VinsCube = cube;
    d->VCubo = v;
    d->Recarga = true;
    v->Vcampos = d;
    c = d;
}

LinkedViewer::~LinkedViewer() {
    if (v) {
        v->Salvar = false;
        delete v.data(); // takes its designer and cube along
    }
}

namespace {
bool exec(sqlite3* db, const char* sql, QString* error) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    if (error) *error = QString::fromUtf8(msg ? msg : "sqlite error");
    sqlite3_free(msg);
    return false;
}
} // namespace

bool WriteExampleDatabase(const QString& path, QString* error) {
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
        if (error) *error = "cannot create " + path;
        sqlite3_close(db);
        return false;
    }
    bool ok = exec(
        db,
        "CREATE TABLE Sales (SaleId INTEGER PRIMARY KEY, SaleDate DATE NOT NULL, Region TEXT NOT NULL, "
        "Product TEXT NOT NULL, Salesperson TEXT NOT NULL, Quantity INTEGER NOT NULL, Amount REAL NOT NULL);"
        "BEGIN;",
        error);
    struct ProductRow {
        const char* name;
        int cents;
    };
    static const ProductRow products[] = {{"Laptop", 89900}, {"Monitor", 21900}, {"Keyboard", 4900},
                                          {"Mouse", 2500},   {"Printer", 15900}, {"Tablet", 39900}};
    static const char* regions[] = {"North", "South", "East", "West", "Central"};
    // Two salespeople per region, so every region has its own team.
    static const char* sellers[] = {"Ana Ruiz",    "Ben Okafor",   "Carla Mendes", "Dev Patel",
                                    "Elena Novak", "Farid Haddad", "Greta Lind",   "Hugo Brandt",
                                    "Ines Costa",  "Jon Eriksen"};
    std::mt19937 rng(20240101u); // the raw engine output is fixed by the standard
    sqlite3_stmt* st = nullptr;
    ok = ok &&
         sqlite3_prepare_v2(db,
                            "INSERT INTO Sales (SaleDate, Region, Product, Salesperson, Quantity, Amount) "
                            "VALUES (?,?,?,?,?,?)",
                            -1, &st, nullptr) == SQLITE_OK;
    const QDate first(2024, 1, 1);
    const int days = int(first.daysTo(QDate(2025, 12, 31))) + 1;
    for (int i = 0; ok && i < 3000; ++i) {
        const QByteArray date = first.addDays(rng() % days).toString(Qt::ISODate).toLatin1();
        const int reg = int(rng() % 5);
        const ProductRow& p = products[rng() % 6];
        const char* seller = sellers[reg * 2 + int(rng() % 2)];
        const int qty = 1 + int(rng() % 12);
        const qint64 cents = qint64(p.cents) * qty * (90 + qint64(rng() % 21)) / 100;
        sqlite3_bind_text(st, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, regions[reg], -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 3, p.name, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 4, seller, -1, SQLITE_STATIC);
        sqlite3_bind_int(st, 5, qty);
        sqlite3_bind_double(st, 6, double(cents) / 100.0);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = ok && exec(db, "COMMIT;", error);
    sqlite3_close(db);
    return ok;
}

QString DumpDatabase(const QString& path) {
    sqlite3* db = nullptr;
    QString out;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM Sales ORDER BY SaleId", -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                out += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c))) + '|';
            out += '\n';
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

bool FillExampleCube(LinkedViewer& w, QString* error) {
    using namespace bd::grid;
    Campos& c = *w.c;
    Cubo& v = *w.v;
    InsCube& cube = *w.cube;
    cube.CubeId = "Example";
    cube.CubeConnectionString = "Provider=SQLite;Data Source=APP_PATH/Example.sqlite";
    cube.CubeSqlQuery = "SELECT SaleDate, Region, Product, Salesperson, Quantity, Amount FROM Sales";
    c.txtIdCubo->setText(cube.CubeId);
    c.txtConeccion->setPlainText(cube.CubeConnectionString);
    c.txtQuery->setPlainText(cube.CubeSqlQuery);
    c.txtDescripcion->setPlainText("Sales of 2024 and 2025 by region, product and salesperson.");
    c.cmbEngine->setCurrentText("OTHER");
    c.chkSaveWData->setChecked(true);
    c.chkRefresh->setChecked(false);
    c.chkSendAlert->setChecked(true);

    struct FieldDef {
        const char *name, *caption, *cls;
        bool dim;
    };
    const FieldDef fields[] = {
        {"SaleDate", "Date", "ISDATE", true},         {"Region", "Region", "ISTEXT", true},
        {"Product", "Product", "ISTEXT", true},       {"Salesperson", "Salesperson", "ISTEXT", true},
        {"Quantity", "Quantity", "ISNUMERIC", false}, {"Amount", "Amount", "ISNUMERIC", false}};
    Grid& cam = *c.spCam;
    int r = 1;
    for (const FieldDef& f : fields) {
        cam.setText(Campos::ColCampo, r, f.name);
        if (QString(f.caption) != f.name) General::EscribirCelda(cam, Campos::TagCaption, r, f.caption);
        cam.setText(Campos::ColDimension, r, f.dim ? "1" : "0");
        General::EscribirCelda(cam, Campos::ColTipoCampo, r, f.cls);
        if (QString(f.cls) == "ISNUMERIC") {
            cam.setCellType(Campos::ColTipoCampo, r, TypeButton);
            cam.setTypeButtonPicture(Campos::ColTipoCampo, r, Campos::picFlecha);
            cam.setLock(Campos::ColTipoCampo, r, false);
        }
        ++r;
    }

    Grid& cal = *c.spCal;
    cal.setText(Campos::ColMedida, 1, "Amount");
    cal.setText(Campos::ColVisible, 1, "1");
    General::EscribirCelda(cal, Campos::TagFormato, 1, "#,##0.00");
    cal.setText(Campos::ColAgregado, 1, "Sum");
    cal.setText(Campos::ColLimiteInferior, 1, "0,00");
    cal.setText(Campos::ColLimiteSuperior, 1, "40000,00");
    cal.setBackColor(Campos::ColLimiteSuperior, 1, 0x8080FF);
    cal.setText(Campos::ColIncluirTotales, 1, "0");
    General::EscribirCelda(cal, Campos::ColDestinatarios, 1,
                           "sales.team@example.com;regional.managers@example.com");
    cal.setText(Campos::ColTipoGrafico, 1, "Column 3D");
    cal.setText(Campos::ColTituloGrafico, 1, "Sales by region");
    cal.setText(Campos::ColSubtituloGrafico, 1, "2024-2025");
    // No x axis name: the axis names the field its labels come from, whatever the layout.
    cal.setText(Campos::ColEjeY, 1, "Amount");
    cal.setText(Campos::ColMaxCaracteres, 1, "20");
    cal.setText(Campos::ColOcultarEtiquetas, 1, "30");
    cal.setText(Campos::ColLimiteResultados, 1, "50");
    cal.setText(Campos::ColDibujarTotales, 1, "0");
    cal.setText(Campos::ColMedida, 2, "Quantity");
    cal.setText(Campos::ColVisible, 2, "1");
    General::EscribirCelda(cal, Campos::TagFormato, 2, "#,##0");
    cal.setText(Campos::ColAgregado, 2, "Sum");
    cal.setText(Campos::ColLimiteInferior, 2, "0,00");
    cal.setText(Campos::ColLimiteSuperior, 2, "0,00");

    Grid& fil = *c.spFil;
    fil.setText(Campos::ColFiltroCampo, 1, "Region");
    fil.setText(Campos::ColFiltroUsuario, 1, "1");
    fil.setText(Campos::ColOperador, 1, "=");
    General::EscribirCelda(fil, Campos::ColOperador, 1, "ISTEXT");
    for (int col :
         {Campos::ColLimiteDesde, Campos::ColValorDesde, Campos::ColValorHasta, Campos::ColLimiteHasta})
        fil.setTypeButtonText(col, 1, "...");
    fil.setText(Campos::ColFiltroCampo, 2, "SaleDate");
    fil.setText(Campos::ColFiltroUsuario, 2, "0");
    fil.setText(Campos::ColOperador, 2, "Between");
    General::EscribirCelda(fil, Campos::ColOperador, 2, "ISDATE");
    fil.setTypeButtonText(Campos::ColLimiteDesde, 2, "2024-01-01");
    fil.setTypeButtonText(Campos::ColValorDesde, 2, "...");
    fil.setTypeButtonText(Campos::ColValorHasta, 2, "...");
    fil.setTypeButtonText(Campos::ColLimiteHasta, 2, "2025-12-31");

    // The user filter offered from the designer's Region filter, with no value picked yet.
    Grid& usr = *v.spUsrFil;
    usr.setMaxRows(1);
    usr.setText(Cubo::ColUsrCampo, 1, "Region");
    usr.setCellTag(Cubo::ColUsrCampo, 1, "Region");
    usr.setCellType(Cubo::ColUsrOperador, 1, TypeComboBox);
    usr.setTypeComboBoxList(Cubo::ColUsrOperador, 1, Campos::Operators());
    usr.setText(Cubo::ColUsrOperador, 1, "=");
    usr.setCellTag(Cubo::ColUsrOperador, 1, "ISTEXT");
    usr.setCellType(Cubo::ColUsrDesde, 1, TypeButton);
    usr.setTypeButtonText(Cubo::ColUsrDesde, 1, "...");
    usr.setCellType(Cubo::ColUsrHasta, 1, TypePlain);
    usr.setLock(Cubo::ColUsrHasta, 1, true);
    usr.setCellType(Cubo::ColUsrAgregarOr, 1, TypeButton);
    usr.setTypeButtonText(Cubo::ColUsrAgregarOr, 1, "+");

    bd::pivot::PivotTable& dc = *v.DC;
    dc.setConnectionString(cube.CubeConnectionString);
    dc.setRecordSource(cube.CubeSqlQuery);
    if (!dc.setAfterSql(true)) {
        if (error) *error = dc.lastError();
        return false;
    }
    dc.addField("Salesperson", "Salesperson", bd::pivot::PageArea);
    dc.addField("SaleDate", "Date", bd::pivot::PageArea);
    dc.addField("Region", "Region", bd::pivot::PageArea)->setOrientation(bd::pivot::RowArea);
    dc.addField("Product", "Product", bd::pivot::PageArea)->setOrientation(bd::pivot::RowArea);
    auto* amount = dc.addField("Amount", "Amount", bd::pivot::DataArea);
    amount->setAggregate(bd::pivot::Sum);
    amount->setNumberFormat("#,##0.00");
    auto* qty = dc.addField("Quantity", "Quantity", bd::pivot::DataArea);
    qty->setAggregate(bd::pivot::Sum);
    qty->setNumberFormat("#,##0");
    if (!dc.recalculate()) {
        if (error) *error = dc.lastError();
        return false;
    }
    v.lastChart = "Amount";
    // Opens with the filter pane shown, the pivot above the middle of a full-screen window and room
    // for the chart.
    v.SetToolChecked(Cubo::ToolFilterPane, true);
    v.SplitFil->setTop(1900);
    v.Split->setTop(7500);
    return true;
}

bool MakeExample(const QString& folder, QString* error) {
    if (!WriteExampleDatabase(folder + "/Example.sqlite", error)) return false;
    bd::os::ManualClock clock(QDateTime(QDate(2026, 1, 15), QTime(10, 30, 0)));
    const double hd = General::dHDNumber;
    General::dHDNumber = 1000;
    bd::os::ScriptedFileDialogs dialogs;
    dialogs.answers << folder + "/Example.cub";
    bd::os::setFileDialogs(&dialogs);
    bool ok = false;
    {
        LinkedViewer w;
        ok = FillExampleCube(w, error) && w.v->Guardar(true, false);
        if (!ok && error && error->isEmpty()) *error = "the save failed";
    }
    bd::os::setFileDialogs(nullptr);
    General::dHDNumber = hd;
    return ok;
}

} // namespace bd::test
