// Scrambled values: the scrambled branches of get and set.
#ifndef TARNWICK_SCRAMBLE_SCRAMBLE_H
#define TARNWICK_SCRAMBLE_SCRAMBLE_H

#include <cstdint>

#include "config.h"

namespace tw {

// Set with flags bit 0: scrambles value and stores it under section/key, then writes the
// key's scramble marker. Returns ATTRIB_MNGR_OK or a code.
int32_t set_scrambled_attrib(config_handle cfg, const char* path, const char* section, const char* key,
                             const char* value);

// Get with flags bit 0, after the plain lookup found stored (the value of name): when name
// carries a scramble marker, unscrambles it into the caller's buffer; otherwise copies the
// stored text as the plain get does. size is not NULL.
int32_t get_scrambled_attrib(config_handle cfg, const char* name, const char* stored, char* buffer, int32_t* size);

}  // namespace tw

#endif
