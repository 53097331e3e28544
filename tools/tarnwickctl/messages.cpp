#include "messages.h"

#include <system_error>

#include "config.h"
#include "tarnwick.h"

namespace twctl {

std::string error_line(int32_t code, const std::string& file, const std::string& subject) {
    std::string line = "tarnwickctl: ";
    if (!file.empty()) line += file + ": ";
    if (!subject.empty()) line += "\"" + subject + "\": ";
    line += attrib_mngr_error_text(code);
    line += " (error " + std::to_string(code) + ")";
    return line;
}

}  // namespace twctl
