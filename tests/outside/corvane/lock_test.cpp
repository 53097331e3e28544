// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/corvane.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "environment.h"
#include "event_log.h"
#include "files.h"

using twtest::Child;
using twtest::EventLog;
using Events = std::vector<std::string>;

namespace {

class Lock : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string unique = std::to_string(std::random_device()()) + "_" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        env_.use_private_locks();
        name_ = "corvane_test_" + unique;
        log_ = std::make_unique<EventLog>(dir_.path("events.log"));
        log_->clear();
    }

    std::unique_ptr<Child> helper(const char* mode) {
        auto child = std::make_unique<Child>(twtest::helper_path("corvane_lock_helper"),
                                             std::vector<std::string>{mode, name_, log_->path()});
        EXPECT_TRUE(child->running());
        return child;
    }

    // With the lock held by this process: a helper that tries to enter must wait until we leave.
    // The events say who went first; leave is what the caller passes to let go.
    template <typename Leave>
    void expect_helper_waits_for(Leave leave) {
        auto child = helper("enter");
        ASSERT_TRUE(log_->wait_for("waiting", *child));
        // A faulty lock gets time to let the helper in; a sound one passes whatever the timing.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        log_->append("leaving");
        leave();
        EXPECT_EQ(child->wait(), 0);
        EXPECT_EQ(log_->events(), (Events{"waiting", "leaving", "entered"}));
    }

    twtest::ScratchDir dir_{"corvane"};
    twtest::EnvGuard env_;
    std::string name_;
    std::unique_ptr<EventLog> log_;
};

TEST_F(Lock, AnotherProcessWaitsUntilTheHolderLeaves) {
    const uint32_t lock = init_interprocess_critical_section(name_.c_str());
    ASSERT_NE(lock, 0u);
    enter_interprocess_critical_section(lock);
    expect_helper_waits_for([&] { leave_interprocess_critical_section(lock); });
    destroy_interprocess_critical_section(lock);
}

TEST_F(Lock, AKilledHolderReleasesTheLock) {
    auto holder = helper("hold");
    ASSERT_TRUE(log_->wait_for("held", *holder));
    auto waiter = helper("enter");
    ASSERT_TRUE(log_->wait_for("waiting", *waiter));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    log_->append("killing");
    holder->kill();
    holder->wait();
    EXPECT_EQ(waiter->wait(), 0);
    EXPECT_EQ(log_->events(), (Events{"held", "waiting", "killing", "entered"}));
}

TEST_F(Lock, AHolderEndingWithoutLeavingReleasesTheLock) {
    auto holder = helper("exit-holding");
    EXPECT_EQ(holder->wait(), 0);
    ASSERT_EQ(log_->events(), (Events{"held"}));
    const uint32_t lock = init_interprocess_critical_section(name_.c_str());
    ASSERT_NE(lock, 0u);
    enter_interprocess_critical_section(lock);  // returns: the lock is free (abandoned on Windows)
    leave_interprocess_critical_section(lock);
    // And the leave let it go: another process gets in.
    EXPECT_EQ(helper("enter")->wait(), 0);
    destroy_interprocess_critical_section(lock);
}

TEST_F(Lock, ThreadsOfOneProcessExcludeEachOther) {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    int total = 0;  // guarded by the lock only
    constexpr int kRounds = 300;
    auto work = [&] {
        const uint32_t lock = init_interprocess_critical_section(name_.c_str());
        ASSERT_NE(lock, 0u);
        for (int i = 0; i < kRounds; ++i) {
            enter_interprocess_critical_section(lock);
            if (inside.fetch_add(1) != 0) ++overlaps;
            const int seen = total;
            std::this_thread::yield();
            total = seen + 1;
            inside.fetch_sub(1);
            leave_interprocess_critical_section(lock);
        }
        destroy_interprocess_critical_section(lock);
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(total, 2 * kRounds);
}

TEST_F(Lock, EnteringTwiceNestsUntilTheSecondLeave) {
    const uint32_t lock = init_interprocess_critical_section(name_.c_str());
    ASSERT_NE(lock, 0u);
    enter_interprocess_critical_section(lock);
    enter_interprocess_critical_section(lock);
    leave_interprocess_critical_section(lock);
    expect_helper_waits_for([&] { leave_interprocess_critical_section(lock); });
    destroy_interprocess_critical_section(lock);
}

TEST_F(Lock, DestroyingAHeldLockReleasesIt) {
    const uint32_t lock = init_interprocess_critical_section(name_.c_str());
    ASSERT_NE(lock, 0u);
    enter_interprocess_critical_section(lock);
    expect_helper_waits_for([&] { destroy_interprocess_critical_section(lock); });
}

TEST_F(Lock, StaleZeroAndForeignHandlesDoNothing) {
    EXPECT_EQ(init_interprocess_critical_section(nullptr), 0u);
    EXPECT_EQ(init_interprocess_critical_section(""), 0u);
    const uint32_t stale = init_interprocess_critical_section(name_.c_str());
    ASSERT_NE(stale, 0u);
    destroy_interprocess_critical_section(stale);
    // The freed slot is taken again; the old handle must not reach the new lock.
    const uint32_t lock = init_interprocess_critical_section(name_.c_str());
    ASSERT_NE(lock, 0u);
    EXPECT_NE(lock, stale);
    enter_interprocess_critical_section(lock);
    for (const uint32_t bad : {stale, 0u, 0xFFFFFFFFu, lock ^ 0x80000000u, lock + 1}) {
        enter_interprocess_critical_section(bad);
        leave_interprocess_critical_section(bad);
        destroy_interprocess_critical_section(bad);
    }
    // Still held through lock, and only through it.
    expect_helper_waits_for([&] { leave_interprocess_critical_section(lock); });
    destroy_interprocess_critical_section(lock);
    destroy_interprocess_critical_section(lock);  // twice: harmless
}

// A handle's generation has 20 bits: a slot freed and taken again 2^20 times must not give
// back a handle someone may still hold for its first lock.
TEST_F(Lock, AHandleIsNeverGivenOutTwice) {
    const uint32_t first = init_interprocess_critical_section(name_.c_str());
    ASSERT_NE(first, 0u);
    destroy_interprocess_critical_section(first);
    uint32_t repeats = 0;
    for (uint32_t i = 0; i <= (1u << 20); ++i) {
        const uint32_t again = init_interprocess_critical_section(name_.c_str());
        ASSERT_NE(again, 0u);
        repeats += again == first;
        destroy_interprocess_critical_section(again);
    }
    EXPECT_EQ(repeats, 0u);
}

}  // namespace
