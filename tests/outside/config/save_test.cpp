// SPDX-License-Identifier: Apache-2.0
// Loading and saving through the file-system seam: failures injected at each step of a save
// (in memory), saves that change nothing, new files, and files that cannot be loaded.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <system_error>

#include "file_system.h"
#include "files.h"
#include "memory_file_system.h"
#include "racing_save.h"
#include "store.h"
#include "tarnwick/config.h"

namespace {

using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

using Step = twtest::MemoryFileSystem::Step;

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
            const std::string path = "/agent.cfg";
            twtest::MemoryFileSystem fs(c.step);
            if (existing) fs.files[path] = kOriginal;
            cfg::Store store(fs);
            ASSERT_EQ(existing ? store.add_file_source(path) : store.add_new_file_source(path), CONFIG_OK);
            ASSERT_EQ(store.set(path, "Agent", "TimeOut", "99"), CONFIG_OK);
            EXPECT_EQ(store.save(path, 0), c.code) << static_cast<int>(c.step);
            // The original unchanged, and no temporary file left beside it.
            using Files = std::map<std::string, std::string>;
            EXPECT_EQ(fs.files, (existing ? Files{{path, kOriginal}} : Files{})) << static_cast<int>(c.step);
        }
    }
}

TEST(Save, AFailedDirectorySyncIsReportedWithTheNewContentInPlace) {
    const std::string path = "/agent.cfg";
    twtest::MemoryFileSystem fs(Step::kSyncDir);
    fs.files[path] = kOriginal;
    cfg::Store store(fs);
    ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "agent", "timeout", "5"), CONFIG_OK);
    EXPECT_EQ(store.save(path, 0), CONFIG_E_DURABILITY);
    EXPECT_EQ(fs.files, (std::map<std::string, std::string>{{path, "; kept\r\n[Agent]\r\nTimeOut = 5\r\n"}}));
}

TEST(Save, WritesNothingWhenTheFileAlreadyHoldsTheBytes) {
    const std::string path = "/agent.cfg";
    twtest::MemoryFileSystem fs;
    fs.files[path] = kOriginal;
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
    fs.files[path] = "changed elsewhere\n";
    EXPECT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(fs.temps_created, 1);
    EXPECT_EQ(fs.files[path], kOriginal);
}

TEST(Save, ANewFileThatAppearedMeanwhileIsReplaced) {
    ScratchDir dir;
    const std::string path = dir.path("new.cfg");
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_new_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "A", "k", "v"), CONFIG_OK);
    write_file(path, "[Other]\nx=1\n");
    ASSERT_EQ(store.save(path, 0), CONFIG_OK);
    const std::string eol = cfg::native_line_ending();
    EXPECT_EQ(read_file(path), "[A]" + eol + "k=v" + eol);
}

// Another process may remove the file at any moment of a save: the save then writes a new file
// rather than failing.
TEST(Save, AFileRemovedDuringTheSaveIsWrittenAnew) {
    ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    const std::string side = dir.path("side.cfg");
    write_file(path, kOriginal);
    // The file comes back whole by rename, and goes again.
    EXPECT_EQ(twtest::save_while(path,
                                 [&] {
                                     std::error_code ec;
                                     write_file(side, kOriginal);
                                     std::filesystem::rename(side, path, ec);
                                     std::filesystem::remove(path, ec);
                                 },
                                 1000),
              "");
}

TEST(Save, SourcesThatCannotBeAdded) {
    ScratchDir dir;
    write_file(dir.path("exists.cfg"), "[A]\n");
    std::filesystem::create_directory(dir.dir() / "folder");
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
        {true, dir.path("folder"), CONFIG_E_NOT_FILE},
        {true, "", CONFIG_E_ARGUMENT},
    };
    for (const auto& c : cases) {
        cfg::Store store(cfg::os_file_system());
        const int32_t rc = c.as_new ? store.add_new_file_source(c.path) : store.add_file_source(c.path);
        EXPECT_EQ(rc, c.code) << c.path;
        // The store stays without source.
        EXPECT_EQ(store.set(c.path, "A", "k", "v"), CONFIG_E_NO_SOURCE) << c.path;
    }
    EXPECT_EQ(read_file(dir.path("exists.cfg")), "[A]\n");
}

}  // namespace
