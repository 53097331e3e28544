/* SPDX-License-Identifier: Apache-2.0 */
// Whether an attribute file is whole: read through the store as a host would.
#ifndef TARNWICK_TESTS_ATTRIBS_LOAD_FILE_CHECK_H
#define TARNWICK_TESTS_ATTRIBS_LOAD_FILE_CHECK_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "schema_expected.h"
#include "tarnwick/config.h"

namespace twload {

// "" when the file at path holds every schema key once and each section in one run of
// entries; "missing" when there is no file; else what is wrong.
inline std::string check_attrib_file(const std::string& path) {
    struct Seen {
        std::vector<std::string> runs;  // section of each run of entries, in order
        std::map<std::pair<std::string, std::string>, int> keys;
    } seen;
    const config_handle cfg = new_config();
    if (cfg == 0) return "no store";
    const int32_t rc = config_add_ini_file_source(cfg, path.c_str());
    if (rc != CONFIG_OK) {
        delete_config(cfg);
        return rc == CONFIG_E_NOT_FOUND ? "missing" : "load failed: " + std::to_string(rc);
    }
    config_enum_attribs(
        cfg, path.c_str(),
        [](void* ctx, const char* section, const char* key, const char*) -> int32_t {
            Seen& s = *static_cast<Seen*>(ctx);
            if (s.runs.empty() || s.runs.back() != section) s.runs.push_back(section);
            ++s.keys[{section, key}];
            return 0;
        },
        &seen);
    delete_config(cfg);
    std::map<std::string, int> runs_of;
    for (const std::string& section : seen.runs)
        if (++runs_of[section] > 1) return "section " + section + " more than once";
    for (const twtest::Row& row : twtest::kExpected) {
        const int n = seen.keys[{row.section, row.key}];
        if (n != 1) return std::string(row.section) + "/" + row.key + " " + std::to_string(n) + " times";
    }
    return "";
}

}  // namespace twload

#endif
