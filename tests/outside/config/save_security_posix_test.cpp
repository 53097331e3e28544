// SPDX-License-Identifier: Apache-2.0
// What a save shows of a file while it writes it, and the links it refuses to follow.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tarnwick/config.h"
#include "file_system.h"
#include "store.h"
#include "files.h"
#include "pass_through_file_system.h"

namespace {

using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

// The operating system's file system, recording the mode of each temporary file at the
// moment it is created and once it is finished.
class ModeRecorder final : public twtest::PassThroughFileSystem {
public:
    std::vector<mode_t> created_modes;
    std::vector<mode_t> finished_modes;

    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<cfg::WritableFile>* file) override {
        std::unique_ptr<cfg::WritableFile> real;
        const int32_t rc = os().create_temp(target, temp_path, &real);
        if (rc != CONFIG_OK) return rc;
        created_modes.push_back(mode_of(*temp_path));
        file->reset(new Recording(std::move(real), *temp_path, finished_modes));
        return CONFIG_OK;
    }
    static mode_t mode_of(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
    }

private:
    class Recording final : public cfg::WritableFile {
    public:
        Recording(std::unique_ptr<cfg::WritableFile> real, std::string path, std::vector<mode_t>& finished)
            : real_(std::move(real)), path_(std::move(path)), finished_(finished) {}
        int32_t append(std::string_view bytes) override { return real_->append(bytes); }
        int32_t sync() override { return real_->sync(); }
        int32_t finish() override {
            const int32_t rc = real_->finish();
            finished_.push_back(mode_of(path_));
            return rc;
        }
        int32_t close() override { return real_->close(); }

    private:
        std::unique_ptr<cfg::WritableFile> real_;
        std::string path_;
        std::vector<mode_t>& finished_;
    };
};

// Umask 0: the most open a file could be created; restored afterwards.
class OpenUmask {
public:
    OpenUmask() : old_(::umask(0)) {}
    ~OpenUmask() { ::umask(old_); }

private:
    mode_t old_;
};

TEST(SaveSecurity, TheTemporaryFileIsNeverMoreOpenThanTheFile) {
    // 0 marks a file that does not exist yet.
    for (mode_t mode : {0600, 0640, 0644, 0666, 0400 | 0200, 0}) {
        SCOPED_TRACE(std::to_string(mode));
        ScratchDir dir;
        const std::string path = dir.path("a.cfg");
        ModeRecorder fs;
        cfg::Store store(fs);
        OpenUmask open_umask;
        if (mode != 0) {
            write_file(path, "[A]\nk=1\n");
            ASSERT_EQ(::chmod(path.c_str(), mode), 0);
            ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
        } else {
            ASSERT_EQ(store.add_new_file_source(path), CONFIG_OK);
        }
        ASSERT_EQ(store.set(path, "A", "k", "secret"), CONFIG_OK);
        ASSERT_EQ(store.save(path, 0), CONFIG_OK);
        // Open to its creator alone while the secret is written; then the file's own mode,
        // and for a new file 0600 whatever the umask.
        const mode_t expected = mode != 0 ? mode : 0600;
        EXPECT_EQ(fs.created_modes, std::vector<mode_t>{0600});
        EXPECT_EQ(fs.finished_modes, std::vector<mode_t>{expected});
        EXPECT_EQ(ModeRecorder::mode_of(path), expected);
    }
}

int32_t set_and_save(const std::string& path) {
    cfg::Store store(cfg::os_file_system());
    int32_t rc = store.add_file_source(path);
    if (rc == CONFIG_OK) rc = store.set(path, "A", "k", "2");
    if (rc == CONFIG_OK) rc = store.save(path, 0);
    return rc;
}

TEST(SaveSecurity, ADanglingLinkCreatesNoFile) {
    ScratchDir dir;
    twtest::fs::create_directory(dir.dir() / "elsewhere");
    const std::string link = dir.path("a.cfg");
    ASSERT_EQ(::symlink(dir.path("elsewhere/new.cfg").c_str(), link.c_str()), 0);
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_new_file_source(link), CONFIG_OK);
    ASSERT_EQ(store.set(link, "A", "k", "1"), CONFIG_OK);
    EXPECT_EQ(store.save(link, 0), CONFIG_E_NOT_FOUND);
    EXPECT_TRUE(twtest::fs::is_empty(dir.dir() / "elsewhere"));
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "elsewhere"}));
}

TEST(SaveSecurity, OnlyTheCallersOrRootsLinksAreFollowed) {
    // Giving a link away needs privilege.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
    const struct {
        const char* label;
        uid_t owner;
        int32_t expected;
    } cases[] = {
        {"own link", ::geteuid(), CONFIG_OK},
        {"root's link", 0, CONFIG_OK},
        {"another user's link", 1002, CONFIG_E_ACCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir dir;
        const std::string target = dir.path("real.cfg");
        const std::string link = dir.path("a.cfg");
        write_file(target, "[A]\nk=1\n");
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), c.owner, c.owner), 0);
        EXPECT_EQ(set_and_save(link), c.expected);
        EXPECT_EQ(read_file(target), c.expected == CONFIG_OK ? "[A]\nk=2\n" : "[A]\nk=1\n");
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "real.cfg"}));
    }
}

}  // namespace
