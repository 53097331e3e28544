// SPDX-License-Identifier: Apache-2.0
// apply's state on arbitrary input: parse_state never crashes or recurses without bound, and
// what it accepts is what apply relies on: names from 1 to kMaxStateName bytes, no NUL byte,
// no section twice, no key twice in one section.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "apply.h"
#include "fuzz_check.h"
#include "schema_table.h"

using twfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<twctl::StateEntry> entries;
    std::vector<std::string> problems;
    const bool ok = twctl::parse_state(text, &entries, &problems);
    check(ok == problems.empty(), "a refusal without a problem, or a problem without a refusal");
    check(ok || entries.empty(), "a refused state left entries behind");
    std::set<std::pair<std::string, std::string>> names;
    for (const twctl::StateEntry& e : entries) {
        for (const std::string* name : {&e.section, &e.key}) {
            check(!name->empty() && name->size() <= twctl::kMaxStateName, "a name empty or too long");
            check(name->find('\0') == std::string::npos, "a NUL byte in a name");
        }
        check(e.value.find('\0') == std::string::npos, "a NUL byte in a value");
        check(e.action != twctl::StateEntry::kRemove || e.value.empty(), "a removal with a value");
        check(names.emplace(tw::fold_name(e.section), tw::fold_name(e.key)).second, "a key twice");
    }
    twctl::wipe(&entries);
    return 0;
}
