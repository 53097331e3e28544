// What a save keeps of the file on Windows: its attributes; a read-only file is not replaced.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "config.h"
#include "file_system.h"
#include "store.h"
#include "files.h"

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

}  // namespace
