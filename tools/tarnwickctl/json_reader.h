/* SPDX-License-Identifier: Apache-2.0 */
// A small JSON reader: objects (members kept in their order), arrays, strings, true, false,
// null and numbers, in the strict grammar of RFC 8259. Nesting is bounded, a name twice in one
// object is refused, and nothing is read past the first fault, so hostile text costs time and
// memory in proportion to its length and never more. A string's \uXXXX escapes become UTF-8,
// except a lone \udc80-\udcff, which becomes the single byte 0x80-0xff it stands for (the
// writer's form for bytes that are not UTF-8, json.h). Raw bytes pass as they are.
#ifndef TARNWICKCTL_JSON_READER_H
#define TARNWICKCTL_JSON_READER_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace twctl {

struct Json {
    enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::vector<std::pair<std::string, Json>> object;  // in the text's order
    size_t offset = 0;                                 // where the value starts in the text

    // The member called key, or a null value when there is none.
    const Json& operator[](const std::string& key) const;
};

// Parses text, which must hold one value and blanks only, nested at most max_depth deep (an
// object or array counts one, a scalar none). False when it does not, with where and why in
// *error ("line L, column C: ..."). Strings hold no more memory than their text takes, and are
// never moved once filled, so that wipe() reaches every copy of a secret they carry.
bool parse_json(std::string_view text, Json* value, std::string* error, int max_depth = 64);

// Overwrites every string of value, names included, before its memory goes back.
void wipe(Json* value);

// "line L, column C" of the byte at offset of text.
std::string text_position(std::string_view text, size_t offset);

}  // namespace twctl

#endif
