// Loading and saving through the file-system seam: failures injected at each step of a save,
// saves that change nothing, new files, and files that cannot be loaded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config.h"
#include "file_system.h"
#include "store.h"
#include "test_files.h"

namespace {

using cfgtest::ScratchDir;
using cfgtest::read_bytes;
using cfgtest::write_bytes;

enum class Step { kNone, kCreateTemp, kAppend, kSync, kClose, kReplace, kSyncDir };

// The operating system's file system, failing at one chosen step and counting temporary files.
class FaultyFileSystem final : public cfg::FileSystem {
public:
    explicit FaultyFileSystem(Step fail = Step::kNone) : fail_(fail) {}

    int temps_created = 0;

    int32_t open_for_read(const std::string& path, std::unique_ptr<cfg::ReadableFile>* file) override {
        return os().open_for_read(path, file);
    }
    int32_t probe(const std::string& path) override { return os().probe(path); }
    int32_t resolve_links(const std::string& path, std::string* target) override {
        return os().resolve_links(path, target);
    }
    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<cfg::WritableFile>* file) override {
        if (fail_ == Step::kCreateTemp) return CONFIG_E_CREATE;
        std::unique_ptr<cfg::WritableFile> real;
        const int32_t rc = os().create_temp(target, temp_path, &real);
        if (rc != CONFIG_OK) return rc;
        ++temps_created;
        file->reset(new FaultyFile(std::move(real), fail_));
        return CONFIG_OK;
    }
    int32_t replace(const std::string& from, const std::string& to) override {
        return fail_ == Step::kReplace ? CONFIG_E_REPLACE : os().replace(from, to);
    }
    int32_t sync_dir(const std::string& path) override {
        return fail_ == Step::kSyncDir ? CONFIG_E_IO : os().sync_dir(path);
    }
    int32_t remove(const std::string& path) override { return os().remove(path); }

private:
    // Writes half of what it is given before failing, as a full disk would.
    class FaultyFile final : public cfg::WritableFile {
    public:
        FaultyFile(std::unique_ptr<cfg::WritableFile> real, Step fail) : real_(std::move(real)), fail_(fail) {}
        int32_t append(std::string_view bytes) override {
            if (fail_ != Step::kAppend) return real_->append(bytes);
            real_->append(bytes.substr(0, bytes.size() / 2));
            return CONFIG_E_NO_SPACE;
        }
        int32_t sync() override { return fail_ == Step::kSync ? CONFIG_E_FLUSH : real_->sync(); }
        int32_t finish() override { return real_->finish(); }
        int32_t close() override {
            const int32_t rc = real_->close();
            return fail_ == Step::kClose ? CONFIG_E_WRITE : rc;
        }

    private:
        std::unique_ptr<cfg::WritableFile> real_;
        Step fail_;
    };

    static cfg::FileSystem& os() { return cfg::os_file_system(); }
    Step fail_;
};

const std::string kOriginal = "; kept\r\n[Agent]\r\nTimeOut = 20\r\n";

TEST(Save, AnInterruptedSaveLeavesTheFileAsItWasAndNoTemporaryFile) {
    const struct {
        Step step;
        int32_t code;
    } cases[] = {
        {Step::kCreateTemp, CONFIG_E_CREATE}, {Step::kAppend, CONFIG_E_NO_SPACE}, {Step::kSync, CONFIG_E_FLUSH},
        {Step::kClose, CONFIG_E_WRITE},       {Step::kReplace, CONFIG_E_REPLACE},
    };
    for (const auto& c : cases) {
        for (bool existing : {true, false}) {
            ScratchDir dir;
            const std::string path = dir.path("agent.cfg");
            if (existing) write_bytes(path, kOriginal);
            FaultyFileSystem fs(c.step);
            cfg::Store store(fs);
            ASSERT_EQ(existing ? store.add_file_source(path) : store.add_new_file_source(path), CONFIG_OK);
            ASSERT_EQ(store.set(path, "Agent", "TimeOut", "99"), CONFIG_OK);
            EXPECT_EQ(store.save(path, 0), c.code) << static_cast<int>(c.step);
            if (existing) {
                EXPECT_EQ(read_bytes(path), kOriginal) << static_cast<int>(c.step);
                EXPECT_EQ(dir.names(), std::vector<std::string>{"agent.cfg"}) << static_cast<int>(c.step);
            } else {
                EXPECT_TRUE(dir.names().empty()) << static_cast<int>(c.step);
            }
        }
    }
}

TEST(Save, AFailedDirectorySyncIsReportedWithTheNewContentInPlace) {
    ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    write_bytes(path, kOriginal);
    FaultyFileSystem fs(Step::kSyncDir);
    cfg::Store store(fs);
    ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "agent", "timeout", "5"), CONFIG_OK);
    EXPECT_EQ(store.save(path, 0), CONFIG_E_DURABILITY);
    EXPECT_EQ(read_bytes(path), "; kept\r\n[Agent]\r\nTimeOut = 5\r\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"agent.cfg"});
}

TEST(Save, WritesNothingWhenTheFileAlreadyHoldsTheBytes) {
    ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    write_bytes(path, kOriginal);
    FaultyFileSystem fs;
    cfg::Store store(fs);
    ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
    EXPECT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(fs.temps_created, 0);

    // A change undone is no change either.
    ASSERT_EQ(store.set(path, "Agent", "TimeOut", "21"), CONFIG_OK);
    ASSERT_EQ(store.set(path, "Agent", "TimeOut", "20"), CONFIG_OK);
    EXPECT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(fs.temps_created, 0);

    // What counts is the disk, not what was loaded.
    write_bytes(path, "changed elsewhere\n");
    EXPECT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(fs.temps_created, 1);
    EXPECT_EQ(read_bytes(path), kOriginal);
}

TEST(Save, ANewFileThatAppearedMeanwhileIsReplaced) {
    ScratchDir dir;
    const std::string path = dir.path("new.cfg");
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_new_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "A", "k", "v"), CONFIG_OK);
    write_bytes(path, "[Other]\nx=1\n");
    ASSERT_EQ(store.save(path, 0), CONFIG_OK);
    const std::string eol = cfg::native_line_ending();
    EXPECT_EQ(read_bytes(path), "[A]" + eol + "k=v" + eol);
}

TEST(Save, SourcesThatCannotBeAdded) {
    ScratchDir dir;
    write_bytes(dir.path("exists.cfg"), "[A]\n");
    cfgtest::fs::create_directory(dir.dir() / "folder");
    const struct {
        bool as_new;
        std::string path;
        int32_t code;
    } cases[] = {
        {false, dir.path("missing.cfg"), CONFIG_E_NOT_FOUND},
        {false, dir.path("folder"), CONFIG_E_NOT_FILE},
        {false, dir.path("no_dir") + "/x.cfg", CONFIG_E_NOT_FOUND},
        {false, "", CONFIG_E_ARGUMENT},
        {true, dir.path("exists.cfg"), CONFIG_E_EXISTS},
        {true, dir.path("folder"), CONFIG_E_EXISTS},
        {true, "", CONFIG_E_ARGUMENT},
    };
    for (const auto& c : cases) {
        cfg::Store store(cfg::os_file_system());
        const int32_t rc = c.as_new ? store.add_new_file_source(c.path) : store.add_file_source(c.path);
        EXPECT_EQ(rc, c.code) << c.path;
        // The store stays without source.
        EXPECT_EQ(store.set(c.path, "A", "k", "v"), CONFIG_E_NO_SOURCE) << c.path;
    }
    EXPECT_EQ(read_bytes(dir.path("exists.cfg")), "[A]\n");
}

}  // namespace
