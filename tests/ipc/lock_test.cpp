// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "child_process.h"
#include "environment.h"
#include "event_log.h"
#include "files.h"
#include "ipc/interprocess_lock.h"
#include "tarnwick.h"

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

TEST(InterprocException, NewOutOfMemoryThrowsRatherThanReturningNull) {
    volatile size_t too_much = SIZE_MAX;
    EXPECT_THROW(MNew::operator new(too_much), std::bad_alloc);
    void* block = MNew::operator new(sizeof(CInterprocException));
    EXPECT_NE(block, nullptr);
    MNew::operator delete(block);
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
    twtest::ScratchDir dir;
    twtest::EnvGuard env;
    env.use_private_locks();
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
    twtest::ScratchDir dir;
    twtest::EnvGuard env;
    env.use_private_locks();
    const twtest::EventLog log(dir.path("events.log"));
    const std::string attrib_file = dir.path("agent.cfg");

    twtest::Child holder(twtest::helper_path("ipc_lock_holder"), {log.path(), attrib_file});
    ASSERT_TRUE(holder.running());
    ASSERT_TRUE(log.wait_for("holder-entered", holder));
    log.append("opener-calling");
    AttribMngr* mngr = nullptr;
    const int32_t rc = attrib_mngr_init(attrib_file.c_str(), &mngr);
    log.append("opener-opened");
    EXPECT_EQ(holder.wait(), 0);

    EXPECT_EQ(rc, ATTRIB_MNGR_OK);
    EXPECT_NE(mngr, nullptr);
    delete_attribs_mngr(mngr);
    const std::vector<std::string> expected = {"holder-entered", "opener-calling", "holder-saw-no-file",
                                               "holder-leaving", "opener-opened"};
    EXPECT_EQ(log.events(), expected);
}

}  // namespace
