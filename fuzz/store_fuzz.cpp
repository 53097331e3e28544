// The store on arbitrary input. The input is split into the bytes of a file and a series of
// sets; checked:
//   - loading any bytes and saving without changes gives back exactly those bytes;
//   - every set the store accepts reads back, through a save and a fresh load, as the first
//     entry of its key in its section, and the saved file reloads to the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "config.h"
#include "fuzz_check.h"
#include "memory_file_system.h"
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

    // Accepted sets, by lower-cased section and key: the spelling and the last value set.
    std::map<std::pair<std::string, std::string>, std::pair<std::pair<std::string, std::string>, std::string>> want;
    while (in.remaining_bytes() > 0) {
        const std::string section = in.ConsumeRandomLengthString(24);
        const std::string key = in.ConsumeRandomLengthString(24);
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
        check(first_value(reloaded, section, key, &got), "accepted key lost");
        check(got == w.second.second, "accepted value reads back differently");
        check(reloaded.contains(kPath, section, key), "contains misses an accepted key");
    }
    return 0;
}
