/* SPDX-License-Identifier: Apache-2.0 */
// A failed property in a fuzz target: say which and abort, so that libFuzzer keeps the input.
#ifndef TW_FUZZ_CHECK_H
#define TW_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

namespace twfuzz {

inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

}  // namespace twfuzz

#endif
