// SPDX-License-Identifier: Apache-2.0
// A victim and an attacker on one machine: each step runs in a child process that has become
// that user (setresuid), so the test needs root. The attacker prepares a shared directory the
// way /tmp is (world-writable, sticky); the victim then opens and saves as a host would.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kVictim = 1001;
constexpr uid_t kAttacker = 1002;
// What a child reports when the victim's opening threw.
constexpr int32_t kThrew = 1;

// Runs body as user uid in a child process and returns what body returned (INT32_MIN when the
// child could not become that user or did not report, as when it hung and the alarm ended it).
int32_t as_user(uid_t uid, const std::function<int32_t()>& body) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return INT32_MIN;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        ::alarm(30);
        int32_t result = INT32_MIN;
        if (::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 && ::setresuid(uid, uid, uid) == 0)
            result = body();
        const ssize_t n = ::write(pipe_fds[1], &result, sizeof result);
        ::_exit(n == sizeof result ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    int32_t result = INT32_MIN;
    if (pid < 0 || ::read(pipe_fds[0], &result, sizeof result) != sizeof result) result = INT32_MIN;
    ::close(pipe_fds[0]);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    return result;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const fs::path& path, const std::string& bytes, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) return false;
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && written;
}

// Opens path (NULL: the default location) as a host does and closes it again.
int32_t open_and_close(const char* path) {
    try {
        AttribMngr* mngr = nullptr;
        const int32_t rc = attrib_mngr_init(path, &mngr);
        delete_attribs_mngr(mngr);
        return rc;
    } catch (CKvBaseException&) {
        return kThrew;
    }
}

// A scratch tree: shared/ (mode 1777, like /tmp) and victim/ (the victim's own, 0700). The
// environment points the default location at shared/.
class TwoUsers : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "two users need root: the test becomes each with setresuid";
        char name[] = "/tmp/tw_two_users_XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        root_ = name;
        ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
        shared_ = root_ / "shared";
        victim_ = root_ / "victim";
        fs::create_directory(shared_);
        fs::create_directory(victim_);
        ASSERT_EQ(::chmod(shared_.c_str(), 01777), 0);
        ASSERT_EQ(::chmod(victim_.c_str(), 0700), 0);
        ASSERT_EQ(::chown(victim_.c_str(), kVictim, kVictim), 0);
        ::setenv("TMPDIR", (shared_.string() + "/").c_str(), 1);
        ::unsetenv("QZ_CFG_FILE_PATH");
    }
    void TearDown() override {
        ::unsetenv("TMPDIR");
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }

    fs::path root_, shared_, victim_;
};

const char kForged[] = "[Agent]\nServerMachine=evil.example\n";
const char kVictimsOwn[] = "[Agent]\nServerMachine=good.example\n";

TEST_F(TwoUsers, AFilePlantedInASharedDirectoryIsRefused) {
    const fs::path planted = shared_ / "k_agent_attribs.cfg";
    ASSERT_EQ(as_user(kAttacker, [&] { return write_file(planted, kForged, 0644) ? 0 : -1; }), 0);

    // The default location and the same file named: refused, read no further, left as it was.
    EXPECT_EQ(as_user(kVictim, [] { return open_and_close(nullptr); }), ATTRIB_MNGR_UNTRUSTED_FILE);
    EXPECT_EQ(as_user(kVictim, [&] { return open_and_close(planted.c_str()); }), ATTRIB_MNGR_UNTRUSTED_FILE);
    EXPECT_EQ(read_file(planted), kForged);

    // A link of the attacker's in the shared directory, even to the victim's own file.
    const fs::path own = victim_ / "agent.cfg";
    ASSERT_EQ(as_user(kVictim, [&] { return write_file(own, kVictimsOwn, 0600) ? 0 : -1; }), 0);
    const fs::path link = shared_ / "link.cfg";
    ASSERT_EQ(as_user(kAttacker, [&] { return ::symlink(own.c_str(), link.c_str()); }), 0);
    EXPECT_EQ(as_user(kVictim, [&] { return open_and_close(link.c_str()); }), ATTRIB_MNGR_UNTRUSTED_FILE);
    EXPECT_EQ(read_file(own), kVictimsOwn);

    // The victim's own links, one or two of them, that lead to the planted file: each file a
    // chain of links leads to is judged.
    const fs::path near = victim_ / "near.cfg";
    const fs::path far = victim_ / "far.cfg";
    ASSERT_EQ(as_user(kVictim, [&] { return ::symlink(planted.c_str(), near.c_str()); }), 0);
    ASSERT_EQ(as_user(kVictim, [&] { return ::symlink("near.cfg", far.c_str()); }), 0);
    for (const fs::path& chain : {near, far}) {
        SCOPED_TRACE(chain.string());
        EXPECT_EQ(as_user(kVictim, [&] { return open_and_close(chain.c_str()); }), ATTRIB_MNGR_UNTRUSTED_FILE);
    }
    EXPECT_EQ(read_file(planted), kForged);
}

TEST_F(TwoUsers, FilesOfTheCallerOrRootInASharedDirectoryOpen) {
    const struct {
        const char* label;
        uid_t owner;
    } cases[] = {{"the victim's own", kVictim}, {"root's", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path file = shared_ / (std::string("f") + std::to_string(c.owner) + ".cfg");
        ASSERT_TRUE(write_file(file, kVictimsOwn, 0666));
        ASSERT_EQ(::chown(file.c_str(), c.owner, c.owner), 0);
        EXPECT_EQ(as_user(kVictim, [&] { return open_and_close(file.c_str()); }), ATTRIB_MNGR_OK);
        // Completed with the missing keys, the value kept.
        EXPECT_NE(read_file(file).find("ServerMachine=good.example"), std::string::npos);
    }
}

// A directory the attacker made, open to all without the sticky bit, holding a file of theirs
// that QZ_CFG_FILE_PATH then names: refused like a file in /tmp, and left as it was.
TEST_F(TwoUsers, ADirectoryMadeByAnotherUserIsShared) {
    const fs::path theirs = shared_ / "theirs";
    const auto make_open_directory = [&] { return ::mkdir(theirs.c_str(), 0) == 0 ? ::chmod(theirs.c_str(), 0777) : -1; };
    ASSERT_EQ(as_user(kAttacker, make_open_directory), 0);
    const fs::path file = theirs / "k_agent_attribs.cfg";
    ASSERT_EQ(as_user(kAttacker, [&] { return write_file(file, kForged, 0666) ? 0 : -1; }), 0);
    ::setenv("QZ_CFG_FILE_PATH", theirs.c_str(), 1);
    EXPECT_EQ(as_user(kVictim, [] { return open_and_close(nullptr); }), ATTRIB_MNGR_UNTRUSTED_FILE);
    ::unsetenv("QZ_CFG_FILE_PATH");
    EXPECT_EQ(read_file(file), kForged);
}

// A file of the attacker's, open to all, where the victim may use it (the victim's own
// directory, put there by an administrator): the victim's save makes it the victim's, and
// then no longer readable by others, since it may now hold the victim's secrets.
TEST_F(TwoUsers, ASaveOverAnotherUsersFileIsTheCallersAlone) {
    const fs::path file = victim_ / "agent.cfg";
    ASSERT_TRUE(write_file(file, kVictimsOwn, 0666));
    ASSERT_EQ(::chown(file.c_str(), kAttacker, kAttacker), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    ASSERT_EQ(as_user(kVictim, [&] {
                  AttribMngr* mngr = nullptr;
                  int32_t rc = attrib_mngr_init(file.c_str(), &mngr);
                  if (rc == 0) rc = attrib_mngr_set_attrib(mngr, "Agent", "ServerPassword", "s3cret", 1);
                  if (rc == 0) rc = attrib_mngr_save_attribs(mngr);
                  delete_attribs_mngr(mngr);
                  return rc;
              }),
              ATTRIB_MNGR_OK);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kVictim);
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << (st.st_mode & 07777);
}

// The save itself, reached through the store: the attacker's link is never written through.
TEST_F(TwoUsers, ASaveNeverWritesThroughAnotherUsersLink) {
    const fs::path own = victim_ / "secret.cfg";
    const fs::path missing = victim_ / "created.cfg";
    ASSERT_EQ(as_user(kVictim, [&] { return write_file(own, kVictimsOwn, 0600) ? 0 : -1; }), 0);
    // Loading through the link is refused as planted; a new file's save refuses to follow it.
    const struct {
        const char* label;
        fs::path target;
        bool add_existing;
        int32_t expected;
    } cases[] = {{"to the victim's file", own, true, CONFIG_E_UNTRUSTED},
                 {"dangling, into the victim's directory", missing, false, CONFIG_E_ACCESS}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path link = shared_ / (std::string("l") + (c.add_existing ? "1" : "2"));
        ASSERT_EQ(as_user(kAttacker, [&] { return ::symlink(c.target.c_str(), link.c_str()); }), 0);
        const int32_t rc = as_user(kVictim, [&] {
            const config_handle cfg = new_config();
            int32_t r = c.add_existing ? config_add_ini_file_source(cfg, link.c_str())
                                       : config_add_ini_new_file_source(cfg, link.c_str());
            if (r == CONFIG_OK) r = config_set_attrib(cfg, link.c_str(), "Agent", "ServerMachine", "overwritten");
            if (r == CONFIG_OK) r = config_save(cfg, link.c_str(), 0);
            delete_config(cfg);
            return r;
        });
        EXPECT_EQ(rc, c.expected);
        EXPECT_EQ(read_file(own), kVictimsOwn);
        EXPECT_FALSE(fs::exists(missing));
        EXPECT_TRUE(fs::is_symlink(link));
    }
}

}  // namespace
