// SPDX-License-Identifier: Apache-2.0
// What a save keeps of the file on POSIX: mode, owner, the file behind a symbolic link, and the
// file itself when nothing changed; read-only files, pipes and devices.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tarnwick/config.h"
#include "file_system.h"
#include "store.h"
#include "files.h"
#include "racing_save.h"

namespace {

using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

struct stat stat_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

int32_t set_and_save(const std::string& path, const char* value) {
    cfg::Store store(cfg::os_file_system());
    int32_t rc = store.add_file_source(path);
    if (rc == CONFIG_OK) rc = store.set(path, "A", "k", value);
    if (rc == CONFIG_OK) rc = store.save(path, 0);
    return rc;
}

TEST(SavePosix, KeepsModeAndOwnerWhateverTheUmask) {
    // Giving a file away needs privilege; without it only the mode is checked.
    const bool privileged = ::geteuid() == 0;
    for (mode_t mode : {0600, 0640, 0644, 0664, 02640}) {
        ScratchDir dir;
        const std::string path = dir.path("a.cfg");
        write_file(path, "[A]\nk=1\n");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        if (privileged) {
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        }
        const struct stat before = stat_of(path);
        const mode_t old_mask = ::umask(077);
        const int32_t rc = set_and_save(path, "2");
        ::umask(old_mask);
        ASSERT_EQ(rc, CONFIG_OK);
        const struct stat after = stat_of(path);
        EXPECT_EQ(after.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(read_file(path), "[A]\nk=2\n");
    }
}

TEST(SavePosix, WritesThroughSymbolicLinks) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.dir() / "real");
    const std::string target = dir.path("real/a.cfg");
    write_file(target, "[A]\nk=1\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    // A chain: an absolute link to a relative link to the file.
    ASSERT_EQ(::symlink("real/a.cfg", dir.path("rel").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path("rel").c_str(), dir.path("abs").c_str()), 0);

    ASSERT_EQ(set_and_save(dir.path("abs"), "2"), CONFIG_OK);
    EXPECT_TRUE(S_ISLNK(stat_of(dir.path("abs")).st_mode));
    EXPECT_TRUE(S_ISLNK(stat_of(dir.path("rel")).st_mode));
    EXPECT_EQ(read_file(target), "[A]\nk=2\n");
    EXPECT_EQ(stat_of(target).st_mode & 07777, 0640u);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"abs", "real", "rel"}));
    std::vector<std::string> real;
    for (const auto& e : std::filesystem::directory_iterator(dir.dir() / "real")) real.push_back(e.path().filename());
    EXPECT_EQ(real, std::vector<std::string>{"a.cfg"});
}

// A link at the path that another process removes while a save follows it: the save writes a
// new file rather than failing. A link that appears after the save looked is refused as no file.
TEST(SavePosix, ALinkChangedDuringTheSaveIsNoFailure) {
    ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    write_file(dir.path("real.cfg"), "[Agent]\nTimeOut=1\n");
    ASSERT_EQ(::symlink("real.cfg", path.c_str()), 0);
    EXPECT_EQ(twtest::save_while(path,
                                 [&] {
                                     ::symlink("real.cfg", path.c_str());
                                     ::unlink(path.c_str());
                                 },
                                 1000, CONFIG_E_NOT_FILE),
              "");
}

TEST(SavePosix, AnUnchangedSaveLeavesTheFileAlone) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "[A]\nk=1\n");
    const struct stat before = stat_of(path);
    ASSERT_EQ(set_and_save(path, "1"), CONFIG_OK);
    const struct stat after = stat_of(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    ASSERT_EQ(set_and_save(path, "2"), CONFIG_OK);
    EXPECT_NE(stat_of(path).st_ino, before.st_ino);  // replaced, not rewritten in place
}

TEST(SavePosix, AReadOnlyFileIsNotReplaced) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "[A]\nk=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(set_and_save(path, "2"), CONFIG_E_ACCESS);
    EXPECT_EQ(read_file(path), "[A]\nk=1\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});
}

TEST(SavePosix, PipesAndDevicesAreNotFiles) {
    ScratchDir dir;
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Must answer at once: opening a FIFO without writer would otherwise wait.
    cfg::Store store(cfg::os_file_system());
    EXPECT_EQ(store.add_file_source(fifo), CONFIG_E_NOT_FILE);
    cfg::Store device(cfg::os_file_system());
    EXPECT_EQ(device.add_file_source("/dev/null"), CONFIG_E_NOT_FILE);
}

}  // namespace
