#include "platform/db/import/MdbCatalogCheck.h"

#include "platform/db/import/MdbGuards.h"

#include <QFile>

#include <cstring>

namespace bd::db::import {
namespace {

// The catalogue table's own definition page, and the column holding each object's properties.
constexpr int kCatalogueTablePage = 2;
constexpr char kPropertiesColumn[] = "LvProp";
// Property blob record kinds: the list of names, then blocks of values naming them by number.
constexpr uint16_t kNamesRecord = 0x80;
constexpr uint16_t kLastValuesRecord = 0x02;
constexpr size_t kRecordHeader = 6;
constexpr size_t kValueHeader = 8;

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

size_t nameCount(const uint8_t* list, size_t size) {
    size_t n = 0;
    for (size_t pos = 0; pos < size; ++n) {
        if (pos + 2 > size) return n + 1;
        pos += 2 + le16(list + pos);
    }
    return n;
}

// One block of values: each value names an entry of the list and must move the walk on.
bool valuesSound(const uint8_t* block, size_t size, size_t names) {
    if (size < kRecordHeader) return size == 0;
    size_t pos = kRecordHeader + le16(block + 4);
    while (pos < size) {
        if (pos + kValueHeader > size) return false;
        const uint16_t length = le16(block + pos);
        if (le16(block + pos + 4) >= names) return true; // mdbtools stops at an unknown name
        if (pos + kValueHeader + le16(block + pos + 6) > size) return true; // and at a value too long
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

} // namespace

bool propertyBlobSound(const uint8_t* blob, size_t size) {
    if (size < 4 || (std::memcmp(blob, "KKD", 4) != 0 && std::memcmp(blob, "MR2", 4) != 0)) return true;
    bool haveNames = false;
    size_t names = 0;
    for (size_t pos = 4; pos < size;) {
        if (pos + kRecordHeader > size) return false;
        const uint32_t length = le32(blob + pos);
        if (length < kRecordHeader || length > size - pos) return false;
        const uint16_t kind = le16(blob + pos + 4);
        const uint8_t* body = blob + pos + kRecordHeader;
        const size_t bodySize = length - kRecordHeader;
        if (kind == kNamesRecord) {
            names = nameCount(body, bodySize);
            haveNames = true;
        } else if (kind <= kLastValuesRecord && haveNames && !valuesSound(body, bodySize, names)) {
            return false;
        }
        pos += length;
    }
    return true;
}

namespace {

bool catalogueSound(MdbHandle* mdb) {
    MdbCatalogEntry catalogue{};
    catalogue.mdb = mdb;
    catalogue.object_type = MDB_TABLE;
    catalogue.table_pg = kCatalogueTablePage;
    std::strcpy(catalogue.object_name, "MSysObjects");
    MdbTableDef* table = mdb_read_table(&catalogue);
    if (!table) return true; // reading the catalogue fails on its own, with its own message
    if (!hasPageMap(table)) {
        mdb_free_tabledef(table);
        return false;
    }
    const GPtrArray* columns = mdb_read_columns(table);
    MdbColumn* props = nullptr;
    for (unsigned i = 0; columns && i < columns->len; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(columns, i));
        if (std::strcmp(col->name, kPropertiesColumn) == 0) props = col;
    }
    bool sound = true;
    if (props) {
        // Bound as the catalogue reader binds it; the value itself is read from its pages here.
        std::vector<char> bound(mdb->bind_size + 1);
        int length = 0;
        mdb_bind_column_by_name(table, const_cast<char*>(kPropertiesColumn), bound.data(), &length);
        mdb_rewind_table(table);
        std::vector<uint8_t> blob;
        while (sound && mdb_fetch_row(table))
            sound = longValueBytes(mdb, *props, blob) && propertyBlobSound(blob.data(), blob.size());
    }
    mdb_free_tabledef(table);
    return sound;
}

} // namespace

bool catalogueSound(const QString& path) {
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb) return true; // the import says the file cannot be read
    const bool sound = catalogueSound(mdb);
    mdb_close(mdb);
    return sound;
}

} // namespace bd::db::import
