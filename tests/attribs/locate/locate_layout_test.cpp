// SPDX-License-Identifier: Apache-2.0
// Locating the attribute file from an installation: the library copied into P/bin (Windows)
// or P/lib (POSIX), the product configuration in P/dat, a host process run from elsewhere.
// Each case compares the path query with what opening with a null path opens.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "child_process.h"
#include "environment.h"
#include "files.h"
#include "tarnwick.h"
#include "tarnwick/plinth32.h"

namespace {

namespace fs = std::filesystem;
using twtest::EnvGuard;

constexpr char kSep = OS_PATH_SEPARATOR;
constexpr char kMyAgentConfig[] = "[Product]\nUniqueConfiguration=1\nProductName=My Agent\n";

struct Answer {
    int32_t code = 1;
    std::string path;
};

struct HostRun {
    int exit_code = -1;
    Answer query;
    Answer open;
    int references = -1;
};

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = scratch_.dir();
        const fs::path install = root_ / "P";
        library_dir_ = install / twtest::library_folder_name();
        bin_dir_ = install / "bin";
        dat_dir_ = install / "dat";
        work_dir_ = root_ / "work";
        for (const fs::path& dir : {library_dir_, bin_dir_, dat_dir_, work_dir_, root_ / "tmp"})
            fs::create_directories(dir);
        for (const fs::directory_entry& entry : fs::directory_iterator(twtest::program_dir() / TW_LAYOUT_LIBS_SUBDIR))
            if (entry.is_regular_file() && twtest::is_shared_library(entry.path()))
                fs::copy_file(entry.path(), library_dir_ / entry.path().filename());
        host_ = bin_dir_ / twtest::executable_name("locate_host");
        fs::copy_file(twtest::helper_path("locate_host"), host_);
        resolver_ = twtest::program_dir().parent_path() / TW_RESOLVER_SUBDIR / TW_RESOLVER_FILE;
        ASSERT_TRUE(fs::is_regular_file(resolver_)) << resolver_;

        env_.set_temp_dir(root_ / "tmp");
        env_.set("QZ_CFG_FILE_PATH", nullptr);
        env_.set("TRELLUM_TEST_DIR", nullptr);
        if (twtest::library_path_variable()[0] != '\0')
            env_.set(twtest::library_path_variable(), library_dir_.string().c_str());
    }

    HostRun run_host(const std::vector<std::string>& extra = {}) {
        const fs::path out = root_ / "host.out";
        fs::remove(out);
        std::vector<std::string> args{out.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        HostRun run;
        twtest::Child host(host_, args, work_dir_);
        EXPECT_TRUE(host.running()) << host_;
        run.exit_code = host.wait();
        std::istringstream lines(twtest::read_file(out));
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string what;
            Answer answer;
            words >> what >> answer.code;
            if (what == "references") {
                run.references = answer.code;
                continue;
            }
            words.get();
            std::getline(words, answer.path);
            (what == "query" ? run.query : run.open) = answer;
        }
        return run;
    }

    twtest::ScratchDir scratch_{"layout"};
    fs::path root_, library_dir_, bin_dir_, dat_dir_, work_dir_, host_, resolver_;
    EnvGuard env_;
};

enum class Resolver { kNone, kBeside, kWorkingDir };

TEST_F(Layout, OpeningAndTheQueryAgreeOnTheFile) {
    struct Case {
        const char* label;
        const char* product_config;  // nullptr: none
        bool override_dir;           // QZ_CFG_FILE_PATH names root/cfg (created by opening)
        Resolver resolver;
        size_t resolver_answer;  // 0: names root/resolved; n: a directory text of n characters
        const char* expected_dir;
        const char* expected_name;
        int32_t expected_code;
    };
    const size_t no_room = 1024 - 1 - std::strlen("k_agent_attribs.cfg");
    const Case cases[] = {
        {"product, temporary directory", kMyAgentConfig, false, Resolver::kNone, 0, "tmp", "My_Agent_agent_attribs.cfg", 0},
        {"product, override", kMyAgentConfig, true, Resolver::kNone, 0, "cfg", "My_Agent_agent_attribs.cfg", 0},
        {"product not unique, override", "[P]\nUniqueConfiguration=0\nProductName=My Agent\n", true, Resolver::kNone, 0,
         "cfg", "k_agent_attribs.cfg", 0},
        {"resolver beside the library", nullptr, false, Resolver::kBeside, 0, "resolved", "k_agent_attribs.cfg", 0},
        {"resolver and product", kMyAgentConfig, false, Resolver::kBeside, 0, "resolved", "My_Agent_agent_attribs.cfg", 0},
        {"override before resolver", nullptr, true, Resolver::kBeside, 0, "cfg", "k_agent_attribs.cfg", 0},
        {"resolver in the working directory is not loaded", nullptr, false, Resolver::kWorkingDir, 0, "tmp",
         "k_agent_attribs.cfg", 0},
        {"resolver answer without terminator", nullptr, false, Resolver::kBeside, 1024, nullptr, nullptr,
         ATTRIB_MNGR_PATH_TOO_LONG},
        {"resolver answer leaves no room", nullptr, false, Resolver::kBeside, no_room, nullptr, nullptr,
         ATTRIB_MNGR_PATH_TOO_LONG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path dirs[] = {root_ / "cfg", root_ / "resolved", dat_dir_ / "brix_agent.cfg",
                                 library_dir_ / resolver_.filename(), work_dir_ / resolver_.filename()};
        for (const fs::path& stale : dirs) fs::remove_all(stale);
        fs::create_directories(root_ / "resolved");

        if (c.product_config != nullptr) twtest::write_file(dat_dir_ / "brix_agent.cfg", c.product_config);
        env_.set("QZ_CFG_FILE_PATH", c.override_dir ? (root_ / "cfg").string().c_str() : nullptr);
        if (c.resolver == Resolver::kBeside) fs::copy_file(resolver_, library_dir_ / resolver_.filename());
        if (c.resolver == Resolver::kWorkingDir) fs::copy_file(resolver_, work_dir_ / resolver_.filename());
        const std::string answer =
            c.resolver_answer == 0 ? (root_ / "resolved").string() : std::string(c.resolver_answer, 'r');
        env_.set("TRELLUM_TEST_DIR", answer.c_str());

        const HostRun run = run_host();
        ASSERT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.query.code, c.expected_code);
        EXPECT_EQ(run.open.code, c.expected_code);
        if (c.expected_code != ATTRIB_MNGR_OK) continue;
        const std::string expected = (root_ / c.expected_dir).string() + kSep + c.expected_name;
        EXPECT_EQ(run.query.path, expected);
        EXPECT_EQ(run.open.path, expected);
        EXPECT_TRUE(fs::is_regular_file(expected)) << "opening creates the file";
    }
}

TEST_F(Layout, TheResolverIsLoadedOnceForEveryOpen) {
    const fs::path beside = library_dir_ / resolver_.filename();
    fs::copy_file(resolver_, beside);
    env_.set("TRELLUM_TEST_DIR", (root_ / "resolved").string().c_str());
    fs::create_directories(root_ / "resolved");

    const HostRun run = run_host({"--resolver-references", beside.string()});
    ASSERT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.references, 1) << "three opens hold one reference";
}

TEST_F(Layout, AnExplicitPathIgnoresOverrideAndProductConfiguration) {
    twtest::write_file(dat_dir_ / "brix_agent.cfg", kMyAgentConfig);
    env_.set("QZ_CFG_FILE_PATH", (root_ / "never").string().c_str());
    const fs::path explicit_path = root_ / "agent.cfg";

    const HostRun run = run_host({explicit_path.string()});
    ASSERT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.open.code, ATTRIB_MNGR_OK);
    EXPECT_EQ(run.open.path, explicit_path.string());
    EXPECT_TRUE(fs::is_regular_file(explicit_path));
    EXPECT_FALSE(fs::exists(root_ / "never")) << "neither the query nor an explicit open creates it";
    EXPECT_EQ(run.query.path, (root_ / "never").string() + kSep + "My_Agent_agent_attribs.cfg");
}

}  // namespace
