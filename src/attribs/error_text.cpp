// SPDX-License-Identifier: Apache-2.0
// attrib_mngr_error_text: the texts of the code lists in tarnwick.h and config.h.
#include <cstdint>

#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

struct CodeText {
    int32_t code;
    const char* text;
};

#define TW_CODE_TEXT(name, value, text) {name, text},
constexpr CodeText kLibraryCodes[] = {TARNWICK_RESULT_CODES(TW_CODE_TEXT)};
constexpr CodeText kStoreCodes[] = {CONFIG_RESULT_CODES(TW_CODE_TEXT)};
#undef TW_CODE_TEXT

const char kUnknown[] = "unknown result code";

template <size_t N>
const char* find_text(const CodeText (&codes)[N], int32_t code) {
    for (const CodeText& c : codes) {
        if (c.code == code) return c.text;
    }
    return nullptr;
}

}  // namespace

extern "C" const char* attrib_mngr_error_text(int32_t code) {
    const char* text = find_text(kLibraryCodes, code);
    if (text == nullptr) text = find_text(kStoreCodes, code);
    return text != nullptr ? text : kUnknown;
}
