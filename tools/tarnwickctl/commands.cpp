// SPDX-License-Identifier: Apache-2.0
#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <ostream>
#include <vector>

#include "apply.h"
#include "changes.h"
#include "check.h"
#include "edit.h"
#include "json.h"
#include "library.h"
#include "messages.h"
#include "tarnwick.h"
#include "tarnwick/config.h"
#include "terminal.h"

namespace twctl {

namespace {

const char kOverview[] =
    "usage: tarnwickctl <command> [<args>]\n"
    "\n"
    "Reads and writes the agent attribute file.\n"
    "\n"
    "Commands:\n"
    "  path                                   print the file that opening with no path uses\n"
    "  show [--file F] [--reveal] [--json]    print every section and key in file order\n"
    "  get [SECTION] NAME [--file F] [--reveal] [--json]\n"
    "                                         print the value of attribute NAME\n"
    "  set SECTION KEY VALUE [--file F] [--json] [--allow-new]\n"
    "                                         set a value and save the file\n"
    "  set --scramble SECTION KEY [--file F] [--json] [--allow-new]\n"
    "                                         set a scrambled value read from standard input\n"
    "  unset SECTION KEY [--file F] [--json]  remove KEY from SECTION and save the file\n"
    "  check [--file F] [--quiet]             list what in the file may not do what was meant\n"
    "  edit [--file F]                        edit the file, check it, then replace it\n"
    "  apply [--file F] [--check] [--diff] [--json] [--allow-new] STATE\n"
    "                                         make the file hold a JSON state, all or nothing\n"
    "\n"
    "Options:\n"
    "  --file F    use the attribute file F instead of the located one\n"
    "  --reveal    print scrambled values in clear\n"
    "  --json      print JSON for scripts\n"
    "  --allow-new set, apply: allow a section neither in the schema nor in the file, and a\n"
    "              schema key in another section than its own\n"
    "  --help      print the help of a command\n"
    "  --version   print the library's version\n"
    "  --          take every later argument as it stands, also when it begins with --\n"
    "\n"
    "Without --file the file is located as the library locates it: in the directory named by\n"
    "QZ_CFG_FILE_PATH, else through the path resolver or in the temporary directory.\n"
    "Reads (show, get, check) never create, complete or rewrite the file. Writes (set, unset,\n"
    "edit, apply) first create a missing file with every default and complete an existing one, as\n"
    "the library's opening does, then replace the file inside the machine-wide lock, and only\n"
    "while it is still the file they read.\n"
    "\n"
    "Output for a person (plain show and get, check's findings, every message) writes each\n"
    "control character of the file, and of paths and names, as \\xNN; --json gives the bytes.\n"
    "\n"
    "Exit status:\n"
    "  0  done, whether anything changed or not (check: nothing to report)\n"
    "  1  get: no entry of the key\n"
    "  2  the command line was wrong\n"
    "  3  the file is faulty: check listed something, or a scrambled value is damaged\n"
    "  4  refused input, nothing written: a name or value the store refuses, an unknown\n"
    "     section, a schema key in another section, an edit that adds problems, a missing\n"
    "     secret or one holding a NUL byte\n"
    "  5  an error of the library or the system: a missing or unreadable file (or apply's\n"
    "     STATE), no memory, a planted file, the machine-wide lock, a failed save,\n"
    "     unwritable output\n";

struct Parsed {
    std::vector<std::string> positional;
    std::optional<std::string> file;
    bool reveal = false;
    bool scramble = false;
    bool json = false;
    bool quiet = false;
    bool check = false, diff = false, allow_new = false;  // apply
};

enum Takes : unsigned {
    kFile = 1, kReveal = 2, kScramble = 4, kJson = 8, kQuiet = 16,
    kApplyOptions = 32,  // --check, --diff
    kAllowNew = 64,      // --allow-new
};

struct Command {
    const char* name;
    const char* synopsis;  // one or more lines, each ending with a line break
    const char* description;
    unsigned takes;
    size_t (*positional)(const Parsed& args);
    int (*run)(const Parsed& args, std::ostream& out, std::ostream& err);
};

int fail(std::ostream& err, int32_t code, const std::string& file, const std::string& subject = "") {
    err << error_line(code, file, subject) << "\n";
    return exit_status(code);
}

// The file a command works on: the one given, else the located one.
int32_t target_path(const Parsed& args, std::string* path) {
    if (args.file) {
        *path = *args.file;
        return ATTRIB_MNGR_OK;
    }
    return located_path(path);
}

// Loads the file a read works on (the given one, else the located one) into *file. kExitOk,
// else the status of the failure, which err is told.
int load_target(const Parsed& args, std::string* path, FileView* file, std::ostream& err) {
    int32_t rc = target_path(args, path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    rc = file->load(*path);
    return rc == ATTRIB_MNGR_OK ? kExitOk : fail(err, rc, *path);
}

// Reads the first line of standard input, without its line end. On a terminal the prompt is
// shown and the typing is not. False when the input ended before any byte.
bool read_secret(const std::string& prompt, std::string* value, std::ostream& err) {
    EchoOff echo_off(prompt);
    if (echo_off.terminal()) err << prompt << std::flush;  // made printable by the caller
    value->clear();
    value->reserve(256);  // fewer reallocations leave fewer copies of the secret behind
    bool any = false;
    for (;;) {
        errno = 0;
        const int c = std::getchar();
        if (c == EOF) {
            // A signal (the terminal's stop and continue) interrupted the read: read on.
            if (std::ferror(stdin) && errno == EINTR) {
                std::clearerr(stdin);
                continue;
            }
            break;
        }
        any = true;
        if (c == '\n') break;
        value->push_back(static_cast<char>(c));
    }
    if (!value->empty() && value->back() == '\r') value->pop_back();
    return any;
}

// One entry as show and get print it: a line of the file, or a schema key the file lacks
// (line 0), shown with the default a write adds.
struct Shown {
    uint32_t line = 0;
    std::string section, key, value;
    bool scrambled = false;
    const tw::SchemaRow* missing = nullptr;  // the row of a key the file lacks
    std::string error;                       // a value that could not be revealed
    bool revealed = false;                   // value holds the clear text
};

Shown shown_line(const Line& l, bool scrambled) {
    return {l.number, l.section, l.key, l.value, scrambled, nullptr, "", false};
}

// The default of a row the file lacks. The proxy's host and port come from the system's
// proxy settings, which a read does not ask: they show as empty, and say so.
Shown shown_default(const tw::SchemaRow& row) { return {0, row.section, row.key, row.value, false, &row, "", false}; }

std::string json_entry(const Shown& s) {
    std::string out = std::string("{\"line\": ") + (s.missing != nullptr ? "null" : std::to_string(s.line)) +
                      ", \"section\": " + json_string(s.section) + ", \"key\": " + json_string(s.key) +
                      // A scrambled value is a secret in a form anyone can undo: never given
                      // unless revealed on purpose.
                      ", \"value\": " + (s.scrambled && !s.revealed ? "null" : json_string(s.value)) +
                      ", \"scrambled\": " + (s.scrambled ? "true" : "false") +
                      ", \"default\": " + (s.missing != nullptr ? "true" : "false");
    if (s.missing != nullptr && s.missing->source != tw::DefaultSource::kConstant) out += ", \"from_system\": true";
    if (!s.error.empty()) out += ", \"error\": " + json_string(s.error);
    return out + "}";
}

// "key = value" for a person; a missing key's line says that the file lacks it.
std::string plain_entry(const Shown& s, bool reveal) {
    std::string line = printable(s.key) + " = ";
    line += s.scrambled && (!reveal || !s.error.empty()) ? "(scrambled)" : printable(s.value);
    if (s.missing != nullptr) {
        line += s.missing->source == tw::DefaultSource::kConstant
                    ? "  (not in the file: the default a write adds)"
                    : "  (not in the file: a write takes it from the system's proxy settings)";
    }
    return line;
}

// Reveals s in place when it is scrambled and reveal was asked for; reports a failure on err.
// Returns the exit status of the attempt.
int reveal_shown(Shown* s, const std::string& path, const std::string& subject, std::ostream& err) {
    std::string clear, why;
    const int32_t rc = reveal(s->value, &clear, &why);
    if (rc == ATTRIB_MNGR_OK) {
        wipe(&s->value);
        s->value = clear;
        s->revealed = true;
        wipe(&clear);
        return kExitOk;
    }
    err << error_line(rc, path, subject) << (why.empty() ? "" : ": " + why) << "\n";
    s->error = attrib_mngr_error_text(rc);
    return exit_status(rc);
}

// ---- commands

int run_path(const Parsed&, std::ostream& out, std::ostream& err) {
    std::string path;
    const int32_t rc = located_path(&path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    out << path << "\n";
    return kExitOk;
}

int run_show(const Parsed& args, std::ostream& out, std::ostream& err) {
    std::string path;
    FileView file;
    if (const int loaded = load_target(args, &path, &file, err); loaded != kExitOk) return loaded;

    // The file's entries in file order, then the schema's keys it lacks in schema order.
    std::vector<Shown> entries;
    for (const Line& l : file.lines()) {
        if (l.kind == CONFIG_LINE_ENTRY) entries.push_back(shown_line(l, file.scrambled_entry(l)));
    }
    for (const tw::SchemaRow& row : tw::kSchemaRows) {
        if (file.find(row.section, row.key) == nullptr) entries.push_back(shown_default(row));
    }
    int status = kExitOk;
    for (Shown& s : entries) {
        if (s.scrambled && args.reveal) {
            const int got = reveal_shown(&s, path, s.section + "/" + s.key, err);
            if (status == kExitOk) status = got;
        }
    }

    if (args.json) {
        out << "{\n  \"file\": " << json_string(path) << ",\n  \"entries\": [";
        for (size_t i = 0; i < entries.size(); ++i) out << (i == 0 ? "\n    " : ",\n    ") << json_entry(entries[i]);
        out << (entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
    } else {
        const std::string* section = nullptr;
        for (const Shown& s : entries) {
            if (section == nullptr ? !s.section.empty() : s.section != *section) {
                if (section != nullptr) out << "\n";
                out << "[" << printable(s.section) << "]\n";
            }
            section = &s.section;
            out << plain_entry(s, args.reveal) << "\n";
        }
    }
    for (Shown& s : entries) wipe(&s.value);
    return status;
}

int run_get(const Parsed& args, std::ostream& out, std::ostream& err) {
    // get NAME: the entry a get by name reads, the first of the key in file order, whatever
    // its section. get SECTION KEY: the first entry of KEY in SECTION.
    const bool by_section = args.positional.size() == 2;
    const std::string& key = args.positional[by_section ? 1 : 0];
    const std::string subject = by_section ? args.positional[0] + "/" + key : key;
    std::string path;
    FileView file;
    if (const int loaded = load_target(args, &path, &file, err); loaded != kExitOk) return loaded;

    const Line* entry = by_section ? file.find(args.positional[0], key) : file.first_entry(key);
    Shown s;
    if (entry != nullptr) {
        s = shown_line(*entry, file.scrambled_entry(*entry));
    } else {
        // A schema key the file lacks (in its own section): what a write would add.
        const tw::SchemaRow* row = tw::find_schema_key(key);
        if (row == nullptr || (by_section && !tw::same_name(row->section, args.positional[0])))
            return fail(err, ATTRIB_MNGR_NOT_FOUND, path, subject);
        s = shown_default(*row);
        err << "tarnwickctl: " << printable(path) << ": \"" << printable(subject)
            << "\" is not in the file; this is the default a write adds"
            << (row->source == tw::DefaultSource::kConstant ? "" : " (from the system's proxy settings)") << "\n";
    }
    if (s.scrambled && args.reveal) {
        const int status = reveal_shown(&s, path, subject, err);
        if (status != kExitOk) return status;
    }
    if (args.json) {
        out << json_entry(s) << "\n";
    } else {
        out << (s.scrambled && !args.reveal ? "(scrambled)" : printable(s.value)) << "\n";
    }
    wipe(&s.value);
    return kExitOk;
}

// What the schema says is a mistake in naming section/key: a section neither in the schema
// nor in the file, a schema key in another section than its own. "" when neither.
std::string naming_mistake(const FileView& file, const std::string& section, const std::string& key) {
    if (!tw::is_schema_section(section) && !file.has_section(section))
        return "no section [" + section + "] in the schema or the file";
    const tw::SchemaRow* row = tw::find_schema_key(key);
    if (row != nullptr && !tw::same_name(row->section, section))
        return "\"" + key + "\" is a key of [" + row->section + "], not of [" + section + "]";
    return "";
}

int refuse(std::ostream& err, const std::string& path, const std::string& why) {
    err << "tarnwickctl: " << printable(path) << ": " << printable(why)
        << " (--allow-new allows it); nothing was written\n";
    return kExitRefused;
}

// Sets section/key in the store cfg (holding the file at path, now its lines) to value, or,
// with scrambled, to value's scrambled text with the key's marker, as the library's
// scrambled set stores them. *changed tells whether the store changed: a plain value already
// there, or a scrambled one whose entry unscrambles to value under its marker, changes
// nothing (a new seed would change the text, not the value).
int32_t set_in_store(uint32_t cfg, const std::string& path, const FileView& now, const std::string& section,
                     const std::string& key, const std::string& value, bool scrambled, bool* changed) {
    *changed = false;
    const Line* entry = now.find(section, key);
    if (!scrambled) {
        if (entry != nullptr && entry->value == value) return ATTRIB_MNGR_OK;
        const int32_t rc = config_set_attrib(cfg, path.c_str(), section.c_str(), key.c_str(), value.c_str());
        *changed = rc == CONFIG_OK;
        return rc;
    }
    if (entry != nullptr && now.scrambled(key)) {
        std::string stored;
        const bool same = reveal(entry->value, &stored) == ATTRIB_MNGR_OK && stored == value;
        wipe(&stored);
        if (same) return ATTRIB_MNGR_OK;
    }
    std::string text = scramble(value);
    int32_t rc = config_set_attrib(cfg, path.c_str(), section.c_str(), key.c_str(), text.c_str());
    wipe(&text);
    if (rc != CONFIG_OK) return rc;
    *changed = true;
    if (now.scrambled(key)) return ATTRIB_MNGR_OK;
    return config_set_attrib(cfg, path.c_str(), tw::kMarkerSection, tw::marker_key(key).c_str(), "");
}

// The report of a write: the file as it was against the store w holds now.
int report_write(const Parsed& args, const FileWrite& w, const std::set<std::string>& secrets, std::ostream& out,
                 std::ostream& err) {
    FileView after;
    const int32_t rc = after.load_from(w.cfg(), w.path());
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    const ChangeReport report = compare_files(w.path(), report_base(w), after, secrets);
    print_report(out, report, {args.json, false, false});
    return kExitOk;
}

int set_and_save(const Parsed& args, const std::string& value, bool scrambled, std::ostream& out, std::ostream& err) {
    const std::string& section = args.positional[0];
    const std::string& key = args.positional[1];
    std::string path;
    int32_t rc = target_path(args, &path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    {
        // Tried first on a store that is never saved, so that a refused name or value is
        // refused before anything is written, and the file is not created or completed for
        // nothing.
        Store probe;
        rc = probe.open(path);
        if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path);
        if (!args.allow_new) {
            const std::string mistake = naming_mistake(probe.view(), section, key);
            if (!mistake.empty()) return refuse(err, path, mistake);
        }
        bool changed = false;
        rc = set_in_store(probe.cfg(), path, probe.view(), section, key, value, scrambled, &changed);
        if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path, key);
    }

    FileWrite w;
    rc = w.open(args.file);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    FileView now;
    rc = now.load_from(w.cfg(), w.path());
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    if (!scrambled && now.scrambled(key)) {
        err << "tarnwickctl: warning: \"" << printable(key)
            << "\" keeps its scramble marker: --reveal will unscramble the plain value\n";
    }
    bool changed = false;
    rc = set_in_store(w.cfg(), w.path(), now, section, key, value, scrambled, &changed);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path(), key);
    // A set of the stored value changes nothing: the file keeps its identity and time.
    if (changed) rc = w.save();
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    return report_write(args, w, scrambled ? std::set<std::string>{tw::fold_name(key)} : std::set<std::string>{},
                        out, err);
}

int run_set(const Parsed& args, std::ostream& out, std::ostream& err) {
    if (!args.scramble) return set_and_save(args, args.positional[2], false, out, err);

    // Read before opening, so that nothing waits on the typing.
    std::string secret;
    const std::string prompt = "Value of " + args.positional[0] + "/" + args.positional[1] + ": ";
    const bool got = read_secret(printable(prompt), &secret, err);
    int status;
    if (!got) {
        err << "tarnwickctl: no value on standard input; nothing was written\n";
        status = kExitRefused;
    } else if (secret.find('\0') != std::string::npos) {
        err << "tarnwickctl: the value on standard input holds a NUL byte; nothing was written\n";
        status = kExitRefused;
    } else {
        status = set_and_save(args, secret, true, out, err);
    }
    wipe(&secret);
    return status;
}

int run_unset(const Parsed& args, std::ostream& out, std::ostream& err) {
    const std::string& section = args.positional[0];
    const std::string& key = args.positional[1];
    FileWrite w;
    int32_t rc = w.open(args.file);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    const int32_t removed = config_remove_attrib(w.cfg(), w.path().c_str(), section.c_str(), key.c_str());
    if (removed < 0) return fail(err, removed, w.path());
    if (removed > 0) rc = w.save();
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    return report_write(args, w, {}, out, err);
}

int run_check(const Parsed& args, std::ostream& out, std::ostream& err) {
    std::string path;
    int32_t rc = target_path(args, &path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    std::vector<Finding> findings;
    rc = check_file(path, &findings);
    if (!args.quiet) print_findings(out, path, findings);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, path);
    return findings.empty() ? kExitOk : kExitFaulty;
}

int run_edit_command(const Parsed& args, std::ostream& out, std::ostream& err) {
    return run_edit(args.file, out, err);
}

int run_apply_command(const Parsed& args, std::ostream& out, std::ostream& err) {
    return run_apply({args.file, args.positional[0], args.check, args.diff, args.json, args.allow_new}, out, err);
}

size_t no_positional(const Parsed&) { return 0; }
size_t one_positional(const Parsed&) { return 1; }
size_t get_positional(const Parsed& args) { return args.positional.size() == 2 ? 2 : 1; }
size_t two_positional(const Parsed&) { return 2; }
size_t set_positional(const Parsed& args) { return args.scramble ? 2 : 3; }

const Command kCommands[] = {
    {"path", "tarnwickctl path\n",
     "Prints the path of the attribute file that opening with no path uses. Opens nothing and\n"
     "creates nothing.\n",
     0, no_positional, run_path},
    {"show", "tarnwickctl show [--file F] [--reveal] [--json]\n",
     "Reads the attribute file (and changes nothing; a missing file is an error) and prints\n"
     "every section and key in file order as \"key = value\", then each schema key the file\n"
     "lacks with the default a write adds, marked \"(not in the file: ...)\"; the proxy's host\n"
     "and port show as empty there, since a write takes them from the system's proxy\n"
     "settings. A scrambled value shows as (scrambled), or in clear with --reveal; each entry\n"
     "is revealed by its own section and key, and a damaged one is reported (status 3).\n"
     "With --json it prints one object: \"file\", and \"entries\", each with \"line\" (null for\n"
     "a key the file lacks), \"section\", \"key\", \"value\" (as stored; null for a scrambled\n"
     "value, which --reveal gives in clear), \"scrambled\" (whether a scramble marker stands for it), \"default\" (true for\n"
     "a key the file lacks), \"from_system\" (true for a default from the system's proxy\n"
     "settings, only then), and \"error\" for a value that could not be revealed. Bytes that\n"
     "are not UTF-8 appear as \\udc80 to \\udcff, one escape per byte (the byte's value plus\n"
     "0xdc00), so that decoding them gives the file's bytes.\n",
     kFile | kReveal | kJson, no_positional, run_show},
    {"get",
     "tarnwickctl get NAME [--file F] [--reveal] [--json]\n"
     "       tarnwickctl get SECTION KEY [--file F] [--reveal] [--json]\n",
     "Reads the attribute file and prints the value of the attribute NAME, whatever section\n"
     "holds it (the first in file order), as the agent reads it; or, with SECTION, the value\n"
     "of KEY in SECTION. A scrambled value shows as (scrambled), or in clear with --reveal; a\n"
     "damaged scrambled value is an error then (status 3), never shown. A schema key the file\n"
     "lacks prints the default a write adds, and standard error says so (the proxy's host\n"
     "and port show as empty: a write takes them from the system's proxy settings). With\n"
     "--json it prints the entry as one object, as show --json does. Status 1 when no entry\n"
     "and no schema default answers.\n",
     kFile | kReveal | kJson, get_positional, run_get},
    {"set", "tarnwickctl set SECTION KEY VALUE [--file F] [--json] [--allow-new]\n"
            "       tarnwickctl set --scramble SECTION KEY [--file F] [--json] [--allow-new]\n",
     "Sets KEY in SECTION and saves the file, after creating a missing file with every default\n"
     "or completing an existing one, as the library's opening does; the file is replaced\n"
     "inside the machine-wide lock. With --scramble the value is the first line of standard\n"
     "input (read without echo on a terminal, never from the command line, where other users\n"
     "can see it) and is stored scrambled, with its marker. Scrambling hides a value from a\n"
     "casual look; it is not encryption.\n"
     "Refused, with nothing written (status 4): a name or value the store refuses, a SECTION\n"
     "neither in the schema nor in the file, a schema KEY in another section than its own;\n"
     "--allow-new allows the last two.\n"
     "When KEY already holds the value (with --scramble: when its stored value unscrambles to\n"
     "it), the file is not rewritten: it keeps its identity and modification time.\n"
     "Prints one line: \"FILE: changed: set Agent/TimeOut\" (also \"add\" and \"remove\", and\n"
     "the keys a completion added), \"FILE: created with N keys\", or \"FILE: nothing\n"
     "changed\". With --json one object: {\"changed\": BOOL, \"file\": PATH, \"changes\":\n"
     "[{\"section\", \"key\", \"action\": \"add\"|\"set\"|\"remove\", \"scrambled\": BOOL}]}; no\n"
     "value is ever given, so no secret shows.\n",
     kFile | kScramble | kJson | kAllowNew, set_positional, run_set},
    {"unset", "tarnwickctl unset SECTION KEY [--file F] [--json]\n",
     "Removes every entry of KEY in SECTION (and in its repeats) and saves the file; every other\n"
     "byte stays as it was. Like every write it first creates a missing file or completes an\n"
     "existing one; so for a key of the schema the next write adds its default again. Unset\n"
     "the marker (Encription KEYEncrypted) to make a scrambled key plain again: a plain set\n"
     "never removes it. A key that is not there changes nothing, and the status is still 0.\n"
     "Prints what changed as set does; --json as set --json does.\n",
     kFile | kJson, two_positional, run_unset},
    {"check", "tarnwickctl check [--file F] [--quiet]\n",
     "Reads the attribute file and changes nothing, in time linear in its size. Lists, one per\n"
     "line as FILE:LINE: message, what would make the file do something other than what its\n"
     "editor meant: a key twice in one section, a section twice, a schema key in another\n"
     "section than its own, a missing schema key or section, a line nothing reads, a scramble\n"
     "marker without its key or over a value that is not scrambled text, and a value the\n"
     "schema says cannot be right: a Boolean other than True or False, a time-out that is not\n"
     "a whole number of seconds (0 to 2147483647), a port that is not a number from 1 to\n"
     "65535 (an empty time-out or port is no finding). --quiet prints nothing. Exit status 0\n"
     "when it lists nothing, 3 when it lists something, 5 when it cannot read the file.\n",
     kFile | kQuiet, no_positional, run_check},
    {"edit", "tarnwickctl edit [--file F]\n",
     "Creates or completes the file as every write does, copies it to a private temporary\n"
     "file, runs $VISUAL, else $EDITOR, else the system's editor on it, then checks the result\n"
     "as check does; only problems the edit brings count, not those the file already had.\n"
     "Unchanged: nothing is written. Clean: the file is replaced with exactly the edited bytes,\n"
     "atomically, keeping its permissions, owner and links, inside the machine-wide lock and\n"
     "only while it is still the file read before the editor ran. When the edit brings\n"
     "problems, a terminal is asked \"Edit again?\"; otherwise (status 4), or when the editor\n"
     "fails or the file changed on disk meanwhile (status 5), the temporary directory is\n"
     "removed and nothing is saved.\n",
     kFile, no_positional, run_edit_command},
    {"apply", kApplySynopsis, kApplyDescription, kFile | kJson | kApplyOptions | kAllowNew, one_positional,
     run_apply_command},
};

const Command* find_command(const std::string& name) {
    for (const Command& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

int usage_error(std::ostream& err, const std::string& problem, const Command* command) {
    err << "tarnwickctl: " << printable(problem) << "\n";
    if (command != nullptr) {
        err << "usage: " << command->synopsis;
        err << "Try 'tarnwickctl " << command->name << " --help'.\n";
    } else {
        err << "Try 'tarnwickctl --help'.\n";
    }
    return kExitUsage;
}

// Reads the arguments after the command's name. Returns the problem, or "" when they fit.
std::string parse(const std::vector<std::string>& args, const Command& command, Parsed* parsed, bool* help) {
    bool options_end = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_end || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (arg == "-h" && !options_end) {
                *help = true;
            } else {
                parsed->positional.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            options_end = true;
        } else if (arg == "--help") {
            *help = true;
        } else if (arg == "--reveal" && (command.takes & kReveal)) {
            parsed->reveal = true;
        } else if (arg == "--scramble" && (command.takes & kScramble)) {
            parsed->scramble = true;
        } else if (arg == "--json" && (command.takes & kJson)) {
            parsed->json = true;
        } else if (arg == "--quiet" && (command.takes & kQuiet)) {
            parsed->quiet = true;
        } else if ((arg == "--check" || arg == "--diff") && (command.takes & kApplyOptions)) {
            (arg == "--check" ? parsed->check : parsed->diff) = true;
        } else if (arg == "--allow-new" && (command.takes & kAllowNew)) {
            parsed->allow_new = true;
        } else if (arg == "--file" && (command.takes & kFile)) {
            if (i + 1 == args.size()) return "--file needs a file name";
            parsed->file = args[++i];
        } else if (arg.compare(0, 7, "--file=") == 0 && (command.takes & kFile)) {
            parsed->file = arg.substr(7);
        } else {
            return "unknown option \"" + arg + "\" for " + command.name;
        }
    }
    if (parsed->file && parsed->file->empty()) return "--file needs a file name";
    const size_t wanted = command.positional(*parsed);
    if (parsed->positional.size() < wanted) return "missing arguments";
    if (parsed->positional.size() > wanted) return "too many arguments";
    return "";
}

}  // namespace

int exit_status(int32_t code) {
    switch (library_code(code)) {
        case ATTRIB_MNGR_OK: return kExitOk;
        case ATTRIB_MNGR_NOT_FOUND: return kExitMissingKey;
        case ATTRIB_MNGR_UNSCRAMBLE_FAILED: return kExitFaulty;
        case CONFIG_E_SECTION:
        case CONFIG_E_KEY:
        case CONFIG_E_VALUE: return kExitRefused;
        default: return kExitFailed;
    }
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usage_error(err, "no command given", nullptr);
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kOverview;
        return kExitOk;
    }
    if (args[0] == "--version") {
        if (args.size() > 1) return usage_error(err, "--version takes no arguments", nullptr);
        out << "tarnwickctl " << TARNWICK_VERSION_STRING << "\n";
        return kExitOk;
    }
    const Command* command = find_command(args[0]);
    if (command == nullptr) return usage_error(err, "unknown command \"" + args[0] + "\"", nullptr);

    Parsed parsed;
    bool help = false;
    const std::string problem = parse(args, *command, &parsed, &help);
    if (help) {
        out << "usage: " << command->synopsis << "\n" << command->description;
        return kExitOk;
    }
    if (!problem.empty()) return usage_error(err, problem, command);
    return command->run(parsed, out, err);
}

}  // namespace twctl
