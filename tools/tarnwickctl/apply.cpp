// SPDX-License-Identifier: Apache-2.0
#include "apply.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <set>

#include "changes.h"
#include "commands.h"
#include "json_reader.h"
#include "library.h"
#include "messages.h"
#include "schema_table.h"
#include "tarnwick.h"
#include "tarnwick/config.h"
#include "tarnwick/corvane.h"

namespace twctl {

const char kApplySynopsis[] = "tarnwickctl apply [--file F] [--check] [--diff] [--json] [--allow-new] STATE\n";

const char kApplyDescription[] =
    "Makes the attribute file hold the state STATE describes, in one call: the whole state is\n"
    "checked and applied in memory first, and the state saved in one save when something\n"
    "changes, never when nothing does. STATE is a file, or - for standard input (the way for secrets:\n"
    "never on a command line). It holds one JSON object of sections, each an object of keys:\n"
    "\n"
    "  {\"Agent\": {\"ServerMachine\": \"srv.example\", \"TimeOut\": \"45\", \"LegacyKey\": null},\n"
    "   \"Http_Proxy\": {\"ProxyPassword\": {\"scrambled\": \"s3cret\"}}}\n"
    "\n"
    "A string sets the key, null removes it, {\"scrambled\": \"text\"} stores the text scrambled\n"
    "(and marks the key as scrambled). A scrambled key whose stored value unscrambles to the\n"
    "same text is left alone, so applying a state again writes nothing. Keys the state does\n"
    "not name stay as they are. When there is something to write, a missing file is first\n"
    "created with every default, or an incomplete one completed, by the library's own save,\n"
    "exactly as an agent's opening does; then the state is applied in one more save. The file\n"
    "is replaced under the machine-wide lock, and only while it is still the file that was read.\n"
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
    "On failure nothing goes to standard output; the reasons go to standard error.\n"
    "\n"
    "Exit status: 0 done, whether anything changed or not; 2 the command line was wrong;\n"
    "4 the state was refused (nothing written); 5 an error of the library or the system\n"
    "(a STATE or a file that cannot be read, a planted file, the lock, no memory, a failed\n"
    "save, the file changed meanwhile).\n";

namespace {

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

// Reads at most kMaxStateSize bytes from file. kExitOk; else the reason in *problem and the
// status: a larger state is refused input, a source that cannot be read (missing, a
// directory, no permission) a failure of the system.
int read_state(const std::string& source, WipedText* text, std::string* problem) {
    std::FILE* in = source == "-" ? stdin : std::fopen(source.c_str(), "rb");
    if (in == nullptr) {
        *problem = "the state cannot be read: " + std::string(std::strerror(errno));
        return kExitFailed;
    }
    // Unbuffered, so that no copy of a secret stays behind in the stream's own buffer.
    if (in == stdin) std::setvbuf(stdin, nullptr, _IONBF, 0);
    char chunk[4096];
    int status = kExitOk;
    for (;;) {
        errno = 0;
        const size_t got = std::fread(chunk, 1, sizeof chunk, in);
        if (got > 0) text->append(chunk, got);
        if (text->text().size() > kMaxStateSize) {
            *problem = "the state is larger than " + std::to_string(kMaxStateSize) + " bytes";
            status = kExitRefused;
            break;
        }
        if (got < sizeof chunk) {
            if (std::ferror(in)) {
                *problem = "the state cannot be read" + (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
                status = kExitFailed;
            }
            break;
        }
    }
    volatile char* p = chunk;
    for (size_t i = 0; i < sizeof chunk; ++i) p[i] = '\0';
    if (in != stdin) std::fclose(in);
    return status;
}

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
    // file, a schema key set in another section than its own. Removing a key is allowed in
    // any section the schema or the file holds, whatever the key: it is how a misplaced
    // schema key is mended. In a section that is in neither it would do nothing at all, which
    // a mistyped name would hide.
    void check_schema(const std::vector<StateEntry>& entries, const FileView* before) {
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
            if (e.action == StateEntry::kRemove) continue;
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
        // The stored values as they are before the state: no entry of the state changes
        // another's section and key (none is given twice), so they stay right to the end.
        if (!loaded_) {
            const int32_t rc = lines_.load_from(cfg_, path_);
            if (rc != CONFIG_OK) {
                if (error == ATTRIB_MNGR_OK) error = rc;
                return;
            }
            for (const Line& l : lines_.lines()) {
                if (l.kind == CONFIG_LINE_ENTRY) values_.emplace(Name{tw::fold_name(l.section), tw::fold_name(l.key)}, &l.value);
            }
            loaded_ = true;
        }
        switch (e.action) {
            case StateEntry::kSet: set(e); break;
            case StateEntry::kRemove: remove(e); break;
            case StateEntry::kScramble: scramble(e); break;
        }
    }

private:
    using Name = std::pair<std::string, std::string>;  // section and key, folded

    // Whether key is scrambled as the library tells, in the store as it stands now (an
    // earlier entry may have added or removed a marker): some section holds its marker.
    bool marked(const std::string& key) const {
        return config_get_attrib(cfg_, tw::marker_key(key).c_str()) != nullptr;
    }
    // A code the store gave for e: a refused name or value is the state's fault; any other
    // (no memory, a bad handle) is a failure of the library, never taken for refused input.
    void refuse_code(const StateEntry& e, int32_t rc) {
        if (exit_status(rc) != kExitRefused) {
            if (error == ATTRIB_MNGR_OK) error = rc;
            return;
        }
        refusals.push_back(entry_name(e.section, e.key) + ": " + attrib_mngr_error_text(rc) + " (error " +
                           std::to_string(rc) + ")");
    }
    void set(const StateEntry& e) {
        const int32_t rc = config_set_attrib(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str(), e.value.c_str());
        if (rc != CONFIG_OK) return refuse_code(e, rc);
        if (marked(e.key))
            warnings.push_back(entry_name(e.section, e.key) +
                               " keeps its scramble marker: --reveal will unscramble the plain value");
    }
    void remove(const StateEntry& e) {
        if (config_get_attrib_val(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str()) != 0) {
            const int32_t rc = config_remove_attrib(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str());
            if (rc < 0 && error == ATTRIB_MNGR_OK) error = rc;
            return;
        }
        // Nothing to remove; but a name the store refuses is a mistake all the same. A store
        // of a file that is never written tells.
        if (!probe_dir_) {
            probe_dir_ = std::make_unique<ScratchDir>();
            probe_path_ = probe_dir_->ok() ? probe_dir_->path("names.cfg") : std::string();
            if (probe_path_.empty() || probe_.open(probe_path_) != ATTRIB_MNGR_OK) probe_path_.clear();
        }
        if (probe_path_.empty()) {
            if (error == ATTRIB_MNGR_OK) error = CONFIG_E_CREATE;
            return;
        }
        const int32_t rc = config_set_attrib(probe_.cfg(), probe_path_.c_str(), e.section.c_str(), e.key.c_str(), "");
        if (rc != CONFIG_OK) refuse_code(e, rc);
    }
    void scramble(const StateEntry& e) {
        const bool was_marked = marked(e.key);
        if (was_marked && same_clear_value(e)) return;  // a new seed would change nothing else
        std::string text = twctl::scramble(e.value);
        const int32_t rc = config_set_attrib(cfg_, path_.c_str(), e.section.c_str(), e.key.c_str(), text.c_str());
        wipe(&text);
        if (rc != CONFIG_OK) return refuse_code(e, rc);
        if (was_marked) return;
        const int32_t marker =
            config_set_attrib(cfg_, path_.c_str(), tw::kMarkerSection, tw::marker_key(e.key).c_str(), "");
        if (marker != CONFIG_OK) refuse_code(e, marker);
    }
    // Whether the key's entry in its section is sound scrambled text of the state's value.
    bool same_clear_value(const StateEntry& e) {
        const auto it = values_.find({tw::fold_name(e.section), tw::fold_name(e.key)});
        if (it == values_.end()) return false;
        std::string clear;
        const bool same = reveal(*it->second, &clear) == ATTRIB_MNGR_OK && clear == e.value;
        wipe(&clear);
        return same;
    }

    config_handle cfg_;
    const std::string& path_;
    FileView lines_;  // the store's lines before the state
    std::map<Name, const std::string*> values_;  // the first value of each section and key there
    bool loaded_ = false;
    std::unique_ptr<ScratchDir> probe_dir_;
    Store probe_;
    std::string probe_path_;
};

int fail(std::ostream& err, int32_t code, const std::string& file) {
    err << error_line(code, file) << "\n";
    return exit_status(code);
}

// Says each problem of the state read from where; status: that of the whole. opening: what
// the write's opening did to file before the state was refused.
int refused(std::ostream& err, const std::string& where, const std::vector<std::string>& problems,
            int status = kExitRefused, FileWrite::Opening opening = FileWrite::kUntouched,
            const std::string& file = "") {
    for (const std::string& p : problems) err << "tarnwickctl: " << printable(where) << ": " << printable(p) << "\n";
    if (status != kExitRefused) {
        err << "tarnwickctl: nothing was written\n";
    } else if (opening == FileWrite::kUntouched) {
        err << "tarnwickctl: the state was refused; nothing was written\n";
    } else {
        // The file changed between the plan and the lock, and opening had already written.
        err << "tarnwickctl: the state was refused and not applied; " << printable(file) << " was "
            << (opening == FileWrite::kCreated ? "created" : "completed") << " with its defaults only\n";
    }
    return status;
}

// The state applied to cfg, which holds the file at path; before: the file as it was (NULL
// for none), for the schema's checks. complete: first add every schema row cfg lacks.
int32_t apply_state(config_handle cfg, const std::string& path, const FileView* before,
                    const std::vector<StateEntry>& entries, bool allow_new, bool complete, FileView* after,
                    std::vector<std::string>* refusals, std::vector<std::string>* warnings) {
    Applier applier(cfg, path);
    if (!allow_new) applier.check_schema(entries, before);
    if (complete) applier.complete();
    for (const StateEntry& e : entries) applier.apply(e);
    if (applier.error != ATTRIB_MNGR_OK) return library_code(applier.error);
    *refusals = std::move(applier.refusals);
    *warnings = std::move(applier.warnings);
    return after->load_from(cfg, path);
}

}  // namespace

int run_apply(const ApplyOptions& options, std::ostream& out, std::ostream& err) {
    const std::string where = options.state == "-" ? "standard input" : options.state;
    std::vector<StateEntry> entries;
    {
        WipedText text;
        std::string problem;
        const int status = read_state(options.state, &text, &problem);
        if (status != kExitOk) return refused(err, where, {problem}, status);
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

    // What the state would do to the file as it is: all a check does, and, before a run
    // writes anything, the refusals (opening alone could create or complete the file) and
    // whether there is anything to write at all.
    std::string path;
    int32_t rc = options.file ? ATTRIB_MNGR_OK : located_path(&path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    if (options.file) path = *options.file;
    // The plan: the file in a store of its own (a missing one as new), completed from the
    // schema's table and changed in memory; nothing is locked or written. The proxy's host
    // and port a completion would add show with the table's empty defaults: opening takes
    // them from the system's settings.
    std::vector<std::string> refusals, warnings;
    Store plan;
    rc = plan.open(path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path);
    const FileView* planned_before = plan.exists() ? &plan.view() : nullptr;
    FileView after;
    rc = apply_state(plan.cfg(), path, planned_before, entries, options.allow_new, true, &after, &refusals, &warnings);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path);
    if (!refusals.empty()) return refused(err, where, refusals);
    ChangeReport report = compare_files(path, planned_before, after, secrets);
    if (!options.check && report.changed) {
        // The tool's one write path: the file as it was, then created or completed as opening
        // does, then loaded under the machine-wide lock; saved, only while it is still the file
        // loaded, when something changed.
        FileWrite write;
        rc = write.open(options.file);
        if (rc != ATTRIB_MNGR_OK) return fail(err, rc, write.path());
        warnings.clear();
        const FileView* before = write.existed() ? &write.before() : nullptr;
        rc = apply_state(write.cfg(), write.path(), before, entries, options.allow_new, false, &after, &refusals,
                         &warnings);
        if (rc != ATTRIB_MNGR_OK) return fail(err, rc, write.path());
        if (!refusals.empty()) return refused(err, where, refusals, kExitRefused, write.opening(), write.path());
        report = compare_files(write.path(), report_base(write), after, secrets);
        if (report.changed) {
            rc = write.save();
            if (rc != ATTRIB_MNGR_OK) return fail(err, rc, write.path());
        }
    }
    for (const std::string& w : warnings) err << "tarnwickctl: warning: " << w << "\n";
    print_report(out, report, {options.json, options.diff, options.check});
    return kExitOk;
}

}  // namespace twctl
