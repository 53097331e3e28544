/* SPDX-License-Identifier: Apache-2.0 */
// What a write did to the attribute file, or would do: the keys it added, set or removed, and
// the file before and after with every secret masked. apply, set and unset report through it:
// take the FileView of the store once loaded (none for a new file) and again after the
// change (FileView::load_from), compare_files(), then print_report().
#ifndef TARNWICKCTL_CHANGES_H
#define TARNWICKCTL_CHANGES_H

#include <iosfwd>
#include <set>
#include <string>
#include <vector>

#include "library.h"

namespace twctl {

struct Change {
    std::string section, key;  // as the file after (for a removal: before) spells them
    std::string action;        // "add", "set" or "remove"
    bool scrambled = false;    // a secret: its value is never shown
};

struct ChangeReport {
    std::string file;
    bool changed = false;  // the file was created, or a line of it differs
    bool created = false;
    std::vector<Change> changes;
    std::string before, after;  // the file's lines, each secret's value masked
};

// Compares, before being NULL for a file that did not exist, the first entry of every section and key of before and after (names without
// regard to ASCII case): "add" for one after lacks, "set" for a changed value, "remove" for
// one after lacks; in the order of after, then the removals in the order of before. A key is
// secret when it carries a scramble marker in either file or is named (tw::fold_name) in
// secret_keys; the value of every entry of a secret key, in whatever section, is masked in
// both texts, "(secret)" where it stays, "(secret, changed)" in after where it differs.
ChangeReport compare_files(const std::string& file, const FileView* before, const FileView& after,
                           const std::set<std::string>& secret_keys);

struct ReportStyle {
    bool json = false;
    bool diff = false;   // add the masked texts: "diff" in JSON, a unified diff in words
    bool check = false;  // nothing was written: the words say "would"
};

// With json, one object and a line break:
//   {"changed": BOOL, "file": PATH, "changes": [{"section": S, "key": K, "action": A,
//    "scrambled": BOOL}, ...], "diff": {"before": TEXT, "after": TEXT}}
// ("diff" only with style.diff). Otherwise one line, "PATH: changed: set Agent/TimeOut, ..."
// or "PATH: nothing changed", or "PATH: created with N keys" ("would change", "nothing would
// change", "would be created" in a check), and with
// style.diff a unified diff of the masked texts after it; in words, every control byte of
// a name or a line is escaped (printable, messages.h).
void print_report(std::ostream& out, const ChangeReport& report, const ReportStyle& style);

// What the report of the write w compares its result with: NULL when w created the file; the
// file as it was before w when w's opening only added to it (the defaults a completion adds
// are w's doing); the file as w loaded it under the lock when something else changed it
// meanwhile, so that another writer's changes are never reported as w's.
const FileView* report_base(const FileWrite& w);

// A unified diff of two texts (three lines of context), headed "--- before_label" and
// "+++ after_label"; "" when they are equal.
std::string unified_diff(const std::string& before, const std::string& after, const std::string& before_label,
                         const std::string& after_label);

}  // namespace twctl

#endif
