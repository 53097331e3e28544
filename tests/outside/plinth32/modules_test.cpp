// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/plinth32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "support.h"

namespace {

TEST(ModuleDir, OfTheCallerAndOfAGivenAddress) {
    struct Case {
        const char* what;
        const void* address;
        std::string expected;
    };
    const Case cases[] = {
        {"caller", nullptr, twtest::program_dir().string()},
        {"plinth32", reinterpret_cast<const void*>(&os_split_path), support::plinth32_dir()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.expected.empty());
        char buf[OS_MAX_PATH];
        ASSERT_EQ(os_get_my_module_dir_name(c.address, buf, -1), OS_OK);
        EXPECT_EQ(std::string(buf), c.expected);
    }
}

TEST(ModuleDir, BufferLimits) {
    const std::string expected = twtest::program_dir().string();
    const int32_t fitting = static_cast<int32_t>(expected.size() + 1);
    for (const int32_t size : {fitting, fitting - 1, 1}) {
        SCOPED_TRACE(size);
        std::vector<char> buf(static_cast<size_t>(size) + 8, '#');
        const int32_t result = os_get_my_module_dir_name(nullptr, buf.data(), size);
        EXPECT_EQ(result, size == fitting ? OS_OK : OS_ERR_TOO_LONG);
        EXPECT_EQ(std::string(buf.data()), result == OS_OK ? expected : "");
        for (size_t i = static_cast<size_t>(size); i < buf.size(); ++i) EXPECT_EQ(buf[i], '#');
    }
    char buf[8];
    EXPECT_EQ(os_get_my_module_dir_name(nullptr, nullptr, -1), OS_ERR_ARG);
    EXPECT_EQ(os_get_my_module_dir_name(nullptr, buf, 0), OS_ERR_ARG);
}

TEST(Library, LoadAndFindFunctions) {
    // "NAME.dll" names the platform's file for NAME; the probe lies beside plinth32.
    const void* plinth32 = reinterpret_cast<const void*>(&os_split_path);
    void* probe = os_load_library_ex("plinth32_probe.dll", OS_LOAD_BESIDE_MODULE, plinth32);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(os_load_library_ex("plinth32_probe.dll", OS_LOAD_BESIDE_MODULE, nullptr), probe);
    EXPECT_EQ(os_load_library_ex("plinth32_probe.dll", 7, plinth32), nullptr);
    using Answer = int (*)();
    auto answer = reinterpret_cast<Answer>(os_get_proc_address(probe, "plinth32_probe_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(os_get_proc_address(probe, "plinth32_probe_missing"), nullptr);
    EXPECT_EQ(os_get_proc_address(probe, nullptr), nullptr);
    EXPECT_EQ(os_get_proc_address(nullptr, "plinth32_probe_answer"), nullptr);
    EXPECT_EQ(os_load_library("plinth32_no_such_library.dll"), nullptr);
    EXPECT_EQ(os_load_library(nullptr), nullptr);
    EXPECT_EQ(os_load_library(""), nullptr);
}

}  // namespace
