#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "corvane.h"

namespace {

std::string unique_name(const char* what) { return std::string("corvane_win_") + what + std::to_string(std::random_device()()); }

TEST(GlobalMutex, NamesThatCannotBeOpenedFail) {
    const std::string name = unique_name("event");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, ("Global\\" + name).c_str());
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(init_interprocess_critical_section(name.c_str()), 0u);
    CloseHandle(event);
    // A backslash would make the name a path in the object namespace.
    EXPECT_EQ(init_interprocess_critical_section((name + "\\sub").c_str()), 0u);
}

TEST(GlobalMutex, LivesInTheGlobalNamespaceWithNarrowRights) {
    const std::string name = unique_name("acl");
    const uint32_t lock = init_interprocess_critical_section(name.c_str());
    ASSERT_NE(lock, 0u);
    HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, ("Global\\" + name).c_str());
    ASSERT_NE(mutex, nullptr) << GetLastError();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetSecurityInfo(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd),
              DWORD(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 1);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Mask, DWORD(SYNCHRONIZE | MUTEX_MODIFY_STATE));
    char* sid = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<PSID>(&ace->SidStart), &sid));
    EXPECT_STREQ(sid, "S-1-5-11");  // Authenticated Users
    LocalFree(sid);
    LocalFree(sd);
    CloseHandle(mutex);
    destroy_interprocess_critical_section(lock);
}

TEST(GlobalMutex, AbandonedByAThreadCountsAsAcquired) {
    const std::string name = unique_name("abandon");
    uint32_t abandoned = 0;
    std::thread holder([&] {
        abandoned = init_interprocess_critical_section(name.c_str());
        enter_interprocess_critical_section(abandoned);
    });  // ends holding the mutex
    holder.join();
    ASSERT_NE(abandoned, 0u);
    const uint32_t lock = init_interprocess_critical_section(name.c_str());
    ASSERT_NE(lock, 0u);
    enter_interprocess_critical_section(lock);  // returns: abandoned counts as acquired
    leave_interprocess_critical_section(lock);
    // Held through lock until that leave: another thread gets in now.
    std::thread other([&] {
        const uint32_t again = init_interprocess_critical_section(name.c_str());
        enter_interprocess_critical_section(again);
        leave_interprocess_critical_section(again);
        destroy_interprocess_critical_section(again);
    });
    other.join();
    destroy_interprocess_critical_section(lock);
    destroy_interprocess_critical_section(abandoned);
}

}  // namespace
