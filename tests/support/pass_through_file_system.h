/* SPDX-License-Identifier: Apache-2.0 */
// A file system that passes every call on to the operating system's. Tests derive from it
// and override the calls they watch (counting, recording modes), calling os() themselves.
#ifndef TARNWICK_TESTS_SUPPORT_PASS_THROUGH_FILE_SYSTEM_H
#define TARNWICK_TESTS_SUPPORT_PASS_THROUGH_FILE_SYSTEM_H

#include <memory>
#include <string>

#include "file_system.h"

namespace twtest {

class PassThroughFileSystem : public cfg::FileSystem {
public:
    int32_t open_for_read(const std::string& path, std::unique_ptr<cfg::ReadableFile>* file) override {
        return os().open_for_read(path, file);
    }
    int32_t probe(const std::string& path) override { return os().probe(path); }
    int32_t resolve_links(const std::string& path, std::string* target) override {
        return os().resolve_links(path, target);
    }
    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<cfg::WritableFile>* file) override {
        return os().create_temp(target, temp_path, file);
    }
    int32_t replace(const std::string& from, const std::string& to) override { return os().replace(from, to); }
    int32_t sync_dir(const std::string& path) override { return os().sync_dir(path); }
    int32_t remove(const std::string& path) override { return os().remove(path); }
    int32_t stamp(const std::string& path, cfg::FileStamp* stamp) override { return os().stamp(path, stamp); }

protected:
    static cfg::FileSystem& os() { return cfg::os_file_system(); }
};

}  // namespace twtest

#endif
