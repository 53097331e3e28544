/* SPDX-License-Identifier: Apache-2.0 */
// The attribute schema's two operations on a store: filling a new file and completing an
// existing one. The table itself, with its defaults, is the pure part schema_table.h.
#ifndef TARNWICK_ATTRIBS_SCHEMA_H
#define TARNWICK_ATTRIBS_SCHEMA_H

#include <cstdint>

#include "tarnwick/config.h"

namespace tw {

// Fills the store of a file that does not exist yet with every row of the schema, in the
// schema's order. The system proxy is asked once, before any key is set. Does not save.
// path: the text the file was added to the store with.
void set_default_attribs(config_handle cfg, const char* path);

// Adds every schema row the file lacks (per section) and saves, whether or not anything was
// added; returns the save's result. Present keys keep their values; keys and sections
// outside the schema are left alone. The system proxy is asked at most once, and only when
// ProxyName or ProxyPort is missing from Http_Proxy.
int32_t complete_attribs(config_handle cfg, const char* path);

// The store and discovery calls the two operations make. The overloads below take them
// explicitly so that tests can record the calls; the plain forms use kSchemaCalls.
struct SchemaCalls {
    decltype(&config_get_attrib_val) get_attrib_val;
    decltype(&config_set_attrib) set_attrib;
    decltype(&config_save) save;
    int32_t (*system_proxy)(char* host, char* port);  // as get_system_proxy
};

extern const SchemaCalls kSchemaCalls;

void set_default_attribs(const SchemaCalls& calls, config_handle cfg, const char* path);
int32_t complete_attribs(const SchemaCalls& calls, config_handle cfg, const char* path);

}  // namespace tw

#endif
