#pragma once
// The three grids that hold a cube's definition on the designer: spCam (the query's fields), spCal
// (measures, alert rows, chart settings) and spFil (the filters offered to the viewer's user), with
// the column numbers, tag roles, type classes, aggregates, operators and engines every reader and
// writer of those grids agrees on. The designer window inherits this class; the grids are children
// of the widget given to the constructor.
#include "platform/grid/Grid.h"

#include <QPointer>
#include <QStringList>
#include <optional>

class DefinitionGrids {
public:
    // spCam
    static constexpr int ColCampo = 1;
    static constexpr int ColDimension = 2;
    static constexpr int ColTipoCampo = 3;

    // spCal
    static constexpr int ColMedida = 1;
    static constexpr int ColVisible = 2;
    static constexpr int ColAgregado = 3;
    static constexpr int ColLimiteInferior = 4;
    static constexpr int ColLimiteSuperior = 5;
    static constexpr int ColIncluirTotales = 6;
    static constexpr int ColColorAlerta = 7;
    static constexpr int ColResultadoAlerta = 8;
    static constexpr int ColDestinatarios = 9;
    static constexpr int ColAgregarRango = 10;
    static constexpr int ColQuitarFila = 11;
    static constexpr int ColTipoGrafico = 12;
    static constexpr int ColTituloGrafico = 13;
    static constexpr int ColSubtituloGrafico = 14;
    static constexpr int ColEjeX = 15;
    static constexpr int ColEjeY = 16;
    static constexpr int ColMaxCaracteres = 17;
    static constexpr int ColOcultarEtiquetas = 18;
    static constexpr int ColLimiteResultados = 19;
    static constexpr int ColDibujarTotales = 20;

    // spFil
    static constexpr int ColFiltroCampo = 1;
    static constexpr int ColFiltroUsuario = 2;
    static constexpr int ColOperador = 3;
    static constexpr int ColLimiteDesde = 4;
    static constexpr int ColValorDesde = 5;
    static constexpr int ColValorHasta = 6;
    static constexpr int ColLimiteHasta = 7;
    static constexpr int ColQuitarFiltro = 8;
    static constexpr int ColTablaValores = 9;
    static constexpr int ColCampoValores = 10;
    static constexpr int ColWhereValores = 11;
    static constexpr int ColSQLValores = 12;

    // Tag roles: the column whose cell tag holds the value, in any row.
    static constexpr int TagCaption = 1; // display caption (empty: the field name is shown)
    static constexpr int TagFormato = 2; // display format (a number mask)
    static constexpr int TagFormula = 3; // spCal: formula of a calculated measure

    static constexpr int DefinitionRows = 300;
    static constexpr int SpCamColumns = 3;
    static constexpr int SpCalColumns = 21;
    static constexpr int SpFilColumns = 12;

    // Picture id of the add-field arrow on spCam's buttons.
    static inline const QString picFlecha = QStringLiteral("picFlecha");

    static inline const QString ISNUMERIC = QStringLiteral("ISNUMERIC");
    static inline const QString ISTEXT = QStringLiteral("ISTEXT");
    static inline const QString ISMEMO = QStringLiteral("ISMEMO");
    static inline const QString ISDATE = QStringLiteral("ISDATE");

    // In the order of their lists.
    static const QStringList& Aggregates(); // "Sum", "Max", ... ; default "Sum"
    static const QStringList& Operators();  // "=", "Between", "Like", ">", "<"; default "Between"
    static const QStringList& Engines();    // "ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE", "OTHER"

    // Type class of a recordset field type number; empty for 205 (binary), which gets no row.
    static QString TypeClassOf(int adoType);
    static bool IsAdoNumber(int adoType);
    // The pivot's function code for an aggregate cell text ("DC" + text, exact and case-sensitive);
    // nothing when the text matches none and the pivot keeps its own default.
    static std::optional<int> AggregateCodeOf(const QString& text);

    explicit DefinitionGrids(QWidget* parent);
    virtual ~DefinitionGrids() = default;

    // True when some row 1..row count of the grid has a non-empty column 1.
    static bool HayCampos(const bd::grid::Grid& Grilla);
    // Moves spCal's named rows up over the empty ones, in one pass, keeping every used row.
    void RemoverFilasVacias();
    // Row count back to 300, or to the last row holding data when that is further down.
    static void BackToDefinitionRows(bd::grid::Grid& Grilla);

    QPointer<bd::grid::Grid> spCam;
    QPointer<bd::grid::Grid> spCal;
    QPointer<bd::grid::Grid> spFil;

private:
    void prepareSpCam();
    void prepareSpCal();
    void prepareSpFil();
};
