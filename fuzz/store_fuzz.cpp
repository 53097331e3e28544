// SPDX-License-Identifier: Apache-2.0
// The store on arbitrary input. The input is split into the bytes of a file and a series of
// sets, removals and lookups; checked:
//   - loading any bytes and saving without changes gives back exactly those bytes, also after
//     every value was looked up;
//   - a lookup answers the first entry of its key in file order;
//   - a removal counts the entries it removes, and none is left (section "": those before
//     the first header);
//   - every set the store accepts reads back, through a save and a fresh load, as the first
//     entry of its key in its section, and the saved file reloads to the same bytes;
//   - every section and key that no operation named keeps its first value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tarnwick/config.h"
#include "fuzz_check.h"
#include "memory_file_system.h"
#include "document.h"
#include "store.h"

using twfuzz::check;

namespace {

const std::string kPath = "/agent.cfg";

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The value of the first entry of key in any occurrence of section, as read from the store.
bool first_value(const cfg::Store& store, const std::string& section, const std::string& key, std::string* value) {
    bool found = false;
    const std::string s = lower(section), k = lower(key);
    store.for_each_entry(kPath, [&](std::string_view sec, std::string_view ky, std::string_view val) {
        // Entries before the first header belong to no section.
        if (found || sec.empty() || lower(sec) != s || lower(ky) != k) return 0;
        found = true;
        *value = std::string(val);
        return 0;
    });
    return found;
}

// The value of the first entry of key in file order, whatever section holds it.
bool first_by_key(const cfg::Store& store, const std::string& key, std::string* value) {
    bool found = false;
    const std::string k = lower(key);
    store.for_each_entry(kPath, [&](std::string_view, std::string_view ky, std::string_view val) {
        if (found || lower(ky) != k) return 0;
        found = true;
        *value = std::string(val);
        return 0;
    });
    return found;
}

using Name = std::pair<std::string, std::string>;  // lower-cased section and key

// The first value of every section and key, entries before the first header left out.
std::map<Name, std::string> first_values(const cfg::Store& store) {
    std::map<Name, std::string> out;
    store.for_each_entry(kPath, [&](std::string_view s, std::string_view k, std::string_view v) {
        if (!s.empty()) out.emplace(Name{lower(s), lower(k)}, std::string(v));
        return 0;
    });
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string original = in.ConsumeRandomLengthString(1 << 16);

    twtest::MemoryFileSystem fs;
    fs.files[kPath] = original;
    cfg::Store store(fs);
    check(store.add_file_source(kPath) == CONFIG_OK, "load refused");
    check(store.document().serialize() == original, "unchanged document serializes differently");
    check(store.save(kPath, 0) == CONFIG_OK, "unchanged save failed");
    check(fs.files[kPath] == original, "unchanged save changed the bytes");
    check(fs.files.size() == 1, "save left a temporary file");

    // Every value looked up (each is terminated in place), then a save that must write.
    std::vector<std::string> keys;
    store.for_each_entry(kPath, [&](std::string_view, std::string_view k, std::string_view) {
        keys.emplace_back(k);
        return 0;
    });
    for (const std::string& k : keys) check(store.get(k) != nullptr, "a listed key is not found");
    fs.files.erase(kPath);
    check(store.save(kPath, 0) == CONFIG_OK, "forced save failed");
    check(fs.files[kPath] == original, "a save after lookups changed the bytes");
    const std::map<Name, std::string> before = first_values(store);

    // Accepted sets, by lower-cased section and key: the spelling and the last value set;
    // removed names without a value.
    std::map<Name, std::pair<Name, std::optional<std::string>>> want;
    while (in.remaining_bytes() > 0) {
        const int op = in.ConsumeIntegralInRange(0, 3);
        const std::string section = in.ConsumeRandomLengthString(24);
        const std::string key = in.ConsumeRandomLengthString(24);
        if (op == 2) {
            std::string expected;
            const bool present = first_by_key(store, key, &expected);
            const char* got = store.get(key);
            check(present == (got != nullptr), "a lookup disagrees with the listing");
            if (got != nullptr) check(std::string(got) == expected.substr(0, expected.find('\0')), "a lookup gives another value");
            continue;
        }
        if (op == 3) {
            // Section "" names the entries before the first header.
            const auto count = [&] {
                size_t entries = 0;
                store.for_each_entry(kPath, [&](std::string_view s, std::string_view k, std::string_view) {
                    if (lower(s) == lower(section) && lower(k) == lower(key)) ++entries;
                    return 0;
                });
                return entries;
            };
            const size_t entries = count();
            const int32_t removed = store.remove(kPath, section, key);
            const bool valid = (section.empty() || cfg::check_section(section) == CONFIG_OK) &&
                               cfg::check_key(key) == CONFIG_OK;
            if (section.empty()) {
                // The listing gives a header named "[]" section "" too: only a bound is known.
                check(removed >= 0 && static_cast<size_t>(removed) <= entries, "a removal miscounts");
                check(store.remove(kPath, section, key) == 0, "a removed key is still there");
            } else {
                check(removed == (valid ? static_cast<int32_t>(entries) : 0), "a removal miscounts");
            }
            check(!store.contains(kPath, section, key), "a removed key is still there");
            if (valid && !section.empty()) want[{lower(section), lower(key)}] = {{section, key}, std::nullopt};
            continue;
        }
        const std::string value = in.ConsumeRandomLengthString(64);
        const int32_t rc = store.set(kPath, section, key, value);
        check(rc == CONFIG_OK || rc == CONFIG_E_SECTION || rc == CONFIG_E_KEY || rc == CONFIG_E_VALUE,
              "set gave an unexpected code");
        if (rc == CONFIG_OK) want[{lower(section), lower(key)}] = {{section, key}, value};
    }
    check(store.save(kPath, 0) == CONFIG_OK, "save failed");
    const std::string saved = fs.files[kPath];

    cfg::Store reloaded(fs);
    check(reloaded.add_file_source(kPath) == CONFIG_OK, "reload refused");
    check(reloaded.document().serialize() == saved, "reloaded document serializes differently");
    for (const auto& w : want) {
        const auto& [section, key] = w.second.first;
        std::string got;
        const bool found = first_value(reloaded, section, key, &got);
        if (!w.second.second) {
            check(!found && !reloaded.contains(kPath, section, key), "a removed key came back");
            continue;
        }
        check(found, "accepted key lost");
        check(got == *w.second.second, "accepted value reads back differently");
        check(reloaded.contains(kPath, section, key), "contains misses an accepted key");
    }
    for (const auto& [name, value] : before) {
        if (want.count(name) != 0) continue;
        std::string got;
        check(first_value(reloaded, name.first, name.second, &got) && got == value, "an untouched value changed");
    }
    return 0;
}
