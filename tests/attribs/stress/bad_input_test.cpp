// SPDX-License-Identifier: Apache-2.0
// Bad input at every entry point: odd sizes, names and values the file cannot hold, huge
// values, files that are noise, directories, unreadable or read-only, and paths and
// environment values longer than any buffer. Each call answers with a code or a clean result,
// and nothing on disk is lost.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "environment.h"
#include "file_check.h"
#include "file_locks.h"
#include "files.h"
#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

namespace fs = std::filesystem;
using twtest::read_file;
using twtest::write_file;

class BadInput : public ::testing::Test {
protected:
    std::string file(const char* name) const { return (root_ / name).string(); }

    twtest::ScratchDir scratch_{"bad_input"};
    const fs::path root_ = scratch_.dir();
};

TEST_F(BadInput, SizesOfTheCallersBuffer) {
    const std::string path = file("agent.cfg");
    AttribMngr* mngr = nullptr;
    ASSERT_EQ(attrib_mngr_init(path.c_str(), &mngr), 0);
    ASSERT_EQ(attrib_mngr_set_attrib(mngr, "Agent", "ServerMachine", "srv01", 0), 0);
    const struct {
        int32_t size;
        bool with_buffer;
        int32_t code;
    } cases[] = {
        {-1, true, ATTRIB_MNGR_BUFFER_TOO_SMALL},     {INT32_MIN, true, ATTRIB_MNGR_BUFFER_TOO_SMALL},
        {0, true, ATTRIB_MNGR_BUFFER_TOO_SMALL},      {5, true, ATTRIB_MNGR_BUFFER_TOO_SMALL},
        {INT32_MAX, false, ATTRIB_MNGR_BUFFER_TOO_SMALL}, {-1, false, ATTRIB_MNGR_BUFFER_TOO_SMALL},
    };
    for (const auto& c : cases) {
        for (uint32_t flags : {0u, ATTRIB_MNGR_FLAG_SCRAMBLED}) {
            char buffer[8] = "keep";
            int32_t size = c.size;
            EXPECT_EQ(attrib_mngr_get_attrib(mngr, "ServerMachine", c.with_buffer ? buffer : nullptr, &size, flags),
                      c.code)
                << c.size << " flags " << flags;
            EXPECT_EQ(size, 6) << c.size;
            EXPECT_STREQ(buffer, "keep") << c.size;
        }
        char buffer[8] = "keep";
        int32_t size = c.size;
        const int32_t rc = attrib_mngr_get_null_filename(c.with_buffer ? buffer : nullptr, &size);
        EXPECT_EQ(rc, ATTRIB_MNGR_BUFFER_TOO_SMALL) << c.size;
        EXPECT_GT(size, 1) << c.size;
        EXPECT_STREQ(buffer, "keep") << c.size;
    }
    int32_t size = 8;
    EXPECT_EQ(attrib_mngr_get_null_filename(nullptr, nullptr), ATTRIB_MNGR_NULL_ARGUMENT);
    EXPECT_EQ(attrib_mngr_get_attrib(mngr, "ServerMachine", nullptr, nullptr, 0), ATTRIB_MNGR_NULL_ARGUMENT);
    EXPECT_EQ(attrib_mngr_get_attrib(mngr, nullptr, nullptr, &size, 0), ATTRIB_MNGR_NOT_FOUND);
    delete_attribs_mngr(mngr);
}

TEST_F(BadInput, NamesAndValuesTheFileCannotHoldAreRefusedAndTheRestReadBack) {
    const std::string path = file("agent.cfg");
    AttribMngr* mngr = nullptr;
    ASSERT_EQ(attrib_mngr_init(path.c_str(), &mngr), 0);
    const std::string before = read_file(path);
    const struct {
        const char* section;
        const char* key;
        const char* value;
        int32_t code;
    } refused[] = {
        {"Agent", "Server\nMachine", "x", CONFIG_E_KEY},
        {"Agent", "Server=Machine", "x", CONFIG_E_KEY},    {"Agent", "[ServerMachine", "x", CONFIG_E_KEY},
        {"Ag]ent", "ServerMachine", "x", CONFIG_E_SECTION}, {"Ag\nent", "ServerMachine", "x", CONFIG_E_SECTION},
        {"Agent", "ServerMachine", "a\r", CONFIG_E_VALUE}, {"Agent", "ServerMachine", "a\nb", CONFIG_E_VALUE},
        {"Agent", "ServerMachine", " lead", CONFIG_E_VALUE}, {"Agent", "", "x", CONFIG_E_KEY},
        {nullptr, "ServerMachine", "x", ATTRIB_MNGR_NULL_ARGUMENT}, {"Agent", nullptr, "x", ATTRIB_MNGR_NULL_ARGUMENT},
        {"Agent", "ServerMachine", nullptr, ATTRIB_MNGR_NULL_ARGUMENT},
    };
    for (const auto& c : refused)
        EXPECT_EQ(attrib_mngr_set_attrib(mngr, c.section, c.key, c.value, 0), c.code)
            << (c.key ? c.key : "null") << " = " << (c.value ? c.value : "null");
    ASSERT_EQ(attrib_mngr_save_attribs(mngr), 0);
    EXPECT_EQ(read_file(path), before);

    // What a value may hold: every byte but LF and NUL, blanks and CRs inside.
    std::string every_byte;
    for (int b = 1; b < 256; ++b)
        if (b != '\n') every_byte += static_cast<char>(b);
    every_byte = "x" + every_byte + "x";
    const std::vector<std::pair<std::string, std::string>> accepted = {
        {"K1", "a=b=c"}, {"K2", "[Agent]"}, {"K3", "]"}, {"K4", ";not a comment"}, {"K5", ""},
        {"K6", every_byte}, {"K7", std::string(16 << 20, 'v')},
        {"K\r8", "a\rb"},
    };
    for (const auto& [key, value] : accepted)
        for (uint32_t flags : {0u, ATTRIB_MNGR_FLAG_SCRAMBLED}) {
            const std::string name = key + (flags ? "s" : "p");
            EXPECT_EQ(attrib_mngr_set_attrib(mngr, "Odd", name.c_str(), value.c_str(), flags), 0) << name;
        }
    ASSERT_EQ(attrib_mngr_save_attribs(mngr), 0);
    delete_attribs_mngr(mngr);

    ASSERT_EQ(attrib_mngr_init(path.c_str(), &mngr), 0);
    std::vector<char> buffer((16 << 20) + 1);
    for (const auto& [key, value] : accepted)
        for (uint32_t flags : {0u, ATTRIB_MNGR_FLAG_SCRAMBLED}) {
            const std::string name = key + (flags ? "s" : "p");
            int32_t size = static_cast<int32_t>(buffer.size());
            ASSERT_EQ(attrib_mngr_get_attrib(mngr, name.c_str(), buffer.data(), &size, flags), 0) << name;
            EXPECT_TRUE(std::string(buffer.data()) == value) << name;
        }
    delete_attribs_mngr(mngr);
    EXPECT_EQ(twload::check_attrib_file(path), "");
}

TEST_F(BadInput, FilesThatAreNotAttributeFiles) {
    // Binary noise: opened, completed after it, and not a byte of it lost.
    std::mt19937 random(1);
    std::string noise(1 << 16, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::string noisy = file("noise.cfg");
    write_file(noisy, noise);
    AttribMngr* mngr = nullptr;
    ASSERT_EQ(attrib_mngr_init(noisy.c_str(), &mngr), 0);
    delete_attribs_mngr(mngr);
    EXPECT_EQ(read_file(noisy).substr(0, noise.size()), noise);
    EXPECT_EQ(twload::check_attrib_file(noisy), "");

    // A directory: no file, said so; nothing stored, nothing created inside.
    const std::string dir = file("folder.cfg");
    fs::create_directory(dir);
    mngr = nullptr;
    const int32_t rc = attrib_mngr_init(dir.c_str(), &mngr);
    EXPECT_EQ(rc, CONFIG_E_NOT_FILE);
    EXPECT_EQ(mngr, nullptr);
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(BadInput, UnreadableAndReadOnlyFiles) {
    const std::string partial = "[Agent]\nServerMachine=srv01\n";
    const std::string unreadable = file("unreadable.cfg");
    write_file(unreadable, partial);
    {
        twload::Unreadable lock(unreadable);
        if (lock.active()) {
            AttribMngr* mngr = nullptr;
            const int32_t rc = attrib_mngr_init(unreadable.c_str(), &mngr);
            EXPECT_TRUE(rc == CONFIG_E_ACCESS || rc == CONFIG_E_SHARING) << rc;
            EXPECT_EQ(mngr, nullptr);
        }
    }
    EXPECT_EQ(read_file(unreadable), partial);

    // Read-only: opening succeeds with the defaults in memory; completion's save fails quietly.
    const std::string read_only = file("read_only.cfg");
    write_file(read_only, partial);
    ASSERT_TRUE(twload::set_read_only(read_only, true));
    AttribMngr* mngr = nullptr;
    ASSERT_EQ(attrib_mngr_init(read_only.c_str(), &mngr), 0);
    char buffer[64];
    int32_t size = sizeof buffer;
    EXPECT_EQ(attrib_mngr_get_attrib(mngr, "ServerMachine", buffer, &size, 0), 0);
    EXPECT_STREQ(buffer, "srv01");
    size = sizeof buffer;
    EXPECT_EQ(attrib_mngr_get_attrib(mngr, "TimeOut", buffer, &size, 0), 0);
    EXPECT_EQ(attrib_mngr_save_attribs(mngr), CONFIG_E_ACCESS);
    delete_attribs_mngr(mngr);
    EXPECT_EQ(read_file(read_only), partial);
    twload::set_read_only(read_only, false);
}

TEST_F(BadInput, PathsAndEnvironmentValuesLongerThanEveryBuffer) {
    for (size_t length : {1023u, 1024u, 1025u, 4096u, 70000u}) {
        const std::string path = (root_ / std::string(length, 'p')).string();
        AttribMngr* mngr = nullptr;
        const int32_t rc = attrib_mngr_init(path.c_str(), &mngr);
        EXPECT_NE(rc, 0) << length;
        EXPECT_EQ(mngr, nullptr) << length;
    }

    twtest::EnvGuard env;
    env.set_temp_dir(root_);
    for (size_t length : {1000u, 1023u, 1024u, 2048u, 70000u}) {
        const std::string dir = (root_ / std::string(length, 'd')).string();
        env.set("QZ_CFG_FILE_PATH", dir.c_str());
        std::vector<char> buffer(1 << 17);
        int32_t size = static_cast<int32_t>(buffer.size());
        const int32_t located = attrib_mngr_get_null_filename(buffer.data(), &size);
        AttribMngr* mngr = nullptr;
        const int32_t rc = attrib_mngr_init(nullptr, &mngr);
        if (rc == 0) {
            EXPECT_EQ(located, 0) << length;
            EXPECT_STREQ(attrib_mngr_get_filename(mngr), buffer.data()) << length;
            delete_attribs_mngr(mngr);
        } else {
            EXPECT_EQ(mngr, nullptr) << length;
        }
    }
}

}  // namespace
