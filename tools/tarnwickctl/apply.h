/* SPDX-License-Identifier: Apache-2.0 */
// tarnwickctl apply: one desired state of sections and keys, planned in memory and applied in
// at most one save of the tool's own (after the library's save that creates or completes the
// file, as opening does), all or nothing.
#ifndef TARNWICKCTL_APPLY_H
#define TARNWICKCTL_APPLY_H

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twctl {

// One entry of a state: "Section": {"Key": "text" | null | {"scrambled": "text"}}.
struct StateEntry {
    enum Action { kSet, kRemove, kScramble } action = kSet;
    std::string section, key;
    std::string value;  // kSet, kScramble
};

// The longest section or key name a state may give, and the largest state, in bytes.
constexpr size_t kMaxStateName = 255;
constexpr size_t kMaxStateSize = 1 << 20;

// Reads text as a state, in the text's order. False with every fault found, one per line, in
// *problems: not JSON, not an object of objects, a value that is neither a string, null nor
// {"scrambled": string}, a name empty or longer than kMaxStateName, a section or a key of
// one section given twice (without regard to ASCII case), a NUL byte. No value is ever quoted
// in a problem.
bool parse_state(std::string_view text, std::vector<StateEntry>* entries, std::vector<std::string>* problems);

// Overwrites every value of entries, then empties it.
void wipe(std::vector<StateEntry>* entries);

// A name as messages quote it, a long one cut short; and "SECTION/KEY" so quoted.
std::string shown(const std::string& name);
std::string entry_name(const std::string& section, const std::string& key);

struct ApplyOptions {
    std::optional<std::string> file;  // else the located file
    std::string state;                // a file, or "-" for standard input
    bool check = false;               // write nothing; say what would change
    bool diff = false;                // show the file before and after, secrets masked
    bool json = false;
    bool allow_new = false;           // allow a new section, and a schema key in another section
};

// Runs apply; returns the exit status. The result goes to out, messages to err.
int run_apply(const ApplyOptions& options, std::ostream& out, std::ostream& err);

// The command's synopsis and help text, for the command table.
extern const char kApplySynopsis[];
extern const char kApplyDescription[];

}  // namespace twctl

#endif
