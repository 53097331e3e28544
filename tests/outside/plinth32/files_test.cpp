// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/plinth32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "environment.h"
#include "files.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

class Scratch : public ::testing::Test {
protected:
    // path below the scratch directory, in the platform's own syntax
    std::string at(const std::string& relative) const {
        std::string p = root_.string() + OS_PATH_SEPARATOR_STR + relative;
        for (char& c : p)
            if (c == '/' || c == '\\') c = OS_PATH_SEPARATOR;
        return p;
    }
    void make_file(const std::string& relative) const { std::ofstream(at(relative)) << "x"; }

    twtest::ScratchDir scratch_{"plinth32"};
    const fs::path root_ = scratch_.dir();
};

using Files = Scratch;

TEST_F(Files, ExistenceTests) {
    make_file("file");
    fs::create_directory(at("dir"));
    struct Case {
        std::string path;
        int32_t file, dir;
    };
    const Case cases[] = {
        {at("file"), 1, 0},
        {at("dir"), 0, 1},
        {at("dir") + OS_PATH_SEPARATOR_STR, 0, 1},
        {at("missing"), 0, 0},
        {at("missing/file"), 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(os_is_file_exist(c.path.c_str()) != 0, c.file != 0);
        EXPECT_EQ(os_is_dir_exist(c.path.c_str()) != 0, c.dir != 0);
    }
    EXPECT_EQ(os_is_file_exist(nullptr), 0);
    EXPECT_EQ(os_is_dir_exist(nullptr), 0);
}

TEST_F(Files, MkdirCreatesMissingParents) {
    for (const char* relative : {"a/b/c", "a/b/c", "a/x/", "p//q"}) {
        SCOPED_TRACE(relative);
        EXPECT_EQ(os_mkdir(at(relative).c_str()), OS_OK);
        EXPECT_TRUE(fs::is_directory(at(relative)));
    }
}

TEST_F(Files, MkdirRefusesWhereAFileStands) {
    make_file("file");
    for (const char* relative : {"file", "file/sub", "file/sub/deeper"}) {
        SCOPED_TRACE(relative);
        EXPECT_NE(os_mkdir(at(relative).c_str()), OS_OK);
    }
    EXPECT_TRUE(fs::is_regular_file(at("file")));
    EXPECT_EQ(os_mkdir(nullptr), OS_ERR_ARG);
    EXPECT_EQ(os_mkdir(""), OS_ERR_ARG);
}

class TempDir : public Scratch {
protected:
    twtest::EnvGuard env_;
};

TEST_F(TempDir, FromEnvironmentWithOneTrailingSeparator) {
    const std::string dir = at("tmp");
    fs::create_directory(dir);
    for (const std::string& value : {dir, dir + OS_PATH_SEPARATOR_STR}) {
        SCOPED_TRACE(value);
        env_.set_temp_dir(value);
        char buf[OS_MAX_PATH];
        EXPECT_EQ(os_get_tmp_dir(-1, 0, buf), OS_OK);
        EXPECT_EQ(std::string(buf), dir + OS_PATH_SEPARATOR_STR);
    }
}

TEST_F(TempDir, DefaultWhenUnset) {
    const std::string expected = support::default_temp_dir();
    if (expected.empty()) GTEST_SKIP() << "no fixed default on this platform";
    env_.set_temp_dir("");
    char buf[OS_MAX_PATH];
    EXPECT_EQ(os_get_tmp_dir(-1, 0, buf), OS_OK);
    EXPECT_EQ(std::string(buf), expected);
}

TEST_F(TempDir, TooLongForTheBufferLeavesItEmpty) {
    const std::string dir = at("tmp");
    fs::create_directory(dir);
    env_.set_temp_dir(dir);
    const std::string expected = dir + OS_PATH_SEPARATOR_STR;
    const int32_t fitting = static_cast<int32_t>(expected.size() + 1);
    for (const int32_t size : {fitting, fitting - 1, 1}) {
        SCOPED_TRACE(size);
        std::vector<char> buf(static_cast<size_t>(size) + 8, '#');
        const int32_t result = os_get_tmp_dir(size, 0, buf.data());
        EXPECT_EQ(result == OS_OK, size == fitting);
        EXPECT_EQ(std::string(buf.data()), result == OS_OK ? expected : "");
        for (size_t i = static_cast<size_t>(size); i < buf.size(); ++i) EXPECT_EQ(buf[i], '#');
    }
    char buf[4];
    EXPECT_EQ(os_get_tmp_dir(0, 0, buf), OS_ERR_ARG);
    EXPECT_EQ(os_get_tmp_dir(-1, 0, nullptr), OS_ERR_ARG);
}

}  // namespace
