// SPDX-License-Identifier: Apache-2.0
// The version resource of every shipped binary, as Windows reads it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "child_process.h"
#include "tarnwick_version.h"

namespace {

std::string string_value(const std::vector<char>& info, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || length == 0) return "";
    return static_cast<const char*>(value);
}

TEST(VersionResource, EveryShippedBinaryNamesProductVersionAndPurpose) {
    const char* binaries[] = {"tarnwick.dll", "config.dll", "corvane.dll", "plinth32.dll", "kv_exp.dll",
                              "tarnwickctl.exe"};
    for (const char* binary : binaries) {
        SCOPED_TRACE(binary);
        const std::string path = (twtest::program_dir() / binary).string();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version resource";
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

        EXPECT_EQ(string_value(info, "ProductName"), "tarnwick");
        EXPECT_EQ(string_value(info, "FileVersion"), TARNWICK_VERSION_STRING);
        EXPECT_EQ(string_value(info, "ProductVersion"), TARNWICK_VERSION_STRING);
        EXPECT_EQ(string_value(info, "OriginalFilename"), binary);
        EXPECT_FALSE(string_value(info, "FileDescription").empty());

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(TARNWICK_VERSION_MAJOR << 16 | TARNWICK_VERSION_MINOR));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(TARNWICK_VERSION_PATCH << 16));
    }
}

}  // namespace
