#include "platform/db/import/TextEncoding.h"

#include <cstdint>
#include <cstring>

namespace bd::db::import {
namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 controls, as Windows reads them.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendCodePoint(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at p (0 when invalid).
size_t sequenceLength(const unsigned char* p, size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    auto cont = [&](size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (c == 0xE0 && p[1] < 0xA0) return 0; // overlong
        if (c == 0xED && p[1] > 0x9F) return 0; // surrogates
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (c == 0xF0 && p[1] < 0x90) return 0;
        if (c == 0xF4 && p[1] > 0x8F) return 0;
        return 4;
    }
    return 0;
}

bool asciiWord(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return (w & 0x8080808080808080ull) == 0;
}

} // namespace

bool hasUtf8Bom(const char* p, size_t n) {
    return n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0;
}

bool isAscii(const char* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        if (!asciiWord(p + i)) return false;
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
    return true;
}

bool isValidUtf8(const char* p, size_t n) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n && asciiWord(p + i)) {
            i += 8;
            continue;
        }
        const size_t len = sequenceLength(u + i, n - i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

size_t utf8Length(const char* p, size_t n) {
    size_t chars = 0;
    for (size_t i = 0; i < n; ++i)
        chars += (static_cast<unsigned char>(p[i]) & 0xC0) != 0x80;
    return chars;
}

void appendAsUtf8(TextEncoding from, const char* p, size_t n, std::string& out) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (from == TextEncoding::Windows1252) {
        for (size_t i = 0; i < n; ++i) {
            const unsigned char c = u[i];
            appendCodePoint(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c, out);
        }
        return;
    }
    size_t i = 0;
    while (i < n) {
        const size_t len = sequenceLength(u + i, n - i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(p + i, len);
            i += len;
        }
    }
}

} // namespace bd::db::import
