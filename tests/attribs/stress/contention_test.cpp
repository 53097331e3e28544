// Sixteen processes open, change and save the same attribute file fifty times each, some
// rounds starting from a missing file: no call fails and the file is always whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_check.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(Contention, ManyProcessesOpenSetAndSaveTheSameFile) {
    constexpr int kProcesses = 16;
    constexpr int kRounds = 50;
    const fs::path root = twtest::make_temp_dir("contention");
    const fs::path file = root / "shared.cfg";
    const fs::path go = root / "go";
    const fs::path host = twtest::program_dir() / twtest::executable_name("contention_host");

    std::vector<twtest::Child> children;
    for (int i = 0; i < kProcesses; ++i)
        children.push_back(twtest::start_process(
            host, {(root / ("host" + std::to_string(i) + ".out")).string(), file.string(), go.string(),
                   std::to_string(i), std::to_string(kRounds)},
            root));
    twtest::write_file(go, "go");
    for (int i = 0; i < kProcesses; ++i) {
        EXPECT_EQ(twtest::wait_process(children[i]), 0) << i;
        EXPECT_EQ(twtest::read_file(root / ("host" + std::to_string(i) + ".out")), "ok\n") << "process " << i;
    }
    EXPECT_EQ(twload::check_attrib_file(file.string()), "");
    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace
