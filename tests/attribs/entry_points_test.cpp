// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "attribs/handle.h"
#include "files.h"
#include "tarnwick.h"
#include "tarnwick/config.h"
#include "tarnwick/corvane.h"

namespace {

using twtest::read_file;
using twtest::ScratchDir;
using twtest::write_file;

// Opens path and fails the test when that does not work.
AttribMngr* open_or_fail(const std::string& path) {
    AttribMngr* mngr = nullptr;
    const int32_t rc = attrib_mngr_init(path.c_str(), &mngr);
    EXPECT_EQ(rc, ATTRIB_MNGR_OK) << path;
    return rc == ATTRIB_MNGR_OK ? mngr : nullptr;
}

std::string get_or_fail(AttribMngr* mngr, const char* name, uint32_t flags = 0) {
    char buffer[256];
    int32_t size = sizeof buffer;
    EXPECT_EQ(attrib_mngr_get_attrib(mngr, name, buffer, &size, flags), ATTRIB_MNGR_OK) << name;
    return buffer;
}

// A handle on a fresh file in a scratch directory, released at the end of the test.
class OpenFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.path("agent.cfg");
        mngr_ = open_or_fail(path_);
        ASSERT_NE(mngr_, nullptr);
    }
    void TearDown() override { delete_attribs_mngr(mngr_); }

    ScratchDir dir_;
    std::string path_;
    AttribMngr* mngr_ = nullptr;
};

using GetAttrib = OpenFile;

TEST_F(GetAttrib, BufferProtocol) {
    ASSERT_EQ(attrib_mngr_set_attrib(mngr_, "Agent", "five", "hello", 0), ATTRIB_MNGR_OK);
    ASSERT_EQ(attrib_mngr_set_attrib(mngr_, "Agent", "empty", "", 0), ATTRIB_MNGR_OK);
    const struct {
        const char* name;
        int32_t size_in;
        bool null_buffer;
        int32_t rc;
        int32_t size_out;
    } cases[] = {
        {"five", 5, false, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6},
        {"five", 6, false, ATTRIB_MNGR_OK, 6},
        {"five", 7, false, ATTRIB_MNGR_OK, 7},
        {"five", 0, false, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6},
        {"five", -1, false, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6},
        {"five", INT32_MIN, false, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6},
        {"five", 16, true, ATTRIB_MNGR_BUFFER_TOO_SMALL, 6},
        {"empty", 1, false, ATTRIB_MNGR_OK, 1},
        {"empty", 0, false, ATTRIB_MNGR_BUFFER_TOO_SMALL, 1},
        {"empty", 0, true, ATTRIB_MNGR_BUFFER_TOO_SMALL, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " size " + std::to_string(c.size_in) + (c.null_buffer ? " NULL" : ""));
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        int32_t size = c.size_in;
        EXPECT_EQ(attrib_mngr_get_attrib(mngr_, c.name, c.null_buffer ? nullptr : buffer, &size, 0), c.rc);
        EXPECT_EQ(size, c.size_out);
        // The value and its terminator, and not one byte more; nothing at all on -12.
        const std::string expected =
            c.rc == ATTRIB_MNGR_OK ? std::string(std::strcmp(c.name, "five") == 0 ? "hello" : "") + '\0' : "";
        EXPECT_EQ(std::string(buffer, expected.size()), expected);
        EXPECT_EQ(std::string(buffer + expected.size(), sizeof buffer - expected.size()),
                  std::string(sizeof buffer - expected.size(), '#'));
    }
}

TEST_F(GetAttrib, ArgumentCodes) {
    ASSERT_EQ(attrib_mngr_set_attrib(mngr_, "Agent", "present", "x", 0), ATTRIB_MNGR_OK);
    char buffer[16];
    int32_t size = sizeof buffer;
    const struct {
        const char* name;
        int32_t* size;
        uint32_t flags;
        int32_t rc;
    } cases[] = {
        {"present", nullptr, 0, ATTRIB_MNGR_NULL_ARGUMENT},
        {"present", nullptr, ATTRIB_MNGR_FLAG_SCRAMBLED, ATTRIB_MNGR_NULL_ARGUMENT},
        {nullptr, &size, 0, ATTRIB_MNGR_NOT_FOUND},
        {nullptr, &size, ATTRIB_MNGR_FLAG_SCRAMBLED, ATTRIB_MNGR_NOT_FOUND},
        {"absent", &size, 0, ATTRIB_MNGR_NOT_FOUND},
        {"absent", &size, ATTRIB_MNGR_FLAG_SCRAMBLED, ATTRIB_MNGR_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name ? c.name : "NULL") + " flags " + std::to_string(c.flags));
        EXPECT_EQ(attrib_mngr_get_attrib(mngr_, c.name, buffer, c.size, c.flags), c.rc);
        EXPECT_EQ(size, static_cast<int32_t>(sizeof buffer));
    }
}

TEST(Lookup, FindsAKeyWhateverSectionHoldsIt) {
    ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    write_file(path, "[First]\r\none = 1\r\n\r\n[Second]\r\ntwo=2\r\n");
    AttribMngr* mngr = open_or_fail(path);
    ASSERT_NE(mngr, nullptr);
    EXPECT_EQ(attrib_mngr_set_attrib(mngr, "Third", "three", "3", 0), ATTRIB_MNGR_OK);
    EXPECT_EQ(get_or_fail(mngr, "one"), "1");
    EXPECT_EQ(get_or_fail(mngr, "two"), "2");
    EXPECT_EQ(get_or_fail(mngr, "three"), "3");
    // And from the file, once saved.
    EXPECT_EQ(attrib_mngr_save_attribs(mngr), ATTRIB_MNGR_OK);
    delete_attribs_mngr(mngr);
    mngr = open_or_fail(path);
    ASSERT_NE(mngr, nullptr);
    EXPECT_EQ(get_or_fail(mngr, "three"), "3");
    delete_attribs_mngr(mngr);
}

using SetAttrib = OpenFile;

TEST_F(SetAttrib, OtherFlagBitsAreIgnored) {
    ASSERT_EQ(attrib_mngr_set_attrib(mngr_, "Agent", "plain", "as is", ~ATTRIB_MNGR_FLAG_SCRAMBLED), ATTRIB_MNGR_OK);
    EXPECT_EQ(get_or_fail(mngr_, "plain", 0), "as is");
    EXPECT_EQ(get_or_fail(mngr_, "plain", ~ATTRIB_MNGR_FLAG_SCRAMBLED), "as is");
}

TEST_F(SetAttrib, ScrambledValuesReadBackInClear) {
    ASSERT_EQ(attrib_mngr_set_attrib(mngr_, "Http_Proxy", "password", "s3cret", ATTRIB_MNGR_FLAG_SCRAMBLED),
              ATTRIB_MNGR_OK);
    EXPECT_EQ(get_or_fail(mngr_, "password", ATTRIB_MNGR_FLAG_SCRAMBLED), "s3cret");
    EXPECT_NE(get_or_fail(mngr_, "password", 0), "s3cret");
}

TEST(UnsavedChanges, DeleteLeavesTheFileAsItWas) {
    ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    write_file(path, "; kept as written\n[Agent]\nServer = one.example\n\n[WebHttp]\nPort=80\n");
    AttribMngr* mngr = open_or_fail(path);
    ASSERT_NE(mngr, nullptr);
    // Opening may complete and save the file itself; from here on only a save may change it.
    const std::string opened = read_file(path);
    EXPECT_EQ(attrib_mngr_set_attrib(mngr, "Agent", "Server", "two.example", 0), ATTRIB_MNGR_OK);
    EXPECT_EQ(attrib_mngr_set_attrib(mngr, "Fitful", "Enabled", "1", 0), ATTRIB_MNGR_OK);
    EXPECT_EQ(get_or_fail(mngr, "Server"), "two.example");
    delete_attribs_mngr(mngr);
    EXPECT_EQ(read_file(path), opened);

    mngr = open_or_fail(path);
    ASSERT_NE(mngr, nullptr);
    EXPECT_EQ(get_or_fail(mngr, "Server"), "one.example");
    delete_attribs_mngr(mngr);
}

TEST(EntryPoints, NullHandle) {
    int32_t size = 8;
    char buffer[8];
    EXPECT_EQ(attrib_mngr_get_attrib(nullptr, "Server", buffer, &size, 0), ATTRIB_MNGR_NULL_HANDLE);
    EXPECT_EQ(attrib_mngr_get_attrib(nullptr, "Server", buffer, nullptr, 0), ATTRIB_MNGR_NULL_HANDLE);
    EXPECT_EQ(attrib_mngr_set_attrib(nullptr, "Agent", "Server", "x", 0), ATTRIB_MNGR_NULL_HANDLE);
    EXPECT_EQ(attrib_mngr_set_attrib(nullptr, "Agent", "Server", "x", ATTRIB_MNGR_FLAG_SCRAMBLED),
              ATTRIB_MNGR_NULL_HANDLE);
    EXPECT_EQ(attrib_mngr_save_attribs(nullptr), ATTRIB_MNGR_NULL_HANDLE);
    EXPECT_EQ(attrib_mngr_get_filename(nullptr), nullptr);
    delete_attribs_mngr(nullptr);
}

TEST(Init, CreatesAMissingFileAtOnceAndKeepsItsOwnPath) {
    ScratchDir dir;
    std::string path = dir.path("agent.cfg");
    AttribMngr* mngr = open_or_fail(path);
    ASSERT_NE(mngr, nullptr);
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    const char* filename = attrib_mngr_get_filename(mngr);
    EXPECT_EQ(std::string(filename), path);
    EXPECT_NE(filename, path.c_str());
    path.assign(path.size(), 'x');
    EXPECT_EQ(std::string(attrib_mngr_get_filename(mngr)), dir.path("agent.cfg"));
    delete_attribs_mngr(mngr);
}

TEST(Init, NullHandleAddressTouchesNothing) {
    ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    EXPECT_EQ(attrib_mngr_init(path.c_str(), nullptr), ATTRIB_MNGR_NULL_ARGUMENT);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// What the store itself answers when a file at path is registered as new and saved.
int32_t store_verdict_on_new_file(const std::string& path) {
    const config_handle cfg = new_config();
    int32_t rc = config_add_ini_new_file_source(cfg, path.c_str());
    if (rc == CONFIG_OK) rc = config_save(cfg, path.c_str(), 0);
    delete_config(cfg);
    return rc;
}

TEST(Init, StoreErrorsPassThroughUnchanged) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path("a directory"));
    for (const std::string& path : {dir.path("a directory"), dir.path("no such dir") + "/agent.cfg"}) {
        SCOPED_TRACE(path);
        const int32_t expected = store_verdict_on_new_file(path);
        ASSERT_NE(expected, CONFIG_OK);
        AttribMngr* mngr = reinterpret_cast<AttribMngr*>(&dir);
        EXPECT_EQ(attrib_mngr_init(path.c_str(), &mngr), expected);
        EXPECT_EQ(mngr, reinterpret_cast<AttribMngr*>(&dir));
    }
}

TEST(Save, StoreErrorsPassThroughUnchanged) {
    ScratchDir dir;
    const std::string sub = dir.path("sub");
    std::filesystem::create_directory(sub);
    AttribMngr* mngr = open_or_fail(sub + "/agent.cfg");
    ASSERT_NE(mngr, nullptr);
    EXPECT_EQ(attrib_mngr_set_attrib(mngr, "Agent", "Server", "x", 0), ATTRIB_MNGR_OK);
    std::error_code ec;
    std::filesystem::remove_all(sub, ec);
    if (!ec) {
        const int32_t expected = config_save(mngr->config, mngr->filename, 0);
        EXPECT_NE(expected, CONFIG_OK);
        EXPECT_EQ(attrib_mngr_save_attribs(mngr), expected);
    }
    delete_attribs_mngr(mngr);
    ASSERT_FALSE(ec) << "the file's directory could not be removed: " << ec.message();
}

// Fails the allocation numbered fail_at (from 1) and counts the blocks still out.
struct FailingHeap {
    static int calls;
    static int fail_at;
    static int outstanding;
    static void* allocate(size_t size) {
        if (++calls == fail_at) return nullptr;
        ++outstanding;
        return maw_malloc(size);
    }
    static void release(void* block) {
        --outstanding;
        maw_free(block);
    }
};
int FailingHeap::calls = 0;
int FailingHeap::fail_at = 0;
int FailingHeap::outstanding = 0;

TEST(Init, OutOfMemoryReleasesEverythingAndLeavesTheDisk) {
    const tw::Allocator heap{FailingHeap::allocate, FailingHeap::release};
    for (int fail_at : {1, 2}) {
        SCOPED_TRACE(fail_at);
        ScratchDir dir;
        const std::string path = dir.path("agent.cfg");
        FailingHeap::calls = FailingHeap::outstanding = 0;
        FailingHeap::fail_at = fail_at;
        AttribMngr* mngr = nullptr;
        EXPECT_EQ(tw::open_attrib_mngr(path.c_str(), &mngr, heap), ATTRIB_MNGR_NO_MEMORY);
        EXPECT_EQ(mngr, nullptr);
        EXPECT_EQ(FailingHeap::outstanding, 0);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    // With memory to spare the same allocator opens the file, and the handle owns its blocks.
    ScratchDir dir;
    FailingHeap::calls = FailingHeap::outstanding = FailingHeap::fail_at = 0;
    AttribMngr* mngr = nullptr;
    ASSERT_EQ(tw::open_attrib_mngr(dir.path("agent.cfg").c_str(), &mngr, heap), ATTRIB_MNGR_OK);
    EXPECT_EQ(FailingHeap::outstanding, 2);
    delete_attribs_mngr(mngr);
}

}  // namespace
