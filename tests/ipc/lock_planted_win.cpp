// SPDX-License-Identifier: Apache-2.0
// The opening lock against objects a squatter makes first, each with an access list that
// denies everyone else. Under Wine every process runs as one user, so the squatter is this
// test; the access lists are what another user's would be.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "attribs/handle.h"
#include "environment.h"
#include "files.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"

namespace {

// Grants nothing and denies everything to Everyone.
constexpr char kDenyEveryone[] = "D:P(D;;GA;;;WD)";

class SquattedLock : public ::testing::Test {
protected:
    void SetUp() override {
        env_.use_private_locks();
        name_ = *twtest::get_env("CORVANE_LOCK_PREFIX") + tw::kInitLockName;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(kDenyEveryone, SDDL_REVISION_1, &deny_, nullptr));
    }
    void TearDown() override { LocalFree(deny_); }

    int32_t open(uint32_t bound_ms = tw::kInitLockTimeoutMs) {
        AttribMngr* mngr = nullptr;
        const int32_t rc = tw::open_attrib_mngr(file_.c_str(), &mngr, {maw_malloc, maw_free}, bound_ms);
        delete_attribs_mngr(mngr);
        return rc;
    }

    twtest::ScratchDir dir_{"squatted_lock"};
    const std::string file_ = dir_.path("agent.cfg");
    twtest::EnvGuard env_;
    std::string name_;
    PSECURITY_DESCRIPTOR deny_ = nullptr;
};

TEST_F(SquattedLock, ObjectsUnderTheLocksNameDoNotStopTheOpening) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, deny_, FALSE};
    const std::string global = "Global\\" + name_;
    const struct {
        const char* label;
        HANDLE object;
    } cases[] = {
        {"a Global mutex", CreateMutexA(&attributes, TRUE, global.c_str())},
        {"a Global event", CreateEventA(&attributes, TRUE, FALSE, (global + "_event").c_str())},
        {"a Local mutex", CreateMutexA(&attributes, TRUE, ("Local\\" + name_).c_str())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_NE(c.object, nullptr) << GetLastError();
        EXPECT_EQ(open(), ATTRIB_MNGR_OK);
        CloseHandle(c.object);
    }
}

TEST_F(SquattedLock, ASquattersPipeHoldsTheLockOnlyUntilItIsClosed) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, deny_, FALSE};
    const HANDLE pipe = CreateNamedPipeA(("\\\\.\\pipe\\corvane-" + name_).c_str(),
                                         PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 0, 0, 0, &attributes);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(open(300), ATTRIB_MNGR_LOCK_TIMEOUT);
    bool exists = true;
    twtest::read_file(file_, &exists);
    EXPECT_FALSE(exists);
    CloseHandle(pipe);
    EXPECT_EQ(open(), ATTRIB_MNGR_OK);
}

}  // namespace
