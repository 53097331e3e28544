// SPDX-License-Identifier: Apache-2.0
#include "edit.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <vector>

#include "check.h"
#include "commands.h"
#include "library.h"
#include "messages.h"
#include "system.h"
#include "tarnwick/config.h"

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

}  // namespace

int run_edit(const std::optional<std::string>& file, std::ostream&, std::ostream& err) {
    // The store reads the file (created or completed first, as every write does) before the
    // editor runs; the save at the end goes through that store, so that it replaces only
    // the version read.
    FileWrite w;
    int32_t rc = w.open(file, false);
    std::string original;
    if (rc == ATTRIB_MNGR_OK && !read_bytes(w.path(), &original)) rc = CONFIG_E_READ;
    if (rc != ATTRIB_MNGR_OK) {
        err << error_line(rc, w.path()) << "\n";
        return exit_status(rc);
    }

    // What the file already has: findings that were there before do not block the edit.
    std::vector<Finding> known;
    {
        FileView view;
        rc = view.load_from(w.cfg(), w.path());
        if (rc != ATTRIB_MNGR_OK) {
            err << error_line(rc, w.path()) << "\n";
            return exit_status(rc);
        }
        check_lines(view, &known);
    }

    ScratchDir scratch;
    std::string name = std::filesystem::path(w.path()).filename().string();
    if (name.empty()) name = "attribs.cfg";
    const std::string copy = scratch.path(name);
    if (!scratch.ok() || !write_private_file(copy, original)) {
        err << error_line(CONFIG_E_CREATE, copy) << "\n";
        return kExitFailed;
    }
    // The scratch directory goes with the copy: a refused edit is not kept anywhere.
    const auto nothing_saved = [&](const std::string& why, int status = kExitFailed) {
        err << "tarnwickctl: " << printable(why) << "; nothing was saved: " << printable(w.path()) << " is as it was\n";
        return status;
    };

    const std::string editor = editor_command();
    std::string edited;
    for (;;) {
        const int status = run_editor(editor, copy);
        if (status != 0) {
            return nothing_saved(status < 0 ? "the editor \"" + editor + "\" could not be started"
                                            : "the editor \"" + editor + "\" failed (exit status " +
                                                  std::to_string(status) + ")");
        }
        if (!read_bytes(copy, &edited)) return nothing_saved("the edited copy cannot be read");
        if (edited == original) return kExitOk;  // scratch and copy go

        std::vector<Finding> all;
        rc = check_file(copy, &all);
        if (rc != ATTRIB_MNGR_OK) {
            err << error_line(rc, copy) << "\n";
            return nothing_saved("the edited copy could not be checked");
        }
        const std::vector<Finding> findings = introduced(known, all);
        if (findings.empty()) break;
        print_findings(err, copy, findings);
        if (!stdin_is_terminal() || !stderr_is_terminal() || !ask_edit_again(err)) {
            return nothing_saved("the edit brings " + std::to_string(findings.size()) +
                                     (findings.size() == 1 ? " new problem" : " new problems"),
                                 kExitRefused);
        }
    }

    if (edited.size() > UINT32_MAX) rc = CONFIG_E_TOO_LARGE;
    if (rc == ATTRIB_MNGR_OK)
        rc = config_set_text(w.cfg(), w.path().c_str(), edited.data(), static_cast<uint32_t>(edited.size()));
    if (rc == ATTRIB_MNGR_OK) rc = w.save();
    if (rc == CONFIG_E_CHANGED) return nothing_saved("the file changed on disk during the edit");
    if (rc != ATTRIB_MNGR_OK) {
        err << error_line(rc, w.path()) << "\n";
        return nothing_saved("the file could not be replaced");
    }
    return kExitOk;
}

}  // namespace twctl
