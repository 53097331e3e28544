// A small JSON reader for checking tarnwickctl's --json output: objects, arrays, strings,
// true, false, null and numbers. A string's \uXXXX escapes become UTF-8, except a lone
// \udc80-\udcff, which becomes the single byte 0x80-0xff it stands for.
#ifndef TARNWICKCTL_TEST_JSON_READER_H
#define TARNWICKCTL_TEST_JSON_READER_H

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace twtest {

struct Json {
    enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    const Json& operator[](const std::string& key) const {
        static const Json none;
        const auto it = object.find(key);
        return it == object.end() ? none : it->second;
    }
};

// Parses text, which must hold one value and blanks only; false (with the position in *error)
// when it is not valid JSON.
bool parse_json(const std::string& text, Json* value, std::string* error);

}  // namespace twtest

#endif
