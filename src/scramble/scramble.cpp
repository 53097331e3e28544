// SPDX-License-Identifier: Apache-2.0
#include "scramble/scramble.h"

#include <cstring>
#include <string_view>

#include "caller_buffer.h"
#include "platform/platform.h"
#include "scramble_codec.h"
#include "schema_table.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"

namespace tw {
namespace {

// The marker key of key, from maw_malloc (the caller frees it), or NULL.
char* new_marker_key(const char* key) {
    const size_t length = std::strlen(key);
    char* marker = static_cast<char*>(maw_malloc(marker_key_size(length)));
    if (marker != nullptr) write_marker_key(std::string_view(key, length), marker);
    return marker;
}

}  // namespace

char* scramble_value(const char* value, int32_t length) {
    if (value != nullptr) {
        if (length == -1 ? !platform::is_readable_string(value)
                         : length > 0 && !platform::is_readable(value, static_cast<size_t>(length)))
            return nullptr;
    }
    return scramble_value_with_seed(value, length, platform::clock_seconds());
}

char* unscramble_value(const char* text, int32_t* length) {
    if (length != nullptr) *length = 0;
    if (!platform::is_readable_string(text)) return nullptr;
    return unscramble_text(text, length);
}

int32_t set_scrambled_attrib(config_handle cfg, const char* path, const char* section, const char* key,
                             const char* value) {
    // Without a key no marker can be named; storing the value alone would leave a scrambled
    // text that reads back as stored.
    if (key == nullptr) return ATTRIB_MNGR_NULL_ARGUMENT;
    char* text = scramble_value(value, -1);
    if (text == nullptr) return ATTRIB_MNGR_SCRAMBLE_FAILED;
    const int32_t stored = config_set_attrib(cfg, path, section, key, text);
    maw_free(text);
    if (stored != CONFIG_OK) return stored;

    char* marker = new_marker_key(key);
    if (marker == nullptr) return ATTRIB_MNGR_NO_MEMORY;
    const int32_t marked = config_set_attrib(cfg, path, kMarkerSection, marker, "");
    maw_free(marker);
    return marked;
}

int32_t get_scrambled_attrib(config_handle cfg, const char* name, const char* stored, char* buffer, int32_t* size) {
    char* marker = new_marker_key(name);
    if (marker == nullptr) return ATTRIB_MNGR_NO_MEMORY;
    const bool scrambled = config_get_attrib(cfg, marker) != nullptr;
    maw_free(marker);
    if (!scrambled) return copy_to_caller(stored, std::strlen(stored), buffer, size);

    int32_t length = 0;
    char* clear = unscramble_value(stored, &length);
    if (clear == nullptr) return ATTRIB_MNGR_UNSCRAMBLE_FAILED;
    const int32_t result = copy_to_caller(clear, static_cast<size_t>(length), buffer, size);
    maw_free(clear);
    return result;
}

}  // namespace tw
