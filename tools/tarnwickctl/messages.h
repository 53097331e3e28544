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

}  // namespace twctl

#endif
