// The wait for the opening lock is bounded: a process that keeps the lock makes opening give
// up with ATTRIB_MNGR_LOCK_TIMEOUT, having touched nothing, instead of waiting for ever.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "attribs/handle.h"
#include "corvane.h"
#include "event_log.h"
#include "process.h"
#include "tarnwick.h"
#include "temp_dir.h"

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

// Starts a keeper of the opening lock; released by release_keeper.
long long start_keeper(const std::string& log, const std::string& name = "tarnwick_init_IPCS") {
    const long long keeper = twtest::spawn_helper("ipc_lock_keeper", {log, name});
    if (keeper != -1 && !twtest::await_event(log, "keeper-entered")) return -1;
    return keeper;
}

int release_keeper(const std::string& log, long long keeper) {
    twtest::append_event(log, "keeper-release");
    return twtest::wait_helper(keeper);
}

TEST(OpeningLock, GivesUpAfterTheBoundAndTouchesNothing) {
    const struct {
        const char* label;
        bool exists;
    } cases[] = {{"existing file", true}, {"missing file", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        twtest::TempDir dir;
        twtest::use_private_locks(dir.path());
        const std::string log = dir.file("events.log");
        const std::string attrib_file = dir.file("agent.cfg");
        const std::string before = "[Agent]\nServerMachine=kept\n";
        if (c.exists) twtest::write_file(attrib_file, before);

        const long long keeper = start_keeper(log);
        ASSERT_NE(keeper, -1);
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
    twtest::TempDir dir;
    twtest::use_private_locks(dir.path());
    const std::string log = dir.file("events.log");
    // A name of this test's own: nothing else ever takes it.
    const std::string name = "tarnwick_test_bounded_" + std::to_string(reinterpret_cast<uintptr_t>(&dir));
    const uint32_t lock = init_interprocess_critical_section(name.c_str());
    ASSERT_NE(lock, 0u);

    const long long keeper = start_keeper(log, name);
    ASSERT_NE(keeper, -1);
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
