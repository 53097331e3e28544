/* SPDX-License-Identifier: Apache-2.0 */
// JSON text for tarnwickctl's --json output.
#ifndef TARNWICKCTL_JSON_H
#define TARNWICKCTL_JSON_H

#include <cstddef>
#include <string>
#include <string_view>

namespace twctl {

// bytes as a JSON string, quotes included, valid JSON whatever the bytes are. Well-formed
// UTF-8 passes as it is; '"', '\\' and control characters are escaped; every byte that is not
// part of well-formed UTF-8 becomes the escape \udcXX, XX its value in hex (80 to ff), a lone
// low surrogate, which no well-formed text can hold: decoding those back to single bytes gives
// the original bytes exactly.
std::string json_string(std::string_view bytes);

// Length of the well-formed UTF-8 sequence at the start of s (1 for an ASCII byte), or 0
// (overlong forms, surrogates and values above U+10FFFF are not well-formed).
size_t utf8_length(std::string_view s);

}  // namespace twctl

#endif
