// SPDX-License-Identifier: Apache-2.0
#include "check.h"

#include <algorithm>
#include <ostream>
#include <unordered_map>
#include <utility>

#include "library.h"
#include "messages.h"
#include "schema_table.h"
#include "tarnwick/config.h"

namespace twctl {

namespace {

std::string section_name(const std::string& section) {
    return section.empty() ? "the lines before any section" : "[" + section + "]";
}

std::string at(uint32_t line) { return "line " + std::to_string(line); }

// The folded section and key of an entry, as one key of a map.
std::string entry_id(std::string_view section, std::string_view key) {
    return tw::fold_name(section) + '\n' + tw::fold_name(key);
}

// What the checks look up, built in one pass over the lines.
struct Index {
    std::unordered_map<std::string, const Line*> headers;  // folded section -> first header
    std::unordered_map<std::string, const Line*> entries;  // entry_id -> first entry
};

void check_structure(const std::vector<Line>& lines, Index* index, std::vector<Finding>* findings) {
    for (const Line& l : lines) {
        if (l.kind == CONFIG_LINE_OTHER) {
            findings->push_back({l.number, "neither a comment, a section header nor key=value: the store keeps "
                                           "this line, but nothing reads it", "other\n" + l.text});
        } else if (l.kind == CONFIG_LINE_SECTION) {
            const auto [it, first] = index->headers.emplace(tw::fold_name(l.section), &l);
            if (!first) {
                findings->push_back({l.number, "section [" + l.section + "] again (first at " + at(it->second->number) +
                                                   "): the keys below are read as keys of that section",
                                                       "section\n" + tw::fold_name(l.section)});
            }
        } else if (l.kind == CONFIG_LINE_ENTRY) {
            const auto [it, first] = index->entries.emplace(entry_id(l.section, l.key), &l);
            if (!first) {
                findings->push_back({l.number, "\"" + l.key + "\" again in " + section_name(l.section) + ": " +
                                                   at(it->second->number) + " counts (the first), this one is never read",
                                     "again\n" + entry_id(l.section, l.key)});
            }
        }
    }
}

void check_schema(const FileView& file, const Index& index, std::vector<Finding>* findings) {
    const std::vector<Line>& lines = file.lines();
    const uint32_t end = lines.empty() ? 1 : lines.back().number;

    // Entries of schema keys: in another section than their own, or with a value their kind
    // does not allow (unless scrambled: the stored text is then the scrambled form).
    for (const Line& l : lines) {
        if (l.kind != CONFIG_LINE_ENTRY) continue;
        const tw::SchemaRow* row = tw::find_schema_key(l.key);
        if (row == nullptr) continue;
        if (!tw::same_name(l.section, row->section)) {
            const auto own = index.entries.find(entry_id(row->section, row->key));
            const Line* first = file.first_entry(row->key);
            std::string message = "\"" + l.key + "\" belongs in [" + row->section + "], not in " +
                                  section_name(l.section) + ": ";
            if (own != index.entries.end()) {
                message += "[" + std::string(row->section) + "] holds it at " + at(own->second->number) +
                           ", and a get by name takes the first in file order, " + at(first->number);
            } else {
                message += "a get by name takes the first in file order (" + at(first->number) +
                           "), and the next write adds it to [" + row->section + "] as well";
            }
            findings->push_back({l.number, message, "elsewhere\n" + entry_id(l.section, l.key)});
            continue;
        }
        if (file.scrambled_entry(l)) continue;
        if (const char* fault = tw::value_fault(*row, l.value)) {
            findings->push_back({l.number, "\"" + l.key + "\" = \"" + l.value + "\" " + fault,
                "value\n" + entry_id(l.section, l.key) + "\n" + l.value});
        }
    }

    // Schema keys missing altogether.
    std::vector<std::pair<std::string, int>> missing_in_absent_section;  // in schema order
    for (const tw::SchemaRow& row : tw::kSchemaRows) {
        if (index.entries.count(entry_id(row.section, row.key)) != 0 || file.first_entry(row.key) != nullptr) continue;
        const auto header = index.headers.find(tw::fold_name(row.section));
        if (header == index.headers.end()) {
            if (missing_in_absent_section.empty() || missing_in_absent_section.back().first != row.section)
                missing_in_absent_section.push_back({row.section, 0});
            ++missing_in_absent_section.back().second;
            continue;
        }
        std::string added = row.key + std::string("=") + row.value;
        if (row.source != tw::DefaultSource::kConstant) added += " (or the system's proxy setting)";
        findings->push_back({header->second->number, "[" + std::string(row.section) + "] has no \"" + row.key +
                                                         "\": the next write adds " + added,
                                                             "missing\n" + entry_id(row.section, row.key)});
    }
    for (const auto& [section, count] : missing_in_absent_section) {
        findings->push_back({end, "no section [" + section + "]: the next write adds it with its " +
                                      std::to_string(count) + (count == 1 ? " key" : " keys") + " and their defaults",
                                          "no-section\n" + tw::fold_name(section)});
    }
}

void check_markers(const FileView& file, std::vector<Finding>* findings) {
    for (const Line& m : file.lines()) {
        std::string_view key;
        if (m.kind != CONFIG_LINE_ENTRY || !tw::is_marker_key(m.key, &key)) continue;
        const Line* entry = file.first_entry(key);
        const std::string name(key);
        if (entry == nullptr) {
            findings->push_back({m.number, "scramble marker for \"" + name + "\", but no key \"" + name + "\" exists",
                "marker-alone\n" + tw::fold_name(name)});
            continue;
        }
        // The marker that a get finds is the first of its key; later repeats say nothing new.
        if (file.first_entry(m.key) != &m) continue;
        std::string clear, why;
        if (reveal(entry->value, &clear, &why) != ATTRIB_MNGR_OK) {
            findings->push_back({entry->number, "\"" + entry->key + "\" carries a scramble marker (" + at(m.number) +
                                                    "), but its value is not scrambled text: " + why,
                                 "marker-over\n" + tw::fold_name(entry->key) + "\n" + entry->value});
        }
        wipe(&clear);
    }
}

}  // namespace

void check_lines(const FileView& file, std::vector<Finding>* findings) {
    Index index;
    check_structure(file.lines(), &index, findings);
    check_markers(file, findings);
    check_schema(file, index, findings);
    std::stable_sort(findings->begin(), findings->end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

int32_t check_file(const std::string& path, std::vector<Finding>* findings) {
    FileView file;
    const int32_t rc = file.load(path);
    if (rc != CONFIG_OK) return rc;
    check_lines(file, findings);
    return ATTRIB_MNGR_OK;
}

std::vector<Finding> introduced(const std::vector<Finding>& before, const std::vector<Finding>& after) {
    std::unordered_map<std::string, size_t> known;
    for (const Finding& f : before) ++known[f.id];
    std::vector<Finding> added;
    for (const Finding& f : after) {
        size_t& left = known[f.id];
        if (left > 0) {
            --left;
        } else {
            added.push_back(f);
        }
    }
    return added;
}

void print_findings(std::ostream& out, const std::string& name, const std::vector<Finding>& findings) {
    const std::string file = printable(name);
    for (const Finding& f : findings) out << file << ":" << f.line << ": " << printable(f.message) << "\n";
}

}  // namespace twctl
