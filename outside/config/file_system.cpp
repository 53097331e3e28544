// SPDX-License-Identifier: Apache-2.0
#include "file_system.h"

#include <cstring>
#include <vector>

#include "tarnwick/config.h"

namespace cfg {
namespace {

constexpr size_t kChunk = 64 * 1024;

// True when the file at path holds exactly bytes; reads it in chunks, never whole.
int32_t file_equals(FileSystem& fs, const std::string& path, std::string_view bytes, bool* equal) {
    *equal = false;
    std::unique_ptr<ReadableFile> file;
    int32_t rc = fs.open_for_read(path, &file);
    if (rc != CONFIG_OK) return rc;
    if (file->size_hint() != bytes.size()) return CONFIG_OK;
    std::vector<char> buffer(kChunk);
    size_t offset = 0;
    for (;;) {
        size_t got = 0;
        rc = file->read(buffer.data(), buffer.size(), &got);
        if (rc != CONFIG_OK) return rc;
        if (got == 0) break;
        if (got > bytes.size() - offset || std::memcmp(buffer.data(), bytes.data() + offset, got) != 0)
            return CONFIG_OK;
        offset += got;
    }
    *equal = offset == bytes.size();
    return CONFIG_OK;
}

}  // namespace

int32_t read_whole_file(FileSystem& fs, const std::string& path, std::string* bytes, FileStamp* stamp) {
    std::unique_ptr<ReadableFile> file;
    int32_t rc = fs.open_for_read(path, &file);
    if (rc != CONFIG_OK) return rc;
    if (stamp != nullptr) *stamp = file->stamp();
    const uint64_t hint = file->size_hint();
    if (hint >= UINT32_MAX) return CONFIG_E_TOO_LARGE;
    std::string out;
    // One byte more than the hint, so that reaching the end needs no reallocation.
    out.resize(static_cast<size_t>(hint) + 1);
    size_t size = 0;
    for (;;) {
        if (size == out.size()) {
            if (out.size() >= UINT32_MAX) return CONFIG_E_TOO_LARGE;
            out.resize(out.size() + kChunk);
        }
        size_t got = 0;
        rc = file->read(&out[size], out.size() - size, &got);
        if (rc != CONFIG_OK) return rc;
        if (got == 0) break;
        size += got;
    }
    out.resize(size);
    *bytes = std::move(out);
    return CONFIG_OK;
}

int32_t write_file_atomically(FileSystem& fs, const std::string& path, std::string_view bytes) {
    std::string target;
    int32_t rc = fs.resolve_links(path, &target);
    if (rc != CONFIG_OK) return rc;

    bool equal = false;
    rc = file_equals(fs, target, bytes, &equal);
    if (rc == CONFIG_OK && equal) return CONFIG_OK;
    if (rc != CONFIG_OK && rc != CONFIG_E_NOT_FOUND) return rc;

    std::string temp;
    std::unique_ptr<WritableFile> file;
    rc = fs.create_temp(target, &temp, &file);
    if (rc != CONFIG_OK) return rc;
    rc = file->append(bytes);
    if (rc == CONFIG_OK) rc = file->sync();
    if (rc == CONFIG_OK) rc = file->finish();
    const int32_t closed = file->close();
    if (rc == CONFIG_OK) rc = closed;
    file.reset();
    if (rc == CONFIG_OK) rc = fs.replace(temp, target);
    if (rc != CONFIG_OK) {
        fs.remove(temp);
        return rc;
    }
    return fs.sync_dir(target) == CONFIG_OK ? CONFIG_OK : CONFIG_E_DURABILITY;
}

}  // namespace cfg
