// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/plinth32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Writes paths with '/' and turns it into the platform's separator.
std::string native(std::string path) {
    for (char& c : path)
        if (c == '/') c = OS_PATH_SEPARATOR;
    return path;
}

struct SplitCase {
    const char* path;
    const char* dir;
    const char* name;
    const char* ext;
};

// Output buffers with guard bytes after the stated size, to catch writes past it.
struct Outputs {
    static constexpr size_t kGuard = 16;
    explicit Outputs(size_t size) : size(size), dir(size + kGuard, '#'), name(size + kGuard, '#'), ext(size + kGuard, '#') {}
    bool guards_intact() const {
        for (const std::vector<char>* b : {&dir, &name, &ext})
            for (size_t i = size; i < b->size(); ++i)
                if ((*b)[i] != '#') return false;
        return true;
    }
    size_t size;
    std::vector<char> dir, name, ext;
};

void expect_split(const SplitCase& c, const std::string& path, const std::string& dir) {
    Outputs out(OS_MAX_PATH);
    ASSERT_EQ(os_split_path(path.c_str(), out.dir.data(), out.name.data(), out.ext.data(), -1), OS_OK);
    EXPECT_EQ(std::string(out.dir.data()), dir);
    EXPECT_STREQ(out.name.data(), c.name);
    EXPECT_STREQ(out.ext.data(), c.ext);
}

TEST(SplitPath, PartsOfPortablePaths) {
    const SplitCase cases[] = {
        {"/", "", "", ""},
        {"/tmp/", "/tmp", "", ""},
        {"/tmp//", "/tmp", "", ""},
        {"//x", "", "x", ""},
        {"/tmp/x", "/tmp", "x", ""},
        {"/x.txt", "", "x", ".txt"},
        {"a/b/c.tar.gz", "a/b", "c.tar", ".gz"},
        {"name", "", "name", ""},
        {"", "", "", ""},
        {"/a/.profile", "/a", ".profile", ""},
        {"/a/..", "/a", "..", ""},
        {"/a/b.", "/a", "b", "."},
        {"/a.d/b", "/a.d", "b", ""},
        {"/a.d/", "/a.d", "", ""},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.path);
        expect_split(c, native(c.path), native(c.dir));
    }
}

TEST(SplitPath, PlatformSyntax) {
    std::vector<SplitCase> cases;
    if (OS_PATH_SEPARATOR == '\\') {
        cases = {
            {"C:\\", "C:", "", ""},
            {"C:", "C:", "", ""},
            {"C:x.txt", "C:", "x", ".txt"},
            {"C:\\Users\\a\\Temp\\", "C:\\Users\\a\\Temp", "", ""},
            {"C:/a\\b", "C:/a", "b", ""},
            {"\\\\server\\share\\f.txt", "\\\\server\\share", "f", ".txt"},
        };
    } else {
        cases = {
            {"a\\b.c", "", "a\\b", ".c"},  // a backslash is an ordinary character
            {"C:/x", "C:", "x", ""},
        };
    }
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.path);
        expect_split(c, c.path, c.dir);
    }
}

TEST(SplitPath, BufferLimits) {
    // Longest part: the directory "/abcd" (5 characters). Name "ef" and extension ".g".
    const std::string path = native("/abcd/ef.g");
    struct Limit {
        int32_t size;
        bool dir, name, ext;  // which outputs are passed
        int32_t result;
    };
    const Limit limits[] = {
        {6, true, true, true, OS_OK},          // exactly fits
        {5, true, true, true, OS_ERR_TOO_LONG},  // one short
        {3, false, true, true, OS_OK},         // only the outputs passed count
        {2, false, true, true, OS_ERR_TOO_LONG},
        {6, true, false, false, OS_OK},
        {5, true, false, false, OS_ERR_TOO_LONG},
        {1, false, false, false, OS_OK},
    };
    for (const Limit& l : limits) {
        SCOPED_TRACE(::testing::Message() << "size " << l.size << " dir " << l.dir << " name " << l.name);
        Outputs out(static_cast<size_t>(l.size));
        const int32_t result = os_split_path(path.c_str(), l.dir ? out.dir.data() : nullptr,
                                             l.name ? out.name.data() : nullptr, l.ext ? out.ext.data() : nullptr, l.size);
        EXPECT_EQ(result, l.result);
        EXPECT_TRUE(out.guards_intact());
        const bool ok = result == OS_OK;
        if (l.dir) {
            EXPECT_EQ(std::string(out.dir.data()), ok ? native("/abcd") : "");
        }
        if (l.name) {
            EXPECT_STREQ(out.name.data(), ok ? "ef" : "");
        }
        if (l.ext) {
            EXPECT_STREQ(out.ext.data(), ok ? ".g" : "");
        }
    }
}

TEST(SplitPath, DefaultSizeIsMaxPath) {
    for (const size_t dir_length : {size_t(OS_MAX_PATH - 1), size_t(OS_MAX_PATH)}) {
        std::string path = OS_PATH_SEPARATOR_STR + std::string(dir_length - 1, 'd') + OS_PATH_SEPARATOR_STR + "f";
        Outputs out(OS_MAX_PATH);
        const bool fits = dir_length < OS_MAX_PATH;
        EXPECT_EQ(os_split_path(path.c_str(), out.dir.data(), nullptr, nullptr, -1), fits ? OS_OK : OS_ERR_TOO_LONG);
        EXPECT_EQ(std::strlen(out.dir.data()), fits ? dir_length : 0u);
        EXPECT_TRUE(out.guards_intact());
    }
}

TEST(SplitPath, BadArguments) {
    char dir[8] = "junk";
    EXPECT_EQ(os_split_path(nullptr, dir, nullptr, nullptr, sizeof dir), OS_ERR_ARG);
    EXPECT_STREQ(dir, "");
    for (const int32_t size : {0, -2}) {
        std::strcpy(dir, "junk");
        EXPECT_EQ(os_split_path("/a/b", dir, nullptr, nullptr, size), OS_ERR_ARG);
        EXPECT_STREQ(dir, "junk");  // no size to write within
    }
}

}  // namespace
