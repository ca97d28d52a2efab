#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus (corpus/<target>/seed-*) from the example cube, the test fixtures and
small files made here. The fuzzers' own inputs are kept as found, not made here: regression-* for a
fault that was fixed, found-* for one that showed a harness too strict. Run it from this folder after
changing a format:
    python3 make_seeds.py
"""
import base64
import json
import os
import struct
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", ".."))
CORPUS = os.path.join(HERE, "corpus")
GRIDS = ["temp.spCal", "temp.spCam", "temp.spSave", "temp.spFil", "temp.spUsrFil"]


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def example():
    with zipfile.ZipFile(os.path.join(TOP, "resources", "Example.cub")) as z:
        return {n: z.read(n) for n in z.namelist()}


def layout_json(member):
    if member[:8] != b"BDLAYOUT":
        return member
    (n,) = struct.unpack("<Q", member[16:24])
    return member[24 : 24 + n]


# ---- the coded query result (the cube's data member) ----------------------------------------------
INTEGER, REAL, DATETIME, TEXT, BOOLEAN = range(5)


def width_for(r):
    return 1 if r <= 0xFF else 2 if r <= 0xFFFF else 4 if r <= 0xFFFFFFFF else 8


def code_column(name, ado, kind, values):
    """One column: (name, ADO type, kind, values with None for NULL) in the codec's layout."""
    rows = len(values)
    nulls = any(v is None for v in values)
    bitmap = bytearray((rows + 7) // 8) if nulls else bytearray()
    for i, v in enumerate(values):
        if v is None:
            bitmap[i // 8] |= 1 << (i % 8)
    dict_, codes = [], []
    base, width, encoding, body = 0, 1, 1, b""
    if kind == TEXT:
        for v in values:
            if v is None:
                codes.append(None)
            else:
                if v not in dict_:
                    dict_.append(v)
                codes.append(dict_.index(v))
        codes = [len(dict_) if c is None else c for c in codes]
        width = width_for(len(dict_))
        body = b"".join(c.to_bytes(width, "little") for c in codes)
    elif kind in (REAL, DATETIME) and any(v is not None and v != int(v) for v in values):
        encoding, width = 2, 8
        body = b"".join(struct.pack("<d", 0.0 if v is None else v) for v in values)
    else:
        ints = [0 if v is None else int(v) for v in values]
        base = min(ints) if ints else 0
        width = width_for(max(ints) - base) if ints else 1
        body = b"".join((i - base).to_bytes(width, "little") for i in ints)
    texts = [s.encode("utf-8") for s in dict_]
    payload = (name.encode() + bytes(bitmap) + b"".join(struct.pack("<I", len(t)) for t in texts)
               + b"".join(texts) + body)
    header = struct.pack("<IiBBBBIqQQQ", len(name.encode()), ado, kind, encoding, width, 1 if nulls else 0, 0,
                         base, len(dict_), sum(map(len, texts)), len(payload))
    return header + payload


def code_result(columns):
    rows = len(columns[0][3]) if columns else 0
    body = b"".join(code_column(*c) for c in columns)
    total = 32 + len(body)
    return b"BDCOLUMN" + struct.pack("<IIQQ", 1, len(columns), rows, total) + body


SMALL_RESULT = [
    ("Region", 200, TEXT, ["North", "South", "North", None, "East", "West"]),
    ("Quantity", 3, INTEGER, [3, 7, -2, 0, None, 1000]),
    ("Amount", 5, REAL, [12.5, 3.0, None, -0.25, 1e9, 7.0]),
    ("SaleDate", 7, DATETIME, [45292.0, 45293.0, 45658.5, None, 36526.0, 45292.0]),
    ("Paid", 11, BOOLEAN, [1, 0, 1, 1, None, 0]),
]

FIELDS = [
    {"name": "Region", "caption": "Region", "orientation": 1, "aggregate": 0, "index": 0},
    {"name": "Paid", "caption": "Paid", "orientation": 2, "aggregate": 0, "index": 1},
    {"name": "SaleDate", "caption": "Date", "orientation": 4, "aggregate": 0, "index": 2, "hidden": ["45293"]},
    {"name": "Amount", "caption": "Amount", "orientation": 3, "aggregate": 0, "format": "#,##0.00", "index": 3},
    {"name": "Quantity", "caption": "Avg qty", "orientation": 3, "aggregate": 2, "index": 4},
    {"name": "Share", "caption": "Share", "orientation": 3, "aggregate": 0, "formula": "[Amount] / [Avg qty]",
     "format": "0.0%", "index": 5},
    {"name": "1", "caption": "Count", "orientation": 3, "aggregate": 1, "index": 6},
]


def small_layout(mode, data=None):
    doc = {"format": "brintova-pivot-layout", "version": 1, "mode": mode, "connectionType": 0,
           "connectionString": "Provider=SQLite;Data Source=APP_PATH/Example.sqlite",
           "recordSource": "SELECT * FROM Sales", "subtotals": True, "grandTotals": True, "printHeader": "",
           "fields": [dict({"formula": "", "format": "", "labelOrder": 0, "sortMode": 0, "sortData": 0,
                            "hidden": []}, **f) for f in FIELDS]}
    if data:
        doc["data"] = data
    return json.dumps(doc, separators=(",", ":")).encode()


def inline_data():
    """The older form: the result inside the layout's JSON, arrays in base64."""
    cols = []
    for name, ado, kind, values in SMALL_RESULT:
        c = {"name": name, "adoType": ado, "kind": kind, "dict": []}
        if any(v is None for v in values):
            c["nulls"] = base64.b64encode(bytes(1 if v is None else 0 for v in values)).decode()
        if kind == TEXT:
            for v in values:
                if v is not None and v not in c["dict"]:
                    c["dict"].append(v)
            codes = [len(c["dict"]) if v is None else c["dict"].index(v) for v in values]
            c["codes"] = base64.b64encode(b"".join(struct.pack("<I", x) for x in codes)).decode()
        elif kind in (REAL, DATETIME):
            c["reals"] = base64.b64encode(b"".join(struct.pack("<d", v or 0.0) for v in values)).decode()
        else:
            c["ints"] = base64.b64encode(b"".join(struct.pack("<q", v or 0) for v in values)).decode()
        cols.append(c)
    return {"rowCount": len(SMALL_RESULT[0][3]), "columns": cols}


def layout_member(json_bytes, coded):
    return b"BDLAYOUT" + struct.pack("<IIQ", 1, 0, len(json_bytes)) + json_bytes + coded


def stored_zip(members):
    import io
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0))
            z.writestr(info, data)
    return out.getvalue()


def cubes(ex):
    put("cube_file", "example.cub", open(os.path.join(TOP, "resources", "Example.cub"), "rb").read())
    grids = [(g, ex[g]) for g in GRIDS]
    put("cube_file", "small-with-data.cub",
        stored_zip([("temp.cub", layout_member(small_layout(3), code_result(SMALL_RESULT)))] + grids))
    put("cube_file", "small-layout-only.cub", stored_zip([("temp.cub", small_layout(2))] + grids))
    put("cube_data", "small.bin", layout_member(small_layout(3), code_result(SMALL_RESULT)))
    put("cube_data", "no-rows.bin", layout_member(small_layout(3), code_result([(n, a, k, []) for n, a, k, _ in
                                                                               SMALL_RESULT])))
    put("cube_data", "json-only.bin", small_layout(2))
    for g in GRIDS:
        put("grid_file", g[5:] + ".json", ex[g])
    put("pivot_layout", "example.json", layout_json(ex["temp.cub"]))
    put("pivot_layout", "inline-data.json", small_layout(3, inline_data()))


def csvs():
    put("import_csv", "comma.csv", "0Name,Qty,Price,Day,Notes\r\nAna,3,12.5,2024-01-31,\"x, \"\"quoted\"\"\"\r\n"
        "Bruno \u00d1and\u00fa,-7,0.25,1999-12-31,\r\nC\u00e9,42,1000.75,2000-02-29,\"two\nlines\"\r\n")
    put("import_csv", "semicolon-no-header.csv", "5a;1;2024-03-05 13:05:00;TRUE\n b ;;;\n;-3.5e2;31/12/2024;no\n")
    put("import_csv", "tab-latin1.csv", b"2Nom\tVal\n\xe9t\xe9\t1\n\xe0 la\t2,5\n")
    put("import_csv", "pipe-bom.csv", b"3\xef\xbb\xbfid|text\n1|\"open\n2|x\n")


def xlsx(sheets, shared, styles, date1904=False):
    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rel = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
    wb = (f'<?xml version="1.0" encoding="UTF-8"?><workbook {ns} {rel}>'
          f'<workbookPr date1904="{1 if date1904 else 0}"/><sheets>'
          + "".join(f'<sheet name="{n}" sheetId="{i + 1}" r:id="rId{i + 1}"/>' for i, (n, _) in enumerate(sheets))
          + "</sheets></workbook>")
    rels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships '
            'xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            + "".join(f'<Relationship Id="rId{i + 1}" Target="worksheets/sheet{i + 1}.xml" Type="x"/>'
                      for i in range(len(sheets)))
            + "</Relationships>")
    members = [("xl/workbook.xml", wb), ("xl/_rels/workbook.xml.rels", rels), ("xl/styles.xml", styles)]
    if shared is not None:
        members.append(("xl/sharedStrings.xml", f'<sst {ns}>' + "".join(
            f"<si><t>{s}</t></si>" if "<" not in s else f"<si>{s}</si>" for s in shared) + "</sst>"))
    for i, (_, body) in enumerate(sheets):
        members.append((f"xl/worksheets/sheet{i + 1}.xml", f'<worksheet {ns}><sheetData>{body}</sheetData></worksheet>'))
    return stored_zip([(n, d.encode()) for n, d in members])


STYLES = ('<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts>'
          '<numFmt numFmtId="164" formatCode="dd/mm/yyyy hh:mm"/><numFmt numFmtId="165" formatCode="0.00&quot;d&quot;"/>'
          '</numFmts><cellXfs><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="165"/>'
          '</cellXfs></styleSheet>')


def workbooks():
    sheet1 = ('<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="inlineStr">'
              '<is><t>Day</t></is></c><c r="D1" t="str"><v>Flag</v></c></row>'
              '<row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2"><v>12.5</v></c><c r="C2" s="1"><v>45292</v></c>'
              '<c r="D2" t="b"><v>1</v></c></row>'
              '<row r="4"><c r="B4" s="3"><v>-3</v></c><c r="C4" s="2"><v>45292.75</v></c><c r="D4" t="e">'
              '<v>#N/A</v></c><c r="AA4" t="d"><v>2024-02-29T10:00:00</v></c></row>')
    sheet2 = '<row><c><v>1</v></c><c t="s"><v>3</v></c></row><row><c><v>2</v></c></row>'
    shared = ["Name", "Amount", "Caf\u00e9 &amp; t\u00e9", '<r><t>rich </t></r><r><t>text</t></r><rPh><t>x</t></rPh>']
    put("import_xlsx", "two-sheets.xlsx", xlsx([("Sales", sheet1), ("Other sheet", sheet2)], shared, STYLES))
    put("import_xlsx", "1904-no-shared.xlsx", xlsx([("S", '<row r="1"><c r="A1" s="1"><v>100</v></c></row>')],
                                                   None, STYLES, date1904=True))
    put("import_xls", "bddata.xls", open(os.path.join(TOP, "tests", "fixtures", "db", "bddata.xls"), "rb").read())
    # The first page of a JET 4 database: enough for the reader to look for the catalogue and fail there.
    page = bytearray(4096)
    page[0:4] = b"\x00\x01\x00\x00"
    page[4:20] = b"Standard Jet DB\x00"
    page[0x14] = 1
    put("import_mdb", "jet4-header.mdb", bytes(page) * 3)


def texts(ex):
    put("connection_string", "sqlite.txt", "/opt/brintova\nProvider=SQLite;Data Source=APP_PATH/Example.sqlite")
    put("connection_string", "excel.txt", '/a;b "c"\nProvider=Microsoft.ACE.OLEDB.12.0;Data Source=APP_PATH\\'
        'data.xlsx;Extended Properties="Excel 12.0 Xml;HDR=NO;FMT=Delimited(;)"')
    put("connection_string", "msdasql.txt", "\nProvider=MSDASQL;Extended Properties=\"DSN=sales;UID=ana;"
        "PWD={p;w}}d}\";Persist Security Info=False")
    put("connection_string", "odbc-driver.txt", "\nDriver={MySQL ODBC 8.0 Unicode Driver};Server=db,3306;"
        "Database=x;User=ana;Password='it''s'")
    put("connection_string", "sqlserver.txt", "\nProvider=SQLOLEDB.1;Data Source=tcp:.\\SQLEXPRESS;Initial "
        "Catalog=Sales;User ID=sa;Password=\"a;b=c\"")
    put("connection_string", "access-odbc.txt", "/x\nDriver={Microsoft Access Driver (*.mdb)};DBQ=APP_PATH/"
        "db.mdb;Extended Properties=text\r\nFMT=TabDelimited")
    put("connection_string", "servers.txt", "\nProvider=MySQLProv;Server=h:1;Port=2;DB=d;UID=u;PWD=p;"
        "Provider=PostgreSQL ==x; Integrated Security=SSPI")
    q = "SELECT Region, Product, Notes, Amount, Quantity, SaleDate FROM sales"
    put("user_filter", "text-like.txt", f"10\n{q}\nRegion\tLike\t50%_off!\t...\t\tAnd\nProduct\t=\tIt's\t...\n")
    put("user_filter", "numbers-de.txt", f"01\n{q} WHERE Amount > 0 ORDER BY 1\nAmount\tBetween\t1.234,5\t"
        "-7\t(\tOr\nQuantity\t>\t3\t...\t)\tAnd\nAmount\t<\t1e3\t...\n")
    put("user_filter", "dates-us.txt", f"12\nSELECT * FROM sales s -- all\\nGROUP BY Region\nSaleDate\tBetween\t"
        "3/5/24\t12/31/2025 1:05 PM\t\tAnd\nsaledate\t=\t2024-02-29\n")
    put("user_filter", "union-fr.txt", "13\nSELECT Region AS R, Amount FROM sales UNION SELECT 'x' AS R, 1 "
        "LIMIT 5\nR\t=\tNord\t...\t\tOr\nAmount\t>\t1 234,5\t...\t\t\tISNUMERIC\n")
    put("user_filter", "alias.txt", f"00\nSELECT TOP 5 s.Region AS Zone, Amount AS [Value] FROM sales s\n"
        "Zone\tLike\t\\\\_%\\n\t...\t\t\tISTEXT\nValue\t=\tabc\t...\t\t\tISNUMERIC\n")
    put("chart_catalogue", "column.txt", 'Column 3D\n20\t40\t150\t1\t0\n<chart caption="Sales" decimals="2">'
        '<set label="North" value="12.5"/><set label="South" value="-3"/></chart>')
    put("chart_catalogue", "multi.txt", 'Line\n5\t1\t2\t1\t1\n<chart><categories><category label="2024"/>'
        '<category label="2025"/></categories><dataset seriesName="North"><set value="1"/></dataset>'
        '<dataset seriesName="South" showValues="0"><set value="2"/><set value="3"/><set value="4"/>'
        '</dataset></chart>')
    put("chart_catalogue", "pie.txt", 'Pie 2D\nx\t\t-1\t2\t0\n<chart><set label="a" value="1" isSliced="1"/>'
        '<set label="b" value="nan"/></chart>')
    put("chart_catalogue", "unknown.txt", "None\n\n<chart/>")
    lang = open(os.path.join(TOP, "resources", "language.txt"), "rb").read()
    put("language_texts", "resources.txt", lang)
    put("language_texts", "latin1-crlf.txt", "cmd_es::Aceptar<BR>ya\r\nCMD_ES::otra\r\nt\u00edtulo_es::\u00e9\r\n"
        "sin separador\r\n::\r\n".encode("latin-1"))
    put("language_texts", "bom-cr.txt", "\ufeffa_en::one\rb_en::two::three\ra_EN::dup".encode("utf-8"))


if __name__ == "__main__":
    ex = example()
    cubes(ex)
    csvs()
    workbooks()
    texts(ex)
