// tarnwickctl edit: edit a private copy, check it, then replace the file through the store.
#ifndef TARNWICKCTL_EDIT_H
#define TARNWICKCTL_EDIT_H

#include <iosfwd>
#include <string>

namespace twctl {

// Edits the file at path (see the command's help). Messages go to err, the check's findings
// included; out is unused. Returns the exit status.
int run_edit(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace twctl

#endif
