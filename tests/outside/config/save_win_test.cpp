// SPDX-License-Identifier: Apache-2.0
// What a save keeps of the file on Windows: its attributes and access list; a read-only file
// is not replaced; temporary names taken in advance are passed over.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tarnwick/config.h"
#include "config_win.h"
#include "file_system.h"
#include "store.h"
#include "files.h"
#include "trust_win.h"

namespace {

using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

int32_t set_and_save(const std::string& path, const char* value) {
    cfg::Store store(cfg::os_file_system());
    int32_t rc = store.add_file_source(path);
    if (rc == CONFIG_OK) rc = store.set(path, "A", "k", value);
    if (rc == CONFIG_OK) rc = store.save(path, 0);
    return rc;
}

TEST(SaveWin, KeepsTheFileAttributes) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "[A]\r\nk=1\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(set_and_save(path, "2"), CONFIG_OK);
    EXPECT_EQ(read_file(path), "[A]\r\nk=2\r\n");
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});
}

TEST(SaveWin, AReadOnlyFileIsNotReplaced) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "[A]\r\nk=1\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(set_and_save(path, "2"), CONFIG_E_ACCESS);
    EXPECT_EQ(read_file(path), "[A]\r\nk=1\r\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(SaveWin, AFileHeldOpenWithoutSharingIsReportedAfterRetrying) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "[A]\r\nk=1\r\n");
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "A", "k", "2"), CONFIG_OK);
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(store.save(path, 0), CONFIG_E_SHARING);
    CloseHandle(held);
    EXPECT_EQ(read_file(path), "[A]\r\nk=1\r\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});
    EXPECT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(read_file(path), "[A]\r\nk=2\r\n");
}

TEST(SaveWin, TemporaryNamesTakenInAdvanceArePassedOver) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "[A]\r\nk=1\r\n");
    // Every name a save once made from its process id.
    for (int i = 0; i < 100; ++i)
        write_file(path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(i) + ".tmp", "planted");
    EXPECT_EQ(set_and_save(path, "2"), CONFIG_OK);
    EXPECT_EQ(read_file(path), "[A]\r\nk=2\r\n");

    // The random names a save draws, taken by a file and by a directory: it draws again.
    write_file(cfg::win::temp_name(path, 1), "planted");
    ASSERT_TRUE(CreateDirectoryA(cfg::win::temp_name(path, 2).c_str(), nullptr));
    const std::vector<uint64_t> draws = {1, 2, 1, 3};
    size_t drawn = 0;
    const auto fs = cfg::win::os_file_system_with_names([&] { return draws.at(drawn++); });
    cfg::Store store(*fs);
    ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "A", "k", "3"), CONFIG_OK);
    EXPECT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(drawn, draws.size());
    EXPECT_EQ(read_file(path), "[A]\r\nk=3\r\n");
    EXPECT_EQ(read_file(cfg::win::temp_name(path, 1)), "planted");
    EXPECT_EQ(dir.names().size(), 1u + 100u + 2u);  // no temporary file left
}

// SIDs other than the caller, SYSTEM and Administrators that the file's access list lets in.
std::vector<std::string> others_allowed(const std::string& path) {
    std::vector<char> sd(4096);
    DWORD needed = 0;
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd.data(), static_cast<DWORD>(sd.size()), &needed))
        return {"(unreadable)"};
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted) || !present || dacl == nullptr)
        return {"(no list)"};
    std::vector<char> caller = cfg::win::caller_sid();
    std::vector<std::string> others;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        if (cfg::win::is_trusted_sid(sid, caller.data())) continue;
        char* text = nullptr;
        ConvertSidToStringSidA(sid, &text);
        others.push_back(text != nullptr ? text : "?");
        LocalFree(text);
    }
    return others;
}

// A directory where everyone may do anything (Wine keeps it as mode 0777).
void make_shared(const std::string& dir) {
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                     &everyone, nullptr));
    EXPECT_TRUE(SetFileSecurityA(dir.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
}

TEST(SaveWin, ANewFileInASharedDirectoryIsTheCallersAlone) {
    ScratchDir dir;
    const std::string shared = dir.path("shared");
    make_shared(shared);
    // What the directory hands down would let everyone in; the new file lets in no one else.
    const std::string path = shared + "\\new.cfg";
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_new_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "A", "k", "secret"), CONFIG_OK);
    ASSERT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(others_allowed(path), std::vector<std::string>{});

    // The caller's own file keeps the list the caller gave it, open to all as it is.
    const std::string own = shared + "\\own.cfg";
    write_file(own, "[A]\r\nk=1\r\n");
    ASSERT_NE(others_allowed(own), std::vector<std::string>{});
    const std::vector<std::string> before = others_allowed(own);
    EXPECT_EQ(set_and_save(own, "2"), CONFIG_OK);
    EXPECT_EQ(others_allowed(own), before);
}

}  // namespace
