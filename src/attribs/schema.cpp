// SPDX-License-Identifier: Apache-2.0
#include "attribs/schema.h"

#include <cstddef>

#include "proxy/proxy.h"
#include "schema_table.h"

namespace tw {
namespace {

using Row = SchemaRow;
using Source = DefaultSource;
constexpr const Row* kSchema = kSchemaRows;
constexpr size_t kRowCount = kSchemaRowCount;

// Completion tests the proxy host and port as a pair; the host row comes right before the
// port row and is followed by nothing else of the pair.
constexpr bool proxy_pair_is_adjacent() {
    for (size_t i = 0; i < kRowCount; ++i) {
        if (kSchema[i].source == Source::kProxyHost)
            return i + 1 < kRowCount && kSchema[i + 1].source == Source::kProxyPort;
        if (kSchema[i].source == Source::kProxyPort) return false;
    }
    return false;
}
static_assert(proxy_pair_is_adjacent(), "ProxyName must directly precede ProxyPort");

// The proxy texts of one operation, empty until discovery fills them.
struct ProxyTexts {
    char host[kProxyTextSize] = "";
    char port[kProxyTextSize] = "";

    // Asks the system once; when it names no proxy both texts are empty.
    void discover(const SchemaCalls& calls) {
        if (calls.system_proxy(host, port) == 1) {
            host[kProxyTextSize - 1] = '\0';
            port[kProxyTextSize - 1] = '\0';
        } else {
            host[0] = '\0';
            port[0] = '\0';
        }
    }

    const char* value_for(const Row& row) const {
        switch (row.source) {
            case Source::kProxyHost: return host;
            case Source::kProxyPort: return port;
            case Source::kConstant: break;
        }
        return row.value;
    }
};

void set_row(const SchemaCalls& calls, config_handle cfg, const char* path, const Row& row, const char* value) {
    // A failed set is neither reported nor retried: the remaining rows are still set.
    calls.set_attrib(cfg, path, row.section, row.key, value);
}

bool has_row(const SchemaCalls& calls, config_handle cfg, const char* path, const Row& row) {
    return calls.get_attrib_val(cfg, path, row.section, row.key) != 0;
}

}  // namespace

const SchemaCalls kSchemaCalls = {&config_get_attrib_val, &config_set_attrib, &config_save, &get_system_proxy};

void set_default_attribs(const SchemaCalls& calls, config_handle cfg, const char* path) {
    ProxyTexts proxy;
    proxy.discover(calls);
    for (const Row& row : kSchemaRows) set_row(calls, cfg, path, row, proxy.value_for(row));
}

int32_t complete_attribs(const SchemaCalls& calls, config_handle cfg, const char* path) {
    ProxyTexts proxy;
    for (size_t i = 0; i < kRowCount; ++i) {
        const Row& row = kSchema[i];
        if (row.source != Source::kProxyHost) {
            if (!has_row(calls, cfg, path, row)) set_row(calls, cfg, path, row, row.value);
            continue;
        }
        // Host and port: both tested before either is set; the system is asked only when one
        // of them is missing. Discovery that finds nothing leaves both texts empty.
        const Row& port_row = kSchema[++i];
        const bool has_host = has_row(calls, cfg, path, row);
        const bool has_port = has_row(calls, cfg, path, port_row);
        if (has_host && has_port) continue;
        proxy.discover(calls);
        if (!has_host) set_row(calls, cfg, path, row, proxy.value_for(row));
        if (!has_port) set_row(calls, cfg, path, port_row, proxy.value_for(port_row));
    }
    return calls.save(cfg, path, 0);
}

void set_default_attribs(config_handle cfg, const char* path) { set_default_attribs(kSchemaCalls, cfg, path); }

int32_t complete_attribs(config_handle cfg, const char* path) { return complete_attribs(kSchemaCalls, cfg, path); }

}  // namespace tw
