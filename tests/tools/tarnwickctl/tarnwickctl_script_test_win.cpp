// SPDX-License-Identifier: Apache-2.0
// tarnwickctl edit with a batch script as the editor, run through cmd as Windows runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "child_process.h"
#include "environment.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(TarnwickctlBatchEditor, ABatchScriptEditsTheFile) {
    std::random_device random;
    fs::path dir;
    do {
        dir = fs::temp_directory_path() / ("tarnwickctl-bat-" + std::to_string(random()));
    } while (!fs::create_directory(dir));
    const std::string program = (twtest::program_dir() / TARNWICKCTL_FILE_NAME).string();
    const std::string file = (dir / "agent.cfg").string();
    ASSERT_EQ(twtest::run_process(program, {"set", "--file", file, "Agent", "HostSymbol", ""}, "").exit_code, 0);
    const std::string before = read_file(file);

    // Adds a section with one key: a clean edit, so the file is replaced.
    const fs::path script = dir / "edit script.cmd";
    std::ofstream(script, std::ios::binary) << "@echo off\r\n"
                                               "if not \"%1\"==\"--an-option\" exit /b 9\r\n"
                                               "echo [Added]>>%2\r\n"
                                               "echo Key=from batch>>%2\r\n";
    twtest::ProcessResult r;
    {
        twtest::EnvGuard env;
        env.set("VISUAL", ("\"" + script.string() + "\" --an-option").c_str());
        r = twtest::run_process(program, {"edit", "--file", file}, "");
    }
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read_file(file), before + "[Added]\r\nKey=from batch\r\n");
    EXPECT_EQ(twtest::run_process(program, {"get", "Key", "--file", file}, "").out, "from batch\n");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

}  // namespace
