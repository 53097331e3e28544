// SPDX-License-Identifier: Apache-2.0
// What tarnwickctl refuses, and the exit status it says so with: a file another user planted
// (refused by every command, with its control bytes escaped in every message), and the
// refusals and statuses of the commands as one table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
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
    EXPECT_THAT(show.out, ::testing::StartsWith("[Agent]\nKey\\x1b]0;t\\x07 = v\\x9b1\\xc2\\x9b\nTimeOut = x\\x7f\n\n[X\\x1b[31m]\nk = 1\n\n[Agent]\nServerMachine =   (not in the file"));
    const ProcessResult check = ctl({"check", "--file", file.string()});
    EXPECT_THAT(check.out, HasSubstr(":3: neither a comment"));
    EXPECT_THAT(check.out, HasSubstr("\"TimeOut\" = \"x\\x7f\" is not a whole number of seconds"));
    for (const std::string& text : {show.out, show.err, check.out, check.err}) {
        for (char c : text) EXPECT_FALSE((c > 0 && c < 0x20 && c != '\n') || c == 0x7f) << text;
    }
    const ProcessResult json = ctl({"show", "--json", "--file", file.string()});
    EXPECT_THAT(json.out, HasSubstr("\"Key\\u001b]0;t\\u0007\""));
}

// What a read leaves of a file: its bytes, and where it exists its identity and time.
struct Snapshot {
    bool exists = false;
    std::string bytes;
    fs::file_time_type mtime;
#ifndef _WIN32
    ino_t inode = 0;
#endif
    bool operator==(const Snapshot& o) const {
        bool same = exists == o.exists && bytes == o.bytes && (!exists || mtime == o.mtime);
#ifndef _WIN32
        same = same && inode == o.inode;
#endif
        return same;
    }
};

Snapshot snapshot(const fs::path& file) {
    Snapshot s;
    s.exists = fs::exists(file);
    if (!s.exists) return s;
    s.bytes = twtest::read_file(file);
    s.mtime = fs::last_write_time(file);
#ifndef _WIN32
    struct stat st;
    if (stat(file.c_str(), &st) == 0) s.inode = st.st_ino;
#endif
    return s;
}

// get, show and check never create, complete or rewrite a file: missing, incomplete or
// complete, it is afterwards exactly as it was.
TEST(Reads, NeverWriteAMissingAnIncompleteOrACompleteFile) {
    const twtest::ScratchDir scratch("tarnwickctl-reads");
    const fs::path complete = scratch.dir() / "complete.cfg";
    ASSERT_EQ(ctl({"set", "--file", complete.string(), "Agent", "HostSymbol", ""}).exit_code, 0);
    const fs::path incomplete = scratch.dir() / "incomplete.cfg";
    twtest::write_file(incomplete, "[Agent]\nTimeOut=5\n[Encription]\nServerPasswordEncrypted=\n");
    const fs::path missing = scratch.dir() / "missing.cfg";
    for (const fs::path& file : {missing, incomplete, complete}) {
        // An hour old, so that a rewrite shows in the time too.
        if (fs::exists(file)) fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
        const Snapshot before = snapshot(file);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"get", "TimeOut"}, {"get", "Agent", "ServerMachine"}, {"get", "--reveal", "ServerPassword"},
                 {"show"}, {"show", "--json", "--reveal"}, {"check"}}) {
            SCOPED_TRACE(file.filename().string() + ": " + args[0]);
            std::vector<std::string> with_file = args;
            with_file.insert(with_file.end(), {"--file", file.string()});
            const ProcessResult r = ctl(with_file);
            if (file == missing) {
                EXPECT_EQ(r.exit_code, 5);
                EXPECT_THAT(r.err, HasSubstr("does not exist"));
            }
            EXPECT_TRUE(snapshot(file) == before) << "the read changed the file";
        }
    }
    EXPECT_EQ(listing(scratch.dir()).size(), 2u);
}

// Each refusal and outcome with its exit status; a refusal writes nothing.
TEST(Statuses, EachOutcomeHasItsStatusAndARefusalWritesNothing) {
    const twtest::ScratchDir scratch("tarnwickctl-statuses");
    const std::string file = (scratch.dir() / "agent.cfg").string();
    ASSERT_EQ(ctl({"set", "--file", file, "Agent", "ServerPassword", "0000abcd"}).exit_code, 0);
    ASSERT_EQ(ctl({"set", "--allow-new", "--file", file, "Encription", "ServerPasswordEncrypted", ""}).exit_code, 0);
    // A header "[]": its key is read by name, but no section names it ("" names the entries
    // before the first header, as the store's removal takes it, and the store sets none there).
    ASSERT_TRUE(twtest::write_file(file, twtest::read_file(file) + "[]\nOddKey=1\n"));
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;  // part of standard error
        bool writes;
    };
    std::vector<Case> cases = {
        {{"get", "TimeOut"}, 0, "", false},
        {{"set", "Agent", "TimeOut", "20"}, 0, "", false},  // the stored value: nothing changes
        {{"unset", "Agent", "NoSuchKey"}, 0, "", false},
        {{"get", "NoSuchKey"}, 1, "no section holds the attribute (error -25)", false},
        {{"get", "Security", "TimeOut"}, 1, "(error -25)", false},
        {{"get", "OddKey"}, 0, "", false},
        {{"get", "", "OddKey"}, 1, "(error -25)", false},
        {{"unset", "", "OddKey"}, 0, "", false},
        {{"get", "A", "B", "C"}, 2, "too many arguments", false},
        {{"set", "--bogus"}, 2, "unknown option", false},
        {{"check"}, 3, "", false},
        {{"get", "--reveal", "ServerPassword"}, 3, "it holds a seed and no value", false},
        {{"set", "Agnet", "TimeOut", "30"}, 4, "no section [Agnet] in the schema or the file", false},
        {{"set", "Agent", "ProxyPassword", "x"}, 4, "\"ProxyPassword\" is a key of [Http_Proxy], not of [Agent]", false},
        {{"set", "--scramble", "Agent", "ProxyPassword"}, 4, "a key of [Http_Proxy]", false},
        {{"set", "Agent", " blank", "1"}, 4, "the key is refused", false},
        {{"set", "Agent", "TimeOut", " 5"}, 4, "the value is refused", false},
        {{"set", "--allow-new", "Agnet", "TimeOut", "30"}, 0, "", true},
        {{"get", "--file", (scratch.dir() / "none.cfg").string(), "TimeOut"}, 5, "does not exist (error -1010)", false},
        // A state that cannot be read is no refused input.
        // (POSIX opens a directory and fails to read it; Windows fails to open it.)
        {{"apply", scratch.dir().string()}, 5, "the state cannot be read", false},
    };
#ifndef _WIN32
    // A store that fails (here out of memory, for one value) is an error of the library, not
    // a refusal of the state. Every row runs with that store; only this value meets the fault.
    twtest::EnvGuard env;
    env.set("LD_PRELOAD", FAILING_STORE_PATH);
    // A sanitizer's run time wants to come first; the preloaded library needs none of it.
    const std::string asan = twtest::get_env("ASAN_OPTIONS").value_or("");
    env.set("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str());
    const std::string failing = (scratch.dir() / "failing.json").string();
    twtest::write_file(failing, R"({"Agent": {"ServerMachine": "the store runs out of memory"}})");
    cases.push_back({{"apply", failing}, 5, "out of memory in the configuration store (error -1016)", false});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const std::string before = twtest::read_file(file);
        std::vector<std::string> args = c.args;
        if (std::find(args.begin(), args.end(), "--file") == args.end()) args.insert(args.end(), {"--file", file});
        const ProcessResult r = ctl(args, "s3cret\n");
        EXPECT_EQ(r.exit_code, c.status) << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.message));
        EXPECT_EQ(twtest::read_file(file) != before, c.writes);
        EXPECT_THAT(r.out + r.err, Not(HasSubstr("s3cret")));
    }
}

#ifndef _WIN32
// check is linear in the file's size: four times the scramble markers cost about four times
// the processor time (some more, for the memory), not sixteen, as a check that looks each
// marker's key up line by line would. The ratio is taken in one run, from the processor time
// of the tool's processes (which the machine's load changes far less than the time on the
// clock), the best of three of each size.
TEST(CheckCost, GrowsLinearlyWithManyScrambleMarkers) {
    const twtest::ScratchDir scratch("tarnwickctl-linear");
    const auto make = [&](const std::string& name, int markers) {
        std::string text = "[Agent]\n";
        for (int i = 0; i < markers; ++i) text += "K" + std::to_string(i) + "=00000001b1\n";
        text += "[Encription]\n";
        for (int i = 0; i < markers; ++i) text += "K" + std::to_string(i) + "Encrypted=\n";
        const fs::path file = scratch.dir() / name;
        twtest::write_file(file, text);
        return file.string();
    };
    const auto cpu_seconds = [] {
        struct rusage usage;
        getrusage(RUSAGE_CHILDREN, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const auto best_of_three = [&](const std::string& file) {
        double best = 1e9;
        for (int i = 0; i < 3; ++i) {
            const double start = cpu_seconds();
            EXPECT_EQ(ctl({"check", "--quiet", "--file", file}).exit_code, 3);
            best = std::min(best, cpu_seconds() - start);
        }
        return best;
    };
    const std::string small = make("small.cfg", 10000), large = make("large.cfg", 40000);
    const double t_small = best_of_three(small), t_large = best_of_three(large);
    EXPECT_LT(t_large, 10 * std::max(t_small, 0.001))
        << "check took " << t_small << " s for 10000 markers, " << t_large << " s for 40000";
}
#endif

}  // namespace
