// SPDX-License-Identifier: Apache-2.0
// Windows asks the memory manager whether a value can be read: unreadable input is refused,
// never read.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "files.h"
#include "scramble/scramble.h"
#include "scramble/scramble_codec.h"
#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

// Two pages: the first readable and full of 'a' without a terminator, the second no access.
class UnreadableMemory : public ::testing::Test {
protected:
    void SetUp() override {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE, PAGE_NOACCESS));
        ASSERT_NE(base_, nullptr);
        ASSERT_NE(VirtualAlloc(base_, page_, MEM_COMMIT, PAGE_READWRITE), nullptr);
        std::memset(base_, 'a', page_);
    }
    void TearDown() override { VirtualFree(base_, 0, MEM_RELEASE); }

    const char* unterminated() const { return base_; }
    const char* no_access() const { return base_ + page_; }

    char* base_ = nullptr;
    size_t page_ = 0;
};

TEST_F(UnreadableMemory, CodecRefusesIt) {
    EXPECT_EQ(tw::scramble_value(unterminated(), -1), nullptr);
    EXPECT_EQ(tw::scramble_value(no_access(), -1), nullptr);
    EXPECT_EQ(tw::scramble_value(no_access(), 4), nullptr);
    EXPECT_EQ(tw::scramble_value(unterminated() + page_ - 2, 4), nullptr);
    int32_t length = -1;
    EXPECT_EQ(tw::unscramble_value(no_access(), &length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(tw::unscramble_value(unterminated(), &length), nullptr);

    char* readable = tw::scramble_value(unterminated() + page_ - 2, 2);
    ASSERT_NE(readable, nullptr);
    EXPECT_EQ(std::strlen(readable), 12u);
    maw_free(readable);
}

TEST_F(UnreadableMemory, ScrambledSetFailsAndLeavesTheStoreAlone) {
    const twtest::ScratchDir dir("unreadable");
    const std::string path = dir.path("agent.cfg");
    const config_handle cfg = new_config();
    ASSERT_NE(cfg, 0u);
    ASSERT_EQ(config_add_ini_new_file_source(cfg, path.c_str()), CONFIG_OK);
    EXPECT_EQ(tw::set_scrambled_attrib(cfg, path.c_str(), "Security", "Password", no_access()),
              ATTRIB_MNGR_SCRAMBLE_FAILED);
    EXPECT_EQ(config_get_attrib(cfg, "Password"), nullptr);
    EXPECT_EQ(config_get_attrib(cfg, "PasswordEncrypted"), nullptr);
    delete_config(cfg);
}

}  // namespace
