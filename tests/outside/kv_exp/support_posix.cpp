// SPDX-License-Identifier: Apache-2.0
#include "support.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace support {

namespace {
int g_exit_code = 0;
void exit_now(int) { _exit(g_exit_code); }
}  // namespace

volatile int* no_access_page() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return page == MAP_FAILED ? nullptr : static_cast<volatile int*>(page);
}

uint32_t access_violation_code() { return SIGSEGV; }

int killed_by_access_violation() { return 128 + SIGSEGV; }

void exit_on_fault(int exit_code) {
    g_exit_code = exit_code;
    struct sigaction action = {};
    action.sa_handler = exit_now;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
}

void prepare_to_crash() {}

}  // namespace support
