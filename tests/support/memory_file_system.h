/* SPDX-License-Identifier: Apache-2.0 */
// An in-memory cfg::FileSystem: whole files in a map, replaced in one step, and a chosen step
// of a save that fails. Lets tests and fuzz targets drive the store's load and save paths
// without touching the disk. Header only: the fuzz targets take it without the rest of the
// test support library.
#ifndef TARNWICK_TESTS_SUPPORT_MEMORY_FILE_SYSTEM_H
#define TARNWICK_TESTS_SUPPORT_MEMORY_FILE_SYSTEM_H

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "file_system.h"
#include "tarnwick/config.h"

namespace twtest {

class MemoryFileSystem final : public cfg::FileSystem {
public:
    // The step of a save that fails, and the code it fails with:
    enum class Step {
        kNone,
        kCreateTemp,  // CONFIG_E_CREATE, no temporary file made
        kAppend,      // CONFIG_E_NO_SPACE after writing half the bytes, as a full disk would
        kSync,        // CONFIG_E_FLUSH
        kClose,       // CONFIG_E_WRITE
        kReplace,     // CONFIG_E_REPLACE, nothing moved
        kSyncDir,     // CONFIG_E_IO, after the replace took place
    };

    explicit MemoryFileSystem(Step fail = Step::kNone) : fail_(fail) {}

    // Path to content; tests read and change it directly.
    std::map<std::string, std::string> files;
    // How many temporary files create_temp has made.
    int temps_created = 0;

    int32_t open_for_read(const std::string& path, std::unique_ptr<cfg::ReadableFile>* file) override {
        const auto it = files.find(path);
        if (it == files.end()) return CONFIG_E_NOT_FOUND;
        file->reset(new Reader(it->second));
        return CONFIG_OK;
    }
    int32_t probe(const std::string& path) override {
        return files.count(path) != 0 ? CONFIG_OK : CONFIG_E_NOT_FOUND;
    }
    int32_t resolve_links(const std::string& path, std::string* target) override {
        *target = path;
        return CONFIG_OK;
    }
    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<cfg::WritableFile>* file) override {
        if (fail_ == Step::kCreateTemp) return CONFIG_E_CREATE;
        *temp_path = target + ".tmp" + std::to_string(temps_created++);
        file->reset(new Writer(files[*temp_path], fail_));
        return CONFIG_OK;
    }
    int32_t replace(const std::string& from, const std::string& to) override {
        if (fail_ == Step::kReplace) return CONFIG_E_REPLACE;
        const auto it = files.find(from);
        if (it == files.end()) return CONFIG_E_REPLACE;
        std::string bytes = std::move(it->second);
        files.erase(it);
        files[to] = std::move(bytes);
        return CONFIG_OK;
    }
    int32_t sync_dir(const std::string&) override { return fail_ == Step::kSyncDir ? CONFIG_E_IO : CONFIG_OK; }
    int32_t remove(const std::string& path) override {
        return files.erase(path) != 0 ? CONFIG_OK : CONFIG_E_NOT_FOUND;
    }

private:
    class Reader final : public cfg::ReadableFile {
    public:
        explicit Reader(std::string bytes) : bytes_(std::move(bytes)) {}
        int32_t read(char* buffer, size_t capacity, size_t* got) override {
            *got = std::min(capacity, bytes_.size() - pos_);
            std::copy_n(bytes_.data() + pos_, *got, buffer);
            pos_ += *got;
            return CONFIG_OK;
        }
        uint64_t size_hint() const override { return bytes_.size(); }

    private:
        std::string bytes_;
        size_t pos_ = 0;
    };

    // Writes straight into the map's entry; the map's nodes never move.
    class Writer final : public cfg::WritableFile {
    public:
        Writer(std::string& out, Step fail) : out_(out), fail_(fail) {}
        int32_t append(std::string_view bytes) override {
            if (fail_ != Step::kAppend) {
                out_.append(bytes);
                return CONFIG_OK;
            }
            out_.append(bytes.substr(0, bytes.size() / 2));
            return CONFIG_E_NO_SPACE;
        }
        int32_t sync() override { return fail_ == Step::kSync ? CONFIG_E_FLUSH : CONFIG_OK; }
        int32_t close() override { return fail_ == Step::kClose ? CONFIG_E_WRITE : CONFIG_OK; }

    private:
        std::string& out_;
        Step fail_;
    };

    Step fail_;
};

}  // namespace twtest

#endif
