/* SPDX-License-Identifier: Apache-2.0 */
// cfg::Store: what one configuration handle holds: at most one source file, the document
// loaded from it, and the file system it reads and writes through.
#ifndef CONFIG_STORE_H
#define CONFIG_STORE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "document.h"
#include "file_system.h"

namespace cfg {

class Store {
public:
    // fs is not owned and must outlive the store.
    explicit Store(FileSystem& fs);

    // Loads an existing file as the source. CONFIG_E_HAS_SOURCE when the store has one.
    int32_t add_file_source(std::string_view path);
    // Takes path as the home of a new, empty file; CONFIG_E_EXISTS when something is there.
    int32_t add_new_file_source(std::string_view path);

    const char* get(std::string_view key) { return doc_.find(key); }
    bool contains(std::string_view path, std::string_view section, std::string_view key) const;
    int32_t set(std::string_view path, std::string_view section, std::string_view key, std::string_view value);
    // The number of entries removed, or a CONFIG_E_* code.
    int32_t remove(std::string_view path, std::string_view section, std::string_view key);
    // Writes the document unless nothing changed since the load or the last save and the file
    // on disk is still the version then seen: that costs one status query and no read. With
    // CONFIG_SAVE_IF_UNCHANGED, a file on disk that is no longer that version is CONFIG_E_CHANGED.
    int32_t save(std::string_view path, int32_t flags);

    // Visits every entry in file order (see Document::for_each_entry) once path is checked.
    template <typename Visit>
    int32_t for_each_entry(std::string_view path, Visit&& visit) const {
        const int32_t rc = check_path(path);
        return rc != 0 ? rc : doc_.for_each_entry(visit);
    }

    // Visits every line in file order (see Document::for_each_line) once path is checked.
    template <typename Visit>
    int32_t for_each_line(std::string_view path, Visit&& visit) const {
        const int32_t rc = check_path(path);
        return rc != 0 ? rc : doc_.for_each_line(visit);
    }

    // Replaces the document with bytes, as if the file held them when it was added; the next
    // save writes them whatever the file on disk holds.
    int32_t set_text(std::string_view path, std::string bytes);

    const Document& document() const { return doc_; }

private:
    int32_t check_path(std::string_view path) const;
    // CONFIG_OK while the file on disk is the version last loaded or saved (for a new file
    // never saved: while nothing is there), else CONFIG_E_CHANGED or the status query's error.
    int32_t check_unchanged_on_disk();

    FileSystem& fs_;
    bool has_source_ = false;
    std::string path_;
    Document doc_;
    FileStamp stamp_;  // the file on disk as last loaded or saved; invalid when unknown
    bool text_replaced_ = false;  // set_text since the load or the last save
    bool created_ = false;        // a new file's source, not saved yet
};

}  // namespace cfg

#endif
