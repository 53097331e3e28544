#include "apply.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>

#include "changes.h"
#include "commands.h"
#include "config.h"
#include "corvane.h"
#include "json_reader.h"
#include "library.h"
#include "messages.h"
#include "schema_table.h"
#include "tarnwick.h"

namespace twctl {

const char kApplySynopsis[] = "tarnwickctl apply [--file F] [--check] [--diff] [--json] [--allow-new] STATE\n";

const char kApplyDescription[] =
    "Makes the attribute file hold the state STATE describes, in one load and at most one\n"
    "save. STATE is a file, or - for standard input (the way for secrets: never on a command\n"
    "line). It holds one JSON object of sections, each an object of keys:\n"
    "\n"
    "  {\"Agent\": {\"ServerMachine\": \"srv.example\", \"TimeOut\": \"45\", \"LegacyKey\": null},\n"
    "   \"Http_Proxy\": {\"ProxyPassword\": {\"scrambled\": \"s3cret\"}}}\n"
    "\n"
    "A string sets the key, null removes it, {\"scrambled\": \"text\"} stores the text scrambled\n"
    "(and marks the key as scrambled). A scrambled key whose stored value unscrambles to the\n"
    "same text is left alone, so applying a state again writes nothing. Keys the state does\n"
    "not name stay as they are; a missing file is created with every default and an existing\n"
    "one completed, as opening does. The file is replaced under the machine-wide lock, and\n"
    "only while it is still the file that was read.\n"
    "\n"
    "All or nothing: when any entry is refused (not JSON, not an object of objects, a value\n"
    "other than a string, null or {\"scrambled\": string}, a name or value the store refuses, a\n"
    "name longer than 255 bytes or given twice, a section neither in the schema nor in the\n"
    "file, a schema key in another section than its own), every refused entry is listed and\n"
    "nothing is written. --allow-new allows the new section and the key in another section.\n"
    "\n"
    "--check writes nothing and reports what would change. --diff adds the file before and\n"
    "after; the value of every secret (a key with a scramble marker, or scrambled by the\n"
    "state) is masked there, in clear and in scrambled form alike. Without --json, one line\n"
    "says what changed (\"FILE: changed: set Agent/TimeOut, ...\", or \"FILE: nothing\n"
    "changed\"), and --diff adds a unified diff. --json prints one object instead:\n"
    "\n"
    "  {\"changed\": true, \"file\": \"/path/k_agent_attribs.cfg\",\n"
    "   \"changes\": [{\"section\": \"Agent\", \"key\": \"TimeOut\", \"action\": \"set\",\n"
    "                \"scrambled\": false}, ...],\n"
    "   \"diff\": {\"before\": \"...\", \"after\": \"...\"}}\n"
    "\n"
    "\"changed\" is true when the file was (or would be) created or any line of it differs.\n"
    "\"changes\" lists each key whose first entry in its section was added (\"add\", also for\n"
    "defaults a completion adds), given another value (\"set\") or removed (\"remove\"), with\n"
    "\"scrambled\" true for a secret; no value ever appears. \"diff\" comes with --diff only.\n"
    "On failure nothing goes to standard output; the reasons go to standard error.\n";

namespace {

// Refused input: the state, or an entry of it.
constexpr int kExitRefused = kExitUsage;

// ---- reading the state

// A buffer that overwrites what it held whenever it moves and when it ends.
class WipedText {
public:
    WipedText() { text_.reserve(64 * 1024); }
    ~WipedText() { wipe(&text_); }
    WipedText(const WipedText&) = delete;
    WipedText& operator=(const WipedText&) = delete;

    void append(const char* data, size_t size) {
        if (text_.size() + size > text_.capacity()) {
            std::string bigger;
            bigger.reserve(2 * (text_.size() + size));
            bigger.assign(text_);
            wipe(&text_);
            text_.swap(bigger);
        }
        text_.append(data, size);
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Reads at most kMaxStateSize bytes from file; false with the reason in *problem.
bool read_state(const std::string& source, WipedText* text, std::string* problem) {
    std::FILE* in = source == "-" ? stdin : std::fopen(source.c_str(), "rb");
    if (in == nullptr) {
        *problem = "the state file " + source + " cannot be read: " + std::strerror(errno);
        return false;
    }
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, in);
        if (got > 0) text->append(chunk, got);
        if (text->text().size() > kMaxStateSize) {
            *problem = "the state is larger than " + std::to_string(kMaxStateSize) + " bytes";
            ok = false;
            break;
        }
        if (got < sizeof chunk) {
            if (std::ferror(in)) {
                *problem = "reading the state failed";
                ok = false;
            }
            break;
        }
    }
    std::memset(chunk, 0, sizeof chunk);
    if (in != stdin) std::fclose(in);
    return ok;
}

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

// A name as messages quote it: a long one cut short.
std::string shown(const std::string& name) { return name.size() <= 64 ? name : name.substr(0, 60) + "..."; }

std::string entry_name(const std::string& section, const std::string& key) {
    return "\"" + shown(section) + "/" + shown(key) + "\"";
}

// ---- the store

class Store {
public:
    Store() : cfg_(new_config()) {}
    ~Store() { delete_config(cfg_); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    config_handle get() const { return cfg_; }

private:
    config_handle cfg_;
};

// ---- the machine-wide lock

class InitLock {
public:
    InitLock() : lock_(init_interprocess_critical_section(TARNWICK_INIT_LOCK_NAME)) {
        held_ = lock_ != 0 && try_enter_interprocess_critical_section(lock_, 60 * 1000) != 0;
    }
    ~InitLock() {
        if (held_) leave_interprocess_critical_section(lock_);
        if (lock_ != 0) destroy_interprocess_critical_section(lock_);
    }
    InitLock(const InitLock&) = delete;
    InitLock& operator=(const InitLock&) = delete;
    bool created() const { return lock_ != 0; }
    bool held() const { return held_; }

private:
    uint32_t lock_;
    bool held_ = false;
};

// ---- applying

// The state applied to a store that holds the file (or a new one): refusals, warnings, and the
// file's lines before and after.
class Applier {
public:
    Applier(config_handle cfg, const std::string& path) : cfg_(cfg), path_(path) {}

    std::vector<std::string> refusals;  // "ENTRY: why"
    std::vector<std::string> warnings;
    int32_t error = ATTRIB_MNGR_OK;     // a failure that is not the state's

    // Refuses what the schema says is a mistake: a section neither in the schema nor in the
    // file, a schema key in another section than its own.
    void check_schema(const std::vector<StateEntry>& entries, const FileLines* before) {
        std::set<std::string> sections, refused_sections;
        if (before != nullptr) {
            for (const Line& l : before->lines()) {
                if (l.kind == CONFIG_LINE_SECTION || l.kind == CONFIG_LINE_ENTRY) sections.insert(tw::fold_name(l.section));
            }
        }
        for (const StateEntry& e : entries) {
            if (!tw::is_schema_section(e.section) && sections.count(tw::fold_name(e.section)) == 0) {
                if (refused_sections.insert(tw::fold_name(e.section)).second)
                    refusals.push_back("\"" + shown(e.section) + "\": no such section in the schema or the file");
                continue;
            }
            const tw::SchemaRow* row = tw::find_schema_key(e.key);
            if (row != nullptr && !tw::same_name(row->section, e.section))
                refusals.push_back(entry_name(e.section, e.key) + ": a key of [" + row->section + "], not of [" +
                                   shown(e.section) + "]");
        }
    }

    // Adds every schema row the store lacks with the table's default, as opening does (which
    // takes the proxy's host and port from the system's settings instead).
    void complete() {
        for (const tw::SchemaRow& r : tw::kSchemaRows) {
            if (config_get_attrib_val(cfg_, path_.c_str(), r.section, r.key) != 0) continue;
            const int32_t rc = config_set_attrib(cfg_, path_.c_str(), r.section, r.key, r.value);
            if (rc != CONFIG_OK && error == ATTRIB_MNGR_OK) error = rc;
        }
    }

    void apply(const StateEntry& e) {
        if (lines_stale_) {
            const int32_t rc = lines_.load_from(cfg_, path_);
            if (rc != CONFIG_OK) {
                if (error == ATTRIB_MNGR_OK) error = rc;
                return;
            }
            lines_stale_ = false;
        }
        switch (e.action) {
            case StateEntry::kSet: set(e); break;
            case StateEntry::kRemove: remove(e); break;
            case StateEntry::kScramble: scramble(e); break;
        }
    }

private:
    void refuse_code(const StateEntry& e, int32_t rc) {
        refusals.push_back(entry_name(e.section, e.key) + ": " + attrib_mngr_error_text(rc) + " (error " +
                           std::to_string(rc) + ")");
    }
    void set(const StateEntry& e) {
        const int32_t rc = config_set_attrib(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str(), e.value.c_str());
        if (rc != CONFIG_OK) return refuse_code(e, rc);
        if (lines_.scrambled(e.key))
            warnings.push_back(entry_name(e.section, e.key) +
                               " keeps its scramble marker: --reveal will unscramble the plain value");
    }
    void remove(const StateEntry& e) {
        if (config_get_attrib_val(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str()) != 0) {
            const int32_t rc = config_remove_attrib(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str());
            if (rc < 0 && error == ATTRIB_MNGR_OK) error = rc;
            lines_stale_ = true;
            return;
        }
        // Nothing to remove; but a name the store refuses is a mistake all the same. A store
        // of a file that is never written tells.
        if (!probe_dir_) {
            probe_dir_ = std::make_unique<ScratchDir>();
            probe_path_ = probe_dir_->ok() ? probe_dir_->path("names.cfg") : std::string();
            if (probe_path_.empty() || config_add_ini_new_file_source(probe_.get(), probe_path_.c_str()) != CONFIG_OK) {
                probe_path_.clear();
            }
        }
        if (probe_path_.empty()) {
            if (error == ATTRIB_MNGR_OK) error = CONFIG_E_CREATE;
            return;
        }
        const int32_t rc = config_set_attrib(probe_.get(), probe_path_.c_str(), e.section.c_str(), e.key.c_str(), "");
        if (rc != CONFIG_OK) refuse_code(e, rc);
    }
    void scramble(const StateEntry& e) {
        const bool marked = lines_.scrambled(e.key);
        if (marked && same_clear_value(e)) return;  // a new seed would change nothing else
        std::string text = twctl::scramble(e.value);
        const int32_t rc = config_set_attrib(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str(), text.c_str());
        wipe(&text);
        lines_stale_ = true;
        if (rc != CONFIG_OK) return refuse_code(e, rc);
        if (marked) return;
        const int32_t marker =
            config_set_attrib(cfg_, path_.c_str(), tw::kMarkerSection, tw::marker_key(e.key).c_str(), "");
        if (marker != CONFIG_OK) refuse_code(e, marker);
    }
    // Whether the key's entry in its section is sound scrambled text of the state's value.
    bool same_clear_value(const StateEntry& e) {
        for (const Line& l : lines_.lines()) {
            if (l.kind != CONFIG_LINE_ENTRY || !tw::same_name(l.section, e.section) || !tw::same_name(l.key, e.key))
                continue;
            std::string clear;
            const bool same = reveal(l.value, &clear) == ATTRIB_MNGR_OK && clear == e.value;
            wipe(&clear);
            return same;
        }
        return false;
    }

    config_handle cfg_;
    const std::string& path_;
    FileLines lines_;  // the store's lines, reloaded after a change that moves them
    bool lines_stale_ = true;
    std::unique_ptr<ScratchDir> probe_dir_;
    Store probe_;
    std::string probe_path_;
};

int fail(std::ostream& err, int32_t code, const std::string& file) {
    err << error_line(code, file) << "\n";
    return kExitFailed;
}

int refused(std::ostream& err, const std::string& where, const std::vector<std::string>& problems) {
    for (const std::string& p : problems) err << "tarnwickctl: " << where << ": " << p << "\n";
    err << "tarnwickctl: the state was refused; nothing was written\n";
    return kExitRefused;
}

// One pass: the file loaded into a store of its own (or taken as new when missing), completed
// and changed in memory; *before is left empty for a missing file. The store is saved by the
// caller, or not at all.
struct Pass {
    Store store;
    std::optional<FileLines> before;
    FileLines after;
    std::vector<std::string> refusals, warnings;
};

int32_t run_pass(const std::string& path, const std::vector<StateEntry>& entries, bool allow_new, Pass* pass) {
    const config_handle cfg = pass->store.get();
    if (cfg == 0) return ATTRIB_MNGR_NO_CONFIG;
    int32_t rc = config_add_ini_file_source(cfg, path.c_str());
    if (rc == CONFIG_OK) {
        pass->before.emplace();
        rc = pass->before->load_from(cfg, path);
    } else if (rc == CONFIG_E_NOT_FOUND) {
        rc = config_add_ini_new_file_source(cfg, path.c_str());
    }
    if (rc != CONFIG_OK) return library_code(rc);

    Applier applier(cfg, path);
    if (!allow_new) applier.check_schema(entries, pass->before ? &*pass->before : nullptr);
    applier.complete();
    for (const StateEntry& e : entries) applier.apply(e);
    if (applier.error != ATTRIB_MNGR_OK) return library_code(applier.error);
    pass->refusals = std::move(applier.refusals);
    pass->warnings = std::move(applier.warnings);
    return pass->after.load_from(cfg, path);
}

}  // namespace

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
    std::set<std::string> sections;
    for (const auto& [section, keys] : doc.object) {
        const std::string where = text_position(text, keys.offset) + ": ";
        std::string problem = name_problem(section);
        if (problem.empty() && !sections.insert(tw::fold_name(section)).second) problem = "section given twice";
        if (!problem.empty()) {
            problems->push_back(where + "\"" + shown(section) + "\": " + problem);
            continue;
        }
        if (keys.type != Json::kObject) {
            problems->push_back(where + "\"" + section + "\": " + type_name(keys) + ", not an object of keys");
            continue;
        }
        std::set<std::string> names;
        for (const auto& [key, value] : keys.object) {
            const std::string at = text_position(text, value.offset) + ": " + entry_name(section, key) + ": ";
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
                problems->push_back(at + problem);
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
    for (StateEntry& e : *entries) wipe(&e.value);
    entries->clear();
}

int run_apply(const ApplyOptions& options, std::ostream& out, std::ostream& err) {
    const std::string where = options.state == "-" ? "standard input" : options.state;
    std::vector<StateEntry> entries;
    {
        WipedText text;
        std::string problem;
        if (!read_state(options.state, &text, &problem)) return refused(err, where, {problem});
        std::vector<std::string> problems;
        if (!parse_state(text.text(), &entries, &problems)) return refused(err, where, problems);
    }
    struct Wiper {
        std::vector<StateEntry>* e;
        ~Wiper() { wipe(e); }
    } wiper{&entries};
    std::set<std::string> secrets;
    for (const StateEntry& e : entries) {
        if (e.action == StateEntry::kScramble) secrets.insert(tw::fold_name(e.key));
    }

    std::string path;
    int32_t rc = options.file ? ATTRIB_MNGR_OK : located_path(&path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    if (options.file) path = *options.file;

    // What the state does to the file as it is now: all a check does, and enough to know
    // that nothing has to be written.
    Pass plan;
    rc = run_pass(path, entries, options.allow_new, &plan);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path);
    if (!plan.refusals.empty()) return refused(err, where, plan.refusals);
    ChangeReport report = compare_files(path, plan.before ? &*plan.before : nullptr, plan.after, secrets);

    if (!options.check && report.changed) {
        // Opening creates or completes the file as the library does (the proxy's defaults from
        // the system), under the lock; then the state is applied again, under the lock, to the
        // file as it is then, and saved only while it is still that file.
        {
            Handle opened;
            rc = opened.open(path);
            if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path);
        }
        InitLock lock;
        if (!lock.created()) {
            err << "tarnwickctl: the machine-wide lock could not be created; nothing was written\n";
            return kExitFailed;
        }
        if (!lock.held()) return fail(err, ATTRIB_MNGR_LOCK_TIMEOUT, path);
        Pass pass;
        rc = run_pass(path, entries, options.allow_new, &pass);
        if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path);
        if (!pass.refusals.empty()) return refused(err, where, pass.refusals);
        rc = config_save(pass.store.get(), path.c_str(), CONFIG_SAVE_IF_UNCHANGED);
        if (rc != CONFIG_OK) return fail(err, library_code(rc), path);
        report = compare_files(path, plan.before ? &*plan.before : nullptr, pass.after, secrets);
        plan.warnings = std::move(pass.warnings);
    }
    for (const std::string& w : plan.warnings) err << "tarnwickctl: warning: " << w << "\n";
    print_report(out, report, {options.json, options.diff, options.check});
    return kExitOk;
}

}  // namespace twctl
