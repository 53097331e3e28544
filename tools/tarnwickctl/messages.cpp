#include "messages.h"

#include "config.h"
#include "tarnwick.h"

namespace twctl {

namespace {

struct Meaning {
    int32_t code;
    const char* text;
};

constexpr Meaning kMeanings[] = {
    {ATTRIB_MNGR_OK, "success"},
    {ATTRIB_MNGR_BUFFER_TOO_SMALL, "the buffer is too small"},
    {ATTRIB_MNGR_MKDIR_FAILED, "the directory named by QZ_CFG_FILE_PATH could not be created"},
    {ATTRIB_MNGR_NO_CONFIG, "the configuration store could not be created"},
    {ATTRIB_MNGR_NO_TMP_DIR, "no temporary directory for the default location"},
    {ATTRIB_MNGR_SPLIT_PATH_FAILED, "the temporary directory's path could not be split"},
    {ATTRIB_MNGR_NULL_HANDLE, "the handle is null"},
    {ATTRIB_MNGR_SCRAMBLE_FAILED, "the value could not be scrambled"},
    {ATTRIB_MNGR_UNSCRAMBLE_FAILED, "the stored value could not be unscrambled"},
    {ATTRIB_MNGR_NOT_FOUND, "no section holds the attribute"},
    {ATTRIB_MNGR_NULL_ARGUMENT, "a required argument is null"},
    {ATTRIB_MNGR_NO_MEMORY, "out of memory"},
};

}  // namespace

const char* code_meaning(int32_t code) {
    for (const Meaning& m : kMeanings) {
        if (m.code == code) return m.text;
    }
    // The store's codes run from CONFIG_E_FIRST down to CONFIG_E_LAST.
    if (code <= CONFIG_E_FIRST && code >= CONFIG_E_LAST) return "configuration store error";
    return "unknown error";
}

std::string error_line(int32_t code, const std::string& subject) {
    std::string line = "error " + std::to_string(code) + ": " + code_meaning(code);
    if (!subject.empty()) line += " \"" + subject + "\"";
    return line;
}

}  // namespace twctl
