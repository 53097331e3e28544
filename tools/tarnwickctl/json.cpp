// SPDX-License-Identifier: Apache-2.0
#include "json.h"

#include <cstdint>
#include <cstdio>

namespace twctl {

size_t utf8_length(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const uint8_t c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (c == 0xE0 && b(1) < 0xA0) return 0;  // overlong
        if (c == 0xED && b(1) > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (c == 0xF0 && b(1) < 0x90) return 0;  // overlong
        if (c == 0xF4 && b(1) > 0x8F) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

std::string json_string(std::string_view bytes) {
    std::string out = "\"";
    char escape[8];
    size_t i = 0;
    while (i < bytes.size()) {
        const uint8_t c = static_cast<uint8_t>(bytes[i]);
        const size_t n = utf8_length(bytes.substr(i));
        if (n == 0) {
            std::snprintf(escape, sizeof escape, "\\udc%02x", c);
            out += escape;
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(bytes.substr(i, n));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
        i += n;
    }
    out += '"';
    return out;
}

}  // namespace twctl
