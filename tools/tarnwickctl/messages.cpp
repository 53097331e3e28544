// SPDX-License-Identifier: Apache-2.0
#include "messages.h"

#include <cstdio>

#include "json.h"
#include "library.h"
#include "tarnwick.h"

namespace twctl {

namespace {

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
        const size_t n = c >= 0x80 ? utf8_length(text.substr(i)) : 0;
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
