// The attribute schema: every section and key an agent's file holds, with its default.
#ifndef TARNWICK_ATTRIBS_SCHEMA_H
#define TARNWICK_ATTRIBS_SCHEMA_H

#include <cstdint>

#include "config.h"

namespace tw {

// Fills the store of a file that does not exist yet with every row of the schema. Does not
// save. path: the text the file was added to the store with.
void set_default_attribs(config_handle cfg, const char* path);

// Adds every schema row the file lacks (per section) and saves; returns the save's result.
int32_t complete_attribs(config_handle cfg, const char* path);

}  // namespace tw

#endif
