// SPDX-License-Identifier: Apache-2.0
// The wait for the opening lock is bounded: a process that keeps the lock makes opening give
// up with ATTRIB_MNGR_LOCK_TIMEOUT, having touched nothing, instead of waiting for ever.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "attribs/handle.h"
#include "child_process.h"
#include "environment.h"
#include "event_log.h"
#include "files.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"

namespace {

// Blocks of the opening's allocator not yet released.
int g_live_blocks = 0;
void* counted_allocate(size_t size) {
    void* block = maw_malloc(size);
    if (block != nullptr) ++g_live_blocks;
    return block;
}
void counted_release(void* block) {
    if (block != nullptr) --g_live_blocks;
    maw_free(block);
}

constexpr uint32_t kShortBoundMs = 2000;

// Starts a keeper of the opening lock; released by release_keeper. Not running when it could
// not start or take the lock.
twtest::Child start_keeper(const twtest::EventLog& log, const std::string& name = "tarnwick_init_IPCS") {
    twtest::Child keeper(twtest::helper_path("ipc_lock_keeper"), {log.path(), name});
    if (keeper.running() && !log.wait_for("keeper-entered", keeper)) keeper.kill();
    return keeper;
}

int release_keeper(const twtest::EventLog& log, twtest::Child& keeper) {
    log.append("keeper-release");
    return keeper.wait();
}

TEST(OpeningLock, GivesUpAfterTheBoundAndTouchesNothing) {
    const struct {
        const char* label;
        bool exists;
    } cases[] = {{"existing file", true}, {"missing file", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const twtest::ScratchDir dir("lock_timeout");
        twtest::EnvGuard env;
        env.use_private_locks();
        const twtest::EventLog log(dir.path("events.log"));
        const std::string attrib_file = dir.path("agent.cfg");
        const std::string before = "[Agent]\nServerMachine=kept\n";
        if (c.exists) twtest::write_file(attrib_file, before);

        twtest::Child keeper = start_keeper(log);
        ASSERT_TRUE(keeper.running());
        g_live_blocks = 0;  // delete_attribs_mngr releases through maw_free, uncounted
        AttribMngr* const untouched = reinterpret_cast<AttribMngr*>(&g_live_blocks);
        AttribMngr* mngr = untouched;
        const tw::Allocator counting{counted_allocate, counted_release};
        const auto start = std::chrono::steady_clock::now();
        const int32_t rc = tw::open_attrib_mngr(attrib_file.c_str(), &mngr, counting, kShortBoundMs);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(release_keeper(log, keeper), 0);

        EXPECT_EQ(rc, ATTRIB_MNGR_LOCK_TIMEOUT);
        EXPECT_EQ(mngr, untouched);
        EXPECT_EQ(g_live_blocks, 0);
        // It did wait for the lock rather than fail at once.
        EXPECT_GE(waited, std::chrono::milliseconds(kShortBoundMs));
        bool exists = false;
        const std::string after = twtest::read_file(attrib_file, &exists);
        EXPECT_EQ(exists, c.exists);
        if (c.exists) {
            EXPECT_EQ(after, before);
        }

        // Once the keeper has gone, the same opening goes through (with the usual bound: other
        // tests may take the opening lock meanwhile where locks are not private to a test).
        ASSERT_EQ(tw::open_attrib_mngr(attrib_file.c_str(), &mngr, counting), ATTRIB_MNGR_OK);
        delete_attribs_mngr(mngr);
    }
}

TEST(BoundedEnter, TakesAFreeLockAndGivesUpOnAKeptOne) {
    const twtest::ScratchDir dir("bounded_enter");
    twtest::EnvGuard env;
    env.use_private_locks();
    const twtest::EventLog log(dir.path("events.log"));
    // A name of this test's own: nothing else ever takes it.
    const std::string name = "tarnwick_test_bounded_" + std::to_string(reinterpret_cast<uintptr_t>(&dir));
    const uint32_t lock = init_interprocess_critical_section(name.c_str());
    ASSERT_NE(lock, 0u);

    twtest::Child keeper = start_keeper(log, name);
    ASSERT_TRUE(keeper.running());
    EXPECT_EQ(try_enter_interprocess_critical_section(lock, 0), 0);
    EXPECT_EQ(try_enter_interprocess_critical_section(lock, 300), 0);
    EXPECT_EQ(release_keeper(log, keeper), 0);

    ASSERT_EQ(try_enter_interprocess_critical_section(lock, 0), 1);
    // Held: a second bounded enter nests, and each needs its leave.
    EXPECT_EQ(try_enter_interprocess_critical_section(lock, 0), 1);
    leave_interprocess_critical_section(lock);
    leave_interprocess_critical_section(lock);
    EXPECT_EQ(try_enter_interprocess_critical_section(0, 0), 0);
    destroy_interprocess_critical_section(lock);
    EXPECT_EQ(try_enter_interprocess_critical_section(lock, 0), 0);  // stale handle
}

}  // namespace
