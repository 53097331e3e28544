// What tarnwickctl's commands share: the library's handle, the store's account of a file's
// lines, reading a scrambled entry in clear, and scratch files.
#ifndef TARNWICKCTL_LIBRARY_H
#define TARNWICKCTL_LIBRARY_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tarnwick.h"

namespace twctl {

// The section and key suffix of the library's scramble markers.
extern const char kMarkerSection[];
extern const char kMarkerSuffix[];

// Owns a handle of the library.
class Handle {
public:
    Handle() = default;
    ~Handle() { delete_attribs_mngr(mngr_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // Opens (creating or completing) the file, or the located one when file is empty.
    int32_t open(const std::optional<std::string>& file) {
        return attrib_mngr_init(file ? file->c_str() : nullptr, &mngr_);
    }
    AttribMngr* get() const { return mngr_; }

private:
    AttribMngr* mngr_ = nullptr;
};

// The value of name, as attrib_mngr_get_attrib gives it with flags.
int32_t read_attrib(AttribMngr* mngr, const std::string& name, uint32_t flags, std::string* value);

// Whether the library treats name as scrambled: a key name + "Encrypted" exists.
bool has_marker(AttribMngr* mngr, const std::string& name);

// The path that opening with no path uses (attrib_mngr_get_null_filename).
int32_t located_path(std::string* path);

// One line of a file, as the store reads it (config_enum_lines).
struct Line {
    uint32_t number = 0;
    int32_t kind = 0;  // CONFIG_LINE_*
    std::string text, section, key, value;
};

// Every line of the file at path, read through a store of its own; nothing is written.
int32_t read_lines(const std::string& path, std::vector<Line>* lines);

bool equal_ignoring_case(std::string_view a, std::string_view b);

// Whether the key carries a marker among lines (the library's test, by key alone).
bool marked(const std::vector<Line>& lines, std::string_view key);

// The keys, in ASCII lower case, that carry a marker among lines.
std::set<std::string> marked_keys(const std::vector<Line>& lines);

std::string ascii_lower(std::string_view text);

// The clear value of the entry lines[index], which carries a scramble marker, by its own
// section and key: through mngr when it is the first entry of its key in file order (the one
// a get by name reads), else through a scratch file that holds that entry alone.
int32_t reveal_entry(AttribMngr* mngr, const std::vector<Line>& lines, size_t index, std::string* clear);

// A directory of scratch files only the caller can use, removed with its content.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !dir_.empty(); }
    std::string path(const std::string& name) const;
    // Keeps the directory and its files when the scratch directory ends.
    void keep() { keep_ = true; }

private:
    std::string dir_;
    bool keep_ = false;
};

// A whole file's bytes; false when it cannot be read.
bool read_bytes(const std::string& path, std::string* bytes);
// Writes bytes to a new or truncated file readable and writable by its owner alone where the
// platform has such modes; false on failure.
bool write_private_file(const std::string& path, const std::string& bytes);

}  // namespace twctl

#endif
