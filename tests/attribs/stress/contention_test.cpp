// SPDX-License-Identifier: Apache-2.0
// Sixteen processes open, change and save the same attribute file fifty times each, some
// rounds starting from a missing file: no call fails and the file is always whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "file_check.h"
#include "files.h"

namespace {

namespace fs = std::filesystem;

TEST(Contention, ManyProcessesOpenSetAndSaveTheSameFile) {
    constexpr int kProcesses = 16;
    constexpr int kRounds = 50;
    const twtest::ScratchDir scratch("contention");
    const fs::path root = scratch.dir();
    const fs::path file = root / "shared.cfg";
    const fs::path go = root / "go";
    const fs::path host = twtest::helper_path("contention_host");

    std::vector<twtest::Child> children;
    for (int i = 0; i < kProcesses; ++i) {
        children.emplace_back(host,
                              std::vector<std::string>{(root / ("host" + std::to_string(i) + ".out")).string(),
                                                       file.string(), go.string(), std::to_string(i),
                                                       std::to_string(kRounds)},
                              root);
        EXPECT_TRUE(children.back().running()) << host;
    }
    twtest::write_file(go, "go");
    for (int i = 0; i < kProcesses; ++i) {
        EXPECT_EQ(children[i].wait(), 0) << i;
        EXPECT_EQ(twtest::read_file(root / ("host" + std::to_string(i) + ".out")), "ok\n") << "process " << i;
    }
    EXPECT_EQ(twload::check_attrib_file(file.string()), "");
}

}  // namespace
