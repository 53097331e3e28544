/* SPDX-License-Identifier: Apache-2.0 */
// Scrambled values: the scrambled branches of get and set, and the codec's operations as the
// library's boundary uses them (with the clock, and with the readability checks of values
// that come from a host).
//
// A scrambled key holds the text of scramble_codec.h; its scramble marker (schema_table.h)
// is the key followed by "Encrypted", with an empty value, in the section "Encription". The
// marker's presence alone says that the key is scrambled; nothing here removes it.
#ifndef TARNWICK_SCRAMBLE_SCRAMBLE_H
#define TARNWICK_SCRAMBLE_SCRAMBLE_H

#include <cstdint>

#include "tarnwick/config.h"

namespace tw {

// Scrambles value with the clock as seed, as scramble_value_with_seed does; also NULL when
// the value is not readable.
char* scramble_value(const char* value, int32_t length);

// unscramble_text, with unreadable text taken as no value.
char* unscramble_value(const char* text, int32_t* length);

// Set with flags bit 0: scrambles value (NULL stores the seed digits alone) and stores it
// under section/key, then writes the key's scramble marker. Returns ATTRIB_MNGR_OK, or
// ATTRIB_MNGR_NULL_ARGUMENT for a NULL key and ATTRIB_MNGR_SCRAMBLE_FAILED for a value that
// cannot be read or scrambled (the store untouched in both cases), or the store's code: of
// the value (then no marker is written) or of the marker (the scrambled value stays set).
// ATTRIB_MNGR_NO_MEMORY when the marker's name cannot be formed (the value stays set).
int32_t set_scrambled_attrib(config_handle cfg, const char* path, const char* section, const char* key,
                             const char* value);

// Get with flags bit 0, after the plain lookup found stored (the value of name): when name
// carries a scramble marker, unscrambles it into the caller's buffer; otherwise copies the
// stored text as the plain get does. name, stored and size are not NULL. Returns ATTRIB_MNGR_OK,
// ATTRIB_MNGR_BUFFER_TOO_SMALL (size needed written, buffer untouched),
// ATTRIB_MNGR_UNSCRAMBLE_FAILED (no value: buffer and size untouched) or
// ATTRIB_MNGR_NO_MEMORY.
int32_t get_scrambled_attrib(config_handle cfg, const char* name, const char* stored, char* buffer, int32_t* size);

}  // namespace tw

#endif
