// SPDX-License-Identifier: Apache-2.0
#include "apply.h"

#include <set>

#include "json_reader.h"
#include "schema_table.h"

namespace twctl {

namespace {

const char* type_name(const Json& v) {
    switch (v.type) {
        case Json::kNull: return "null";
        case Json::kBool: return "a Boolean";
        case Json::kNumber: return "a number";
        case Json::kString: return "a string";
        case Json::kArray: return "an array";
        case Json::kObject: return "an object";
    }
    return "a value";
}

// "" when name may stand in a state, else why not.
std::string name_problem(const std::string& name) {
    if (name.empty()) return "an empty name";
    if (name.size() > kMaxStateName) return "a name longer than " + std::to_string(kMaxStateName) + " bytes";
    if (name.find('\0') != std::string::npos) return "a name that holds a NUL byte";
    return "";
}

// "line L, column C" of offsets asked for in increasing order, in one pass over the text
// (asked for one by one, a state of many faulty entries would cost the square of its size).
class Positions {
public:
    explicit Positions(std::string_view text) : text_(text) {}
    std::string at(size_t offset) {
        if (offset < i_) i_ = 0, line_ = 1, column_ = 1;
        for (; i_ < offset && i_ < text_.size(); ++i_) {
            if (text_[i_] == '\n') {
                ++line_;
                column_ = 1;
            } else {
                ++column_;
            }
        }
        return "line " + std::to_string(line_) + ", column " + std::to_string(column_) + ": ";
    }

private:
    std::string_view text_;
    size_t i_ = 0, line_ = 1, column_ = 1;
};

}  // namespace

std::string shown(const std::string& name) { return name.size() <= 64 ? name : name.substr(0, 60) + "..."; }

std::string entry_name(const std::string& section, const std::string& key) {
    return "\"" + shown(section) + "/" + shown(key) + "\"";
}

bool parse_state(std::string_view text, std::vector<StateEntry>* entries, std::vector<std::string>* problems) {
    Json doc;
    std::string error;
    // The state nests three deep at most: sections, keys, {"scrambled": ...}.
    if (!parse_json(text, &doc, &error, 3)) {
        wipe(&doc);
        problems->push_back("not a JSON state: " + error);
        return false;
    }
    if (doc.type != Json::kObject) problems->push_back("the state is " + std::string(type_name(doc)) + ", not an object of sections");
    Positions positions(text);
    std::set<std::string> sections;
    for (const auto& [section, keys] : doc.object) {
        const size_t keys_at = keys.offset;
        std::string problem = name_problem(section);
        if (problem.empty() && !sections.insert(tw::fold_name(section)).second) problem = "section given twice";
        if (!problem.empty()) {
            problems->push_back(positions.at(keys_at) + "\"" + shown(section) + "\": " + problem);
            continue;
        }
        if (keys.type != Json::kObject) {
            problems->push_back(positions.at(keys_at) + "\"" + shown(section) + "\": " + type_name(keys) + ", not an object of keys");
            continue;
        }
        std::set<std::string> names;
        for (const auto& [key, value] : keys.object) {
            problem = name_problem(key);
            if (problem.empty() && !names.insert(tw::fold_name(key)).second) problem = "key given twice";
            StateEntry entry;
            entry.section = section;
            entry.key = key;
            const Json* text_value = &value;
            if (value.type == Json::kNull) {
                entry.action = StateEntry::kRemove;
            } else if (value.type == Json::kObject) {
                entry.action = StateEntry::kScramble;
                text_value = &value["scrambled"];
                if (value.object.size() != 1 || text_value->type != Json::kString)
                    problem = "an object must be {\"scrambled\": \"text\"}";
            } else if (value.type != Json::kString) {
                problem = std::string(type_name(value)) + ": a value is a string, null or {\"scrambled\": \"text\"}";
            }
            if (problem.empty() && entry.action != StateEntry::kRemove) {
                if (text_value->string.find('\0') != std::string::npos) {
                    problem = "a value that holds a NUL byte";
                } else {
                    entry.value.reserve(text_value->string.size() < 32 ? 32 : text_value->string.size());
                    entry.value = text_value->string;
                }
            }
            if (!problem.empty()) {
                problems->push_back(positions.at(value.offset) + entry_name(section, key) + ": " + problem);
                continue;
            }
            entries->push_back(std::move(entry));
        }
    }
    wipe(&doc);
    if (problems->empty()) return true;
    wipe(entries);
    return false;
}


void wipe(std::vector<StateEntry>* entries) {
    for (StateEntry& e : *entries) {
        volatile char* p = e.value.data();
        for (size_t i = 0; i < e.value.size(); ++i) p[i] = '\0';
    }
    entries->clear();
}

}  // namespace twctl
