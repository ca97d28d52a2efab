#pragma once
// Text files of other systems: UTF-8 when they say so (a byte-order mark) or when every byte sequence
// is valid UTF-8, Windows-1252 otherwise.
#include <cstddef>
#include <string>

namespace bd::db::import {

enum class TextEncoding { Utf8, Windows1252 };

bool hasUtf8Bom(const char* p, size_t n);
bool isValidUtf8(const char* p, size_t n);
bool isAscii(const char* p, size_t n);
// Characters in valid UTF-8 text.
size_t utf8Length(const char* p, size_t n);
// Appends the text as UTF-8: Windows-1252 converted, or UTF-8 with every invalid sequence replaced
// by U+FFFD.
void appendAsUtf8(TextEncoding from, const char* p, size_t n, std::string& out);

} // namespace bd::db::import
