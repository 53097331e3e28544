// SPDX-License-Identifier: Apache-2.0
// Opens one attribute file, for tests that open it from many processes at once.
// Usage: schema_host OUT PATH GO
// Waits until the file GO exists (so that all processes start opening together), opens PATH
// and writes "open <code>" to OUT.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "tarnwick.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    while (!std::filesystem::exists(argv[3])) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    AttribMngr* mngr = nullptr;
    const int32_t code = attrib_mngr_init(argv[2], &mngr);
    delete_attribs_mngr(mngr);

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 3;
    std::fprintf(out, "open %d\n", static_cast<int>(code));
    return std::fclose(out) == 0 ? 0 : 4;
}
