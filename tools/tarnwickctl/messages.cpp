// SPDX-License-Identifier: Apache-2.0
#include "messages.h"

#include <cstdio>

#include "library.h"
#include "tarnwick.h"

namespace twctl {

namespace {

// Length of the well-formed UTF-8 sequence of two or more bytes at the start of s, or 0.
size_t multibyte_length(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const uint8_t c = b(0);
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

void escape(std::string* out, uint8_t byte) {
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    *out += text;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t n = c >= 0x80 ? multibyte_length(text.substr(i)) : 0;
        const bool c1_control = n == 2 && c == 0xC2 && static_cast<uint8_t>(text[i + 1]) <= 0x9F;
        if (n == 0 || c1_control) {
            escape(&out, c);
            if (c1_control) escape(&out, static_cast<uint8_t>(text[i + 1]));
            i += c1_control ? 2 : 1;
            continue;
        }
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

std::string error_line(int32_t code, const std::string& file, const std::string& subject) {
    code = library_code(code);
    std::string line = "tarnwickctl: ";
    if (!file.empty()) line += printable(file) + ": ";
    if (!subject.empty()) line += "\"" + printable(subject) + "\": ";
    line += attrib_mngr_error_text(code);
    line += " (error " + std::to_string(code) + ")";
    return line;
}

}  // namespace twctl
