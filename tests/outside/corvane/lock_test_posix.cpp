#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "corvane.h"
#include "environment.h"
#include "files.h"

namespace fs = std::filesystem;

namespace {

class LockFile : public ::testing::Test {
protected:
    void SetUp() override { env_.use_private_locks(dir_); }
    twtest::ScratchDir scratch_{"corvane_file"};
    const fs::path dir_ = scratch_.dir();
    twtest::EnvGuard env_;
};

TEST_F(LockFile, InitFailsWhereTheLockFileCannotBeOpened) {
    struct Case {
        const char* what;
        void (*prepare)(const fs::path& lock_path);
    };
    const Case cases[] = {
        {"a directory stands there", [](const fs::path& p) { fs::create_directory(p); }},
        {"a symbolic link stands there",
         [](const fs::path& p) {
             std::ofstream(p.string() + ".target") << "x";
             fs::create_symlink(p.string() + ".target", p);
         }},
        {"a fifo stands there", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0666), 0); }},
        {"the directory is missing", [](const fs::path& p) { fs::remove_all(p.parent_path()); }},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "case" + std::to_string(n++);
        c.prepare(dir_ / ("corvane-" + name + ".lock"));
        EXPECT_EQ(init_interprocess_critical_section(name.c_str()), 0u);
    }
}

TEST_F(LockFile, IsCreatedReadableAndWritableByAllPastTheUmask) {
    const mode_t saved = umask(077);
    const uint32_t lock = init_interprocess_critical_section("shared");
    umask(saved);
    ASSERT_NE(lock, 0u);
    struct stat st;
    ASSERT_EQ(stat((dir_ / "corvane-shared.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    destroy_interprocess_critical_section(lock);
}

TEST_F(LockFile, DistinctNamesGiveDistinctFiles) {
    struct Case {
        const char* name;
        const char* file;
    };
    const Case cases[] = {
        {"plain-Name_1.x", "corvane-plain-Name_1.x.lock"},
        {"a/b", "corvane-a%2Fb.lock"},
        {"a%2Fb", "corvane-a%252Fb.lock"},
        {"..", "corvane-...lock"},
        {"sp ace\xff", "corvane-sp%20ace%FF.lock"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t lock = init_interprocess_critical_section(c.name);
        ASSERT_NE(lock, 0u);
        EXPECT_TRUE(fs::is_regular_file(dir_ / c.file));
        destroy_interprocess_critical_section(lock);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 5);
}

TEST(LockDir, DefaultIsRunLock) {
    if (!fs::is_directory("/run/lock") || access("/run/lock", W_OK) != 0) GTEST_SKIP() << "/run/lock not writable";
    twtest::EnvGuard env;
    env.unset("CORVANE_LOCK_DIR");
    const std::string name = "corvane_default_" + std::to_string(std::random_device()());
    const uint32_t lock = init_interprocess_critical_section(name.c_str());
    const fs::path file = "/run/lock/corvane-" + name + ".lock";
    EXPECT_NE(lock, 0u);
    EXPECT_TRUE(fs::is_regular_file(file));
    destroy_interprocess_critical_section(lock);
    fs::remove(file);
}

}  // namespace
