// SPDX-License-Identifier: Apache-2.0
// Other parsers' INI test files, where a checkout keeps them beside the project (a "shared/peer-ini"
// folder in one of the directories above this source): each round-trips byte for byte, through
// a save that finds nothing to write and through one that must write. The files are read in
// place, into an in-memory file system; nothing is written next to them.
#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#include "files.h"
#include "memory_file_system.h"
#include "store.h"
#include "tarnwick/config.h"

namespace {

namespace fs = twtest::fs;

fs::path peer_ini_dir() {
    std::error_code ec;
    for (fs::path dir = fs::path(__FILE__).parent_path(); !dir.empty(); dir = dir.parent_path()) {
        const fs::path candidate = dir / "shared" / "peer-ini";
        if (fs::is_directory(candidate, ec)) return candidate;
        if (dir == dir.parent_path()) break;
    }
    return fs::path();
}

TEST(PeerIni, EveryFileRoundTripsThroughUnchangedAndForcedSaves) {
    const fs::path dir = peer_ini_dir();
    if (dir.empty()) GTEST_SKIP() << "no shared/peer-ini folder above " << __FILE__;
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    ASSERT_FALSE(files.empty()) << dir;

    const std::string path = "/peer.ini";
    for (const fs::path& file : files) {
        const std::string bytes = twtest::read_file(file.string());
        twtest::MemoryFileSystem mem;
        mem.files[path] = bytes;
        cfg::Store store(mem);
        ASSERT_EQ(store.add_file_source(path), CONFIG_OK) << file;

        // Unchanged: nothing to write.
        ASSERT_EQ(store.save(path, 0), CONFIG_OK) << file;
        EXPECT_EQ(mem.files[path], bytes) << file;

        // Every value looked up (each is terminated in place), then a save that must write.
        std::vector<std::string> keys;
        store.for_each_entry(path, [&](std::string_view, std::string_view k, std::string_view) {
            keys.emplace_back(k);
            return 0;
        });
        for (const std::string& k : keys) EXPECT_NE(store.get(k), nullptr) << file << ": " << k;
        mem.files.erase(path);
        ASSERT_EQ(store.save(path, 0), CONFIG_OK) << file;
        EXPECT_EQ(mem.files[path], bytes) << file;
        EXPECT_EQ(mem.files.size(), 1u) << file;
    }
}

}  // namespace
