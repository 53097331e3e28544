// SPDX-License-Identifier: Apache-2.0
// The store's verdict on files another user may have planted, taken on what it opens. Files of
// another user are made by chown, so these cases need root; the two-users suite covers a
// victim that is not root.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "files.h"
#include "pass_through_file_system.h"
#include "store.h"
#include "tarnwick/config.h"

namespace {

using twtest::ScratchDir;
using twtest::write_file;

constexpr uid_t kOther = 1002;

class StoreTrust : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "files of another user are made with chown, which needs root";
    }
    // A directory of the scratch tree with that mode and owner.
    std::string directory(const std::string& name, mode_t mode, uid_t owner) {
        const std::string dir = scratch_.path(name);
        EXPECT_EQ(::mkdir(dir.c_str(), 0700), 0);
        EXPECT_EQ(::chown(dir.c_str(), owner, owner), 0);
        EXPECT_EQ(::chmod(dir.c_str(), mode), 0);
        return dir;
    }
    static std::string file(const std::string& path, uid_t owner) {
        EXPECT_TRUE(write_file(path, "[Agent]\nServerMachine=x\n"));
        EXPECT_EQ(::lchown(path.c_str(), owner, owner), 0);
        return path;
    }
    static int32_t load(const std::string& path) {
        cfg::Store store(cfg::os_file_system());
        return store.add_file_source(path);
    }
    ScratchDir scratch_{"trust"};
};

TEST_F(StoreTrust, AnotherUsersFileIsRefusedWhereOthersMayWrite) {
    const struct {
        const char* label;
        mode_t mode;
        uid_t dir_owner;
        uid_t file_owner;
        int32_t expected;
    } cases[] = {
        {"sticky and world-writable, another user's file", 01777, 0, kOther, CONFIG_E_UNTRUSTED},
        {"world-writable without the sticky bit", 0777, 0, kOther, CONFIG_E_UNTRUSTED},
        {"another user's directory", 0755, kOther, kOther, CONFIG_E_UNTRUSTED},
        {"another user's directory, root's file", 0755, kOther, 0, CONFIG_OK},
        {"sticky and world-writable, root's file", 01777, 0, 0, CONFIG_OK},
        {"group-writable: the administrator's choice", 0775, 0, kOther, CONFIG_OK},
        {"root's private directory", 0700, 0, kOther, CONFIG_OK},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string dir = directory("d" + std::to_string(n++), c.mode, c.dir_owner);
        EXPECT_EQ(load(file(dir + "/a.cfg", c.file_owner)), c.expected);
    }
}

TEST_F(StoreTrust, EachLinkOnTheWayIsJudgedWhereItLies) {
    const std::string shared = directory("shared", 01777, 0);
    const std::string own = directory("own", 0700, 0);
    const std::string good = file(own + "/good.cfg", 0);
    const std::string planted = file(shared + "/planted.cfg", kOther);
    const struct {
        const char* label;
        std::string link, target;
        uid_t owner;
        int32_t expected;
    } cases[] = {
        {"another user's link in the shared directory", shared + "/theirs", good, kOther, CONFIG_E_UNTRUSTED},
        {"our link in the shared directory", shared + "/ours", good, 0, CONFIG_OK},
        {"our link to a planted file", own + "/to-planted", planted, 0, CONFIG_E_UNTRUSTED},
        {"our relative link to a planted file", own + "/relative", "../shared/planted.cfg", 0, CONFIG_E_UNTRUSTED},
        {"another user's link in a private directory", own + "/given", good, kOther, CONFIG_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(::symlink(c.target.c_str(), c.link.c_str()), 0);
        ASSERT_EQ(::lchown(c.link.c_str(), c.owner, c.owner), 0);
        EXPECT_EQ(load(c.link), c.expected);
    }
}

// Another user's file put in place at the last moment before the store opens the path, after
// whatever the caller looked at first: what is refused is the file that would be read.
TEST_F(StoreTrust, AFilePlantedJustBeforeTheReadIsRefused) {
    const std::string path = directory("shared", 01777, 0) + "/agent.cfg";
    class Planting final : public twtest::PassThroughFileSystem {
    public:
        int32_t open_for_read(const std::string& p, std::unique_ptr<cfg::ReadableFile>* f) override {
            file(p, kOther);
            return os().open_for_read(p, f);
        }
    } fs;
    cfg::Store store(fs);
    EXPECT_EQ(store.add_file_source(path), CONFIG_E_UNTRUSTED);
    EXPECT_EQ(store.add_file_source(path), CONFIG_E_UNTRUSTED);  // and nothing was taken in
}

// The names a save once derived from its process id, all taken in advance: the save goes on.
TEST_F(StoreTrust, TemporaryNamesTakenInAdvanceDoNotStopASave) {
    const std::string dir = directory("shared", 01777, 0);
    const std::string path = file(dir + "/agent.cfg", 0);
    for (int i = 0; i < 100; ++i)
        file(path + "." + std::to_string(::getpid()) + "-" + std::to_string(i) + ".tmp", kOther);
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "Agent", "TimeOut", "30"), CONFIG_OK);
    EXPECT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_NE(twtest::read_file(path).find("TimeOut=30"), std::string::npos);
    size_t entries = 0;
    for (const auto& entry : twtest::fs::directory_iterator(dir)) entries += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(entries, 101u);  // no temporary file left behind
}

}  // namespace
