// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "library_references.h"

int release_library(const char* path) {
    int references = 0;
    for (HMODULE h; references < 100 && (h = GetModuleHandleA(path)) != nullptr; ++references) FreeLibrary(h);
    return references;
}
