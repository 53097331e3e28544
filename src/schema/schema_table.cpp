// SPDX-License-Identifier: Apache-2.0
#include "schema_table.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tw {
namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool keys_are_unique() {
    for (size_t i = 0; i < kSchemaRowCount; ++i) {
        for (size_t j = i + 1; j < kSchemaRowCount; ++j) {
            const char* a = kSchemaRows[i].key;
            const char* b = kSchemaRows[j].key;
            size_t n = 0;
            while (a[n] != '\0' && a[n] == b[n]) ++n;
            if (a[n] == b[n]) return false;
        }
    }
    return true;
}
static_assert(keys_are_unique(), "a key of the schema names one row");

// Whether value is a decimal number from low to high (no sign, no blanks).
bool number_in(std::string_view value, uint32_t low, uint32_t high) {
    if (value.empty() || value.size() > 10) return false;
    uint64_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    return n >= low && n <= high;
}

bool all_digits(std::string_view value) {
    for (char c : value) {
        if (c < '0' || c > '9') return false;
    }
    return !value.empty();
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

std::string fold_name(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = fold(c);
    return out;
}

const SchemaRow* find_schema_key(std::string_view key) {
    for (const SchemaRow& row : kSchemaRows) {
        if (same_name(row.key, key)) return &row;
    }
    return nullptr;
}

bool is_schema_section(std::string_view section) {
    for (const SchemaRow& row : kSchemaRows) {
        if (same_name(row.section, section)) return true;
    }
    return false;
}

void write_marker_key(std::string_view key, char* out) {
    char* end = std::copy(key.begin(), key.end(), out);
    std::copy(std::begin(kMarkerSuffix), std::end(kMarkerSuffix), end);
}

std::string marker_key(std::string_view key) {
    std::string marker(marker_key_size(key.size()), '\0');
    write_marker_key(key, marker.data());
    marker.pop_back();  // the terminator, which the string keeps on its own
    return marker;
}

bool is_marker_key(std::string_view name, std::string_view* key) {
    const std::string_view suffix(kMarkerSuffix);
    if (name.size() <= suffix.size() || !same_name(name.substr(name.size() - suffix.size()), suffix)) return false;
    if (key != nullptr) *key = name.substr(0, name.size() - suffix.size());
    return true;
}

const char* value_fault(const SchemaRow& row, std::string_view value) {
    switch (row.kind) {
        case ValueKind::kText: return nullptr;
        case ValueKind::kBoolean:
            return same_name(value, "True") || same_name(value, "False") ? nullptr : "is neither True nor False";
        case ValueKind::kSeconds:
            if (value.empty() || number_in(value, 0, INT32_MAX)) return nullptr;
            return all_digits(value) ? "is out of range (0 to 2147483647 seconds)" : "is not a whole number of seconds";
        case ValueKind::kPort:
            if (value.empty() || number_in(value, 1, 65535)) return nullptr;
            return all_digits(value) ? "is out of range (ports are 1 to 65535)" : "is not a port number";
    }
    return nullptr;
}

}  // namespace tw
