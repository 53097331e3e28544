/* SPDX-License-Identifier: Apache-2.0 */
// The one-line messages tarnwickctl prints for a result code of the library or its store,
// and the escaping of every byte of a file (or of a name) that goes to a person.
#ifndef TARNWICKCTL_MESSAGES_H
#define TARNWICKCTL_MESSAGES_H

#include <cstdint>
#include <string>
#include <string_view>

namespace twctl {

// text with every control character written as \xNN (two lower-case hex digits), so that
// nothing of a file can drive the terminal that shows it: the bytes 0x00 to 0x1f and 0x7f,
// the C1 controls U+0080 to U+009F in UTF-8 (C2 80 to C2 9F, each byte escaped), and every
// byte that is not part of well-formed UTF-8 (a lone 0x9b is a control on some terminals).
// Everything else, other UTF-8 included, stays as it is. A backslash stays too: the escape
// form is a reading aid, not a way back to the bytes (--json gives those).
std::string printable(std::string_view text);

// "tarnwickctl: FILE: \"SUBJECT\": TEXT (error CODE)", the file and the subject left out when
// empty and both passed through printable; TEXT is attrib_mngr_error_text of the code as
// library_code (library.h) gives it. For example
// tarnwickctl: /etc/agent.cfg: "Foo": no section holds the attribute (error -25)
std::string error_line(int32_t code, const std::string& file, const std::string& subject = "");

}  // namespace twctl

#endif
