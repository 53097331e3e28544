// SPDX-License-Identifier: Apache-2.0
// The operating system's reader: a file is read to its end as it stands when it is read, in
// requests of any size, also when it grew or shrank after it was opened.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "file_system.h"
#include "files.h"
#include "tarnwick/config.h"

namespace {

namespace fs = std::filesystem;

// Reads the file to its end in requests of capacity bytes, as a store does; *code gets the
// first failure.
std::string read_to_end(cfg::ReadableFile& file, size_t capacity, int32_t* code) {
    std::string out;
    std::vector<char> buffer(capacity);
    *code = CONFIG_OK;
    for (int reads = 0; reads < 100000; ++reads) {
        size_t got = 0;
        *code = file.read(buffer.data(), buffer.size(), &got);
        if (*code != CONFIG_OK || got == 0) break;
        out.append(buffer.data(), got);
    }
    return out;
}

TEST(Reader, ReadsTheFileAsItStandsWhatEverChangedSinceItWasOpened) {
    const std::string original = "[Agent]\nTimeOut = 20\nChannelType = TCP\n";
    const std::string more = "[Fitful]\nFitfulType = Batch\n";
    enum class Change { kNone, kGrown, kShrunk, kEmptied, kGrownByOne };
    const struct {
        const char* label;
        Change change;
        std::string expected;
    } changes[] = {
        {"unchanged", Change::kNone, original},
        {"grown", Change::kGrown, original + more},
        {"grown by one byte", Change::kGrownByOne, original + "x"},
        {"shrunk", Change::kShrunk, original.substr(0, 8)},
        {"emptied", Change::kEmptied, ""},
    };
    // The size when opened plus one (the store's first request), the size itself, a few bytes,
    // one byte, and more than all.
    const size_t capacities[] = {original.size() + 1, original.size(), 7, 1, 64 * 1024};
    twtest::ScratchDir scratch("reader");
    const std::string path = scratch.path("agent.cfg");
    for (const auto& c : changes) {
        for (const size_t capacity : capacities) {
            SCOPED_TRACE(std::string(c.label) + ", requests of " + std::to_string(capacity));
            ASSERT_TRUE(twtest::write_file(path, original));
            std::unique_ptr<cfg::ReadableFile> file;
            ASSERT_EQ(cfg::os_file_system().open_for_read(path, &file), CONFIG_OK);
            EXPECT_EQ(file->size_hint(), original.size());
            switch (c.change) {
                case Change::kNone: break;
                case Change::kGrown: std::ofstream(path, std::ios::binary | std::ios::app) << more; break;
                case Change::kGrownByOne: std::ofstream(path, std::ios::binary | std::ios::app) << "x"; break;
                case Change::kShrunk: fs::resize_file(path, 8); break;
                case Change::kEmptied: fs::resize_file(path, 0); break;
            }
            int32_t code = CONFIG_E_INTERNAL;
            EXPECT_EQ(read_to_end(*file, capacity, &code), c.expected);
            EXPECT_EQ(code, CONFIG_OK);
            // The end stays the end.
            char byte = 0;
            size_t got = 1;
            EXPECT_EQ(file->read(&byte, 1, &got), CONFIG_OK);
            EXPECT_EQ(got, 0u);
        }
    }
}

}  // namespace
