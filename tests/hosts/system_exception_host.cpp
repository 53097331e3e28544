// SPDX-License-Identifier: Apache-2.0
// A host that turns an access violation into a C++ exception with kv_exp's guard and
// catches it as the CKvSystemException declared by tarnwick, and as its base.
#include <cstdio>
#include <cstring>

#include "tarnwick.h"

static int failures = 0;

static void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

// Writes through an address that is never mapped. Kept out of line so that the fault is
// raised in a frame of its own, which the unwinder steps out of; the sanitizers let it through.
__attribute__((noinline, no_sanitize("undefined", "address"))) static void fault(volatile int* where) { *where = 1; }

int main() {
    // Loaded at run time, so the compiler cannot see that it is null.
    volatile int* volatile nowhere = nullptr;

    bool caught = false;
    try {
        CKvOsToCppExp guard;
        fault(nowhere);
    } catch (CKvSystemException& e) {
        caught = true;
        check(e.Code() != 0, "the fault's code is recorded");
        check(*e != nullptr && std::strlen(*e) > 0, "the exception has a message");
    }
    check(caught, "caught as CKvSystemException");

    caught = false;
    try {
        CKvOsToCppExp guard;
        fault(nowhere);
    } catch (CKvBaseException& e) {
        caught = dynamic_cast<CKvSystemException*>(&e) != nullptr;
    }
    check(caught, "caught as CKvBaseException");

    if (failures == 0) std::printf("all checks passed\n");
    return failures == 0 ? 0 : 1;
}
