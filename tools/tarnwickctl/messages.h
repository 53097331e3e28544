// The one-line messages tarnwickctl prints for a result code of the library or its store.
#ifndef TARNWICKCTL_MESSAGES_H
#define TARNWICKCTL_MESSAGES_H

#include <cstdint>
#include <string>

namespace twctl {

// "tarnwickctl: FILE: \"SUBJECT\": TEXT (error CODE)", the file and the subject left out when
// empty; TEXT is attrib_mngr_error_text(code). For example
// tarnwickctl: /etc/agent.cfg: "Foo": no section holds the attribute (error -25)
std::string error_line(int32_t code, const std::string& file, const std::string& subject = "");

// The code to report for a failure to open path: a directory or another non-file where the
// library found "something exists" is reported as not being a file. Other codes pass unchanged.
int32_t opening_code(int32_t code, const std::string& path);

}  // namespace twctl

#endif
