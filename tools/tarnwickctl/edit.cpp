#include "edit.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <vector>

#include "check.h"
#include "commands.h"
#include "config.h"
#include "library.h"
#include "messages.h"
#include "system.h"

namespace twctl {

namespace {

std::string editor_command() {
    for (const char* name : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return default_editor();
}

// "Edit again? [Y/n]" on the terminal; an empty answer is yes, the end of input no.
bool ask_edit_again(std::ostream& err) {
    err << "Edit again? [Y/n] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return answer.empty() || answer == "y" || answer == "Y" || answer == "yes";
}

// Puts exactly bytes in place of the file through the store's save.
int32_t replace_file(const std::string& path, const std::string& bytes) {
    if (bytes.size() > UINT32_MAX) return CONFIG_E_TOO_LARGE;
    const config_handle cfg = new_config();
    if (cfg == 0) return ATTRIB_MNGR_NO_CONFIG;
    int32_t rc = config_add_ini_file_source(cfg, path.c_str());
    if (rc == CONFIG_OK) rc = config_set_text(cfg, path.c_str(), bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (rc == CONFIG_OK) rc = config_save(cfg, path.c_str(), 0);
    delete_config(cfg);
    return rc;
}

}  // namespace

int run_edit(const std::string& path, std::ostream&, std::ostream& err) {
    // The store reads the file first, so that a missing file or a directory is reported in
    // its words.
    FileLines lines;
    int32_t rc = lines.load(path);
    std::string original;
    if (rc == CONFIG_OK && !read_bytes(path, &original)) rc = CONFIG_E_READ;
    if (rc != CONFIG_OK) {
        err << error_line(rc, path) << "\n";
        return kExitFailed;
    }

    ScratchDir scratch;
    std::string name = std::filesystem::path(path).filename().string();
    if (name.empty()) name = "attribs.cfg";
    const std::string copy = scratch.path(name);
    if (!scratch.ok() || !write_private_file(copy, original)) {
        err << error_line(CONFIG_E_CREATE, copy) << "\n";
        return kExitFailed;
    }
    const auto keep = [&](const std::string& why) {
        scratch.keep();
        err << "tarnwickctl: " << why << "; " << path << " was not changed. The edit is kept in " << copy << "\n";
        return kExitFailed;
    };

    const std::string editor = editor_command();
    std::string edited;
    for (;;) {
        const int status = run_editor(editor, copy);
        if (status != 0) {
            return keep(status < 0 ? "the editor \"" + editor + "\" could not be started"
                                   : "the editor \"" + editor + "\" failed (exit status " + std::to_string(status) + ")");
        }
        if (!read_bytes(copy, &edited)) return keep("the edited copy cannot be read");
        if (edited == original) return kExitOk;  // scratch and copy go

        std::vector<Finding> findings;
        rc = check_file(copy, &findings);
        if (rc != ATTRIB_MNGR_OK) {
            err << error_line(rc, copy) << "\n";
            return keep("the edited copy could not be checked");
        }
        if (findings.empty()) break;
        print_findings(err, copy, findings);
        if (!stdin_is_terminal() || !stderr_is_terminal() || !ask_edit_again(err)) {
            return keep("the check listed " + std::to_string(findings.size()) +
                        (findings.size() == 1 ? " problem" : " problems"));
        }
    }

    std::string current;
    if (!read_bytes(path, &current) || current != original) return keep("the file changed on disk during the edit");
    rc = replace_file(path, edited);
    if (rc != CONFIG_OK) {
        err << error_line(rc, path) << "\n";
        return keep("the file could not be replaced");
    }
    return kExitOk;
}

}  // namespace twctl
