// SPDX-License-Identifier: Apache-2.0
// tarnwickctl as a user runs it: a separate process, with QZ_CFG_FILE_PATH naming a scratch
// directory of each test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "environment.h"
#include "files.h"
#include "schema_expected.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"

namespace fs = std::filesystem;
using twtest::kExpected;
using twtest::ProcessResult;
using twtest::read_file;
using twtest::Row;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

struct Shown {
    std::string section, key, value;
};

// The "[Section]" and "key = value" lines of show's output.
std::vector<Shown> parse_show(const std::string& text) {
    std::vector<Shown> shown;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t eq = line.find(" = ");
        if (eq == std::string::npos) {
            ADD_FAILURE() << "not a key line: " << line;
            continue;
        }
        shown.push_back({section, line.substr(0, eq), line.substr(eq + 3)});
    }
    return shown;
}

const Shown* find_shown(const std::vector<Shown>& shown, const std::string& key) {
    for (const Shown& s : shown) {
        if (s.key == key) return &s;
    }
    return nullptr;
}

class TarnwickctlTest : public ::testing::Test {
protected:
    void SetUp() override { env_.set("QZ_CFG_FILE_PATH", dir_.string().c_str()); }

    ProcessResult ctl(const std::vector<std::string>& args, const std::string& input = "") {
        const fs::path program = twtest::program_dir() / TARNWICKCTL_FILE_NAME;
        ProcessResult r = twtest::run_process(program, args, input);
        EXPECT_NE(r.exit_code, -1) << "could not start " << program;
        return r;
    }

    fs::path default_file() const { return dir_ / "k_agent_attribs.cfg"; }

    twtest::ScratchDir scratch_{"tarnwickctl"};
    const fs::path dir_ = scratch_.dir();
    twtest::EnvGuard env_;
};

TEST_F(TarnwickctlTest, PathNamesTheFileInTheOverrideDirectoryAndCreatesNothing) {
    const ProcessResult r = ctl({"path"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, default_file().string() + "\n");
    EXPECT_THAT(r.err, IsEmpty());
    EXPECT_FALSE(fs::exists(default_file()));
}

TEST_F(TarnwickctlTest, ShowListsEveryKeyOfAFileAWriteCreatedInOrder) {
    ASSERT_EQ(ctl({"set", "Agent", "HostSymbol", ""}).exit_code, 0);
    const ProcessResult r = ctl({"show"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<Shown> shown = parse_show(r.out);
    ASSERT_EQ(shown.size(), std::size(kExpected)) << r.out;
    for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(kExpected[i].key);
        EXPECT_EQ(shown[i].section, kExpected[i].section);
        EXPECT_EQ(shown[i].key, kExpected[i].key);
        // The proxy's host and port come from the system's settings.
        if (!kExpected[i].from_system) {
            EXPECT_EQ(shown[i].value, kExpected[i].value);
        }
    }
    // Sections stand apart: a blank line before every header but the first.
    EXPECT_THAT(r.out, StartsWith("[Agent]\n"));
    EXPECT_THAT(r.out, HasSubstr("\n\n[Http_Proxy]\n"));
    EXPECT_THAT(r.out, HasSubstr("\n\n[WebHttp]\n"));
}

// A set that waits for the machine-wide lock while another writer changes the file reports
// its own change alone, and keeps the other's.
TEST_F(TarnwickctlTest, AWriteReportsItsOwnChangesNotThoseMadeWhileItWaited) {
    ASSERT_EQ(ctl({"set", "Agent", "TimeOut", "30"}).exit_code, 0);
    const uint32_t lock = init_interprocess_critical_section(TARNWICK_INIT_LOCK_NAME);
    ASSERT_NE(lock, 0u);
    enter_interprocess_critical_section(lock);
    ProcessResult set;
    std::thread writer([&] { set = ctl({"set", "--json", "Agent", "ServerMachine", "mine.example"}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the set has read the file
    std::string text = read_file(default_file());
    const size_t at = text.find("HostSymbol=");
    ASSERT_NE(at, std::string::npos) << text;
    text.insert(at + std::strlen("HostSymbol="), "theirs");
    twtest::write_file(default_file(), text);
    leave_interprocess_critical_section(lock);
    writer.join();
    destroy_interprocess_critical_section(lock);

    ASSERT_EQ(set.exit_code, 0) << set.err;
    EXPECT_THAT(set.out, HasSubstr("ServerMachine"));
    EXPECT_THAT(set.out, Not(HasSubstr("HostSymbol"))) << "another writer's change reported as the set's";
    EXPECT_THAT(read_file(default_file()), HasSubstr("HostSymbol=theirs"));
    EXPECT_THAT(read_file(default_file()), HasSubstr("ServerMachine=mine.example"));
}

TEST_F(TarnwickctlTest, SetValuesReadBackThroughGetShowAndTheFile) {
    const Row cases[] = {
        {"Agent", "ServerMachine", "host.example"},
        {"Agent", "TimeOut", "-5"},  // begins with a dash, yet is no option
        {"Security", "CertificateFileName", "C:\\certs\\agent cert.pem"},
        {"Extra", "NewKey", "a=b ;#\"c\""},  // a new section, and characters INI files treat specially
    };
    for (const Row& c : cases) {
        SCOPED_TRACE(c.key);
        const ProcessResult set = ctl({"set", c.section, c.key, c.value, "--allow-new"});
        ASSERT_EQ(set.exit_code, 0) << set.err;
        EXPECT_THAT(set.out, HasSubstr(std::string(": ") + (c.key == std::string("ServerMachine") ? "created" : "changed")));

        const ProcessResult get = ctl({"get", c.key});
        EXPECT_EQ(get.exit_code, 0) << get.err;
        EXPECT_EQ(get.out, std::string(c.value) + "\n");

        const ProcessResult show = ctl({"show"});
        const std::vector<Shown> shown = parse_show(show.out);
        const Shown* s = find_shown(shown, c.key);
        ASSERT_NE(s, nullptr) << show.out;
        EXPECT_EQ(s->section, c.section);
        EXPECT_EQ(s->value, c.value);
        EXPECT_THAT(read_file(default_file()), HasSubstr(c.value));
    }
    // Setting never loses a key of the schema.
    EXPECT_EQ(parse_show(ctl({"show"}).out).size(), std::size(kExpected) + 1);
}

TEST_F(TarnwickctlTest, ScrambledSetReadsStandardInputAndStaysHiddenUnlessRevealed) {
    const ProcessResult set = ctl({"set", "--scramble", "Agent", "ServerPassword"}, "s3cret pass\n");
    ASSERT_EQ(set.exit_code, 0) << set.err;
    // Nothing is prompted or echoed when standard input is not a terminal.
    EXPECT_THAT(set.out, HasSubstr("created with 31 keys"));
    EXPECT_THAT(set.err, IsEmpty());

    const std::string file = read_file(default_file());
    EXPECT_THAT(file, Not(HasSubstr("s3cret")));
    EXPECT_THAT(file, HasSubstr("ServerPasswordEncrypted"));

    EXPECT_EQ(ctl({"get", "ServerPassword"}).out, "(scrambled)\n");
    const ProcessResult revealed = ctl({"get", "ServerPassword", "--reveal"});
    EXPECT_EQ(revealed.exit_code, 0) << revealed.err;
    EXPECT_EQ(revealed.out, "s3cret pass\n");

    const std::vector<Shown> shown = parse_show(ctl({"show"}).out);
    const Shown* hidden = find_shown(shown, "ServerPassword");
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(hidden->value, "(scrambled)");
    const std::vector<Shown> revealed_all = parse_show(ctl({"show", "--reveal"}).out);
    const Shown* clear = find_shown(revealed_all, "ServerPassword");
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(clear->value, "s3cret pass");
    // A plain key is shown as it is, also with --reveal.
    const Shown* plain = find_shown(revealed_all, "TimeOut");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->value, "20");
}

TEST_F(TarnwickctlTest, ScrambledValueIsTheFirstLineOfInputWithoutItsLineEnd) {
    const struct {
        const char* input;
        const char* value;
    } cases[] = {
        {"no line end", "no line end"},
        {"windows line\r\n", "windows line"},
        {"first\nsecond\n", "first"},
        {"\n", ""},
        {"  blanks kept  \n", "  blanks kept  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const ProcessResult set = ctl({"set", "--scramble", "--file", (dir_ / "s.cfg").string(), "Agent", "ServerPassword"},
                                      c.input);
        ASSERT_EQ(set.exit_code, 0) << set.err;
        const ProcessResult get = ctl({"get", "--reveal", "--file=" + (dir_ / "s.cfg").string(), "ServerPassword"});
        EXPECT_EQ(get.exit_code, 0) << get.err;
        EXPECT_EQ(get.out, std::string(c.value) + "\n");
    }
}

TEST_F(TarnwickctlTest, ScrambledSetRefusesMissingOrBrokenInput) {
    const struct {
        std::string input;
        const char* message;
    } cases[] = {
        {"", "no value on standard input"},
        {std::string("ab\0cd\n", 6), "NUL byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const ProcessResult r = ctl({"set", "--scramble", "Agent", "ServerPassword"}, c.input);
        EXPECT_EQ(r.exit_code, 4);
        EXPECT_THAT(r.err, HasSubstr(c.message));
        EXPECT_FALSE(fs::exists(default_file()));  // refused before the file was opened
    }
}

TEST_F(TarnwickctlTest, UsageErrorsExitWithTwoAndTouchNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"bogus"},
        {"path", "extra"},
        {"path", "--file", "x.cfg"},
        {"show", "--bogus"},
        {"show", "NAME"},
        {"get"},
        {"get", "A", "B", "C"},
        {"get", "A", "--file"},
        {"get", "A", "--file="},
        {"get", "A", "--scramble"},
        {"set", "Agent", "TimeOut"},
        {"set", "Agent", "TimeOut", "1", "2"},
        {"set", "Agent", "TimeOut", "1", "--reveal"},
        {"set", "--scramble", "Agent", "ServerPassword", "in-argv"},
        {"set", "--scramble", "Agent"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ProcessResult r = ctl(args, "secret\n");
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_THAT(r.out, IsEmpty());
        EXPECT_THAT(r.err, StartsWith("tarnwickctl: "));
        EXPECT_THAT(r.err, HasSubstr("--help"));
        EXPECT_FALSE(fs::exists(default_file()));
    }
}

TEST_F(TarnwickctlTest, HelpPrintsUsageAndSucceeds) {
    const std::vector<std::vector<std::string>> cases = {
        {"--help"}, {"help"}, {"path", "--help"}, {"show", "--help"},
        {"get", "--help"}, {"set", "--help"}, {"get", "-h"}, {"set", "Agent", "--help"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ProcessResult r = ctl(args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_THAT(r.out, StartsWith("usage: tarnwickctl"));
        EXPECT_THAT(r.err, IsEmpty());
        EXPECT_FALSE(fs::exists(default_file()));
    }
    EXPECT_THAT(ctl({"set", "--help"}).out, HasSubstr("--scramble"));
}

TEST_F(TarnwickctlTest, LibraryErrorsExitWithTheirStatusAndNameTheCode) {
    // A scrambled-looking value of exactly the seed's eight digits cannot be unscrambled.
    const fs::path broken = dir_ / "broken.cfg";
    std::ofstream(broken) << "[Agent]\nServerPassword=0000abcd\n[Encription]\nServerPasswordEncrypted=\n";
    const fs::path dir_as_file = dir_ / "a-directory.cfg";
    fs::create_directory(dir_as_file);

    const struct {
        std::vector<std::string> args;
        std::string message;  // the whole of standard error
        int status;
    } cases[] = {
        {{"get", "NoSuchKey"},
         "tarnwickctl: " + default_file().string() + ": the file, or a directory of its path, does not exist (error -1010)\n", 5},
        {{"set", "Agent", "HostSymbol", ""}, "", 0},
        {{"get", "NoSuchKey"},
         "tarnwickctl: " + default_file().string() + ": \"NoSuchKey\": no section holds the attribute (error -25)\n", 1},
        {{"get", "NoSuchKey", "--reveal"},
         "tarnwickctl: " + default_file().string() + ": \"NoSuchKey\": no section holds the attribute (error -25)\n", 1},
        {{"get", "ServerPassword", "--reveal", "--file", broken.string()},
         "tarnwickctl: " + broken.string() + ": \"ServerPassword\": the stored value could not be unscrambled (error -24): it holds a seed and no value\n", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ProcessResult r = ctl(c.args);
        EXPECT_EQ(r.exit_code, c.status);
        if (c.status != 0) {
            EXPECT_THAT(r.out, IsEmpty());
        }
        EXPECT_EQ(r.err, c.message);
    }

    // show --reveal names the key it could not unscramble and still lists the rest.
    const ProcessResult show = ctl({"show", "--reveal", "--file", broken.string()});
    EXPECT_EQ(show.exit_code, 3);
    EXPECT_EQ(show.err, "tarnwickctl: " + broken.string() +
                            ": \"Agent/ServerPassword\": the stored value could not be unscrambled (error -24): it holds a seed and "
                            "no value\n");
    const std::vector<Shown> listed = parse_show(show.out);
    const Shown* password = find_shown(listed, "ServerPassword");
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(password->value, "(scrambled)");

    // A store error: one line, the code and a known meaning.
    const ProcessResult store = ctl({"show", "--file", dir_as_file.string()});
    EXPECT_EQ(store.exit_code, 5);
    EXPECT_THAT(store.err, StartsWith("tarnwickctl: " + dir_as_file.string() + ": "));
    EXPECT_THAT(store.err, HasSubstr("(error -"));
    EXPECT_THAT(store.err, Not(HasSubstr("unknown")));
    EXPECT_EQ(std::count(store.err.begin(), store.err.end(), '\n'), 1) << store.err;
}

TEST_F(TarnwickctlTest, ExplicitFileLeavesTheLocatedFileAlone) {
    const std::string file = (dir_ / "explicit.cfg").string();
    ASSERT_EQ(ctl({"set", "--file", file, "Agent", "HostSymbol", "here"}).exit_code, 0);
    EXPECT_EQ(ctl({"get", "HostSymbol", "--file=" + file}).out, "here\n");
    EXPECT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(default_file()));
    EXPECT_NE(ctl({"get", "HostSymbol"}).exit_code, 0);  // a read creates no located file
    EXPECT_FALSE(fs::exists(default_file()));
}

TEST_F(TarnwickctlTest, PlainSetOfAScrambledKeyWarnsThatTheMarkerStays) {
    ASSERT_EQ(ctl({"set", "--scramble", "Agent", "ServerPassword"}, "x\n").exit_code, 0);
    const ProcessResult r = ctl({"set", "Agent", "ServerPassword", "plain"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_THAT(r.err, HasSubstr("scramble marker"));
    EXPECT_THAT(ctl({"set", "Agent", "TimeOut", "30"}).err, IsEmpty());
}

}  // namespace
