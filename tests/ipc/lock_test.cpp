#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "event_log.h"
#include "ipc/interprocess_lock.h"
#include "process.h"
#include "tarnwick.h"
#include "temp_dir.h"

namespace {

TEST(InterprocException, KeepsItsMessageWithinTheArray) {
    const std::string longest(CInterprocException::kMessageSize - 1, 'm');
    const std::string mutex_message = "init_interprocess_critical_section: Unable to create mutex";
    const std::string one_over = longest + "x";
    const std::string far_over = longest + std::string(600, 'y');
    const struct {
        const char* message;
        std::string expected;
    } cases[] = {
        {nullptr, ""},
        {"", ""},
        {mutex_message.c_str(), mutex_message},
        {longest.c_str(), longest},
        {one_over.c_str(), longest},
        {far_over.c_str(), longest},
    };
    for (const auto& c : cases) {
        CInterprocException e(c.message);
        EXPECT_EQ(std::string(e.Message()), c.expected);
        EXPECT_EQ(std::string(*e), c.expected);
    }
}

TEST(InterprocException, CopiesAreIndependent) {
    CInterprocException original("first");
    CInterprocException copy(original);
    CInterprocException assigned("other");
    assigned = original;
    original.Message()[0] = 'F';
    EXPECT_STREQ(copy.Message(), "first");
    EXPECT_STREQ(assigned.Message(), "first");
    EXPECT_STREQ(original.Message(), "First");
}

TEST(InterprocException, CaughtByItsBaseWithTheText) {
    try {
        throw CInterprocException("thrown by value");
    } catch (CKvBaseException& e) {
        EXPECT_NE(dynamic_cast<CInterprocException*>(&e), nullptr);
        EXPECT_STREQ(*e, "thrown by value");
    }
}

TEST(InterProcessCriticalSection, RefusesAMissingName) {
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        try {
            tw::CInterProcessCriticalSection lock(name);
            ADD_FAILURE() << "constructed without a name";
        } catch (CKvBaseException& e) {
            EXPECT_NE(dynamic_cast<CInterprocException*>(&e), nullptr);
            EXPECT_STREQ(*e, "CInterProcessCriticalSection: requires a name");
        }
    }
}

TEST(InterProcessCriticalSection, EntersAgainAfterLeavingAndDestroysOnce) {
    twtest::TempDir dir;
    twtest::use_private_locks(dir.path());
    tw::CInterProcessCriticalSection lock("tarnwick_test_reentry");
    for (int i = 0; i < 3; ++i) {
        lock.Enter();
        lock.Leave();
    }
    lock.Destroy();
    lock.Destroy();  // and the destructor a third time
}

// The opener blocks in attrib_mngr_init while another process holds the lock: the holder sees
// no file while it holds the lock, and the open completes only after the holder leaves.
TEST(OpeningLock, WaitsWhileAnotherProcessHoldsIt) {
    twtest::TempDir dir;
    twtest::use_private_locks(dir.path());
    const std::string log = dir.file("events.log");
    const std::string attrib_file = dir.file("agent.cfg");

    const long long holder = twtest::spawn_helper("ipc_lock_holder", {log, attrib_file});
    ASSERT_NE(holder, -1);
    ASSERT_TRUE(twtest::await_event(log, "holder-entered"));
    twtest::append_event(log, "opener-calling");
    AttribMngr* mngr = nullptr;
    const int32_t rc = attrib_mngr_init(attrib_file.c_str(), &mngr);
    twtest::append_event(log, "opener-opened");
    EXPECT_EQ(twtest::wait_helper(holder), 0);

    EXPECT_EQ(rc, ATTRIB_MNGR_OK);
    EXPECT_NE(mngr, nullptr);
    delete_attribs_mngr(mngr);
    const std::vector<std::string> expected = {"holder-entered", "opener-calling", "holder-saw-no-file",
                                               "holder-leaving", "opener-opened"};
    EXPECT_EQ(twtest::read_events(log), expected);
}

}  // namespace
