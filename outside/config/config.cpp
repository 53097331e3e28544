// SPDX-License-Identifier: Apache-2.0
// The C interface: argument checks, the handle table, and no exception ever leaving a call.
#include "tarnwick/config.h"

#include <memory>
#include <new>
#include <stdexcept>

#include "handle_table.h"
#include "store.h"

namespace {

cfg::HandleTable& handles() {
    static cfg::HandleTable table;
    return table;
}

// Runs body, turning exceptions into codes.
template <typename Body>
int32_t guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return CONFIG_E_NO_MEMORY;
    } catch (const std::length_error&) {
        return CONFIG_E_NO_MEMORY;
    } catch (...) {
        return CONFIG_E_INTERNAL;
    }
}

}  // namespace

extern "C" {

config_handle CONFIG_CALL new_config(void) {
    try {
        return handles().add(std::make_shared<cfg::Store>(cfg::os_file_system()));
    } catch (...) {
        return 0;
    }
}

int32_t CONFIG_CALL config_add_ini_file_source(config_handle cfg, const char* path) {
    return guarded([&] {
        const auto store = handles().find(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path) return CONFIG_E_ARGUMENT;
        return store->add_file_source(path);
    });
}

int32_t CONFIG_CALL config_add_ini_new_file_source(config_handle cfg, const char* path) {
    return guarded([&] {
        const auto store = handles().find(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path) return CONFIG_E_ARGUMENT;
        return store->add_new_file_source(path);
    });
}

const char* CONFIG_CALL config_get_attrib(config_handle cfg, const char* key) {
    try {
        const auto store = handles().find(cfg);
        if (!store || !key) return nullptr;
        return store->get(key);
    } catch (...) {
        return nullptr;
    }
}

int32_t CONFIG_CALL config_get_attrib_val(config_handle cfg, const char* path, const char* section,
                                          const char* key) {
    try {
        const auto store = handles().find(cfg);
        if (!store || !path || !section || !key) return 0;
        return store->contains(path, section, key) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int32_t CONFIG_CALL config_set_attrib(config_handle cfg, const char* path, const char* section, const char* key,
                                      const char* value) {
    return guarded([&] {
        const auto store = handles().find(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path || !section || !key || !value) return CONFIG_E_ARGUMENT;
        return store->set(path, section, key, value);
    });
}

int32_t CONFIG_CALL config_remove_attrib(config_handle cfg, const char* path, const char* section,
                                         const char* key) {
    return guarded([&] {
        const auto store = handles().find(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path || !section || !key) return CONFIG_E_ARGUMENT;
        return store->remove(path, section, key);
    });
}

int32_t CONFIG_CALL config_save(config_handle cfg, const char* path, int32_t flags) {
    return guarded([&] {
        const auto store = handles().find(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path) return CONFIG_E_ARGUMENT;
        return store->save(path, flags);
    });
}

void CONFIG_CALL delete_config(config_handle cfg) {
    try {
        handles().remove(cfg);
    } catch (...) {
    }
}

int32_t CONFIG_CALL config_enum_attribs(config_handle cfg, const char* path, config_visit_fn visit, void* ctx) {
    return guarded([&] {
        const auto store = handles().hold(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path || !visit) return CONFIG_E_ARGUMENT;
        // Held: the visitor may delete the handle. Names and values are views into the file;
        // the visitor gets NUL-terminated copies.
        std::string section, key, value;
        return store->for_each_entry(path, [&](std::string_view s, std::string_view k, std::string_view v) {
            section.assign(s);
            key.assign(k);
            value.assign(v);
            return visit(ctx, section.c_str(), key.c_str(), value.c_str());
        });
    });
}

int32_t CONFIG_CALL config_enum_lines(config_handle cfg, const char* path, config_line_fn visit, void* ctx) {
    return guarded([&] {
        const auto store = handles().hold(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path || !visit) return CONFIG_E_ARGUMENT;
        // Held: the visitor may delete the handle.
        std::string text, section, key, value;
        const auto piece = [](std::string* copy, std::string_view view) {
            copy->assign(view);
            return config_text{copy->c_str(), static_cast<uint32_t>(copy->size())};
        };
        return store->for_each_line(path, [&](uint32_t number, cfg::Document::LineKind kind, std::string_view t,
                                              std::string_view s, std::string_view k, std::string_view v) {
            config_line line;
            line.number = number;
            line.kind = static_cast<int32_t>(kind);
            line.text = piece(&text, t);
            line.section = piece(&section, s);
            line.key = piece(&key, k);
            line.value = piece(&value, v);
            return visit(ctx, &line);
        });
    });
}

int32_t CONFIG_CALL config_set_text(config_handle cfg, const char* path, const char* text, uint32_t size) {
    return guarded([&] {
        const auto store = handles().find(cfg);
        if (!store) return CONFIG_E_HANDLE;
        if (!path || (!text && size != 0)) return CONFIG_E_ARGUMENT;
        return store->set_text(path, std::string(text ? text : "", size));
    });
}

}  // extern "C"
