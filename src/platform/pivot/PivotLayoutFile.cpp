// The layout file: versioned JSON with the fields, their areas, positions, aggregates, formulas,
// formats, sort settings and member selections; mode 3 adds the query result column by column.
#include "platform/os/ReadFile.h"
#include "platform/pivot/PivotTable.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>
#include <cstring>

namespace bd::pivot {

namespace {

constexpr int kVersion = 1;
const char* kFormat = "brintova-pivot-layout";
// Largest layout file read (a layout with its data holds the query result).
constexpr qint64 kMaxLayoutFileBytes = 512ll * 1024 * 1024;

template <class T> QString packArray(const std::vector<T>& v) {
    return QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char*>(v.data()), qsizetype(v.size() * sizeof(T)))
            .toBase64());
}

template <class T> bool unpackArray(const QJsonValue& j, size_t expected, std::vector<T>& out) {
    if (j.isUndefined() || j.isNull()) {
        out.clear();
        return expected == 0;
    }
    if (!j.isString()) return false;
    const QByteArray raw =
        QByteArray::fromBase64(j.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (size_t(raw.size()) != expected * sizeof(T)) return false;
    out.resize(expected);
    if (expected) std::memcpy(out.data(), raw.constData(), raw.size());
    return true;
}

struct FieldRec {
    QString name, caption, formula, format;
    int orientation = 0, aggregate = 0, labelOrder = 0, sortMode = 0, sortData = 0;
    QStringList hidden;
};

// What a layout says of itself: its format, version and mode. "" when it can be read.
QString checkLayoutHeader(const QJsonObject& root, int* mode) {
    if (root["format"].toString() != kFormat) return PivotTable::tr("it is not a pivot layout.");
    const int version = root["version"].toInt(-1);
    if (version < 1) return PivotTable::tr("it has no valid version.");
    if (version > kVersion) return PivotTable::tr("it was written by a newer version of the program.");
    *mode = root["mode"].toInt(-1);
    if (*mode != 2 && *mode != 3) return PivotTable::tr("it has an unknown mode.");
    return QString();
}

// The fields in area order, each checked (one name per kind, codes in their ranges). "" when sound.
QString readFieldRecs(const QJsonValue& fields, std::vector<FieldRec>& recs) {
    QSet<QString> names;
    if (!fields.isArray()) return PivotTable::tr("the field list is missing.");
    for (const QJsonValue& v : fields.toArray()) {
        if (!v.isObject()) return PivotTable::tr("a field is damaged.");
        const QJsonObject j = v.toObject();
        FieldRec r;
        r.name = j["name"].toString();
        r.caption = j["caption"].toString();
        r.formula = j["formula"].toString();
        r.format = j["format"].toString();
        r.orientation = j["orientation"].toInt(-1);
        r.aggregate = j["aggregate"].toInt(-1);
        r.labelOrder = j["labelOrder"].toInt(0);
        r.sortMode = j["sortMode"].toInt(0);
        r.sortData = j["sortData"].toInt(0);
        for (const QJsonValue& h : j["hidden"].toArray())
            r.hidden << h.toString();
        const QString key = r.name.toUpper() + (r.orientation == DataArea ? "|data" : "|dim");
        if (r.name.isEmpty() || names.contains(key) || r.orientation < 0 || r.orientation > 4 ||
            r.aggregate < 0 || r.aggregate > 8 || r.labelOrder < 0 || r.labelOrder > 1 || r.sortMode < 0 ||
            r.sortMode > 2)
            return PivotTable::tr("a field is damaged.");
        names.insert(key);
        recs.push_back(r);
    }
    return QString();
}

// One stored column of n rows, its arrays of the sizes its kind needs. False when damaged.
bool readStoredColumn(const QJsonObject& j, size_t n, db::ColumnData& c) {
    c.name = j["name"].toString().toStdString();
    c.adoType = j["adoType"].toInt(200);
    const int kind = j["kind"].toInt(-1);
    if (kind < 0 || kind > int(db::ColumnKind::Boolean)) return false;
    c.kind = db::ColumnKind(kind);
    const bool ints = c.kind == db::ColumnKind::Integer || c.kind == db::ColumnKind::Boolean;
    const bool reals = c.kind == db::ColumnKind::Real || c.kind == db::ColumnKind::DateTime;
    const bool text = c.kind == db::ColumnKind::Text;
    for (const QJsonValue& s : j["dict"].toArray())
        c.dict.push_back(s.toString().toStdString());
    const bool hasNulls = j.contains("nulls");
    if (!unpackArray(j["nulls"], hasNulls ? n : 0, c.nulls) ||
        !unpackArray(j["ints"], ints ? n : 0, c.ints) || !unpackArray(j["reals"], reals ? n : 0, c.reals) ||
        !unpackArray(j["codes"], text ? n : 0, c.codes))
        return false;
    // A NULL text is coded one past the dictionary (older files gave it the code of a text).
    for (size_t r = 0; r < c.codes.size(); ++r)
        if (c.codes[r] > c.dict.size() || (c.codes[r] == c.dict.size() && !c.isNull(r))) return false;
    return true;
}

// The query result stored in the layout (mode 3). "" when sound.
QString readStoredData(const QJsonObject& d, std::shared_ptr<const db::ColumnarResult>& data) {
    const double rc = d["rowCount"].toDouble(-1);
    if (rc < 0 || rc > 4e9 || rc != std::floor(rc)) return PivotTable::tr("the stored data is damaged.");
    auto inlined = std::make_shared<db::ColumnarResult>();
    inlined->rowCount = size_t(rc);
    for (const QJsonValue& v : d["columns"].toArray()) {
        db::ColumnData c;
        if (!readStoredColumn(v.toObject(), inlined->rowCount, c))
            return PivotTable::tr("the stored data is damaged.");
        inlined->columns.push_back(std::move(c));
    }
    // Rows are backed by the columns' arrays: without a column the row count is unchecked.
    if (inlined->columns.empty() && inlined->rowCount != 0)
        return PivotTable::tr("the stored data is damaged.");
    data = std::move(inlined);
    return QString();
}

// The fields back in their order of creation (the all-fields collection), from their saved indexes.
std::vector<std::unique_ptr<PivotField>> inCreationOrder(std::vector<std::unique_ptr<PivotField>> fields,
                                                         const QJsonArray& saved) {
    std::vector<int> idx;
    for (int i = 0; i < saved.size(); ++i)
        idx.push_back(saved[i].toObject()["index"].toInt(i));
    std::vector<size_t> perm(fields.size());
    for (size_t i = 0; i < perm.size(); ++i)
        perm[i] = i;
    std::stable_sort(perm.begin(), perm.end(), [&](size_t a, size_t b) { return idx[a] < idx[b]; });
    std::vector<std::unique_ptr<PivotField>> sorted;
    for (size_t i : perm)
        sorted.push_back(std::move(fields[i]));
    return sorted;
}

} // namespace

QByteArray PivotTable::layoutJson(int mode, bool withData) const {
    QJsonObject root;
    root["format"] = kFormat;
    root["version"] = kVersion;
    root["mode"] = mode;
    root["connectionType"] = connectionType_;
    root["connectionString"] = connectionString_;
    root["recordSource"] = recordSource_;
    root["subtotals"] = subtotals_;
    root["grandTotals"] = grandTotals_;
    root["printHeader"] = printHeader_;
    QJsonArray fs;
    for (int o : {PageArea, RowArea, ColumnArea, DataArea, Hidden})
        for (PivotField* f : area(o)) {
            QJsonObject j;
            j["name"] = f->name_;
            j["caption"] = f->caption_;
            j["orientation"] = f->orientation_;
            j["aggregate"] = f->aggregate_;
            j["formula"] = f->formula_;
            j["format"] = f->format_;
            j["labelOrder"] = f->labelOrder_;
            j["sortMode"] = f->sortMode_;
            j["sortData"] = f->sortData_;
            j["hidden"] = QJsonArray::fromStringList(f->hiddenMembers());
            j["index"] = f->index();
            fs.append(j);
        }
    root["fields"] = fs;
    if (mode == 3 && data_ && withData) {
        QJsonObject d;
        d["rowCount"] = double(data_->rowCount);
        QJsonArray cols;
        for (const auto& c : data_->columns) {
            QJsonObject j;
            j["name"] = QString::fromStdString(c.name);
            j["adoType"] = c.adoType;
            j["kind"] = int(c.kind);
            if (!c.nulls.empty()) j["nulls"] = packArray(c.nulls);
            if (!c.ints.empty()) j["ints"] = packArray(c.ints);
            if (!c.reals.empty()) j["reals"] = packArray(c.reals);
            if (!c.codes.empty()) j["codes"] = packArray(c.codes);
            QJsonArray dict;
            for (const auto& s : c.dict)
                dict.append(QString::fromStdString(s));
            j["dict"] = dict;
            cols.append(j);
        }
        d["columns"] = cols;
        root["data"] = d;
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

bool PivotTable::saveLayout(const QString& path, int mode, QString* error) const {
    if (mode != 2 && mode != 3) {
        if (error) *error = tr("Unknown layout mode %1.").arg(mode);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(layoutJson(mode)) < 0 || !file.commit()) {
        if (error) *error = tr("The layout could not be written to %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool PivotTable::loadLayout(const QString& path, QString* error) {
    QByteArray bytes;
    QString why;
    if (!bd::os::readRegularFile(path, kMaxLayoutFileBytes, bytes, &why) ||
        !loadLayoutJson(bytes, nullptr, &why)) {
        if (error) *error = tr("The pivot layout %1 cannot be read: %2").arg(path, why);
        return false;
    }
    return true;
}

bool PivotTable::loadLayoutJson(const QByteArray& bytes, std::shared_ptr<const db::ColumnarResult> given,
                                QString* error, bool checkOnly) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) return fail(tr("it is damaged."));
    const QJsonObject root = doc.object();
    int mode = 0;
    if (const QString why = checkLayoutHeader(root, &mode); !why.isEmpty()) return fail(why);
    std::vector<FieldRec> recs;
    if (const QString why = readFieldRecs(root["fields"], recs); !why.isEmpty()) return fail(why);
    std::shared_ptr<const db::ColumnarResult> data = mode == 3 ? given : nullptr;
    if (mode == 3 && !given && root.contains("data")) {
        if (const QString why = readStoredData(root["data"].toObject(), data); !why.isEmpty())
            return fail(why);
    }

    // Everything checked: apply.
    if (checkOnly) return true;
    removeAllFields();
    connectionType_ = root["connectionType"].toInt(connectionType_);
    connectionString_ = root["connectionString"].toString();
    recordSource_ = root["recordSource"].toString();
    subtotals_ = root["subtotals"].toBool(true);
    grandTotals_ = root["grandTotals"].toBool(true);
    printHeader_ = root["printHeader"].toString();
    setData(std::move(data));
    for (size_t i = 0; i < recs.size(); ++i) {
        const FieldRec& r = recs[i];
        fields_.push_back(
            std::unique_ptr<PivotField>(new PivotField(this, r.name, r.caption, r.orientation)));
        PivotField* f = fields_.back().get();
        f->order_ = double(i); // saved in area order
        f->aggregate_ = r.aggregate;
        f->formula_ = r.formula;
        f->format_ = r.format;
        f->labelOrder_ = r.labelOrder;
        f->sortMode_ = r.sortMode;
        f->sortData_ = r.sortData;
        for (const QString& h : r.hidden)
            f->hidden_.insert(h);
    }
    fields_ = inCreationOrder(std::move(fields_), root["fields"].toArray());
    for (int o = Hidden; o <= PageArea; ++o)
        renumber(o);
    markDirty();
    compute();
    return true;
}

} // namespace bd::pivot
