/* SPDX-License-Identifier: Apache-2.0 */
// JSON text for tarnwickctl's --json output.
#ifndef TARNWICKCTL_JSON_H
#define TARNWICKCTL_JSON_H

#include <string>
#include <string_view>

namespace twctl {

// bytes as a JSON string, quotes included, valid JSON whatever the bytes are. Well-formed
// UTF-8 passes as it is; '"', '\\' and control characters are escaped; every byte that is not
// part of well-formed UTF-8 becomes the escape \udcXX, XX its value in hex (80 to ff), a lone
// low surrogate, which no well-formed text can hold: decoding those back to single bytes gives
// the original bytes exactly.
std::string json_string(std::string_view bytes);

}  // namespace twctl

#endif
