#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace twtest {

EnvGuard::~EnvGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        set_env(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
}

void EnvGuard::remember(const char* name) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
}

void EnvGuard::set(const char* name, const char* value) {
    remember(name);
    set_env(name, value);
}

fs::path make_temp_dir(const std::string& tag) {
    static std::atomic<int> counter{0};
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        const fs::path dir = base / ("tw-" + tag + "-" + std::to_string(current_process_id()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(dir, ec)) return dir;
        if (ec) {
            ADD_FAILURE() << "cannot create " << dir << ": " << ec.message();
            return dir;
        }
    }
}

std::string read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) ADD_FAILURE() << "cannot write " << file;
}

}  // namespace twtest
