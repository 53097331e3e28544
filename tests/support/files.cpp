// SPDX-License-Identifier: Apache-2.0
#include "files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "child_process.h"

namespace twtest {

ScratchDir::ScratchDir(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path dir =
            base / ("tw-" + tag + "-" + std::to_string(current_process_id()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(dir, ec)) {
            dir_ = dir;
            return;
        }
        // Left behind by an earlier process of the same id: try the next name.
        if (!fs::exists(dir, ec)) break;
    }
    throw std::runtime_error("cannot create a scratch directory under " + base.string());
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
}

std::vector<std::string> ScratchDir::names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string read_file(const fs::path& file, bool* exists) {
    std::ifstream in(file, std::ios::binary);
    if (exists != nullptr) *exists = static_cast<bool>(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) ADD_FAILURE() << "cannot write " << file;
    return static_cast<bool>(out);
}

}  // namespace twtest
