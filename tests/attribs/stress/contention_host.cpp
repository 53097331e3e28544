// SPDX-License-Identifier: Apache-2.0
// One of many processes that open, change and save the same attribute file at once.
// Usage: contention_host OUT PATH GO ID ROUNDS
// Waits until GO exists, then ROUNDS times: when ID is a multiple of 4, every tenth round
// first removes the file (under the opening lock, as no host may remove a file another is
// opening); opens PATH, sets [Load] P<ID> to the round, saves, closes, and checks the file.
// Writes "ok" to OUT, or the first failure.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "file_check.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"

namespace {

std::string run(const std::string& path, int id, int rounds) {
    const std::string key = "P" + std::to_string(id);
    for (int round = 0; round < rounds; ++round) {
        const std::string at = "round " + std::to_string(round) + ": ";
        if (id % 4 == 0 && round % 10 == 5) {
            const uint32_t lock = init_interprocess_critical_section("tarnwick_init_IPCS");
            if (lock == 0) return at + "no lock";
            enter_interprocess_critical_section(lock);
            std::error_code ec;
            std::filesystem::remove(path, ec);
            leave_interprocess_critical_section(lock);
            destroy_interprocess_critical_section(lock);
        }
        AttribMngr* mngr = nullptr;
        int32_t rc = attrib_mngr_init(path.c_str(), &mngr);
        if (rc != 0) return at + "init " + std::to_string(rc);
        rc = attrib_mngr_set_attrib(mngr, "Load", key.c_str(), std::to_string(round).c_str(), 0);
        if (rc == 0) rc = attrib_mngr_save_attribs(mngr);
        delete_attribs_mngr(mngr);
        if (rc != 0) return at + "set or save " + std::to_string(rc);
        const std::string problem = twload::check_attrib_file(path);
        if (!problem.empty() && problem != "missing") return at + problem;
    }
    return "ok";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    while (!std::filesystem::exists(argv[3])) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string result = run(argv[2], std::stoi(argv[4]), std::stoi(argv[5]));
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 3;
    std::fprintf(out, "%s\n", result.c_str());
    return std::fclose(out) == 0 ? 0 : 4;
}
