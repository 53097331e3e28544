// What tarnwickctl refuses, and the exit status it says so with: a file another user planted
// (refused by every command, with its control bytes escaped in every message), and the
// refusals and statuses of the commands as one table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "child_process.h"
#include "environment.h"
#include "files.h"

namespace {

namespace fs = std::filesystem;
using twtest::ProcessResult;
using ::testing::HasSubstr;
using ::testing::Not;

ProcessResult ctl(const std::vector<std::string>& args, const std::string& input = "") {
    const fs::path program = twtest::program_dir() / TARNWICKCTL_FILE_NAME;
    ProcessResult r = twtest::run_process(program, args, input);
    EXPECT_NE(r.exit_code, -1) << "could not start " << program;
    return r;
}

// Every entry of a directory, by name.
std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

#ifndef _WIN32
// A file of another user (uid 1002) in a directory every user may write to, its name and
// keys holding terminal controls. Each command refuses it with the library's code and words,
// writes nothing, and prints none of its control bytes raw.
TEST(Planted, EveryCommandRefusesAPlantedFileAndEscapesItsName) {
    if (geteuid() != 0) GTEST_SKIP() << "planting a file of another user needs root (chown)";
    const twtest::ScratchDir scratch("tarnwickctl-planted");
    const fs::path shared = scratch.dir() / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const fs::path planted = shared / "agent\x1b[2J.cfg";
    const std::string forged = "[Agent]\nServerMachine=evil.example\nKey\x1b]0;owned\x07=1\n";
    twtest::write_file(planted, forged);
    ASSERT_EQ(chown(planted.c_str(), 1002, 1002), 0);
    ASSERT_EQ(chmod(planted.c_str(), 0666), 0);
    struct stat before;
    ASSERT_EQ(stat(planted.c_str(), &before), 0);

    twtest::EnvGuard env;
    env.set("VISUAL", "sh -c 'echo edited >> \"$0\"'");
    env.set("TMPDIR", scratch.dir().string().c_str());
    const std::string file = planted.string();
    const std::vector<std::vector<std::string>> commands = {
        {"get", "ServerMachine"},  {"get", "--reveal", "ServerMachine"}, {"show"},
        {"show", "--json"},        {"check"},                           {"edit"},
        {"unset", "Agent", "ServerMachine"}, {"set", "Agent", "ServerMachine", "x"},
        {"set", "--scramble", "Agent", "ServerPassword"},
    };
    for (std::vector<std::string> args : commands) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        args.insert(args.end(), {"--file", file});
        const ProcessResult r = ctl(args, "secret\n");
        EXPECT_EQ(r.exit_code, 5) << r.err;
        EXPECT_THAT(r.err, HasSubstr("agent\\x1b[2J.cfg: the attribute file lies in a directory other users may "
                                     "write to"));
        EXPECT_THAT(r.err, HasSubstr("(error -29)"));
        EXPECT_THAT(r.out + r.err, Not(HasSubstr("\x1b"))) << "a raw control byte reached the terminal";
        EXPECT_THAT(r.out, Not(HasSubstr("evil")));
        EXPECT_EQ(twtest::read_file(planted), forged);
        struct stat after;
        ASSERT_EQ(stat(planted.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(listing(shared).size(), 1u) << "a file was written beside the planted one";
        EXPECT_EQ(listing(scratch.dir()).size(), 1u) << "a temporary file or directory was left";
    }
}
#endif

// The bytes of a file that plain show and check print for a person: every control byte
// escaped; --json keeps them, as JSON escapes.
TEST(Escaping, ShowAndCheckEscapeTheFilesControlBytes) {
    const twtest::ScratchDir scratch("tarnwickctl-escape");
    const fs::path file = scratch.dir() / "agent.cfg";
    twtest::write_file(file, "[Agent]\nKey\x1b]0;t\x07=v\x9b" "1\xc2\x9b\n\x1b[2J junk\nTimeOut=x\x7f\n[X\x1b[31m]\nk=1\n");
    const ProcessResult show = ctl({"show", "--file", file.string()});
    EXPECT_EQ(show.exit_code, 0) << show.err;
    EXPECT_EQ(show.out, "[Agent]\nKey\\x1b]0;t\\x07 = v\\x9b1\\xc2\\x9b\nTimeOut = x\\x7f\n\n[X\\x1b[31m]\nk = 1\n");
    const ProcessResult check = ctl({"check", "--file", file.string()});
    EXPECT_THAT(check.out, HasSubstr(":3: neither a comment"));
    EXPECT_THAT(check.out, HasSubstr("\"TimeOut\" = \"x\\x7f\" is not a whole number of seconds"));
    for (const std::string& text : {show.out, show.err, check.out, check.err}) {
        for (char c : text) EXPECT_FALSE((c > 0 && c < 0x20 && c != '\n') || c == 0x7f) << text;
    }
    const ProcessResult json = ctl({"show", "--json", "--file", file.string()});
    EXPECT_THAT(json.out, HasSubstr("\"Key\\u001b]0;t\\u0007\""));
}

}  // namespace
