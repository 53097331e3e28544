// SPDX-License-Identifier: Apache-2.0
// A wininet.dll planted beside the program, with Wine told to prefer such a copy (as Windows
// does for a library outside its known DLLs): opening, which asks the system for its proxy,
// loads the system's own library and never the planted one.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tarnwick.h"
#include "tarnwick/plinth32.h"

namespace {

std::string directory_of(const std::string& path) { return path.substr(0, path.find_last_of("\\/")); }

std::string module_file(HMODULE module) {
    char path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(module, path, sizeof path);
    return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

std::string system_directory() {
    char dir[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryA(dir, sizeof dir);
    return n > 0 && n < sizeof dir ? std::string(dir, n) : std::string();
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool same_path(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

TEST(PlantedLibrary, OpeningLoadsTheSystemsWininetNotTheCopyBesideTheProgram) {
    const std::string program_dir = directory_of(module_file(nullptr));
    const std::string planted = program_dir + "\\wininet.dll";
    ASSERT_TRUE(exists(planted)) << planted;
    char temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    const std::string marker = std::string(temp) + "tw_planted_" + std::to_string(GetCurrentProcessId()) + ".loaded";
    const std::string attrib_file = std::string(temp) + "tw_planted_" + std::to_string(GetCurrentProcessId()) + ".cfg";
    DeleteFileA(marker.c_str());
    DeleteFileA(attrib_file.c_str());
    ASSERT_TRUE(SetEnvironmentVariableA("TW_PLANTED_MARKER", marker.c_str()));
    ASSERT_EQ(GetModuleHandleA("wininet.dll"), nullptr) << "loaded before the opening";

    // A new file takes the system's proxy as its default: opening loads wininet.
    AttribMngr* mngr = nullptr;
    ASSERT_EQ(attrib_mngr_init(attrib_file.c_str(), &mngr), ATTRIB_MNGR_OK);
    delete_attribs_mngr(mngr);
    DeleteFileA(attrib_file.c_str());
    EXPECT_FALSE(exists(marker)) << "the planted wininet.dll was loaded";
    const HMODULE loaded = GetModuleHandleA("wininet.dll");
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(same_path(directory_of(module_file(loaded)), system_directory())) << module_file(loaded);
    EXPECT_EQ(os_load_library("wininet.dll"), static_cast<void*>(loaded));

    // The control: the planted copy does record its loading, and nothing keeps it from loading
    // but the search.
    HMODULE copy = LoadLibraryExA(planted.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(exists(marker));
    FreeLibrary(copy);
    DeleteFileA(marker.c_str());
}

}  // namespace
