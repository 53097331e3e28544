// SPDX-License-Identifier: Apache-2.0
// A host of the attribute library for tests that need their own process and installation
// layout. Usage: locate_host OUT [PATH]
// Asks the path query, then opens (PATH, or a null path when absent) and writes to OUT:
//   query <code> <path>
//   open <code> <path>
// locate_host OUT --resolver-references LIBRARY: opens with a null path three times, then writes
//   references <how many references the process held on the resolver LIBRARY>
#include <cstdio>
#include <cstring>
#include <vector>

#include "library_references.h"
#include "tarnwick.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 3;
    if (argc == 4 && std::strcmp(argv[2], "--resolver-references") == 0) {
        for (int i = 0; i < 3; ++i) {
            AttribMngr* mngr = nullptr;
            if (attrib_mngr_init(nullptr, &mngr) != ATTRIB_MNGR_OK) return 5;
            delete_attribs_mngr(mngr);
        }
        std::fprintf(out, "references %d\n", release_library(argv[3]));
        return std::fclose(out) == 0 ? 0 : 4;
    }

    int32_t size = 0;
    int32_t code = attrib_mngr_get_null_filename(nullptr, &size);
    std::vector<char> path(code == ATTRIB_MNGR_BUFFER_TOO_SMALL ? static_cast<size_t>(size) : 1, '\0');
    if (code == ATTRIB_MNGR_BUFFER_TOO_SMALL) code = attrib_mngr_get_null_filename(path.data(), &size);
    std::fprintf(out, "query %d %s\n", static_cast<int>(code), code == ATTRIB_MNGR_OK ? path.data() : "");

    AttribMngr* mngr = nullptr;
    code = attrib_mngr_init(argc > 2 ? argv[2] : nullptr, &mngr);
    std::fprintf(out, "open %d %s\n", static_cast<int>(code), code == ATTRIB_MNGR_OK ? attrib_mngr_get_filename(mngr) : "");
    delete_attribs_mngr(mngr);
    return std::fclose(out) == 0 ? 0 : 4;
}
