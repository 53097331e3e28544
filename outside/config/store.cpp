// SPDX-License-Identifier: Apache-2.0
#include "store.h"

#include <utility>

#include "tarnwick/config.h"

namespace cfg {

Store::Store(FileSystem& fs) : fs_(fs), doc_(native_line_ending()) {}

int32_t Store::add_file_source(std::string_view path) {
    if (path.empty()) return CONFIG_E_ARGUMENT;
    if (has_source_) return CONFIG_E_HAS_SOURCE;
    std::string p(path);
    std::string bytes;
    FileStamp stamp;
    int32_t rc = read_whole_file(fs_, p, &bytes, &stamp);
    if (rc != CONFIG_OK) return rc;
    // Without a source the store's document is empty and unused: load straight into it, and
    // leave it empty again if the load fails, since a new file's source may still be added.
    try {
        rc = doc_.load(std::move(bytes), native_line_ending());
    } catch (...) {
        doc_.clear();
        throw;
    }
    if (rc != CONFIG_OK) return rc;
    stamp_ = stamp;
    path_ = std::move(p);
    has_source_ = true;
    return CONFIG_OK;
}

int32_t Store::add_new_file_source(std::string_view path) {
    if (path.empty()) return CONFIG_E_ARGUMENT;
    if (has_source_) return CONFIG_E_HAS_SOURCE;
    std::string p(path);
    // Never take an existing file for a new one: its first save would replace it.
    const int32_t rc = fs_.probe(p);
    if (rc == CONFIG_OK) {
        // Tell a file (which creating would replace) from a directory or device in the way.
        std::unique_ptr<ReadableFile> file;
        return fs_.open_for_read(p, &file) == CONFIG_E_NOT_FILE ? CONFIG_E_NOT_FILE : CONFIG_E_EXISTS;
    }
    if (rc != CONFIG_E_NOT_FOUND) return rc;
    path_ = std::move(p);
    has_source_ = true;
    created_ = true;
    return CONFIG_OK;
}

int32_t Store::check_path(std::string_view path) const {
    if (!has_source_) return CONFIG_E_NO_SOURCE;
    return path == path_ ? CONFIG_OK : CONFIG_E_PATH;
}

bool Store::contains(std::string_view path, std::string_view section, std::string_view key) const {
    return check_path(path) == CONFIG_OK && doc_.contains(section, key);
}

int32_t Store::set(std::string_view path, std::string_view section, std::string_view key, std::string_view value) {
    const int32_t rc = check_path(path);
    return rc != CONFIG_OK ? rc : doc_.set(section, key, value);
}

int32_t Store::remove(std::string_view path, std::string_view section, std::string_view key) {
    const int32_t rc = check_path(path);
    if (rc != CONFIG_OK) return rc;
    const uint32_t removed = doc_.remove(section, key);
    // An entry takes at least three bytes ("k=" and a line break) but for the last line, so a
    // file below 4 GiB holds fewer than 2^31 of them.
    return static_cast<int32_t>(removed);
}

int32_t Store::set_text(std::string_view path, std::string bytes) {
    int32_t rc = check_path(path);
    if (rc != CONFIG_OK) return rc;
    Document doc(native_line_ending());
    rc = doc.load(std::move(bytes), native_line_ending());
    if (rc != CONFIG_OK) return rc;
    doc_ = std::move(doc);
    // What the handle holds no longer comes from the version on disk: the next save writes.
    text_replaced_ = true;
    return CONFIG_OK;
}

int32_t Store::check_unchanged_on_disk() {
    FileStamp now;
    const int32_t rc = fs_.stamp(path_, &now);
    if (created_) return rc == CONFIG_E_NOT_FOUND ? CONFIG_OK : rc == CONFIG_OK ? CONFIG_E_CHANGED : rc;
    if (rc == CONFIG_E_NOT_FOUND) return CONFIG_E_CHANGED;
    if (rc != CONFIG_OK) return rc;
    return same_version(now, stamp_) ? CONFIG_OK : CONFIG_E_CHANGED;
}

int32_t Store::save(std::string_view path, int32_t flags) {
    int32_t rc = check_path(path);
    if (rc != CONFIG_OK) return rc;
    if ((flags & ~CONFIG_SAVE_IF_UNCHANGED) != 0) return CONFIG_E_FLAGS;
    if (flags & CONFIG_SAVE_IF_UNCHANGED) {
        rc = check_unchanged_on_disk();
        if (rc != CONFIG_OK) return rc;
    }
    if (!doc_.modified() && !text_replaced_ && stamp_.valid) {
        FileStamp now;
        if (fs_.stamp(path_, &now) == CONFIG_OK && same_version(now, stamp_)) return CONFIG_OK;
    }
    rc = write_file_atomically(fs_, path_, doc_.serialize());
    if (rc == CONFIG_OK || rc == CONFIG_E_DURABILITY) {
        doc_.mark_saved();
        text_replaced_ = false;
        created_ = false;
        // The version just written (or found already holding these bytes).
        if (fs_.stamp(path_, &stamp_) != CONFIG_OK) stamp_ = FileStamp();
    }
    return rc;
}

}  // namespace cfg
