#include "messages.h"

#include <filesystem>
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

int32_t opening_code(int32_t code, const std::string& path) {
    // Opening creates a file where it finds none; a directory in the way is no file, and the
    // store's answer to creating over it ("something exists") would mislead.
    if (code != CONFIG_E_EXISTS || path.empty()) return code;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return CONFIG_E_NOT_FILE;
    return code;
}

}  // namespace twctl
