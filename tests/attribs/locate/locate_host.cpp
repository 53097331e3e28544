// A host of the attribute library for tests that need their own process and installation
// layout. Usage: locate_host OUT [PATH]
// Asks the path query, then opens (PATH, or a null path when absent) and writes to OUT:
//   query <code> <path>
//   open <code> <path>
#include <cstdio>
#include <vector>

#include "tarnwick.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 3;

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
