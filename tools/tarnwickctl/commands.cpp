#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <ostream>
#include <vector>

#include "apply.h"
#include "check.h"
#include "config.h"
#include "edit.h"
#include "json.h"
#include "library.h"
#include "messages.h"
#include "tarnwick.h"
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
    "  get NAME [--file F] [--reveal] [--json]\n"
    "                                         print the value of attribute NAME\n"
    "  set SECTION KEY VALUE [--file F]       set a value and save the file\n"
    "  set --scramble SECTION KEY [--file F]  set a scrambled value read from standard input\n"
    "  unset SECTION KEY [--file F]           remove KEY from SECTION and save the file\n"
    "  check [--file F] [--quiet]             list what in the file may not do what was meant\n"
    "  edit [--file F]                        edit the file, check it, then replace it\n"
    "  apply [--file F] [--check] [--diff] [--json] [--allow-new] STATE\n"
    "                                         make the file hold a JSON state, all or nothing\n"
    "\n"
    "Options:\n"
    "  --file F    use the attribute file F instead of the located one\n"
    "  --reveal    print scrambled values in clear\n"
    "  --json      print JSON for scripts\n"
    "  --help      print the help of a command\n"
    "  --version   print the library's version\n"
    "  --          take every later argument as it stands, also when it begins with --\n"
    "\n"
    "Without --file the file is located as the library locates it: in the directory named by\n"
    "QZ_CFG_FILE_PATH, else through the path resolver or in the temporary directory.\n"
    "Reads (show, get, check) never create, complete or rewrite the file. Writes (set, unset,\n"
    "edit) first create a missing file with every default and complete an existing one, as\n"
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
    "  5  an error of the library or the system: a missing or unreadable file, a planted\n"
    "     file, the machine-wide lock, a failed save, unwritable output\n";

struct Parsed {
    std::vector<std::string> positional;
    std::optional<std::string> file;
    bool reveal = false;
    bool scramble = false;
    bool json = false;
    bool quiet = false;
    bool check = false, diff = false, allow_new = false;  // apply
};

enum Takes : unsigned { kFile = 1, kReveal = 2, kScramble = 4, kJson = 8, kQuiet = 16, kApplyOptions = 32 };

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

std::string json_entry(const Line& l, const std::string& value, bool scrambled, const std::string& error) {
    std::string out = "{\"line\": " + std::to_string(l.number) + ", \"section\": " + json_string(l.section) +
                      ", \"key\": " + json_string(l.key) + ", \"value\": " + json_string(value) +
                      ", \"scrambled\": " + (scrambled ? "true" : "false");
    if (!error.empty()) out += ", \"error\": " + json_string(error);
    return out + "}";
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
    int32_t rc = target_path(args, &path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    FileView file;
    rc = file.load(path);
    if (rc != CONFIG_OK) return fail(err, rc, path);

    int status = kExitOk;
    const std::string* section = nullptr;
    bool first_json = true;
    if (args.json) out << "{\n  \"file\": " << json_string(path) << ",\n  \"entries\": [";
    for (const Line& l : file.lines()) {
        if (l.kind != CONFIG_LINE_ENTRY) continue;
        const bool scrambled = file.scrambled_entry(l);
        std::string value = l.value;
        std::string error;
        if (scrambled && args.reveal) {
            std::string clear, why;
            const int32_t got = reveal(l.value, &clear, &why);
            if (got == ATTRIB_MNGR_OK) {
                value = clear;
            } else {
                err << error_line(got, path, l.section + "/" + l.key) << (why.empty() ? "" : ": " + why) << "\n";
                error = attrib_mngr_error_text(got);
                status = exit_status(got);
            }
            wipe(&clear);
        }
        if (args.json) {
            out << (first_json ? "\n    " : ",\n    ") << json_entry(l, value, scrambled, error);
            first_json = false;
            wipe(&value);
            continue;
        }
        if (section == nullptr ? !l.section.empty() : l.section != *section) {
            if (section != nullptr) out << "\n";
            out << "[" << printable(l.section) << "]\n";
        }
        section = &l.section;
        if (scrambled && (!args.reveal || !error.empty())) value = "(scrambled)";
        out << printable(l.key) << " = " << printable(value) << "\n";
        wipe(&value);
    }
    if (args.json) out << (first_json ? "]\n}\n" : "\n  ]\n}\n");
    return status;
}

int run_get(const Parsed& args, std::ostream& out, std::ostream& err) {
    const std::string& name = args.positional[0];
    std::string path;
    int32_t rc = target_path(args, &path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    FileView file;
    rc = file.load(path);
    if (rc != CONFIG_OK) return fail(err, rc, path);
    // The entry a get by name reads: the first of the key in file order.
    const Line* entry = file.first_entry(name);
    if (entry == nullptr) return fail(err, ATTRIB_MNGR_NOT_FOUND, path, name);
    const bool scrambled = file.scrambled(name);
    std::string value = entry->value;
    if (scrambled && args.reveal) {
        std::string why;
        rc = reveal(entry->value, &value, &why);
        if (rc != ATTRIB_MNGR_OK) {
            err << error_line(rc, path, name) << (why.empty() ? "" : ": " + why) << "\n";
            return exit_status(rc);
        }
    }
    if (!args.json) {
        out << (scrambled && !args.reveal ? "(scrambled)" : printable(value)) << "\n";
    } else {
        out << json_entry(*entry, value, scrambled, "") << "\n";
    }
    wipe(&value);
    return kExitOk;
}

// The scrambled set: the value as scrambled text and the key's marker, as the library's
// scrambled set stores them. Nothing when the entry already unscrambles to clear under its
// marker (a new seed would change the text, not the value).
int32_t set_scrambled(FileWrite& w, const FileView& now, const std::string& section, const std::string& key,
                      const std::string& clear, bool* changed) {
    const Line* entry = now.find(section, key);
    if (entry != nullptr && now.scrambled(key)) {
        std::string stored;
        const bool same = reveal(entry->value, &stored) == ATTRIB_MNGR_OK && stored == clear;
        wipe(&stored);
        if (same) return ATTRIB_MNGR_OK;
    }
    std::string text = scramble(clear);
    int32_t rc = config_set_attrib(w.cfg(), w.path().c_str(), section.c_str(), key.c_str(), text.c_str());
    wipe(&text);
    if (rc != CONFIG_OK) return rc;
    *changed = true;
    if (now.scrambled(key)) return ATTRIB_MNGR_OK;
    return config_set_attrib(w.cfg(), w.path().c_str(), tw::kMarkerSection, tw::marker_key(key).c_str(), "");
}

int set_and_save(const Parsed& args, const std::string& value, bool scrambled, std::ostream& err) {
    const std::string& section = args.positional[0];
    const std::string& key = args.positional[1];
    FileWrite w;
    int32_t rc = w.open(args.file);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    FileView now;
    rc = now.load_from(w.cfg(), w.path());
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    if (!scrambled && now.scrambled(key)) {
        err << "warning: \"" << printable(key) << "\" keeps its scramble marker: --reveal will unscramble the plain value\n";
    }
    bool changed = false;
    if (scrambled) {
        rc = set_scrambled(w, now, section, key, value, &changed);
    } else {
        const Line* entry = now.find(section, key);
        if (entry == nullptr || entry->value != value) {
            rc = config_set_attrib(w.cfg(), w.path().c_str(), section.c_str(), key.c_str(), value.c_str());
            changed = rc == CONFIG_OK;
        }
    }
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path(), key);
    // A set of the stored value changes nothing: the file keeps its identity and time.
    if (changed) rc = w.save();
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    return kExitOk;
}

int run_set(const Parsed& args, std::ostream&, std::ostream& err) {
    if (!args.scramble) return set_and_save(args, args.positional[2], false, err);

    // Read before opening, so that nothing waits on the typing.
    std::string secret;
    const bool got = read_secret(printable("Value of " + args.positional[0] + "/" + args.positional[1] + ": "), &secret, err);
    int status;
    if (!got) {
        err << "tarnwickctl: no value on standard input; nothing was written\n";
        status = kExitRefused;
    } else if (secret.find('\0') != std::string::npos) {
        err << "tarnwickctl: the value on standard input holds a NUL byte; nothing was written\n";
        status = kExitRefused;
    } else {
        status = set_and_save(args, secret, true, err);
    }
    wipe(&secret);
    return status;
}

int run_unset(const Parsed& args, std::ostream&, std::ostream& err) {
    const std::string& section = args.positional[0];
    const std::string& key = args.positional[1];
    FileWrite w;
    int32_t rc = w.open(args.file);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    const int32_t removed = config_remove_attrib(w.cfg(), w.path().c_str(), section.c_str(), key.c_str());
    if (removed < 0) return fail(err, removed, w.path());
    if (removed > 0) rc = w.save();
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, w.path());
    if (removed == 0) {
        err << "tarnwickctl: " << printable(w.path()) << ": no \"" << printable(key) << "\" in [" << printable(section)
            << "]; nothing changed\n";
    }
    return kExitOk;
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
size_t two_positional(const Parsed&) { return 2; }
size_t set_positional(const Parsed& args) { return args.scramble ? 2 : 3; }

const Command kCommands[] = {
    {"path", "tarnwickctl path\n",
     "Prints the path of the attribute file that opening with no path uses. Opens nothing and\n"
     "creates nothing.\n",
     0, no_positional, run_path},
    {"show", "tarnwickctl show [--file F] [--reveal] [--json]\n",
     "Reads the attribute file (and changes nothing; a missing file is an error) and prints\n"
     "every section and key in file order as \"key = value\". A scrambled value shows as\n"
     "(scrambled), or in clear with --reveal; each entry is revealed by its own section and key.\n"
     "With --json it prints one object: \"file\", and \"entries\" in file order, each with\n"
     "\"line\", \"section\", \"key\", \"value\" (in clear with --reveal, else as stored) and\n"
     "\"scrambled\" (whether a scramble marker stands for it), and \"error\" for a value that\n"
     "could not be revealed. Bytes that are not UTF-8 appear as \\udc80 to \\udcff, one escape\n"
     "per byte (the byte's value plus 0xdc00), so that decoding them gives the file's bytes.\n",
     kFile | kReveal | kJson, no_positional, run_show},
    {"get", "tarnwickctl get NAME [--file F] [--reveal] [--json]\n",
     "Reads the attribute file and prints the value of the attribute NAME, whatever section\n"
     "holds it (the first in file order). A scrambled value shows as (scrambled), or in clear\n"
     "with --reveal. With --json it prints the entry as one object, as show --json does.\n",
     kFile | kReveal | kJson, one_positional, run_get},
    {"set", "tarnwickctl set SECTION KEY VALUE [--file F]\n       tarnwickctl set --scramble SECTION KEY [--file F]\n",
     "Opens the attribute file, sets KEY in SECTION and saves the file. With --scramble the\n"
     "value is the first line of standard input (read without echo on a terminal, never from\n"
     "the command line, where other users can see it) and is stored scrambled, with its\n"
     "marker. Scrambling hides a value from a casual look; it is not encryption.\n"
     "When KEY already holds the value (with --scramble: when its stored value unscrambles to\n"
     "it), the file is not rewritten: it keeps its identity and modification time.\n",
     kFile | kScramble, set_positional, run_set},
    {"unset", "tarnwickctl unset SECTION KEY [--file F]\n",
     "Removes every entry of KEY in SECTION (and in its repeats) and saves the file; every other\n"
     "byte stays as it was. The file is not opened as the library opens it, so nothing is\n"
     "added; but for a key of the schema the next opening adds its default again. Unset the\n"
     "marker (Encription KEYEncrypted) to make a scrambled key plain again: a plain set never\n"
     "removes it. A key that is not there changes nothing, and the status is still 0.\n",
     kFile, two_positional, run_unset},
    {"check", "tarnwickctl check [--file F] [--quiet]\n",
     "Reads the attribute file and changes nothing. Lists, one per line as FILE:LINE: message,\n"
     "what would make the file do something other than what its editor meant: a key twice in\n"
     "one section, a section twice, a schema key in another section than its own, a missing\n"
     "schema key, a line nothing reads, and a scramble marker without its key or over a value\n"
     "that is not scrambled text. --quiet prints nothing. Exit status 0 when it lists nothing,\n"
     "1 when it lists something or cannot read the file, 2 for a usage error.\n",
     kFile | kQuiet, no_positional, run_check},
    {"edit", "tarnwickctl edit [--file F]\n",
     "Copies the attribute file to a private temporary file, runs $VISUAL, else $EDITOR, else\n"
     "the system's editor on it, then checks the result as check does. Unchanged: nothing is\n"
     "written. Clean: the file is replaced with exactly the edited bytes, atomically, keeping\n"
     "its permissions, owner and links. When the check lists something, a terminal is asked\n"
     "\"Edit again?\"; otherwise, or when the editor fails or the file changed on disk\n"
     "meanwhile, the temporary file is removed, nothing is saved, and the exit status is 1.\n",
     kFile, no_positional, run_edit_command},
    {"apply", kApplySynopsis, kApplyDescription, kFile | kJson | kApplyOptions, one_positional, run_apply_command},
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
        } else if ((arg == "--check" || arg == "--diff" || arg == "--allow-new") && (command.takes & kApplyOptions)) {
            (arg == "--check" ? parsed->check : arg == "--diff" ? parsed->diff : parsed->allow_new) = true;
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
