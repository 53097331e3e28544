#include "check.h"

#include <algorithm>
#include <map>
#include <ostream>

#include "config.h"
#include "library.h"

namespace twctl {

namespace {

std::string lower(std::string_view text) { return ascii_lower(text); }

std::string section_name(const std::string& section) {
    return section.empty() ? "the lines before any section" : "[" + section + "]";
}

std::string at(uint32_t line) { return "line " + std::to_string(line); }

// Every entry of a file the library creates: the schema's sections, keys and defaults.
int32_t read_schema(std::vector<Line>* schema) {
    ScratchDir scratch;
    if (!scratch.ok()) return CONFIG_E_CREATE;
    const std::string path = scratch.path("schema.cfg");
    {
        Handle fresh;
        const int32_t rc = fresh.open(path);
        if (rc != ATTRIB_MNGR_OK) return rc;
    }
    std::vector<Line> lines;
    const int32_t rc = read_lines(path, &lines);
    for (Line& l : lines) {
        if (l.kind == CONFIG_LINE_ENTRY) schema->push_back(std::move(l));
    }
    return rc;
}

void check_structure(const std::vector<Line>& lines, std::vector<Finding>* findings) {
    std::map<std::string, uint32_t> headers;                       // section -> first header
    std::map<std::pair<std::string, std::string>, uint32_t> keys;  // section, key -> first entry
    for (const Line& l : lines) {
        if (l.kind == CONFIG_LINE_OTHER) {
            findings->push_back({l.number, "neither a comment, a section header nor key=value: the store keeps "
                                           "this line, but nothing reads it"});
        } else if (l.kind == CONFIG_LINE_SECTION) {
            const auto [it, first] = headers.emplace(lower(l.section), l.number);
            if (!first) {
                findings->push_back({l.number, "section [" + l.section + "] again (first at " + at(it->second) +
                                                   "): the keys below are read as keys of that section"});
            }
        } else if (l.kind == CONFIG_LINE_ENTRY) {
            const auto [it, first] = keys.emplace(std::make_pair(lower(l.section), lower(l.key)), l.number);
            if (!first) {
                findings->push_back({l.number, "\"" + l.key + "\" again in " + section_name(l.section) + ": " +
                                                   at(it->second) + " counts (the first), this one is never read"});
            }
        }
    }
}

void check_schema(const std::vector<Line>& lines, const std::vector<Line>& schema, std::vector<Finding>* findings) {
    const auto first_entry = [&](const std::string& section, const std::string& key) -> const Line* {
        for (const Line& l : lines) {
            if (l.kind == CONFIG_LINE_ENTRY && equal_ignoring_case(l.key, key) &&
                (section == "*" || equal_ignoring_case(l.section, section)))
                return &l;
        }
        return nullptr;
    };
    const auto header = [&](const std::string& section) -> const Line* {
        for (const Line& l : lines) {
            if (l.kind == CONFIG_LINE_SECTION && equal_ignoring_case(l.section, section)) return &l;
        }
        return nullptr;
    };
    const uint32_t end = lines.empty() ? 1 : lines.back().number;

    std::map<std::string, int> missing_in_absent_section;  // section -> keys
    for (const Line& row : schema) {
        // Entries of the key in other sections than its own.
        const Line* own = first_entry(row.section, row.key);
        const Line* first = first_entry("*", row.key);
        for (const Line& l : lines) {
            if (l.kind != CONFIG_LINE_ENTRY || !equal_ignoring_case(l.key, row.key) ||
                equal_ignoring_case(l.section, row.section))
                continue;
            std::string message = "\"" + l.key + "\" belongs in [" + row.section + "], not in " +
                                  section_name(l.section) + ": ";
            if (own != nullptr) {
                message += "[" + row.section + "] holds it at " + at(own->number) +
                           ", and a get by name takes the first in file order, " + at(first->number);
            } else {
                message += "a get by name takes the first in file order (" + at(first->number) +
                           "), and the next opening adds it to [" + row.section + "] as well";
            }
            findings->push_back({l.number, message});
        }
        if (own != nullptr || first != nullptr) continue;
        // Missing altogether.
        const Line* section = header(row.section);
        if (section == nullptr) {
            ++missing_in_absent_section[row.section];
            continue;
        }
        findings->push_back({section->number, "[" + row.section + "] has no \"" + row.key +
                                                  "\": the next opening adds " + row.key + "=" + row.value});
    }
    for (const auto& [section, count] : missing_in_absent_section) {
        findings->push_back({end, "no section [" + section + "]: the next opening adds it with its " +
                                      std::to_string(count) + (count == 1 ? " key" : " keys") + " and their defaults"});
    }
}

void check_markers(const std::string& path, const std::vector<Line>& lines, std::vector<Finding>* findings) {
    const std::string suffix = lower(kMarkerSuffix);
    std::vector<std::pair<const Line*, const Line*>> marked_entries;  // marker, first entry of its key
    for (const Line& m : lines) {
        if (m.kind != CONFIG_LINE_ENTRY || m.key.size() <= suffix.size() ||
            lower(m.key.substr(m.key.size() - suffix.size())) != suffix)
            continue;
        const std::string key = m.key.substr(0, m.key.size() - suffix.size());
        const Line* entry = nullptr;
        for (const Line& l : lines) {
            if (l.kind == CONFIG_LINE_ENTRY && equal_ignoring_case(l.key, key)) {
                entry = &l;
                break;
            }
        }
        if (entry == nullptr) {
            findings->push_back({m.number, "scramble marker for \"" + key + "\", but no key \"" + key + "\" exists"});
        } else {
            marked_entries.push_back({&m, entry});
        }
    }
    if (marked_entries.empty()) return;

    // What a get of each marked key gives, asked of the library on a copy of the file.
    ScratchDir scratch;
    std::string bytes;
    const std::string copy = scratch.path("copy.cfg");
    Handle handle;
    if (!scratch.ok() || !read_bytes(path, &bytes) || !write_private_file(copy, bytes) ||
        handle.open(copy) != ATTRIB_MNGR_OK)
        return;
    for (const auto& [marker, entry] : marked_entries) {
        std::string stored, clear;
        if (read_attrib(handle.get(), entry->key, 0, &stored) != ATTRIB_MNGR_OK) continue;
        const int32_t rc = read_attrib(handle.get(), entry->key, ATTRIB_MNGR_FLAG_SCRAMBLED, &clear);
        const std::string start = "\"" + entry->key + "\" carries a scramble marker (" + at(marker->number) +
                                  "), but its value is not scrambled text: ";
        if (rc == ATTRIB_MNGR_UNSCRAMBLE_FAILED) {
            findings->push_back({entry->number, start + "reading it in clear gives an error"});
        } else if (rc == ATTRIB_MNGR_OK && clear == stored) {
            findings->push_back({entry->number, start + "it reads back as stored"});
        }
    }
}

}  // namespace

int32_t check_file(const std::string& path, std::vector<Finding>* findings) {
    std::vector<Line> lines;
    int32_t rc = read_lines(path, &lines);
    if (rc != CONFIG_OK) return rc;
    check_structure(lines, findings);
    check_markers(path, lines, findings);
    std::vector<Line> schema;
    rc = read_schema(&schema);
    if (rc == ATTRIB_MNGR_OK) check_schema(lines, schema, findings);
    std::stable_sort(findings->begin(), findings->end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return rc;
}

void print_findings(std::ostream& out, const std::string& name, const std::vector<Finding>& findings) {
    for (const Finding& f : findings) out << name << ":" << f.line << ": " << f.message << "\n";
}

}  // namespace twctl
