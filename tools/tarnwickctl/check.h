/* SPDX-License-Identifier: Apache-2.0 */
// tarnwickctl check: what in an attribute file would make it do something other than what
// its editor meant.
#ifndef TARNWICKCTL_CHECK_H
#define TARNWICKCTL_CHECK_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace twctl {

struct Finding {
    uint32_t line;  // the line it concerns, counted from 1
    std::string message;
    // What the finding is about, without line numbers: equal for the same fault after lines
    // moved (edit compares the findings of a file before and after).
    std::string id;
};

// The findings of after that before does not have as often (by id), in after's order.
std::vector<Finding> introduced(const std::vector<Finding>& before, const std::vector<Finding>& after);

class FileView;

// Checks the lines of a file, and stores what it finds in line order. Linear in the number
// of lines (the look-ups go through hash maps built in one pass).
void check_lines(const FileView& file, std::vector<Finding>* findings);

// Reads the file at path once, without changing it, and checks it. Returns ATTRIB_MNGR_OK,
// or the code of a failure to read the file (no findings then).
int32_t check_file(const std::string& path, std::vector<Finding>* findings);

// Prints each finding as "NAME:LINE: message".
void print_findings(std::ostream& out, const std::string& name, const std::vector<Finding>& findings);

}  // namespace twctl

#endif
