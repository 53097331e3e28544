#include "commands.h"

#include <cstdio>
#include <optional>
#include <ostream>
#include <set>
#include <vector>

#include "config.h"
#include "messages.h"
#include "tarnwick.h"
#include "terminal.h"

namespace twctl {

namespace {

// The section and key suffix of the library's scramble markers.
const char kMarkerSection[] = "Encription";
const char kMarkerSuffix[] = "Encrypted";

const char kOverview[] =
    "usage: tarnwickctl <command> [<args>]\n"
    "\n"
    "Reads and writes the agent attribute file.\n"
    "\n"
    "Commands:\n"
    "  path                                   print the file that opening with no path uses\n"
    "  show [--file F] [--reveal]             print every section and key in file order\n"
    "  get NAME [--file F] [--reveal]         print the value of attribute NAME\n"
    "  set SECTION KEY VALUE [--file F]       set a value and save the file\n"
    "  set --scramble SECTION KEY [--file F]  set a scrambled value read from standard input\n"
    "\n"
    "Options:\n"
    "  --file F    use the attribute file F instead of the located one\n"
    "  --reveal    print scrambled values in clear\n"
    "  --help      print the help of a command\n"
    "  --          take every later argument as it stands, also when it begins with --\n"
    "\n"
    "Without --file the file is located as the library locates it: in the directory named by\n"
    "QZ_CFG_FILE_PATH, else through the path resolver or in the temporary directory.\n"
    "Opening creates a missing file with every default and completes an existing one.\n"
    "\n"
    "Exit status: 0 done, 1 the library reported an error, 2 the command line was wrong.\n";

struct Parsed {
    std::vector<std::string> positional;
    std::optional<std::string> file;
    bool reveal = false;
    bool scramble = false;
};

struct Command {
    const char* name;
    const char* synopsis;  // one or more lines, each ending with a line break
    const char* description;
    bool takes_file;
    bool takes_reveal;
    bool takes_scramble;
    int (*run)(const Parsed& args, std::ostream& out, std::ostream& err);
};

// ---- library helpers

// Owns a handle of the library.
class Handle {
public:
    Handle() = default;
    ~Handle() { delete_attribs_mngr(mngr_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    int32_t open(const std::optional<std::string>& file) {
        return attrib_mngr_init(file ? file->c_str() : nullptr, &mngr_);
    }
    AttribMngr* get() const { return mngr_; }

private:
    AttribMngr* mngr_ = nullptr;
};

// Calls call(buffer, &size) with a buffer grown to the size the library asks for, and on
// success stores the text.
template <class Call>
int32_t read_text(Call call, std::string* text) {
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 8; ++attempt) {
        int32_t size = static_cast<int32_t>(buffer.size());
        const int32_t rc = call(buffer.data(), &size);
        if (rc == ATTRIB_MNGR_BUFFER_TOO_SMALL && size > static_cast<int32_t>(buffer.size())) {
            buffer.resize(static_cast<size_t>(size));
            continue;
        }
        if (rc == ATTRIB_MNGR_OK) text->assign(buffer.data());
        return rc;
    }
    return ATTRIB_MNGR_BUFFER_TOO_SMALL;
}

int32_t read_attrib(AttribMngr* mngr, const std::string& name, uint32_t flags, std::string* value) {
    return read_text(
        [&](char* buffer, int32_t* size) { return attrib_mngr_get_attrib(mngr, name.c_str(), buffer, size, flags); },
        value);
}

// Whether the library would treat name as scrambled: its marker key exists.
bool has_marker(AttribMngr* mngr, const std::string& name) {
    std::string ignored;
    return read_attrib(mngr, name + kMarkerSuffix, 0, &ignored) == ATTRIB_MNGR_OK;
}

int fail(std::ostream& err, int32_t code, const std::string& subject) {
    err << error_line(code, subject) << "\n";
    return kExitFailed;
}

int open_or_fail(Handle* handle, const std::optional<std::string>& file, std::ostream& err) {
    const int32_t rc = handle->open(file);
    return rc == ATTRIB_MNGR_OK ? kExitOk : fail(err, rc, file ? *file : std::string());
}

std::string ascii_lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Overwrites a secret before its memory is released.
void wipe(std::string* secret) {
    volatile char* p = &(*secret)[0];
    for (size_t i = 0; i < secret->size(); ++i) p[i] = '\0';
    secret->clear();
}

// Reads the first line of standard input, without its line end. On a terminal the prompt is
// shown and the typing is not. False when the input ended before any byte.
bool read_secret(const std::string& prompt, std::string* value, std::ostream& err) {
    EchoOff echo_off;
    if (echo_off.terminal()) err << prompt << std::flush;
    value->clear();
    value->reserve(256);  // fewer reallocations leave fewer copies of the secret behind
    bool any = false;
    int c;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n') break;
        value->push_back(static_cast<char>(c));
    }
    if (!value->empty() && value->back() == '\r') value->pop_back();
    return any;
}

// ---- commands

int run_path(const Parsed&, std::ostream& out, std::ostream& err) {
    std::string path;
    const int32_t rc = read_text(attrib_mngr_get_null_filename, &path);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, "");
    out << path << "\n";
    return kExitOk;
}

struct Entry {
    std::string section;
    std::string key;
    std::string value;
};

int32_t CONFIG_CALL collect_entry(void* ctx, const char* section, const char* key, const char* value) {
    static_cast<std::vector<Entry>*>(ctx)->push_back({section ? section : "", key ? key : "", value ? value : ""});
    return CONFIG_OK;
}

// Every key of the file in file order, read through a store of its own.
int32_t list_file(const char* path, std::vector<Entry>* entries) {
    const config_handle cfg = new_config();
    if (cfg == 0) return ATTRIB_MNGR_NO_CONFIG;
    int32_t rc = config_add_ini_file_source(cfg, path);
    if (rc == CONFIG_OK) rc = config_enum_attribs(cfg, path, collect_entry, entries);
    delete_config(cfg);
    return rc;
}

int run_show(const Parsed& args, std::ostream& out, std::ostream& err) {
    Handle handle;
    if (open_or_fail(&handle, args.file, err) != kExitOk) return kExitFailed;
    const char* path = attrib_mngr_get_filename(handle.get());
    std::vector<Entry> entries;
    const int32_t rc = list_file(path, &entries);
    if (rc != CONFIG_OK) return fail(err, rc, path ? path : "");

    // Keys whose marker stands in the marker section (names compare without regard to case).
    const std::string marker_section = ascii_lower(kMarkerSection);
    const std::string suffix = ascii_lower(kMarkerSuffix);
    std::set<std::string> scrambled;
    for (const Entry& e : entries) {
        const std::string key = ascii_lower(e.key);
        if (ascii_lower(e.section) == marker_section && key.size() > suffix.size() &&
            key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0) {
            scrambled.insert(key.substr(0, key.size() - suffix.size()));
        }
    }

    int status = kExitOk;
    const std::string* section = nullptr;
    for (const Entry& e : entries) {
        if (section == nullptr ? !e.section.empty() : e.section != *section) {
            if (section != nullptr) out << "\n";
            out << "[" << e.section << "]\n";
        }
        section = &e.section;
        std::string value = e.value;
        if (ascii_lower(e.section) != marker_section && scrambled.count(ascii_lower(e.key)) != 0) {
            value = "(scrambled)";
            if (args.reveal) {
                const int32_t got = read_attrib(handle.get(), e.key, ATTRIB_MNGR_FLAG_SCRAMBLED, &value);
                if (got != ATTRIB_MNGR_OK) {
                    err << error_line(got, e.key) << "\n";
                    value = "(scrambled)";
                    status = kExitFailed;
                }
            }
        }
        out << e.key << " = " << value << "\n";
    }
    return status;
}

int run_get(const Parsed& args, std::ostream& out, std::ostream& err) {
    const std::string& name = args.positional[0];
    Handle handle;
    if (open_or_fail(&handle, args.file, err) != kExitOk) return kExitFailed;
    std::string value;
    int32_t rc = read_attrib(handle.get(), name, 0, &value);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, name);
    if (!has_marker(handle.get(), name)) {
        out << value << "\n";
        return kExitOk;
    }
    if (!args.reveal) {
        out << "(scrambled)\n";
        return kExitOk;
    }
    rc = read_attrib(handle.get(), name, ATTRIB_MNGR_FLAG_SCRAMBLED, &value);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, name);
    out << value << "\n";
    return kExitOk;
}

int set_and_save(const Parsed& args, const std::string& value, uint32_t flags, std::ostream& err) {
    const std::string& section = args.positional[0];
    const std::string& key = args.positional[1];
    Handle handle;
    if (open_or_fail(&handle, args.file, err) != kExitOk) return kExitFailed;
    if (flags == 0 && has_marker(handle.get(), key)) {
        err << "warning: \"" << key << "\" keeps its scramble marker: --reveal will unscramble the plain value\n";
    }
    int32_t rc = attrib_mngr_set_attrib(handle.get(), section.c_str(), key.c_str(), value.c_str(), flags);
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, key);
    rc = attrib_mngr_save_attribs(handle.get());
    if (rc != ATTRIB_MNGR_OK) return fail(err, rc, attrib_mngr_get_filename(handle.get()));
    return kExitOk;
}

int run_set(const Parsed& args, std::ostream&, std::ostream& err) {
    if (!args.scramble) return set_and_save(args, args.positional[2], 0, err);

    // Read before opening, so that nothing waits on the typing.
    std::string secret;
    const bool got = read_secret("Value of " + args.positional[0] + "/" + args.positional[1] + ": ", &secret, err);
    int status;
    if (!got) {
        err << "tarnwickctl: no value on standard input\n";
        status = kExitUsage;
    } else if (secret.find('\0') != std::string::npos) {
        err << "tarnwickctl: the value on standard input holds a NUL byte\n";
        status = kExitUsage;
    } else {
        status = set_and_save(args, secret, ATTRIB_MNGR_FLAG_SCRAMBLED, err);
    }
    wipe(&secret);
    return status;
}

const Command kCommands[] = {
    {"path", "tarnwickctl path\n",
     "Prints the path of the attribute file that opening with no path uses. Opens nothing and\n"
     "creates nothing.\n",
     false, false, false, run_path},
    {"show", "tarnwickctl show [--file F] [--reveal]\n",
     "Opens the attribute file (creating it with every default, or completing it) and prints\n"
     "every section and key in file order as \"key = value\". A scrambled value shows as\n"
     "(scrambled), or in clear with --reveal.\n",
     true, true, false, run_show},
    {"get", "tarnwickctl get NAME [--file F] [--reveal]\n",
     "Opens the attribute file and prints the value of the attribute NAME, whatever section\n"
     "holds it. A scrambled value shows as (scrambled), or in clear with --reveal.\n",
     true, true, false, run_get},
    {"set", "tarnwickctl set SECTION KEY VALUE [--file F]\n       tarnwickctl set --scramble SECTION KEY [--file F]\n",
     "Opens the attribute file, sets KEY in SECTION and saves the file. With --scramble the\n"
     "value is the first line of standard input (read without echo on a terminal, never from\n"
     "the command line, where other users can see it) and is stored scrambled, with its\n"
     "marker. Scrambling hides a value from a casual look; it is not encryption.\n",
     true, false, true, run_set},
};

const Command* find_command(const std::string& name) {
    for (const Command& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

int usage_error(std::ostream& err, const std::string& problem, const Command* command) {
    err << "tarnwickctl: " << problem << "\n";
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
        } else if (arg == "--reveal" && command.takes_reveal) {
            parsed->reveal = true;
        } else if (arg == "--scramble" && command.takes_scramble) {
            parsed->scramble = true;
        } else if (arg == "--file" && command.takes_file) {
            if (i + 1 == args.size()) return "--file needs a file name";
            parsed->file = args[++i];
        } else if (arg.compare(0, 7, "--file=") == 0 && command.takes_file) {
            parsed->file = arg.substr(7);
        } else {
            return "unknown option \"" + arg + "\" for " + command.name;
        }
    }
    if (parsed->file && parsed->file->empty()) return "--file needs a file name";
    size_t wanted = 0;
    if (command.run == run_get) wanted = 1;
    if (command.run == run_set) wanted = parsed->scramble ? 2 : 3;
    if (parsed->positional.size() < wanted) return "missing arguments";
    if (parsed->positional.size() > wanted) return "too many arguments";
    return "";
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usage_error(err, "no command given", nullptr);
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kOverview;
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
