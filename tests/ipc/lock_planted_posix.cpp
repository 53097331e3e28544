// SPDX-License-Identifier: Apache-2.0
// The opening lock against another local user (the test runs as root and becomes a victim and
// an attacker with setresuid). What the attacker can make in advance never stops the victim's
// opening; holding the lock itself delays it by the bound at most, and only while the
// attacker's process lives.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "as_user_posix.h"
#include "attribs/handle.h"
#include "environment.h"
#include "files.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"

namespace {

namespace fs = std::filesystem;
using twtest::AsUser;
using twtest::kAttacker;
using twtest::kVictim;

constexpr int32_t kThrew = 1;  // the victim's opening threw

class PlantedLock : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "two users need root: the test becomes each with setresuid";
        env_.use_private_locks();
        name_ = *twtest::get_env("CORVANE_LOCK_PREFIX") + tw::kInitLockName;
        char root[] = "/tmp/tw_planted_lock_XXXXXX";
        ASSERT_NE(::mkdtemp(root), nullptr);
        root_ = root;
        ASSERT_EQ(::chmod(root, 0755), 0);
        const fs::path victim = root_ / "victim";
        fs::create_directory(victim);
        ASSERT_EQ(::chown(victim.c_str(), kVictim, kVictim), 0);
        ASSERT_EQ(::chmod(victim.c_str(), 0700), 0);
        file_ = victim / "agent.cfg";
        own_ = victim / "own.cfg";
        ASSERT_EQ(twtest::as_user(kVictim, [&] { return twtest::write_file(own_.string(), "mine") ? 0 : -1; }), 0);
    }
    void TearDown() override {
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }

    // The victim opens (creating or completing) its own file as a host does, waiting for the
    // lock at most bound_ms.
    int32_t victim_opens(uint32_t bound_ms = tw::kInitLockTimeoutMs) {
        return twtest::as_user(kVictim, [&] {
            try {
                AttribMngr* mngr = nullptr;
                const int32_t rc = tw::open_attrib_mngr(file_.c_str(), &mngr, {maw_malloc, maw_free}, bound_ms);
                delete_attribs_mngr(mngr);
                return rc;
            } catch (CKvBaseException&) {
                return kThrew;
            }
        });
    }

    twtest::EnvGuard env_;
    std::string name_;  // the opening lock's name, prefix included
    fs::path root_, file_, own_;
};

// A socket of kind bound to the name the lock uses on Linux; -1 when that fails.
int bind_lock_name(const std::string& name, int kind) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string abstract = "corvane-" + name;
    std::memcpy(address.sun_path + 1, abstract.data(), abstract.size());
    const int fd = ::socket(AF_UNIX, kind, 0);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstract.size());
    return fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 ? 0 : -1;
}

TEST_F(PlantedLock, NothingPlantedInAdvanceStopsTheOpening) {
    // Where a lock file would stand: the directory every user may write.
    const fs::path path = "/run/lock/corvane-" + name_ + ".lock";
    const std::string own = own_.string();
    const struct {
        const char* label;
        std::function<int(const char*)> plant;
    } cases[] = {
        {"a directory", [](const char* p) { return ::mkdir(p, 0700); }},
        {"a file of mode 0000", [](const char* p) { return twtest::write_file(p, "") && ::chmod(p, 0) == 0 ? 0 : -1; }},
        {"a file of mode 0400", [](const char* p) { return twtest::write_file(p, "") && ::chmod(p, 0400) == 0 ? 0 : -1; }},
        {"a FIFO", [](const char* p) { return ::mkfifo(p, 0600); }},
        {"a link to the victim's file", [&](const char* p) { return ::symlink(own.c_str(), p); }},
        {"a link to nothing", [](const char* p) { return ::symlink("/nonexistent/corvane", p); }},
        // Kept by the attacker's process while the victim opens.
        {"a datagram socket bound to the lock's name", [&](const char*) { return bind_lock_name(name_, SOCK_DGRAM); }},
        {"a sequenced-packet socket bound to the lock's name",
         [&](const char*) { return bind_lock_name(name_, SOCK_SEQPACKET); }},
    };
    if (!fs::is_directory("/run/lock")) GTEST_SKIP() << "no /run/lock";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove(file_);
        AsUser attacker(kAttacker, [&] { return c.plant(path.c_str()); });
        ASSERT_EQ(attacker.result(), 0);
        EXPECT_EQ(victim_opens(), ATTRIB_MNGR_OK);
        EXPECT_TRUE(fs::exists(file_));
        attacker.end();
        std::error_code ec;
        fs::remove(path, ec);
    }
    EXPECT_EQ(twtest::read_file(own), "mine");
}

TEST_F(PlantedLock, AnotherUsersHoldDelaysTheOpeningByTheBoundWhileItLives) {
    AsUser holder(kAttacker, [&] {
        const uint32_t lock = init_interprocess_critical_section(tw::kInitLockName);
        return lock != 0 && try_enter_interprocess_critical_section(lock, 0) == 1 ? 0 : -1;
    });
    ASSERT_EQ(holder.result(), 0);
    EXPECT_EQ(victim_opens(300), ATTRIB_MNGR_LOCK_TIMEOUT);
    EXPECT_FALSE(fs::exists(file_));
    holder.kill();  // dies holding the lock: the kernel gives the name back
    EXPECT_EQ(victim_opens(), ATTRIB_MNGR_OK);
    EXPECT_TRUE(fs::exists(file_));
}

}  // namespace
