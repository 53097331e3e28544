/* SPDX-License-Identifier: Apache-2.0 */
// tarnwickctl edit: edit a private copy, check it, then replace the file through the store.
#ifndef TARNWICKCTL_EDIT_H
#define TARNWICKCTL_EDIT_H

#include <iosfwd>
#include <optional>
#include <string>

namespace twctl {

// Edits the file (the located one when file is empty; see the command's help) through
// FileWrite. Messages go to err, the check's findings included; out is unused. Returns the
// exit status.
int run_edit(const std::optional<std::string>& file, std::ostream& out, std::ostream& err);

}  // namespace twctl

#endif
