// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "faults.h"
#include "tarnwick/kv_exp.h"
#include "tarnwick/kv_exp_exceptions.h"

namespace {

TEST(GuardPosix, BusErrorArrivesAsSystemException) {
    // A mapping past the end of its file raises SIGBUS when touched.
    char path[] = "/tmp/kv_exp_bus_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    void* map = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    ASSERT_NE(map, MAP_FAILED);
    try {
        CKvOsToCppExp guard;
        write_to(static_cast<volatile int*>(map));
        ADD_FAILURE() << "no exception";
    } catch (CKvSystemException& e) {
        EXPECT_EQ(e.Code(), uint32_t(SIGBUS));
        EXPECT_EQ(e.Address(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(map)));
    }
    munmap(map, 4096);
}

TEST(GuardPosixDeathTest, ASentSignalIsNotTranslated) {
    // Only a fault of the guarded thread's own instruction becomes an exception.
    EXPECT_EXIT(
        {
            try {
                CKvOsToCppExp guard;
                raise(SIGSEGV);
            } catch (...) {
                std::_Exit(0);
            }
            std::_Exit(1);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
}

}  // namespace
