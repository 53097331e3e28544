// An in-memory cfg::FileSystem: whole files in a map, replaced in one step. Lets the fuzz
// targets drive the store's load and save paths without touching the disk.
#ifndef TW_FUZZ_MEMORY_FILE_SYSTEM_H
#define TW_FUZZ_MEMORY_FILE_SYSTEM_H

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "config.h"
#include "file_system.h"

namespace twfuzz {

class MemoryFileSystem final : public cfg::FileSystem {
public:
    std::map<std::string, std::string> files;

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
        *temp_path = target + ".tmp" + std::to_string(next_temp_++);
        files[*temp_path];
        file->reset(new Writer(files[*temp_path]));
        return CONFIG_OK;
    }
    int32_t replace(const std::string& from, const std::string& to) override {
        const auto it = files.find(from);
        if (it == files.end()) return CONFIG_E_REPLACE;
        std::string bytes = std::move(it->second);
        files.erase(it);
        files[to] = std::move(bytes);
        return CONFIG_OK;
    }
    int32_t sync_dir(const std::string&) override { return CONFIG_OK; }
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
        explicit Writer(std::string& out) : out_(out) {}
        int32_t append(std::string_view bytes) override {
            out_.append(bytes);
            return CONFIG_OK;
        }
        int32_t sync() override { return CONFIG_OK; }
        int32_t close() override { return CONFIG_OK; }

    private:
        std::string& out_;
    };

    unsigned next_temp_ = 0;
};

}  // namespace twfuzz

#endif
