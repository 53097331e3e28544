// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "faults.h"
#include "support.h"
#include "tarnwick/kv_exp.h"
#include "tarnwick/kv_exp_exceptions.h"

namespace {

uint32_t low32(volatile int* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

struct Fault {
    const char* what;
    void (*run)();
    volatile int* address;
};

volatile int* page() {
    static volatile int* const p = support::no_access_page();
    return p;
}

const Fault kFaults[] = {
    {"write through null", [] { write_to(null_pointer()); }, nullptr},
    {"write to a no-access page", [] { write_to(page() + 2); }, page() + 2},
    {"read from a no-access page", [] { read_from(page() + 5); }, page() + 5},
    {"write in the guarded function itself", [] { *(page() + 1) = 7; }, page() + 1},
};

TEST(Guard, FaultArrivesAsSystemException) {
    ASSERT_NE(page(), nullptr);
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(f.what);
        bool caught = false;
        try {
            CKvOsToCppExp guard;
            f.run();
        } catch (CKvSystemException& e) {
            caught = true;
            EXPECT_EQ(e.Code(), support::access_violation_code());
            EXPECT_EQ(e.Address(), low32(f.address));
        }
        EXPECT_TRUE(caught);
    }
}

TEST(Guard, FaultArrivesAsTheBaseClass) {
    try {
        CKvOsToCppExp guard;
        write_to(null_pointer());
        FAIL() << "no exception";
    } catch (CKvBaseException& e) {
        EXPECT_STREQ(*e, "CKvSystemException: operating-system fault");
        EXPECT_NE(dynamic_cast<CKvSystemException*>(&e), nullptr);
    }
}

struct Cleanup {
    int& runs;
    ~Cleanup() { ++runs; }
};

[[gnu::noinline]] void fault_with_cleanup(int& runs) {
    Cleanup cleanup{runs};
    write_to(page());
}

[[gnu::noinline]] void fault_in_own_frame_with_cleanup(int& runs) {
    Cleanup cleanup{runs};
    *page() = 3;
}

[[gnu::noinline]] void no_op() { asm volatile(""); }

// The faulting store is the first instruction covered by the cleanup, right after a call that is
// not: the unwinder must attribute the fault to the store itself, not to the byte before it.
[[gnu::noinline]] void fault_first_under_cleanup(int& runs) {
    volatile int* p = page();
    no_op();
    Cleanup cleanup{runs};
    *p = 1;
}

TEST(Guard, DestructorsBetweenFaultAndCatchRun) {
    for (auto* fault : {&fault_with_cleanup, &fault_in_own_frame_with_cleanup, &fault_first_under_cleanup}) {
        int runs = 0;
        try {
            CKvOsToCppExp guard;
            fault(runs);
        } catch (CKvSystemException&) {
        }
        EXPECT_EQ(runs, 1);
    }
}

TEST(Guard, NestedGuardsKeepTranslatingUntilTheOutermostCloses) {
    int caught = 0;
    try {
        CKvOsToCppExp outer;
        try {
            CKvOsToCppExp inner;
            write_to(null_pointer());
        } catch (CKvSystemException&) {
            ++caught;
        }
        // The inner guard is gone; the outer one still translates.
        write_to(page());
    } catch (CKvSystemException& e) {
        ++caught;
        EXPECT_EQ(e.Address(), low32(page()));
    }
    EXPECT_EQ(caught, 2);
    // And the same thread can fault again under a fresh guard.
    EXPECT_THROW(
        {
            CKvOsToCppExp guard;
            read_from(page());
        },
        CKvSystemException);
}

TEST(Guard, ThreadsTranslateTheirOwnFaults) {
    std::atomic<int> caught{0};
    constexpr int kThreads = 4, kRounds = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                try {
                    CKvOsToCppExp guard;
                    write_to(page() + i);
                } catch (CKvSystemException&) {
                    ++caught;
                }
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(caught.load(), kThreads * kRounds);
}

TEST(Guard, OutsideAGuardFaultsBehaveAsWithoutIt) {
    struct Case {
        const char* mode;
        int exit_code;
    };
    const Case cases[] = {
        {"caught", 0},
        {"outside", support::killed_by_access_violation()},
        {"after-unwind", support::killed_by_access_violation()},
        {"other-thread", support::killed_by_access_violation()},
        {"chained", 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        twtest::Child child(twtest::helper_path("kv_exp_fault_helper"), {c.mode});
        ASSERT_TRUE(child.running());
        EXPECT_EQ(child.wait(), c.exit_code);
    }
}

}  // namespace
